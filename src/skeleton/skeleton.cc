#include "skeleton/skeleton.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include <opencv2/imgproc.hpp>

#include "base/fatal_error.h"
#include "segment/distance_map.h"

namespace dukon {

namespace {

// Digital circle of radius 4, counter-clockwise on screen (y grows
// downward); neighbouring entries are about 18 degrees apart and entry
// k + 10 (mod 20) is opposite entry k.
constexpr int kCircleSize = 20;
constexpr int kCircle[kCircleSize][2] = {
    {4, 0},  {4, -1}, {3, -2}, {2, -3}, {1, -4}, {0, -4}, {-1, -4}, {-2, -3}, {-3, -2}, {-4, -1},
    {-4, 0}, {-4, 1}, {-3, 2}, {-2, 3}, {-1, 4}, {0, 4},  {1, 4},   {2, 3},   {3, 2},   {4, 1}};

// Budget of background pixels a neck-cut ray may cross beyond the outline.
constexpr int kRayBudget = 15;

// RAII: the borrowed pointers are valid only during one skeletonize call.
template <typename T>
class Borrow {
 public:
  Borrow(T*& slot, T* value) : slot_(slot) { slot_ = value; }
  ~Borrow() { slot_ = nullptr; }
  Borrow(const Borrow&) = delete;
  Borrow& operator=(const Borrow&) = delete;

 private:
  T*& slot_;
};

uint64_t key(cv::Point p) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(p.y)) << 32) | static_cast<uint32_t>(p.x);
}

bool hasRepeat(const std::vector<cv::Point>& list) {
  std::vector<uint64_t> keys;
  keys.reserve(list.size());
  for (const cv::Point& p : list) keys.push_back(key(p));
  std::sort(keys.begin(), keys.end());
  return std::adjacent_find(keys.begin(), keys.end()) != keys.end();
}

int sign(int v) {
  return (v > 0) - (v < 0);
}

// The stepping of an integer line with the direction a -> b: one pixel per
// step along the major axis, the minor offset truncated toward zero.
struct LineStep {
  LineStep(cv::Point a, cv::Point b) {
    const int dx = b.x - a.x, dy = b.y - a.y;
    valid = dx != 0 || dy != 0;
    alongY = std::abs(dx) <= std::abs(dy);
    s = alongY ? sign(dy) : sign(dx);
    slope = !valid ? 0.0 : alongY ? static_cast<double>(dx) / dy : static_cast<double>(dy) / dx;
  }
  // The point `i` steps from `origin`.
  cv::Point at(cv::Point origin, int i) const {
    const int off = static_cast<int>(i * slope * s);
    return alongY ? cv::Point(origin.x + off, origin.y + i * s)
                  : cv::Point(origin.x + i * s, origin.y + off);
  }
  bool valid;   // a != b
  bool alongY;  // the major axis is y
  int s;        // step sign along the major axis
  double slope;
};

}  // namespace

Skeleton::Skeleton(int width, int height) {
  fitTo(cv::Size(std::max(width, 0), std::max(height, 0)));
}

void Skeleton::fitTo(cv::Size size) {
  map_.reset(size);
  backup_.create(size, CV_8UC1);
}

void Skeleton::skeletonize(cv::Mat& bin, cv::Mat& skel, SkelRecord& rec, std::ostream& err) {
  skeletonize(bin, skel, rec, nullptr, err);
}

void Skeleton::skeletonize(cv::Mat& bin, cv::Mat& skel, SkelRecord& rec, DistanceMap& known,
                           std::ostream& err) {
  skeletonize(bin, skel, rec, &known, err);
}

void Skeleton::skeletonize(cv::Mat& bin, cv::Mat& skel, SkelRecord& rec, DistanceMap* known,
                           std::ostream& err) {
  CV_Assert(bin.type() == CV_8UC1);
  if (bin.size() != map_.dist.size()) fitTo(bin.size());
  Borrow<DistanceMap> knownGuard(known_, known);
  Borrow<cv::Mat> maskGuard(mask_, &bin);
  Borrow<cv::Mat> skelGuard(skel_, &skel);
  Borrow<SkelRecord> recGuard(rec_, &rec);
  Borrow<std::ostream> errGuard(err_, &err);

  skel.create(bin.size(), CV_8UC1);
  skel.setTo(0);
  rec.loop = false;
  rec.points.clear();
  branch_.clear();
  onBranch_ = false;
  if (!bin.empty()) traceChain();
  branch_.clear();
}

