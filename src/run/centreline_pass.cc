#include "run/centreline_pass.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include <opencv2/imgproc.hpp>

#include "base/geometry.h"
#include "run/frame_reader.h"
#include "segment/mask_ops.h"
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
// before the frame asked for (moving forward only), and they are the only
// thing one frame's mask takes from the frames before it. One source per
// thread; `decode` (shared by all the sources, outliving them) is held
// while a frame is decoded, because the decoder's error count that tells a
// broken frame is one for the whole process.
class MaskSource {
 public:
  MaskSource(const CentrelineInput& in, const std::vector<SkelRecord>& records,
             const std::vector<FrameNote>& notes, std::mutex& decode)
      : reader_(in.moviePath, in.frameSize),
        invert_(in.invert),
        segmenter_(in.frameSize.width, in.frameSize.height, quiet(in.segmenter)),
        records_(records),
        notes_(notes),
        decode_(decode) {}

  // Folds the accepted frames before record `upTo` into the means.
  void primeTo(size_t upTo) {
    for (; primed_ < upTo && primed_ < records_.size(); ++primed_)
      if (notes_[primed_].accepted)
        segmenter_.updateAverages(records_[primed_].thickness, records_[primed_].area);
  }

  MaskCrop mask(size_t index) {
    MaskCrop m;
    if (records_[index].noWorm) return m;
    if (!read(records_[index].frame)) {
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

  bool read(int frame) {
    std::lock_guard<std::mutex> lock(decode_);
    return reader_.read(frame, grey_);
  }

  FrameReader reader_;
  bool invert_;
  FrameSegmenter segmenter_;
  const std::vector<SkelRecord>& records_;
  const std::vector<FrameNote>& notes_;
  std::mutex& decode_;
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

// A mask crop held for later, packed to a bit a pixel: a long gap holds a
// block of them on each fitting thread.
struct PackedCrop {
  BitMask bits;
  cv::Point origin;
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
    crops_[i].bits.toMat(crop_.crop);
    crop_.origin = crops_[i].origin;
    shape_.build(crop_, target_);
    return target_;
  }

 private:
  // Holds the frames first .. last - 1 only.
  void load(int first, int last) {
    for (int k = lo_; k < hi_; ++k) crops_[k] = PackedCrop();
    for (int k = first; k < last; ++k) {
      const MaskCrop m = source_.mask(indices_[k]);
      crops_[k].bits.fromNonZero(m.crop);
      crops_[k].origin = m.origin;
    }
    lo_ = first;
    hi_ = last;
  }

  MaskSource& source_;
  const std::vector<size_t>& indices_;
  const std::vector<SkelRecord>& records_;
  const std::vector<FrameNote>& notes_;
  const TargetShape& shape_;
  std::vector<PackedCrop> crops_;
  int lo_ = 0, hi_ = 0;
  MaskCrop crop_;  // the crop of the target last made, unpacked
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

// One gap: its frames (record indices in order, ignored ones left out), the
// resolved frames on either side, and its fits once made.
struct GapJob {
  std::vector<size_t> gap;
  size_t end = 0;  // the record after the gap: resolved, or the end
  TrackStart before, after;
  bool fit = false;            // a model was learnt and one side is resolved
  std::vector<FrameFit> fits;  // one per frame of the gap once fitted
};

// The gaps of the records from *i on, until their frames reach `cap` or
// the records end; *i moves past them. *lastChain is the last resolved
// record before *i (-1: none), and moves on with it.
std::vector<GapJob> collectWindow(const std::vector<SkelRecord>& records,
                                  const std::vector<FrameNote>& notes, size_t cap, size_t* i,
                                  long* lastChain) {
  std::vector<GapJob> jobs;
  size_t held = 0;
  while (*i < records.size() && held < cap) {
    if (records[*i].ignored) {
      ++*i;
    } else if (hasChain(records[*i])) {
      *lastChain = static_cast<long>((*i)++);
    } else {
      // The frames up to the next resolved one, ignored ones left out.
      GapJob job;
      if (*lastChain >= 0) job.before = trackStart(records, notes, *lastChain, *lastChain - 1);
      for (; *i < records.size() && !hasChain(records[*i]); ++*i)
        if (!records[*i].ignored) job.gap.push_back(*i);
      job.end = *i;
      if (*i < records.size())
        job.after = trackStart(records, notes, *i, static_cast<long>(*i) + 1);
      held += job.gap.size();
      jobs.push_back(std::move(job));
    }
  }
  return jobs;
}

void fitJob(MaskSource& source, const Learnt& learnt, const std::vector<SkelRecord>& records,
            const std::vector<FrameNote>& notes, GapJob& job) {
  source.primeTo(job.gap.front());
  GapBlocks frames(source, job.gap, records, notes, learnt.shape);
  job.fits = fitGap(learnt.model, frames, job.before, job.after, learnt.track);
}

// Fits the jobs marked `fit` on up to sources.size() threads, the calling
// one included; worker w reads through sources[w] (made on first use), and
// every worker takes its jobs in increasing order, as its source's priming
// requires. The first failing job's exception (the one a sequential pass
// would meet) is rethrown once every thread has been joined.
class GapFitter {
 public:
  GapFitter(const CentrelineInput& in, const std::vector<SkelRecord>& records,
            const std::vector<FrameNote>& notes, std::mutex& decode)
      : in_(in),
        records_(records),
        notes_(notes),
        decode_(decode),
        sources_(std::max(1u, in.threads)) {}

  void fit(const Learnt& learnt, std::vector<GapJob>& jobs) {
    std::vector<GapJob*> todo;
    for (GapJob& job : jobs)
      if (job.fit) todo.push_back(&job);
    const size_t workers = std::min(sources_.size(), todo.size());
    if (workers == 0) return;
    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};
    std::vector<std::pair<size_t, std::exception_ptr>> failed(workers, {todo.size(), nullptr});
    auto work = [&](size_t w) {
      size_t k = 0;
      try {
        while (!stop && (k = next++) < todo.size())
          fitJob(source(w), learnt, records_, notes_, *todo[k]);
      } catch (...) {
        failed[w] = {k, std::current_exception()};
        stop = true;
      }
    };
    {
      std::vector<std::thread> threads;
      threads.reserve(workers - 1);
      try {
        for (size_t w = 1; w < workers; ++w) threads.emplace_back(work, w);
      } catch (...) {
        // No more threads to be had: the ones started and this one do all.
      }
      work(0);
      for (std::thread& t : threads) t.join();
    }
    const auto first =
        std::min_element(failed.begin(), failed.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    if (first->second) std::rethrow_exception(first->second);
  }

  int unread() const {
    int n = 0;
    for (const auto& s : sources_)
      if (s) n += s->unread();
    return n;
  }

 private:
  MaskSource& source(size_t w) {
    if (!sources_[w]) sources_[w] = std::make_unique<MaskSource>(in_, records_, notes_, decode_);
    return *sources_[w];
  }

  const CentrelineInput& in_;
  const std::vector<SkelRecord>& records_;
  const std::vector<FrameNote>& notes_;
  std::mutex& decode_;
  std::vector<std::unique_ptr<MaskSource>> sources_;  // one per worker
};

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

// The rows of a gap's frames from its fits (none made when it was not
// fitted).
void emitGap(const std::vector<SkelRecord>& records, const std::vector<FrameNote>& notes,
             const GapJob& job, const Emit& emit, CentrelineCounts& counts) {
  const FrameFit none;
  if (job.fit) counts.gapFrames += static_cast<int>(job.gap.size());
  for (size_t k = 0; k < job.gap.size(); ++k) {
    FrameCentreline c;
    c.frame = records[job.gap[k]].frame;
    c.stage = notes[job.gap[k]].stage;
    const FrameFit& f = k < job.fits.size() ? job.fits[k] : none;
    if (std::isfinite(f.mismatch)) c.fitError = f.mismatch;
    c.source = f.accepted ? CentrelineSource::kFitted : CentrelineSource::kNone;
    if (f.accepted) c.line = f.line;
    ++(f.accepted ? counts.fitted : counts.none);
    emit(c);
  }
}

// The rows of records first .. last - 1, whose gaps are `jobs` in order.
void emitWindow(const std::vector<SkelRecord>& records, const std::vector<FrameNote>& notes,
                size_t first, size_t last, const std::vector<GapJob>& jobs, const Emit& emit,
                CentrelineCounts& counts) {
  auto job = jobs.begin();
  for (size_t i = first; i < last;) {
    if (records[i].ignored) {
      ++i;
    } else if (hasChain(records[i])) {
      emitChain(records[i], notes[i], emit, counts);
      ++i;
    } else {
      emitGap(records, notes, *job, emit, counts);
      i = (job++)->end;
    }
  }
}

}  // namespace

unsigned centrelineThreads() {
  return std::min(2u, std::max(1u, std::thread::hardware_concurrency()));
}

CentrelineCounts computeCentrelines(const CentrelineInput& input,
                                    const std::vector<SkelRecord>& records,
                                    const std::vector<FrameNote>& notes, const Emit& emit,
                                    std::ostream& err) {
  CentrelineCounts counts;
  std::mutex decode;  // outlives every source
  GapFitter fitter(input, records, notes, decode);
  int unread = 0;
  std::optional<Learnt> learnt;  // learnt at the first gap: a movie without one needs none
  long lastChain = -1;
  for (size_t i = 0; i < records.size();) {
    const size_t first = i;
    std::vector<GapJob> jobs =
        collectWindow(records, notes, std::max<size_t>(1, input.windowFrames), &i, &lastChain);
    if (input.fit && !learnt && !jobs.empty()) {
      // Learnt through a source of its own, gone before the gaps are fitted.
      MaskSource learning(input, records, notes, decode);
      learnt = learnModel(learning, input, records);
      unread += learning.unread();
    }
    if (learnt && learnt->ok) {
      for (GapJob& job : jobs) job.fit = !job.before.line.empty() || !job.after.line.empty();
      fitter.fit(*learnt, jobs);
    }
    emitWindow(records, notes, first, i, jobs, emit, counts);
  }
  unread += fitter.unread();
  if (unread > 0)
    err << "Centrelines: " << unread << (unread == 1 ? " frame" : " frames")
        << " could not be read again from " << input.moviePath << "\n";
  return counts;
}

}  // namespace dukon
