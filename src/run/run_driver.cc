#include "run/run_driver.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "base/fatal_error.h"
#include "base/frame_range.h"
#include "base/params.h"
#include "base/skel_record.h"
#include "behaviour/behaviour.h"
#include "behaviour/movement_segmentation.h"
#include "behaviour/path_measures.h"
#include "output/behaviour_report.h"
#include "output/centreline_file.h"
#include "output/check_file.h"
#include "output/egg_table.h"
#include "output/feature_summary.h"
#include "output/frame_table.h"
#include "output/movement_tables.h"
#include "output/output_dir.h"
#include "output/params_copy.h"
#include "output/run_summary.h"
#include "output/shape_tables.h"
#include "output/skeleton_file.h"
#include "output/track_image.h"
#include "output/wave_image.h"
#include "run/background_task.h"
#include "run/centreline_pass.h"
#include "run/debug_display.h"
#include "run/frame_source.h"
#include "run/movie.h"
#include "run/skipped_frames.h"
#include "run/track_window.h"
#include "segment/egg.h"
#include "segment/egg_list.h"
#include "segment/frame_segmenter.h"
#include "segment/grey_conversion.h"
#include "segment/head_tail.h"
#include "segment/worm_check.h"
#include "skeleton/body_wave.h"
#include "skeleton/feature_stats.h"
#include "skeleton/head_orientation.h"
#include "skeleton/record_passes.h"
#include "skeleton/skeleton.h"
#include "skeleton/wave_frequency.h"
#include "stage/image_motion.h"
#include "stage/stage_tracker.h"
#include "stage/stage_util.h"

namespace dukon {

namespace {

// Adds the wall-clock time of its scope to *sink, when there is a sink.
class StageTimer {
 public:
  explicit StageTimer(double* sink) : sink_(sink), start_(Clock::now()) {}
  ~StageTimer() {
    if (sink_) *sink_ += std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
  }
  StageTimer(const StageTimer&) = delete;
  StageTimer& operator=(const StageTimer&) = delete;

 private:
  using Clock = std::chrono::steady_clock;
  double* sink_;
  Clock::time_point start_;
};

// Processor time of the calling thread so far, ms.
double threadCpuMs() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

// Search geometry of the image-motion estimate: coarse grid step and largest
// shift, pixels.
constexpr int kMotionStep = 4;
constexpr int kMotionRange = 20;

// Owns every long-lived object of one run, in creation order; members are
// destroyed in the reverse order.
//
// The data's road: each frame comes from the frame source, decoded ahead on
// its own thread, turned grey there and, while that thread is ahead, given
// its first masks; the loop segments it into the worm mask, places it on
// the stage, skeletonises it and measures it into its record. After the loop
// the passes judge and orient the records; then the centreline pass fits the
// gaps on threads of its own while the records are measured, the behaviour
// is classified and the writers of output/ write the result files from those
// values.
class RunDriver {
 public:
  RunDriver(const std::string& paramFN, StageTimes* times)
      : prms_(Params::fromFile(paramFN, std::cerr)), times_(times) {}

  int run() {
    startUp();
    frameLoop();
    requireAWorm();
    checkFramesTaken();
    releaseFrameWork();
    StageTimer t(sink(&StageTimes::post));
    judgeRecords();
    warnOfLowResolution();
    writeSummary();
    writeHeadChecks(orientHeads());
    startCentrelines();
    bodyWaves();
    behaviour();
    writeImages();
    writeTables();
    writeSkeletonFile();
    finishCentrelines();
    writeParamsFile();
    return finish();
  }