void Skeleton::traceChain() {
  double maxVal = 0.0;
  cv::Point maxLoc;
  if (known_ != nullptr && known_->current && known_->dist.size() == map_.dist.size()) {
    // The caller's map is of this very mask: take it over, and hand back
    // this object's buffer, which describes no mask of the caller's.
    std::swap(map_, *known_);
    known_->current = false;
    maxLoc = map_.maxLoc;
    maxVal = map_.maxVal;
  } else {
    maxLoc = distanceTransform(&maxVal);
  }
  if (maxLoc.x < 0) return;  // empty mask
  if (!halves(maxLoc, true)) return;
  // A search that merges nothing leaves chain, mask, image and flags as the
  // next search would find them, so only a merge is worth a second search.
  if (rec_->loop && secondBranch(maxVal)) secondBranch(maxVal);
}

// Distance transform of the mask as it is now into map_, and its thickest
// point.
cv::Point Skeleton::distanceTransform(double* maxVal) {
  map_.make(*mask_, useRoi_);
  *maxVal = map_.maxVal;
  return map_.maxLoc;
}

Skeleton::Step Skeleton::circleSearch(const cv::Mat& dist, cv::Point prev, cv::Point centre) {
  CV_Assert(dist.type() == CV_32FC1);
  const cv::Point d = prev - centre;
  int k = 0;
  while (k < kCircleSize && (kCircle[k][0] != d.x || kCircle[k][1] != d.y)) ++k;
  if (k == kCircleSize) throw FatalError("BUG in skel: couldn't find prev point on circle!\n");
  // The 9 entries centred on the one opposite `prev`: at most 72 degrees off
  // straight ahead. Ties keep the entry met first.
  const int start = (k + 6) % kCircleSize;
  Step step;
  float best = 0.0f;
  for (int j = 0; j < 9; ++j) {
    const int* e = kCircle[(start + j) % kCircleSize];
    const cv::Point cand(centre.x + e[0], centre.y + e[1]);
    // Outside the image counts as background, so no walk leaves it.
    const bool in = cand.x >= 0 && cand.y >= 0 && cand.x < dist.cols && cand.y < dist.rows;
    const float value = in ? dist.at<float>(cand) : 0.0f;
    if (value > best) {
      best = value;
      step.next = cand;
      step.turn = j < 2 ? 1 : (j < 7 ? 0 : -1);
    }
  }
  step.found = best != 0.0f;
  return step;
}

// Walks both halves from the thickest point `maxLoc`: the first toward the
// circle point of largest distance to the right-hand side, the second away
// from it; the active list (chain or branch) then runs from the far end of
// the first half through maxLoc to the far end of the second. Returns false,
// with nothing drawn, when no circle point around maxLoc lies in the worm.
bool Skeleton::halves(cv::Point maxLoc, bool cutNecks) {
  SkelRecord& rec = *rec_;
  const Step first = circleSearch(cv::Point(maxLoc.x - 4, maxLoc.y), maxLoc);
  if (!first.found) return false;
  cv::Point other = first.next;
  walk(maxLoc, other, 0);
  if (cutNecks && !rec.loop) cutAtNeck(0, maxLoc);
  const int n1 = rec.chainSize();
  std::reverse(active().begin(), active().end());
  if (skel_->at<uchar>(maxLoc) != 1) {
    skel_->at<uchar>(maxLoc) = 1;
    active().push_back(maxLoc);
  }
  const bool firstLoop = rec.loop;
  rec.loop = false;
  const Step second = circleSearch(other, maxLoc);
  int turn = 0;
  if (second.found) {  // otherwise the previous point and turn stand
    other = second.next;
    turn = second.turn;
  }
  walk(maxLoc, other, turn);
  if (cutNecks && !rec.loop) cutAtNeck(n1, maxLoc);
  if (firstLoop) rec.loop = true;
  return true;
}

