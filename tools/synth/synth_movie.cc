#include "synth/synth_movie.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "base/fatal_error.h"
#include "synth/body_model.h"
#include "synth/stage_log.h"

namespace dukon {
namespace synth {
namespace {

constexpr double kFalloffGrey = 8.0;  // darkening at the frame corners
const double kNaN = std::numeric_limits<double>::quiet_NaN();

cv::Mat makeFalloff(cv::Size size) {
  cv::Mat f(size, CV_16S);
  double cx = 0.5 * (size.width - 1), cy = 0.5 * (size.height - 1);
  double r2 = cx * cx + cy * cy;
  for (int y = 0; y < size.height; ++y) {
    short* p = f.ptr<short>(y);
    for (int x = 0; x < size.width; ++x) {
      double d2 = ((x - cx) * (x - cx) + (y - cy) * (y - cy)) / r2;
      p[x] = static_cast<short>(std::lround(-kFalloffGrey * d2));
    }
  }
  return f;
}

cv::Point2d toWorld(cv::Point2f p) {
  return cv::Point2d(p.x, p.y);
}

// The body's area centroid: each centreline point weighted by the body's
// width there (u from 0 at the head to 1 at the tail) and by the length of
// centreline it stands for. The rounded ends are left out.
cv::Point2d areaCentroid(const std::vector<cv::Point2f>& line, const BodyModel& body) {
  const size_t n = line.size();
  if (n < 2) return n == 1 ? toWorld(line[0]) : cv::Point2d(kNaN, kNaN);
  cv::Point2d sum(0, 0);
  double weight = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const double reach = 0.5 * (cv::norm(line[std::min(i + 1, n - 1)] - line[i]) +
                                cv::norm(line[i] - line[i == 0 ? 0 : i - 1]));
    const double w = body.radiusAt(static_cast<double>(i) / (n - 1)) * reach;
    sum += toWorld(line[i]) * w;
    weight += w;
  }
  return weight > 0 ? sum / weight : cv::Point2d(kNaN, kNaN);
}

int fourcc(Codec codec) {
  return codec == Codec::kFfv1 ? cv::VideoWriter::fourcc('F', 'F', 'V', '1')
                               : cv::VideoWriter::fourcc('M', 'J', 'P', 'G');
}

// Frames before and after an egg's laying in which the stage stands still.
constexpr int kRestBefore = 3;
constexpr int kRestAfter = 8;

// The analyser finds a laid egg only by comparing two consecutive frames it
// can place in the world, and frames shown during a stage move cannot be
// placed. Eggs are therefore laid when the stage has stood still for a few
// frames and goes on standing: each egg moves to the first such frame at or
// after its scheduled one (it stays put when there is none).
void layEggsAtRest(const StageTrack& stage, Kinematics* kin) {
  const int frames = static_cast<int>(kin->frames.size());
  auto still = [&](int f) {
    for (int i = std::max(0, f - kRestBefore); i <= std::min(frames - 1, f + kRestAfter); ++i)
      if (stage.moving[i]) return false;
    return true;
  };
  for (LaidEgg& e : kin->eggs) {
    for (int f = e.frameIndex; f + kRestAfter < frames; ++f) {
      if (!still(f)) continue;
      placeEgg(kin->frames[f], f, &e);
      break;
    }
  }
}

}  // namespace

SynthMovie::SynthMovie(const SynthConfig& config) : config_(config) {
  script_ = buildScript(config_);
  kin_ = simulateWorm(config_, script_);
  stage_ = followWorm(kin_, config_);
  layEggsAtRest(stage_, &kin_);
  // World origin at the smallest logged stage position: the analyser
  // measures stage offsets from there.
  cv::Point m = minimumSample(stage_);
  shiftStage(&stage_, -m);
  shiftWorld(&kin_, cv::Point2d(-m.x, -m.y));
  cv::Point far(0, 0);
  for (const cv::Point& p : stage_.offset)
    far = cv::Point(std::max(far.x, p.x), std::max(far.y, p.y));
  plate_ = std::make_unique<Plate>(cv::Size(far.x + config_.width + 1, far.y + config_.height + 1),
                                   config_.seed);
  int points = kin_.frames.empty() ? 2 : static_cast<int>(kin_.frames[0].centreline.size());
  renderer_ = std::make_unique<WormRenderer>(config_, points, config_.seed);
  falloff_ = makeFalloff(cv::Size(config_.width, config_.height));
  buildTruth();
}

void SynthMovie::buildTruth() {
  const double mmpix = config_.mmpix;
  const BodyModel body(config_);
  truth_.clear();
  for (size_t i = 0; i < kin_.frames.size(); ++i) {
    const FramePose& f = kin_.frames[i];
    TruthRow r;
    r.frame = static_cast<int>(i) + 1;  // the capture reports 1 after reading the first frame
    r.timeMs = frameTimeMs(static_cast<int>(i), config_.fps);
    r.stage = stage_.offset[i];
    r.stageMoving = stage_.moving[i];
    r.head = toWorld(f.centreline.front());
    r.mid = toWorld(f.centreline[f.centreline.size() / 2]);
    r.tail = toWorld(f.centreline.back());
    r.state = stateName(f.state);
    r.wavelengthPx = f.wavelengthPx;
    r.freqHz = f.freqHz;
    r.speedMmS = f.speedPxS / mmpix;
    r.lengthPx = config_.lengthPx();
    r.egg = cv::Point2d(kNaN, kNaN);
    r.cmass = areaCentroid(f.centreline, body);
    r.centreline = resampleByArcLength(
        std::vector<cv::Point2d>(f.centreline.begin(), f.centreline.end()), kCentrelinePoints);
    truth_.push_back(r);
  }
  for (const LaidEgg& e : kin_.eggs) {
    if (e.frameIndex < 0 || e.frameIndex >= static_cast<int>(truth_.size())) continue;
    TruthRow& r = truth_[e.frameIndex];
    if (r.eggEvent) continue;  // one event per frame; eggs are laid seconds apart
    r.eggEvent = 1;
    r.egg = e.centre;
  }
}

void SynthMovie::renderClean(int index, cv::Mat* grey) const {
  grey->create(config_.height, config_.width, CV_8UC1);
  const cv::Point offset = stage_.offset.at(index);
  plate_->crop(offset, grey);
  const cv::Point2d o(offset);
  const double reach = renderer_->eggMajor() + 4;
  for (const LaidEgg& e : kin_.eggs) {
    if (e.frameIndex > index) continue;
    cv::Point2d c = e.centre - o;
    if (c.x < -reach || c.y < -reach || c.x > config_.width + reach ||
        c.y > config_.height + reach) {
      continue;
    }
    renderer_->drawEgg(c, e.angleDeg, grey);
  }
  std::vector<cv::Point2f> line = kin_.frames.at(index).centreline;
  const cv::Point2f of(static_cast<float>(offset.x), static_cast<float>(offset.y));
  for (cv::Point2f& p : line) p -= of;
  renderer_->drawWorm(line, grey);
}

void SynthMovie::renderFrame(int index, cv::Mat* bgr) const {
  cv::Mat grey;
  renderClean(index, &grey);
  cv::Mat noise(grey.size(), CV_16S);
  cv::RNG rng(config_.seed * 0x9E3779B97F4A7C15ULL + static_cast<uint64_t>(index) * 7919 + 3);
  rng.fill(noise, cv::RNG::NORMAL, 0.0, config_.noise);
  noise += falloff_;
  cv::Mat out;
  cv::add(grey, noise, out, cv::noArray(), CV_8U);
  if (config_.brightWorm) cv::bitwise_not(out, out);
  cv::cvtColor(out, *bgr, cv::COLOR_GRAY2BGR);
}

std::string absoluteDir(const std::string& dir) {
  std::string abs = std::filesystem::absolute(dir).lexically_normal().string();
  if (abs.empty() || abs.back() != '/') abs += '/';
  return abs;
}

std::string paramsDirProblem(const std::string& dir, const std::string& name) {
  std::string abs = absoluteDir(dir);
  for (char c : abs) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      return "the output directory's path must not contain white space (" + abs + ")";
    }
  }
  // The analyser keeps paths in 260-character buffers: moviedir + moviename
  // + ".truth.csv" and its output files must fit.
  if (abs.size() + name.size() + 40 > 259) return "the output directory's path is too long";
  return "";
}

