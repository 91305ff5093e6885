#include "run/centreline_pass.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include <opencv2/imgproc.hpp>

#include "base/geometry.h"
#include "run/frame_reader.h"
#include "skeleton/body_model.h"
#include "skeleton/fit_target.h"
#include "skeleton/gap_fit.h"
#include "skeleton/model_learning.h"
#include "skeleton/posture.h"
#include "skeleton/posture_fit.h"

namespace dukon {

namespace {

// Consistent frames the body model is learnt from, at most.
constexpr int kLearnFrames = 24;
// Frames of a gap held at a time.
constexpr int kBlock = 256;
// Worm pixels sampled for the fit's coverage term, about.
constexpr double kCoverSamples = 400;

// A fit is accepted when its mismatch is at most kMismatchFactor times the
// mismatch that nine in ten of the learning frames' fits stay within (and
// never less than kLeastMaxMismatch): how well the model can match this
// movie's worm at all.
constexpr double kMismatchFactor = 2.0;
constexpr double kLeastMaxMismatch = 0.1;

// The q-quantile of v (the element at rank q * size), NaN when empty.
double quantile(std::vector<double> v, double q) {
  if (v.empty()) return std::nan("");
  const size_t at = std::min(v.size() - 1, static_cast<size_t>(q * v.size()));
  std::nth_element(v.begin(), v.begin() + at, v.end());
  return v[at];
}

double median(std::vector<double> v) {
  return quantile(std::move(v), 0.5);
}

bool hasChain(const SkelRecord& r) {
  return r.consistent && !r.ignored && r.chainSize() >= 2;
}

// A frame's worm mask cut to its bounding box; `crop` is empty when the
// frame shows no worm or could not be read.
struct MaskCrop {
  cv::Mat crop;
  cv::Point origin;
};

// The frames of the movie segmented again as the frame loop segmented them:
// the segmenter's running means take the measures of the accepted frames
// before the frame asked for (moving forward only).
class MaskSource {
 public:
  MaskSource(const CentrelineInput& in, const std::vector<SkelRecord>& records,
             const std::vector<FrameNote>& notes)
      : reader_(in.moviePath, in.frameSize),
        invert_(in.invert),
        segmenter_(in.frameSize.width, in.frameSize.height, quiet(in.segmenter)),
        records_(records),
        notes_(notes) {}

  // Folds the accepted frames before record `upTo` into the means.
  void primeTo(size_t upTo) {
    for (; primed_ < upTo && primed_ < records_.size(); ++primed_)
      if (notes_[primed_].accepted)
        segmenter_.updateAverages(records_[primed_].thickness, records_[primed_].area);
  }

  MaskCrop mask(size_t index) {
    MaskCrop m;
    if (records_[index].noWorm) return m;
    if (!reader_.read(records_[index].frame, grey_)) {
      ++unread_;
      return m;
    }
    if (invert_) cv::bitwise_not(grey_, grey_);
    segmenter_.segmentFrame(grey_, bin_, noEggs_);
    m.crop = fitMask(grey_, bin_, &m.origin);
    return m;
  }

  int unread() const { return unread_; }

 private:
  static SegmenterSettings quiet(SegmenterSettings s) {
    s.eggs = false;
    s.verbose = false;
    return s;
  }

  FrameReader reader_;
  bool invert_;
  FrameSegmenter segmenter_;
  const std::vector<SkelRecord>& records_;
  const std::vector<FrameNote>& notes_;
  size_t primed_ = 0;
  cv::Mat grey_, bin_;
  std::vector<Egg> noEggs_;
  int unread_ = 0;
};

// How targets are made from masks for one movie.
struct TargetShape {
  cv::Size frame;
  int margin = 8;
  int stride = 1;

  void build(const MaskCrop& m, FitTarget& t) const {
    t.build(m.crop, m.origin, frame, margin, stride);
  }
};

// The gap's frames for fitGap, read in blocks of kBlock frames.
class GapBlocks : public GapFrames {
 public:
  GapBlocks(MaskSource& source, const std::vector<size_t>& indices,
            const std::vector<SkelRecord>& records, const std::vector<FrameNote>& notes,
            const TargetShape& shape)
      : source_(source),
        indices_(indices),
        records_(records),
        notes_(notes),
        shape_(shape),
        crops_(indices.size()) {}