// The ridge walk, one segment of 4 pixels per step. It ends when the cone
// ahead lies outside the worm (the segment is drawn and prolonged to the
// outline), when the chain runs into itself, or on a second bend to the same
// side in a row (nothing drawn; the previous segment is prolonged instead).
// Iterative: a long worm must not need a deep call stack.
void Skeleton::walk(cv::Point from, cv::Point to, int prevTurn) {
  bool haveParent = false;
  cv::Point parentFrom, parentTo;
  while (!rec_->loop) {
    const Step step = circleSearch(from, to);
    if (!step.found) {
      drawSegment(from, to);
      extendToOutline(from, to);
      return;
    }
    if (step.turn != 0 && step.turn == prevTurn) {
      // The enclosing segment bent the same way (prevTurn != 0).
      if (haveParent) extendToOutline(parentFrom, parentTo);
      return;
    }
    drawSegment(from, to);
    haveParent = true;
    parentFrom = from;
    parentTo = to;
    from = to;
    to = step.next;
    prevTurn = step.turn;
  }
}

// Integer line a -> b along the major axis, a itself excluded. Every step
// point passes the crossing test first; a crossing raises the loop flag,
// the point is still drawn and the segment ends there.
void Skeleton::drawSegment(cv::Point a, cv::Point b) {
  const LineStep line(a, b);
  if (!line.valid) return;
  cv::Point prev = a;
  for (int i = 1;; ++i) {
    cv::Point p = line.at(a, i);
    const bool last = line.alongY ? p.y == b.y : p.x == b.x;
    if (!inside(p)) return;
    if (crossing(p, prev)) rec_->loop = true;
    skel_->at<uchar>(p) = 1;
    active().push_back(p);
    if (last || rec_->loop) return;
    prev = p;
  }
}

// Prolongs a -> b past b with the same stepping to the first background
// pixel, and draws b -> that pixel. At the image border the prolongation
// stops on the last pixel inside the image.
void Skeleton::extendToOutline(cv::Point a, cv::Point b) {
  const LineStep line(a, b);
  if (!line.valid) return;
  cv::Point end = b;
  for (int i = 1;; ++i) {
    const cv::Point p = line.at(b, i);
    if (!inside(p)) break;
    end = p;
    if (map_.dist.at<float>(p) <= 0.0f) break;
  }
  drawSegment(b, end);
}

// A step onto the chain, or a diagonal step between two chain pixels that
// touch at a corner, is a crossing; the candidate then moves onto the chain.
bool Skeleton::crossing(cv::Point& cand, cv::Point prev) const {
  const cv::Mat& skel = *skel_;
  if (skel.at<uchar>(cand) == 1) return true;
  if (cand.x != 0 && cand.y != 0 && cand.x != map_.dist.cols - 1 && cand.y != map_.dist.rows - 1 &&
      cand.x != prev.x && cand.y != prev.y) {
    if (skel.at<uchar>(prev.y, cand.x) == 1) {
      cand.y = prev.y;
      return true;
    }
    if (skel.at<uchar>(cand.y, prev.x) == 1) {
      cand.x = prev.x;
      return true;
    }
  }
  return false;
}

// Looks along the chain from index `start` for a neck: two successive points
// of distance 1, or the distance rising above 1.7 times the smallest one seen
// so far. The part of the mask beyond a neck is erased, unless that would
// remove more than a fifth of it; the chain from the neck on is removed in
// both cases. `beforeStart` stands in for the point before index 0.
void Skeleton::cutAtNeck(int start, cv::Point beforeStart) {
  SkelRecord& rec = *rec_;
  const std::vector<cv::Point>& pts = rec.points;
  const int n = rec.chainSize();
  if (start >= n) return;
  int cut = -1;
  float minimum = map_.dist.at<float>(pts[start]);
  int minIndex = start;
  for (int i = start + 1; cut < 0; ++i) {
    if (i >= n) return;
    const float d = map_.dist.at<float>(pts[i]);
    if (d == 1.0f && map_.dist.at<float>(pts[i - 1]) == 1.0f) {
      cut = i;
    } else {
      if (d < minimum) {
        minimum = d;
        minIndex = i;
      }
      if (d > 1.7 * minimum) cut = minIndex;
    }
  }
  if (cut + 2 < n) {
    mask_->copyTo(backup_);
    const int area0 = cv::countNonZero(*mask_);
    const cv::Point before = cut >= 1 ? pts[cut - 1] : beforeStart;
    const int dx = pts[cut + 1].x - before.x, dy = pts[cut + 1].y - before.y;
    int ux = 1, uy = 0;
    if (dx != 0) {
      ux = dy == 0 ? 0 : -sign(dx);
      uy = dy == 0 ? 1 : sign(dy);
    }
    const cv::Point endA = rayEnd(pts[cut], ux, uy);
    const cv::Point endB = rayEnd(pts[cut], -ux, -uy);
    cv::line(*mask_, endA, endB, cv::Scalar(0), 2, cv::LINE_8, 0);
    cv::floodFill(*mask_, pts[cut + 2], cv::Scalar(0), nullptr, cv::Scalar(0), cv::Scalar(0),
                  8 | cv::FLOODFILL_FIXED_RANGE);
    if (cv::countNonZero(*mask_) < 0.8 * area0) backup_.copyTo(*mask_);
  }
  for (int i = n - 1; i >= cut; --i) {
    skel_->at<uchar>(rec.points.back()) = 0;
    rec.points.pop_back();
  }
}