 private:
  // Before the loop.
  void startUp();
  void openTables();
  void openMovie();
  void constructAnalysers();
  // The frame loop.
  void frameLoop();
  // On the frame source's decoding thread.
  void prepareFrame(SourceFrame& frame, int first, int last);
  void greyFrame(const cv::Mat& colour, cv::Mat& grey) const;
  void makeFirstMasks(SourceFrame& frame);
  bool takeFrame(SourceFrame& frame);  // false when the loop must end
  // Ends the run when no frame was analysed; reports a partial run.
  void checkFramesTaken();
  void analyseFrame(SourceFrame& frame, SkelRecord& rec);
  StagePosition locateFrame(double timeMs);
  void rejectNoWorm(SkelRecord& rec, const std::string& why);
  void measureGoodFrame(SkelRecord& rec, const StagePosition& stage, float timeMs);
  void drawTrack(const StagePosition& stage, cv::Point mid);
  void showFrame(cv::Point head, bool headKnown, int frame);
  void requireAWorm() const;
  void releaseFrameWork();
  // After the loop.
  void judgeRecords();
  void warnOfLowResolution() const;
  std::vector<HeadCheck> orientHeads();
  void writeHeadChecks(const std::vector<HeadCheck>& checks);
  void writeSummary();
  void bodyWaves();
  void behaviour();
  void writeImages();
  void writeTables();
  void writeSkeletonFile();
  void startCentrelines();
  void finishCentrelines();
  void writeParamsFile();
  int finish();

  double* sink(double StageTimes::*field) const { return times_ ? &(times_->*field) : nullptr; }

  const Params prms_;
  StageTimes* times_;
  std::unique_ptr<OutputDir> out_;
  std::ofstream wxo_, wxd_, spd_, dsp_, ang_, wxs_, egs_;
  std::unique_ptr<Movie> movie_;
  FrameRange frames_;  // planned when the movie opens; lastReached set after the loop
  std::unique_ptr<StageUtil> stage_;
  std::unique_ptr<ImageMotion> cam_;
  std::unique_ptr<FrameSegmenter> image_;
  // The first masks of frames made ahead on the frame source's decoding
  // thread; used by nothing else while the source runs.
  std::unique_ptr<MaskMaker> maker_;
  std::unique_ptr<Skeleton> skeleton_;
  std::unique_ptr<StageTracker> stagePos_;
  std::unique_ptr<TrackImage> track_;
  std::unique_ptr<TrackWindow> trackWindow_;
  std::unique_ptr<Wave> wave_;
  std::unique_ptr<EggList> eggs_;
  std::vector<Egg> eggsToVerify_;
  // One record per frame taken, in frame order; room is reserved for the
  // whole range, and after the loop it holds exactly the filled records.
  std::vector<SkelRecord> records_;
  std::vector<FrameNote> notes_;  // one per record, for the centreline pass
  cv::Mat bw_, bin_, skel_;
  DebugDisplay debug_;
  // Reads the movie during the loop; declared after it, so it stops first.
  std::unique_ptr<FrameSource> source_;
  // What the centreline pass (centrelines_, below) writes, and the
  // processor times of the process and of this thread when it started.
  std::string centrelinePath_;        // its pending file
  std::ostringstream centrelineErr_;  // its console lines, written when it is done
  bool centrelineWritten_ = false;
  CentrelineCounts centrelineCounts_;
  std::clock_t centrelineCpu_ = 0;
  double callerCpuMs_ = 0;