std::string paramsText(const SynthConfig& c, const std::string& absDir) {
  std::ostringstream os;
  char fps[32];
  std::snprintf(fps, sizeof fps, "%g", c.fps);
  os << "# Synthetic movie from dukon-synth: scenario " << c.scenario << ", seed " << c.seed << ", "
     << c.seconds << " s at " << fps << " fps.\n"
     << "# Ground truth per frame: " << c.movieName() << ".truth.csv\n"
     << "moviedir = " << absDir << '\n'
     << "moviename = " << c.movieName() << '\n'
     << "outdir = " << absDir << '\n'
     << "mmpix = " << c.mmpix << '\n'
     << "frmps = " << fps << '\n'
     << "track = " << (c.trackCorr ? "corr" : "stage") << '\n'
     << "eggs = " << (effectiveEggDetect(c) ? 1 : 0) << '\n'
     << (c.brightWorm ? "polarity = bright\n" : "") << "screenop = 0\n"
     << "debugimg = 0\n";
  return os.str();
}

void SynthMovie::writeFiles(const std::string& dir, void (*progress)(int)) const {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const std::string abs = absoluteDir(dir);
  const std::string stem = abs + config_.movieName();
  {
    std::ofstream params(abs + "params.txt");
    params << paramsText(config_, abs);
    if (!params) throw FatalError("Couldn't write " + abs + "params.txt\n");
  }
  writeStageLog(stem + ".log.csv", stage_.samples, config_.mmpix);
  writeTruthCsv(stem + ".truth.csv", truth_);
  cv::VideoWriter writer(stem + ".avi", cv::CAP_FFMPEG, fourcc(config_.codec), config_.fps,
                         cv::Size(config_.width, config_.height), true);
  if (!writer.isOpened()) throw FatalError("Couldn't open movie writer for " + stem + ".avi\n");
  cv::Mat frame;
  for (int i = 0; i < frameCount(); ++i) {
    renderFrame(i, &frame);
    writer.write(frame);
    if (progress) progress(i + 1);
  }
  writer.release();
}

}  // namespace synth
}  // namespace dukon