// Runs from p in steps (ux, uy) through the worm and up to 15 background
// pixels beyond; never leaves the image.
cv::Point Skeleton::rayEnd(cv::Point p, int ux, int uy) const {
  int budget = kRayBudget;
  cv::Point pos = p;
  while (inside(pos)) {
    if (mask_->at<uchar>(pos) != 1 && budget < 1) break;
    const cv::Point next(pos.x + ux, pos.y + uy);
    if (!inside(next)) break;
    pos = next;
    if (mask_->at<uchar>(pos) == 0) --budget;
  }
  return pos;
}

// After a loop: walks a second branch on the thickest part of the body that
// the chain does not cover, unless that part is thin (below 0.6 of the
// worm's largest radius), and merges it into the chain or drops it.
bool Skeleton::secondBranch(double maxVal) {
  SkelRecord& rec = *rec_;
  cv::Mat& mask = *mask_;
  branch_.clear();
  for (const cv::Point& p : rec.points) mask.at<uchar>(p) = 0;
  double maxVal2 = 0.0;
  const cv::Point maxLoc = distanceTransform(&maxVal2);
  for (const cv::Point& p : rec.points) mask.at<uchar>(p) = 1;
  if (0.6 * maxVal > maxVal2 || maxLoc.x < 0) return false;

  double unused = 0.0;
  distanceTransform(&unused);
  const bool wasLoop = rec.loop;
  rec.loop = false;
  onBranch_ = true;
  halves(maxLoc, false);
  onBranch_ = false;
  rec.loop = wasLoop || rec.loop;
  if (mergeBranch(rec.points, branch_, rec.loop, *err_)) return true;
  while (!branch_.empty()) {
    skel_->at<uchar>(branch_.back()) = 0;
    branch_.pop_back();
  }
  return false;
}

bool Skeleton::mergeBranch(std::vector<cv::Point>& chain, std::vector<cv::Point>& branch,
                           bool& loop, std::ostream& err) {
  std::vector<std::pair<uint64_t, int>> chainIndex;
  chainIndex.reserve(chain.size());
  for (int i = 0; i < static_cast<int>(chain.size()); ++i) {
    chainIndex.emplace_back(key(chain[i]), i);
  }
  std::sort(chainIndex.begin(), chainIndex.end());

  int firstTouch = -1;  // branch index of the first shared point
  int touches = 0;
  for (int j = 0; j < static_cast<int>(branch.size()); ++j) {
    const uint64_t k = key(branch[j]);
    auto it = std::lower_bound(chainIndex.begin(), chainIndex.end(), std::make_pair(k, -1));
    for (; it != chainIndex.end() && it->first == k; ++it) {
      if (touches == 2) {
        err << "multi touch" << std::endl;
        break;
      }
      if (touches++ == 0) firstTouch = j;
    }
  }
  if (touches == 0) return false;
  if (touches == 1 && !hasRepeat(branch) && !hasRepeat(chain)) {
    loop = false;
    branch.erase(branch.begin() + firstTouch);
    return false;
  }
  while (!branch.empty()) {
    chain.push_back(branch.back());
    branch.pop_back();
  }
  return true;
}

}  // namespace dukon