  int width_ = 0, height_ = 0, frameCount_ = 0;
  double movieFps_ = 0;
  int frameNumber_ = 0;
  FrameList::Cursor ignore_ = prms_.ignoredFrames().cursor();
  int totalFrames_ = 1;
  int goodFrames_ = 0;
  int consistentFrames_ = 0;
  int wormFrames_ = 0;       // frames whose mask can be a worm
  int noWormFrames_ = 0;     // frames whose mask plainly is not one
  int darkPlateFrames_ = 0;  // of those, frames with an object brighter than the plate
  // What the frame loop met besides analysed frames.
  int lastRead_ = 0;             // number of the last frame in the range delivered
  double lastReadMs_ = 0;        // and its time stamp
  bool decoderStopped_ = false;  // the loop ended for want of a frame
  bool beyondCount_ = false;     // the movie delivered a frame beyond its frame count
  SkippedFrames skipped_;
  bool partial_ = false;  // some planned frame was not analysed
  // The centreline pass, beside the passes and writers after the
  // orientation; declared last, so that a run left on an exception waits
  // for it before anything it uses is gone.
  std::unique_ptr<BackgroundTask> centrelines_;
};

void RunDriver::startUp() {
  prms_.printIfVerbose(std::cout);
  out_ = std::make_unique<OutputDir>(prms_.outdir(), prms_.moviename());
  openTables();
  openMovie();
  constructAnalysers();
}

void RunDriver::openTables() {
  out_->openStream(wxo_, "wxo.txt", 2);
  out_->openStream(wxd_, "wxd.txt", 2);
  out_->openStream(spd_, "spd.txt", 3);
  out_->openStream(dsp_, "dsp.txt", 4);
  out_->openStream(ang_, "ang.txt", 4);
  out_->openStream(wxs_, "wxs.txt", 3);
  if (prms_.eggs()) out_->openStream(egs_, "eggs.txt", 4);
}

void RunDriver::openMovie() {
  movie_ = std::make_unique<Movie>(prms_.moviePath(".avi"), prms_.screenop(), std::cout, std::cerr);
  movie_->open();
  movie_->printParams();
  width_ = movie_->width();
  height_ = movie_->height();
  frameCount_ = movie_->length();
  movieFps_ = movie_->fps();
  frames_ = planFrameRange(prms_, frameCount_, movieFps_);
  // Positions after a fetch are one-based, so seeking to first - 1 makes
  // the first frame delivered the one numbered first.
  movie_->seek(frames_.first - 1);
  frameNumber_ = frames_.first;
}

void RunDriver::constructAnalysers() {
  // The stage log's window is the raw frame range of the parameters file
  // at the movie's own rate.
  const StageWindow window = stageWindow(prms_.fframe(), prms_.lframe(), frameCount_, movieFps_);
  stage_ = std::make_unique<StageUtil>(prms_.moviePath(".log.csv"), window, prms_.screenop());
  // The times the track will look up: frame p is shown at (p - 1) frame
  // intervals of the movie's own rate.
  const double fps = movieFps_ > 0 && std::isfinite(movieFps_) ? movieFps_ : frames_.rate;
  stage_->checkTimes((frames_.first - 1) * 1000.0 / fps, (frames_.last - 1) * 1000.0 / fps);
  if (prms_.track() == Tracking::kImageMotion)
    cam_ = std::make_unique<ImageMotion>(kMotionStep, kMotionRange, width_, height_);
  image_ = std::make_unique<FrameSegmenter>(width_, height_, segmenterSettings(prms_));
  maker_ = std::make_unique<MaskMaker>(FrameSegmenter::maskMaker(segmenterSettings(prms_)));
  skeleton_ = std::make_unique<Skeleton>(width_, height_);
  stagePos_ = std::make_unique<StageTracker>(*stage_, stageTrackerSettings(prms_, frames_.rate));
  track_ = std::make_unique<TrackImage>(width_, height_, stage_->rangeOfMovement(),
                                        trackImageSettings(prms_));
  trackWindow_ = std::make_unique<TrackWindow>(prms_.debugimg());
  wave_ = std::make_unique<Wave>(frames_.first, frames_.last, prms_.maxskellen());
  eggs_ = std::make_unique<EggList>(width_, height_);
  records_.reserve(frames_.size());
  notes_.reserve(frames_.size());
  bw_ = cv::Mat::zeros(height_, width_, CV_8UC1);
  bin_ = cv::Mat::zeros(height_, width_, CV_8UC1);
  skel_ = cv::Mat::zeros(height_, width_, CV_8UC1);
}

void RunDriver::frameLoop() {
  if (frameNumber_ <= frames_.last) {
    const int first = frames_.first, last = frames_.last;
    source_ = std::make_unique<FrameSource>(
        *movie_, last, FrameSource::kDefaultDepth,
        [this, first, last](SourceFrame& f) { prepareFrame(f, first, last); },
        [this](SourceFrame& f) { makeFirstMasks(f); });
  }
  while (frameNumber_ <= frames_.last) {
    SourceFrame* frame;
    {
      StageTimer t(sink(&StageTimes::decode));
      frame = &source_->next();
    }
    if (!frame->fetched()) {
      std::cout << "can't fetch frame, last frame index is " << frameNumber_ << "\n";
      decoderStopped_ = true;
      break;
    }
    if (times_) ++times_->frames;
    if (!takeFrame(*frame)) break;
  }
  frames_.lastReached = frameNumber_;
}

// Work on a frame that depends on the frame alone, done on the frame
// source's decoding thread for the frames the loop may analyse: every
// frame's grey frame (inverted with polarity = bright) right after it is
// decoded, and the first masks of frames waiting while the decoding thread
// is ahead of the loop (the loop makes the others).
void RunDriver::prepareFrame(SourceFrame& frame, int first, int last) {
  const int p = frame.number();
  if (frame.fault != FrameFault::kNone || p < first || p > last) return;
  greyFrame(frame.image, frame.grey);
  frame.prepared = true;
}

// The frame in grey as the analysis takes it: inverted with polarity =
// bright, so that the worm is always the dark object.
void RunDriver::greyFrame(const cv::Mat& colour, cv::Mat& grey) const {
  rgbToGrey(colour, grey);
  if (prms_.polarity() == Polarity::kBright) cv::bitwise_not(grey, grey);
}

void RunDriver::makeFirstMasks(SourceFrame& frame) {
  if (!frame.prepared) return;
  maker_->make(frame.grey, frame.first);
  frame.firstMade = true;
}

bool RunDriver::takeFrame(SourceFrame& frame) {
  const int p = frame.number();
  if (p < frames_.first) return true;  // delivered by the seek before the first frame
  if (p > frames_.last) {
    beyondCount_ = p > frameCount_;
    return false;
  }
  lastRead_ = p;
  lastReadMs_ = frame.time();
  // An unfit frame is not analysed; like a frame the movie dropped, it
  // shows as a gap in the numbering of the frames taken.
  if (frame.fault != FrameFault::kNone) {
    skipped_.note(p, frame.fault, frame.faultText, frame.image.size());
    return true;
  }
  // A movie that repeats positions could give more frames than the range
  // holds; the analysis stops when every record of the range is taken.
  if (records_.size() >= frames_.size()) return false;
  totalFrames_ += p - frameNumber_;
  frameNumber_ = p;
  records_.emplace_back();
  notes_.emplace_back();
  SkelRecord& rec = records_.back();
  rec.frame = frameNumber_;

  if (frameNumber_ == ignore_.current()) {
    rec.ignored = true;  // the record stays as constructed otherwise
    ignore_.advance();
    return true;
  }
  analyseFrame(frame, rec);
  // The record is kept for the whole run: give back what the chain's growth
  // over-allocated.
  rec.points.shrink_to_fit();
  // Candidates of a frame that ended before the egg step are dropped with
  // it: kept, they would be placed with a later frame's stage position.
  eggsToVerify_.clear();
  return true;
}

void RunDriver::checkFramesTaken() {
  // The count ends the range only when lframe does not: then a frame
  // beyond it means a header that counts too few frames.
  const bool rangeToCount = prms_.lframe() <= 0 || prms_.lframe() > frameCount_;
  // The decoder numbers the frames it delivers one by one, so frames the
  // recording dropped (empty in the file, counted in its header) make the
  // numbers end short of the count; the last frame's time says whether the
  // movie's end was reached.
  const double fps = movieFps_ > 0 && std::isfinite(movieFps_) ? movieFps_ : frames_.rate;
  const bool reachedEnd =
      lastRead_ >= frames_.last || std::lround(lastReadMs_ * fps / 1000.0) + 1 >= frames_.last;
  const int stoppedAfter = decoderStopped_ && !reachedEnd ? lastRead_ : 0;
  const std::string reasons = leftOutReasons(skipped_, cv::Size(width_, height_), stoppedAfter,
                                             beyondCount_ && rangeToCount ? frameCount_ : 0);
  std::ostringstream range;
  range << frames_.first << " to " << frames_.last;
  if (records_.empty()) {
    throw FatalError("No frame analysed: " +
                     (reasons.empty() ? "the movie " + prms_.moviePath(".avi") +
                                            " gave none of the frames " + range.str()
                                      : reasons) +
                     "\n");
  }
  if (ignore_.passed() == records_.size())
    throw FatalError("No frame analysed: every frame taken (" + range.str() +
                     ") is listed in ignorefrm\n");
  if (reasons.empty()) return;
  partial_ = true;
  std::cout.flush();
  // The counts come last: the batch reads the last "N of M" of the line.
  std::cerr << "Partial run: " << reasons << "; analysed " << records_.size() << " of the "
            << frames_.size() << " frames planned (" << range.str() << ")\n";
}

void RunDriver::analyseFrame(SourceFrame& frame, SkelRecord& rec) {
  if (frame.error) std::rethrow_exception(frame.error);
  {
    StageTimer t(sink(&StageTimes::grey));
    if (frame.prepared) {
      cv::swap(bw_, frame.grey);  // the old buffer goes back to the source
    } else {
      greyFrame(frame.image, bw_);
    }
  }
  {
    StageTimer t(sink(&StageTimes::segment));
    if (frame.firstMade)
      image_->segmentFrom(bw_, frame.first, bin_, eggsToVerify_);
    else
      image_->segmentFrame(bw_, bin_, eggsToVerify_);
  }
  StagePosition stage;
  {
    StageTimer t(sink(&StageTimes::tracking));
    stage = locateFrame(frame.time());
  }
  notes_.back().stage = stage.loc;
  const std::string noWorm = notAWormReason(bin_, image_->maskBox());
  if (!noWorm.empty()) {
    rejectNoWorm(rec, noWorm);
    return;
  }
  if (!image_->maskBox().empty()) ++wormFrames_;
  bool valid = false;
  {
    StageTimer t(sink(&StageTimes::skeleton));
    // Locating the frame only reads the mask, so the segmenter's distance
    // map of it is still the map of bin_.
    skeleton_->skeletonize(bin_, skel_, rec, image_->distanceMap());
    if (!rec.loop) valid = validate(rec, prms_.mmpix(), prms_.screenop(), std::cerr);
  }
  if (rec.loop) {
    showFrame(cv::Point(-1, -1), false, frameNumber_);
    if (stage.usable) {
      rec.located = true;
      rec.basicMeasures(bin_, &image_->maskBox());
      drawTrack(stage, rec.mid);
    }
    return;
  }
  if (!valid) {
    if (prms_.screenop()) std::cerr << "bad skeleton in frame " << frameNumber_ << "\n";
    showFrame(cv::Point(-1, -1), false, frameNumber_);
    rec.reset();
    return;
  }
  measureGoodFrame(rec, stage, frame.time());
  showFrame(rec.head, rec.headKnown, rec.frame);
}

// The current frame's stage position in pixels, and whether the frame is
// usable for tracking.
StagePosition RunDriver::locateFrame(double timeMs) {
  if (prms_.track() == Tracking::kStageLog) return stagePos_->addStagePosition(timeMs);
  const std::optional<cv::Point> shift = cam_->findMovement(bw_, image_->wormBox());
  // Without a shift to apply the background moved less than the threshold
  // since the reference (or not at all): the stage is where it was last
  // put, within a few pixels. Leaving the position at 0 would give the
  // frame's own coordinates as world coordinates. The frame stays unusable.
  if (!shift) return StagePosition{stagePos_->stagePx(), false};
  return stagePos_->addImageMotion(*shift, timeMs);
}

// A frame whose mask is plainly not a worm gets no chain and no result.
void RunDriver::rejectNoWorm(SkelRecord& rec, const std::string& why) {
  rec.noWorm = true;
  ++noWormFrames_;
  if (plateDarkerThanObject(bw_)) ++darkPlateFrames_;
  if (prms_.screenop()) std::cerr << "no worm in frame " << frameNumber_ << ": " << why << "\n";
  showFrame(cv::Point(-1, -1), false, frameNumber_);
}

// Results from a movie in which no frame shows a worm would be results from
// the plate: the run ends instead, saying why.
void RunDriver::requireAWorm() const {
  // Without a frame analysed at all, checkFramesTaken says why.
  if (wormFrames_ > 0 || records_.size() <= ignore_.passed()) return;
  std::ostringstream msg;
  msg << "No worm found in the " << records_.size() - ignore_.passed()
      << " frames analysed: every frame's mask was empty, touched three or more frame borders"
         " or covered more than half of the frame.\n";
  if (2 * darkPlateFrames_ > noWormFrames_) {
    const bool inverted = prms_.polarity() == Polarity::kBright;
    msg << "The plate is darker than the object in these frames"
        << (inverted ? " as inverted by polarity = bright" : "") << ": for a "
        << (inverted ? "dark worm on a bright" : "bright worm on a dark")
        << " plate, set polarity = " << (inverted ? "dark" : "bright") << " in " << prms_.fileName()
        << ".\n";
  }
  throw FatalError(msg.str());
}

// Below about 10 pixels of thickness the fixed-size closings of the mask
// bridge the gap inside tight bends. The thickness is the mean over the
// consistent frames: a chain cut short across a bend makes a frame look
// thicker than the worm is.
void RunDriver::warnOfLowResolution() const {
  constexpr double kLeastThickness = 10;
  double sum = 0;
  int n = 0;
  for (const SkelRecord& r : records_) {
    if (!r.consistent || !std::isfinite(r.thickness)) continue;
    sum += r.thickness;
    ++n;
  }
  if (n == 0 || sum / n >= kLeastThickness) return;
  std::cerr << "Warning: the worm is " << std::lround(sum / n * 10) / 10.0
            << " pixels thick on average; below about " << kLeastThickness
            << " pixels tight bends close up in the mask and some chains cut across a bend or"
               " stop short. Film at a higher magnification, or enlarge the frames, for a worm"
               " at least "
            << kLeastThickness << " pixels thick.\n";
}

void RunDriver::measureGoodFrame(SkelRecord& rec, const StagePosition& stage, float timeMs) {
  ++goodFrames_;
  notes_.back().accepted = true;
  {
    StageTimer t(sink(&StageTimes::headMeasures));
    decideHeadTail(bw_, bin_, rec, prms_.mmpix());
    rec.basicMeasures(bin_, &image_->maskBox());
    image_->updateAverages(rec.thickness, rec.area);
    rec.xLoc = stage.loc.x;
    rec.yLoc = stage.loc.y;
  }
  if (stage.usable) {
    rec.located = true;
    drawTrack(stage, rec.mid);
  }
  if (prms_.eggs() && stage.usable) {
    StageTimer t(sink(&StageTimes::headMeasures));
    const int frameIndex = static_cast<int>(records_.size()) - 1;
    eggs_->findLaidEggs(frameIndex, bin_, rec, timeMs);
    for (Egg& candidate : eggsToVerify_) eggs_->verifyCandidate(candidate, rec);
  }
}

// A usable frame into the track canvas, and into the live window.
void RunDriver::drawTrack(const StagePosition& stage, cv::Point mid) {
  StageTimer t(sink(&StageTimes::tracking));
  track_->addFrame(bin_, stage.loc, mid);
  trackWindow_->showFrame(bw_, track_->frameRegion(stage.loc), frameNumber_);
}

void RunDriver::showFrame(cv::Point head, bool headKnown, int frame) {
  debug_.show(prms_.debugimg(), bw_, bin_, skel_, head, headKnown, frame);
}

// The decoder and the per-frame analysers are done with once the frame loop
// ends; releasing them here keeps them out of the peak memory of the passes
// over the records and the writers.
void RunDriver::releaseFrameWork() {
  if (source_) {
    source_->stop();
    if (times_) {
      times_->decodeThread += source_->decodeMs();
      times_->preparing += source_->stepsMs();
    }
    source_.reset();
  }
  bw_.release();
  bin_.release();
  skel_.release();
  movie_->release();
  cam_.reset();
  image_.reset();
  maker_.reset();
  skeleton_.reset();
}

// Median length, consistency and loop spreading: which frames count.
void RunDriver::judgeRecords() {
  const int median = medianLength(records_, prms_.mmpix());
  consistentFrames_ = consistencyPass(records_, median);
  loopSpreading(records_);
}

void RunDriver::writeSummary() {
  RunCounts counts;
  counts.totalFrames = totalFrames_;
  counts.realFrames = static_cast<int>(records_.size());
  counts.goodFrames = goodFrames_;
  counts.consistentFrames = consistentFrames_;
  counts.ignoredFrames = ignore_.passed();
  counts.lastReached = frameNumber_;
  counts.lastPlanned = frames_.last;
  writeRunSummary(wxo_, counts);
  if (prms_.screenop()) writeConsoleSummary(std::cout, counts);
}

// Orients head and tail by the rule of `headmode`; returns the stretches
// whose orientation contradicts all the evidence.
std::vector<HeadCheck> RunDriver::orientHeads() {
  const std::vector<RunJudgement> judged = judgeRuns(records_, frames_.rate);
  if (prms_.headmode() == HeadMode::kCombined)
    orientByJudgement(records_, judged);
  else
    orientHeadTail(records_);
  if (prms_.screenop())
    for (const RunJudgement& j : judged) std::cout << runEvidenceLine(j, records_);
  return checkHeads(records_, judged, frames_.rate);
}

// A warning per contradicting stretch, and the check file checks.csv.
void RunDriver::writeHeadChecks(const std::vector<HeadCheck>& checks) {
  const std::string name = prms_.moviename() + "-checks.csv";
  for (const HeadCheck& c : checks) std::cerr << headCheckWarning(c, name);
  std::ofstream os;
  out_->openStream(os, "checks.csv", 6);
  if (!os.is_open()) return;
  writeChecks(os, checks);
  out_->closeStream(os, "checks.csv");
}

// The body-wave features and frequency of the consistent records, and the
// wave image's columns.
void RunDriver::bodyWaves() {
  // The bend profiles (about 2 KB per frame) are not kept: the first pass
  // notes each for the wave image's grey scale and drops it, the second
  // computes it again from the chain and draws it.
  for (SkelRecord& rec : records_) {
    if (!rec.consistent) continue;
    computeFeatures(rec);
    wave_->noteProfile(rec.frame, rec.angles, rec.numAngles);
    std::vector<double>().swap(rec.angles);
  }
  for (const SkelRecord& rec : records_) {
    if (!rec.consistent) continue;
    const std::vector<double> angles = bendAngles(rec);
    wave_->addColumn(rec.frame, angles, rec.numAngles);
  }
  waveFrequency(records_, frames_.rate);
}

// Movement segments, their classification and the frames' movement labels;
// the behaviour report wxs.txt.
void RunDriver::behaviour() {
  const MovementSettings moving = movementSettings(prms_, frames_);
  const Movements movements = segmentMovements(records_, moving);
  const Classification classes = classifyBehaviour(movements.segments, records_, moving);
  labelRecords(classes.segments, records_);
  writeBehaviourReport(wxs_, movements.cutCount, classes, records_);
}

// track.bmp with the egg report on the console, and wave.bmp.
void RunDriver::writeImages() {
  const cv::Mat& trackImg = track_->render(eggs_.get(), frames_.span());
  writeEggReport(std::cout, *eggs_);
  trackWindow_->showTrack(trackImg);
  if (!track_->save(out_->pendingPath("track.bmp")))
    out_->noteFailure(out_->completePath("track.bmp"));
  if (!wave_->makeImage(out_->pendingPath("wave.bmp"), frames_.rate))
    out_->noteFailure(out_->completePath("wave.bmp"));
}

// The path measures (which set each record's displacement), then the
// per-frame tables, the feature summary and the per-frame table frames.csv.
void RunDriver::writeTables() {
  const PathMeasures path = measurePath(records_, pathSettings(prms_, frames_.rate));
  writeShapeTables(wxo_, wxd_, records_);
  writeMovementTables(spd_, dsp_, ang_, path, records_);
  if (prms_.eggs()) writeEggTable(egs_, *eggs_);
  writeFeatureSummary(wxo_, summarizeFeatures(records_, prms_.distbox()),
                      StatisticsLayout{prms_.distbox(), prms_.emptyrows()});
  if (!writeFrameTableFile(out_->pendingPath("frames.csv"), records_,
                           frameTableSettings(prms_, frames_.rate)))
    out_->noteFailure(out_->completePath("frames.csv"));
}

// skel.csv: the earlier runs' chains, then this run's.
void RunDriver::writeSkeletonFile() {
  std::ofstream skel;
  out_->openAppending(skel, "skel.csv");
  if (!skel.is_open()) return;
  writeSkeletons(skel, records_);
  out_->closeStream(skel, "skel.csv");
}

// Every analysed frame's centreline, the body model fitted where the chain
// failed (with `centrelines`), into "centreline.csv". The pass runs on a
// thread of its own from the moment the heads are oriented: of the records
// it reads only the chains, positions, areas, lengths, thicknesses, frame
// numbers and flags, which nothing after the orientation changes, and the
// frame notes, which only it reads. The passes and writers in between run
// meanwhile; its console lines are held and written when it is done, where
// they always came.
void RunDriver::startCentrelines() {
  CentrelineInput input{prms_.moviePath(".avi"), cv::Size(width_, height_),
                        segmenterSettings(prms_), prms_.centrelines(),
                        prms_.polarity() == Polarity::kBright};
  input.threads = centrelineThreads();
  centrelinePath_ = out_->pendingPath("centreline.csv");
  centrelineCpu_ = std::clock();
  callerCpuMs_ = threadCpuMs();
  centrelines_ = std::make_unique<BackgroundTask>([this, input] {
    StageTimer t(sink(&StageTimes::fitting));
    centrelineWritten_ = writeCentrelineFile(centrelinePath_, [&](CentrelineFile& file) {
      centrelineCounts_ = computeCentrelines(
          input, records_, notes_, [&file](const FrameCentreline& c) { file.write(c); },
          centrelineErr_);
    });
  });
}

void RunDriver::finishCentrelines() {
  centrelines_->join();
  centrelines_.reset();
  std::cerr << centrelineErr_.str();
  if (!centrelineWritten_) out_->noteFailure(out_->completePath("centreline.csv"));
  if (times_) {
    // The process's processor time while the pass ran, less this thread's
    // (the passes and writers beside it).
    const double processMs = 1000.0 * (std::clock() - centrelineCpu_) / CLOCKS_PER_SEC;
    times_->fittingCpu += processMs - (threadCpuMs() - callerCpuMs_);
    times_->fitFrames += centrelineCounts_.gapFrames;
    times_->fitted += centrelineCounts_.fitted;
  }
}

// The parameters as the run used them under the run header: the frame rate
// it counted in and the last frame it reached.
void RunDriver::writeParamsFile() {
  std::ofstream po;
  out_->openStream(po, prms_.fileName(), 3);  // notes a failure to open
  if (!po.is_open()) return;
  writeParamsCopy(po, prms_, std::string(kVersion) + " with OpenCV", frames_.rate,
                  frames_.lastReached);
  out_->closeStream(po, prms_.fileName());
}

int RunDriver::finish() {
  records_.clear();
  struct Named {
    std::ofstream* os;
    const char* name;
  };
  const Named streams[] = {{&egs_, "eggs.txt"}, {&wxs_, "wxs.txt"}, {&ang_, "ang.txt"},
                           {&dsp_, "dsp.txt"},  {&spd_, "spd.txt"}, {&wxd_, "wxd.txt"},
                           {&wxo_, "wxo.txt"}};
  for (const Named& s : streams) {
    if (s.os->is_open()) out_->closeStream(*s.os, s.name);
  }
  const bool published = out_->publish();
  if (out_->failures().empty()) return partial_ ? kPartialRun : 0;
  for (const std::string& path : out_->failures())
    std::cerr << "Could not write output file " << path << "\n";
  if (!published)
    std::cerr << "Results not published: " << out_->folder()
              << " keeps the files of the earlier run\n";
  return 1;
}

}  // namespace

int runDukon(const std::string& paramFN, StageTimes* times) {
  RunDriver driver(paramFN, times);
  return driver.run();
}

}  // namespace dukon