  int size() const override { return static_cast<int>(indices_.size()); }
  cv::Point2d stage(int i) const override { return cv::Point2d(notes_[indices_[i]].stage); }
  int frame(int i) const override { return records_[indices_[i]].frame; }

  const FitTarget& target(int i) override {
    if (i < lo_ || i >= hi_) {
      const int n = size();
      if (n <= kBlock)
        load(0, n);
      else if (i >= hi_)
        load(i, std::min(n, i + kBlock));
      else
        load(std::max(0, i - kBlock + 1), i + 1);
    }
    shape_.build(crops_[i], target_);
    return target_;
  }

 private:
  // Holds the frames first .. last - 1 only.
  void load(int first, int last) {
    for (int k = lo_; k < hi_; ++k) crops_[k] = MaskCrop();
    for (int k = first; k < last; ++k) crops_[k] = source_.mask(indices_[k]);
    lo_ = first;
    hi_ = last;
  }

  MaskSource& source_;
  const std::vector<size_t>& indices_;
  const std::vector<SkelRecord>& records_;
  const std::vector<FrameNote>& notes_;
  const TargetShape& shape_;
  std::vector<MaskCrop> crops_;
  int lo_ = 0, hi_ = 0;
  FitTarget target_;
};

// The body model and the tracking settings learnt from the movie.
struct Learnt {
  bool ok = false;
  BodyModel model;
  TrackSettings track;
  TargetShape shape;
};

Centreline worldChain(const SkelRecord& r, const FrameNote& note) {
  return shifted(chainCentreline(r.points), cv::Point2d(note.stage));
}

// The track's start at resolved record `at`, with record `beyond` (the
// frame next to it away from the gap) when that one is resolved too.
TrackStart trackStart(const std::vector<SkelRecord>& records, const std::vector<FrameNote>& notes,
                      size_t at, long beyond) {
  TrackStart s;
  s.line = worldChain(records[at], notes[at]);
  s.frame = records[at].frame;
  if (beyond >= 0 && static_cast<size_t>(beyond) < records.size() && hasChain(records[beyond]) &&
      std::abs(records[beyond].frame - records[at].frame) == 1)
    s.beyond = worldChain(records[beyond], notes[beyond]);
  return s;
}

// How far the worm's middle moves from one consistent frame to the next,
// world pixels: the median over pairs of neighbouring consistent frames.
double crawlStep(const std::vector<SkelRecord>& records) {
  std::vector<double> steps;
  for (size_t i = 1; i < records.size(); ++i) {
    const SkelRecord &a = records[i - 1], &b = records[i];
    if (a.trusted() && b.trusted() && a.frame + 1 == b.frame)
      steps.push_back(pointDistance(worldPoint(a, a.mid), worldPoint(b, b.mid)));
  }
  return steps.empty() ? 1.0 : median(steps);
}

// The shape of the targets for this movie: a margin of a sixth of the
// chains' length, and about kCoverSamples worm pixels sampled.
TargetShape targetShape(const CentrelineInput& in, const std::vector<SkelRecord>& records,
                        const std::vector<size_t>& consistent) {
  std::vector<double> areas, lengths;
  for (size_t i : consistent) {
    areas.push_back(records[i].area);
    lengths.push_back(records[i].len);
  }
  TargetShape shape;
  shape.frame = in.frameSize;
  shape.stride =
      std::max(1, static_cast<int>(std::lround(std::sqrt(median(areas) / kCoverSamples))));
  shape.margin = std::max(8, static_cast<int>(median(lengths) / 6));
  return shape;
}

// The body model from up to kLearnFrames consistent frames spread evenly
// over the movie, and the tracking settings that go with it.
Learnt learnModel(MaskSource& source, const CentrelineInput& in,
                  const std::vector<SkelRecord>& records) {
  Learnt l;
  std::vector<size_t> consistent;
  for (size_t i = 0; i < records.size(); ++i)
    if (hasChain(records[i])) consistent.push_back(i);
  if (consistent.empty()) return l;
  l.shape = targetShape(in, records, consistent);
  const size_t picks = std::min<size_t>(kLearnFrames, consistent.size());
  std::vector<Centreline> chains;
  std::vector<MaskCrop> crops;
  for (size_t k = 0; k < picks; ++k) {
    const size_t index = consistent[(2 * k + 1) * consistent.size() / (2 * picks)];
    source.primeTo(index);
    MaskCrop m = source.mask(index);
    Centreline line = chainCentreline(records[index].points);
    if (m.crop.empty() || line.empty()) continue;
    chains.push_back(std::move(line));
    crops.push_back(std::move(m));
  }
  const LearntModel learnt = learnBodyModel(
      chains, [&](size_t k, FitTarget& t) { l.shape.build(crops[k], t); }, l.track.fit);
  if (!learnt.ok) return l;
  l.model = learnt.model;
  l.track.crawlStepPx = std::clamp(crawlStep(records), 0.5, l.model.length / 20);
  l.track.maxMismatch =
      std::max(kLeastMaxMismatch, kMismatchFactor * quantile(learnt.mismatches, 0.9));
  l.ok = true;
  return l;
}

using Emit = std::function<void(const FrameCentreline&)>;

void emitChain(const SkelRecord& r, const FrameNote& note, const Emit& emit,
               CentrelineCounts& counts) {
  FrameCentreline c;
  c.frame = r.frame;
  c.source = CentrelineSource::kChain;
  c.line = worldChain(r, note);
  c.stage = note.stage;
  ++counts.chain;
  emit(c);
}

// The rows of a gap's frames (records `gap`) from their fits.
void emitGap(const std::vector<SkelRecord>& records, const std::vector<FrameNote>& notes,
             const std::vector<size_t>& gap, const std::vector<FrameFit>& fits, const Emit& emit,
             CentrelineCounts& counts) {
  for (size_t k = 0; k < gap.size(); ++k) {
    FrameCentreline c;
    c.frame = records[gap[k]].frame;
    c.stage = notes[gap[k]].stage;
    const FrameFit& f = fits[k];
    if (std::isfinite(f.mismatch)) c.fitError = f.mismatch;
    c.source = f.accepted ? CentrelineSource::kFitted : CentrelineSource::kNone;
    if (f.accepted) c.line = f.line;
    ++(f.accepted ? counts.fitted : counts.none);
    emit(c);
  }
}

}  // namespace

CentrelineCounts computeCentrelines(const CentrelineInput& input,
                                    const std::vector<SkelRecord>& records,
                                    const std::vector<FrameNote>& notes, const Emit& emit,
                                    std::ostream& err) {
  CentrelineCounts counts;
  MaskSource learning(input, records, notes), gaps(input, records, notes);
  std::optional<Learnt> learnt;  // learnt at the first gap: a movie without one needs none
  TrackStart before;             // the last resolved frame
  size_t i = 0;
  while (i < records.size()) {
    if (records[i].ignored) {
      ++i;
    } else if (hasChain(records[i])) {
      emitChain(records[i], notes[i], emit, counts);
      before = trackStart(records, notes, i, static_cast<long>(i) - 1);
      ++i;
    } else {
      // A gap: the frames up to the next resolved one, ignored ones left out.
      std::vector<size_t> gap;
      for (; i < records.size() && !hasChain(records[i]); ++i)
        if (!records[i].ignored) gap.push_back(i);
      const TrackStart after = i < records.size()
                                   ? trackStart(records, notes, i, static_cast<long>(i) + 1)
                                   : TrackStart();
      if (input.fit && !learnt) learnt = learnModel(learning, input, records);
      std::vector<FrameFit> fits(gap.size());
      if (learnt && learnt->ok && (!before.line.empty() || !after.line.empty())) {
        gaps.primeTo(gap.front());
        GapBlocks frames(gaps, gap, records, notes, learnt->shape);
        fits = fitGap(learnt->model, frames, before, after, learnt->track);
        counts.gapFrames += static_cast<int>(gap.size());
      }
      emitGap(records, notes, gap, fits, emit, counts);
    }
  }
  const int unread = learning.unread() + gaps.unread();
  if (unread > 0)
    err << "Centrelines: " << unread << (unread == 1 ? " frame" : " frames")
        << " could not be read again from " << input.moviePath << "\n";
  return counts;
}

}  // namespace dukon
