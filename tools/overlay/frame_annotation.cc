#include "overlay/frame_annotation.h"

#include <algorithm>

#include "results/centreline_file.h"

namespace dukon {
namespace overlay {
namespace {

// Which chain end is the head. The shape table holds world positions and
// the skeleton file frame positions; both ends differ from their chain
// points by the same stage location, which tells the orientation.
bool headAtChainStart(const ShapeRow& row, const std::vector<cv::Point>& chain, bool* matched) {
  const cv::Point& first = chain.front();
  const cv::Point& last = chain.back();
  *matched = true;
  if (row.head - first == row.tail - last) return true;
  if (row.head - last == row.tail - first) return false;
  *matched = false;
  return true;
}

}  // namespace

std::string stateName(FrameState state) {
  switch (state) {
    case FrameState::kConsistent:
      return "consistent";
    case FrameState::kGood:
      return "good";
    case FrameState::kLoop:
      return "loop";
    case FrameState::kRejected:
      return "rejected";
    case FrameState::kIgnored:
      return "ignored";
    case FrameState::kNotAnalysed:
      return "not analysed";
  }
  return "";
}

std::string stateExplanation(FrameState state) {
  switch (state) {
    case FrameState::kConsistent:
      return "skeleton valid, used for features";
    case FrameState::kGood:
      return "skeleton valid, length or position off the median";
    case FrameState::kLoop:
      return "body touches itself, no head or tail";
    case FrameState::kRejected:
      return "skeleton failed validation";
    case FrameState::kIgnored:
      return "listed in ignorefrm";
    case FrameState::kNotAnalysed:
      return "outside the run";
  }
  return "";
}

RunAnnotations::RunAnnotations(const std::vector<ShapeRow>& rows,
                               const std::map<int, std::vector<cv::Point>>& chains,
                               const std::string& skelPath) {
  for (const ShapeRow& row : rows) {
    FrameAnnotation a;
    a.frame = row.frame;
    auto found = chains.find(row.frame);
    if (found != chains.end()) a.chain = found->second;
    for (const cv::Point& p : a.chain) {
      extent_.x = std::max(extent_.x, p.x);
      extent_.y = std::max(extent_.y, p.y);
    }
    if (row.ignored) {
      a.state = FrameState::kIgnored;
      a.chain.clear();
      byFrame_[a.frame] = a;
      continue;
    }
    a.movement = results::decodeLabel(row.label);
    if (a.movement.name == "loop") {
      a.state = FrameState::kLoop;
    } else if (row.consistent) {
      if (a.chain.empty()) {
        throw RunFileError(skelPath + ": frame " + std::to_string(row.frame) +
                           " is consistent in the shape table but has no chain here "
                           "(files of different runs?)");
      }
      bool matched = false;
      bool startIsHead = headAtChainStart(row, a.chain, &matched);
      if (!matched) ++unmatchedEnds_;
      a.state = FrameState::kConsistent;
      a.hasEnds = true;
      a.head = startIsHead ? a.chain.front() : a.chain.back();
      a.tail = startIsHead ? a.chain.back() : a.chain.front();
    } else if (!a.chain.empty()) {
      // The chain of a valid frame runs from head to tail once its run of
      // frames was oriented; the table does not list its ends.
      a.state = FrameState::kGood;
      a.hasEnds = true;
      a.head = a.chain.front();
      a.tail = a.chain.back();
    } else {
      a.state = FrameState::kRejected;
    }
    byFrame_[a.frame] = a;
  }
}

std::map<int, FittedLine> readFittedCentrelines(const std::string& path) {
  std::map<int, FittedLine> fitted;
  results::readCentrelineFile(path, [&fitted](const results::CentrelineRow& row) {
    if (row.source != "fitted") return;
    FittedLine& l = fitted[row.frame];
    l.fitError = row.fitError;
    for (const cv::Point2d& p : row.points) l.points.push_back(p - row.stage);
  });
  return fitted;
}

void RunAnnotations::addFitted(const std::map<int, FittedLine>& fitted) {
  for (const auto& [frame, line] : fitted) {
    auto found = byFrame_.find(frame);
    if (found == byFrame_.end()) continue;
    found->second.fitted = line.points;
    found->second.fitError = line.fitError;
  }
}

FrameAnnotation RunAnnotations::at(int frame) const {
  auto found = byFrame_.find(frame);
  if (found != byFrame_.end()) return found->second;
  FrameAnnotation a;
  a.frame = frame;
  return a;
}

}  // namespace overlay
}  // namespace dukon
