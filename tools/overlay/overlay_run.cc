#include "overlay/overlay_run.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "overlay/frame_annotation.h"
#include "overlay/overlay_drawing.h"
#include "results/params_copy.h"
#include "results/run_folder.h"
#include "results/shape_table.h"
#include "results/skeleton_file.h"

namespace dukon {
namespace overlay {
namespace {

namespace fs = std::filesystem;

// A problem with the movie or the output file (run files: RunFileError).
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct LoadedRun {
  std::string name;
  results::RunParams params;
  std::unique_ptr<RunAnnotations> annotations;
};

LoadedRun loadRun(const OverlayOptions& o, std::ostream& err) {
  LoadedRun run;
  run.name = o.name.empty() ? results::findRunName(o.runDir) : o.name;
  auto file = [&](const char* suffix) { return results::runFile(o.runDir, run.name, suffix); };
  run.params = results::readParamsCopy(file("params.txt"));
  std::vector<ShapeRow> rows = results::readShapeTable(file("wxd.txt"));
  // One skeleton entry per row of the shape table: earlier runs' entries
  // before them are left out, and said so.
  size_t skipped = 0;
  auto chains = results::readSkeletonFile(file("skel.csv"), rows.size(), &skipped);
  if (skipped) {
    err << "dukon-overlay: warning: " << file("skel.csv") << ": skipped " << skipped
        << " entries of earlier runs; read the last run's " << rows.size() << "\n";
  }
  run.annotations = std::make_unique<RunAnnotations>(rows, chains, file("skel.csv"));
  // Runs made before the analysis wrote centrelines have no such file.
  std::error_code ec;
  if (fs::is_regular_file(file("centreline.csv"), ec))
    run.annotations->addFitted(readFittedCentrelines(file("centreline.csv")));
  if (run.annotations->empty()) throw RunFileError(file("wxd.txt") + ": no analysed frame");
  return run;
}

// The movie as the analyser reads it: the FFmpeg capture, frames numbered
// by the position it reports after each fetch (1 = first frame).
struct Movie {
  std::string path;
  cv::VideoCapture capture;
  cv::Size size;
  double fps = 0.0;
};

void openMovie(const OverlayOptions& o, const LoadedRun& run, Movie* m, std::ostream& err) {
  m->path = o.movie.empty() ? run.params.movieDir + run.params.movieName + ".avi" : o.movie;
  std::error_code ec;
  if (!fs::is_regular_file(m->path, ec)) {
    throw InputError("no movie file " + m->path +
                     (o.movie.empty() ? " (named by the parameters copy; give MOVIE)" : ""));
  }
  m->capture.open(m->path, cv::CAP_FFMPEG);
  if (!m->capture.isOpened()) {
    throw InputError("cannot read movie " + m->path + " (not a movie, or its codec is missing)");
  }
  m->size = cv::Size(static_cast<int>(m->capture.get(cv::CAP_PROP_FRAME_WIDTH)),
                     static_cast<int>(m->capture.get(cv::CAP_PROP_FRAME_HEIGHT)));
  m->fps = m->capture.get(cv::CAP_PROP_FPS);
  if (m->size.width <= 0 || m->size.height <= 0)
    throw InputError("movie " + m->path + " has no frame size");
  cv::Point extent = run.annotations->chainExtent();
  if (extent.x >= m->size.width || extent.y >= m->size.height) {
    throw InputError("skeleton points reach (" + std::to_string(extent.x) + "," +
                     std::to_string(extent.y) + "), outside the " + std::to_string(m->size.width) +
                     "x" + std::to_string(m->size.height) + " frames of " + m->path +
                     ": the movie is not the one this run analysed");
  }
  if (fs::path(m->path).stem().string() != run.params.movieName) {
    err << "dukon-overlay: warning: the run analysed " << run.params.movieName << ".avi, not "
        << fs::path(m->path).filename().string() << "\n";
  }
}

// Silences standard error while alive: the FFmpeg writer complains about
// a codec tag that WebM files do not use, then writes the file all the same.
class QuietStderr {
 public:
  QuietStderr() {
    std::fflush(stderr);
    saved_ = dup(2);
    int null = open("/dev/null", O_WRONLY);
    if (saved_ >= 0 && null >= 0) dup2(null, 2);
    if (null >= 0) close(null);
  }
  ~QuietStderr() {
    std::fflush(stderr);
    if (saved_ >= 0) {
      dup2(saved_, 2);
      close(saved_);
    }
  }
  QuietStderr(const QuietStderr&) = delete;
  QuietStderr& operator=(const QuietStderr&) = delete;

 private:
  int saved_ = -1;
};

std::string defaultOutput(const OverlayOptions& o, const std::string& name) {
  std::string file =
      o.still ? name + "-overlay-" + std::to_string(o.still) + ".png" : name + "-overlay.mp4";
  return (fs::path(o.runDir) / file).string();
}

void checkOutputFolder(const std::string& out) {
  fs::path parent = fs::path(out).parent_path();
  std::error_code ec;
  if (!parent.empty() && !fs::is_directory(parent, ec)) {
    throw InputError("cannot write " + out + ": no folder " + parent.string());
  }
}

// Frames first..last (inclusive) that the output shows.
struct FrameRange {
  int first = 0, last = 0, step = 1;
};

FrameRange frameRange(const OverlayOptions& o, const RunAnnotations& a) {
  FrameRange r;
  r.step = o.step;
  if (o.still) {
    r.first = r.last = o.still;
    return r;
  }
  r.first = o.from ? o.from : a.firstFrame();
  r.last = o.to ? o.to : a.lastFrame();
  if (r.first > r.last) {
    throw InputError("no frame to write: the run covers frames " + std::to_string(a.firstFrame()) +
                     " to " + std::to_string(a.lastFrame()));
  }
  return r;
}

// Calls `use(frame, number, timeMs)` for every frame of `range` that the
// movie holds, in order; returns how many there were.
template <typename Use>
int forEachFrame(Movie* m, const FrameRange& range, Use use) {
  // Positions after a fetch are one-based: seek to the frame before.
  if (range.first > 1) m->capture.set(cv::CAP_PROP_POS_FRAMES, range.first - 1);
  int used = 0;
  cv::Mat frame;
  while (m->capture.grab()) {
    int number = static_cast<int>(m->capture.get(cv::CAP_PROP_POS_FRAMES));
    if (number > range.last) break;
    if (number < range.first || (number - range.first) % range.step != 0) continue;
    if (!m->capture.retrieve(frame) || frame.empty()) break;
    use(frame, number, m->capture.get(cv::CAP_PROP_POS_MSEC));
    ++used;
    if (number + range.step > range.last) break;
  }
  return used;
}

// Prints "dukon-overlay: N of TOTAL frames, about S s left" to `err` at
// most every kEverySeconds, so that a long movie shows it is under way.
class Progress {
 public:
  Progress(int total, std::ostream& err) : total_(total), err_(err), start_(Clock::now()) {}
  void done(int n) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
    if (elapsed < shown_ + kEverySeconds || n >= total_) return;
    shown_ = elapsed;
    err_ << "dukon-overlay: " << n << " of " << total_ << " frames, about "
         << static_cast<int>(elapsed / n * (total_ - n) + 0.5) << " s left\n";
  }

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr double kEverySeconds = 5.0;
  int total_;
  std::ostream& err_;
  Clock::time_point start_;
  double shown_ = 0.0;
};

int writeStill(const OverlayOptions& o, const LoadedRun& run, Movie* m, const std::string& out,
               std::ostream& os) {
  OverlayLayout layout = makeLayout(m->size, o.scale);
  cv::Mat canvas;
  int found =
      forEachFrame(m, frameRange(o, *run.annotations), [&](const cv::Mat& f, int n, double t) {
        drawOverlay(f, run.annotations->at(n), t, layout, run.params.mmpix, &canvas);
      });
  if (!found) throw InputError("movie " + m->path + " has no frame " + std::to_string(o.still));
  if (!cv::imwrite(out, canvas)) throw InputError("cannot write " + out);
  os << "wrote frame " << o.still << " (" << stateName(run.annotations->at(o.still).state) << ", "
     << canvas.cols << "x" << canvas.rows << ") to " << out << "\n";
  return 0;
}

int writeMovie(const OverlayOptions& o, const LoadedRun& run, Movie* m, const std::string& out,
               std::ostream& os, std::ostream& err) {
  FrameRange range = frameRange(o, *run.annotations);
  double runFps = run.params.frmps > 0 ? run.params.frmps : m->fps;
  double fps = o.fps > 0 ? o.fps : (runFps > 0 ? runFps : 25.0) / o.step;
  OverlayLayout layout = makeLayout(m->size, o.scale);
  fs::path target(out);
  const std::string part =
      (target.parent_path() / (target.stem().string() + ".part" + target.extension().string()))
          .string();
  const bool webm = o.kind == OutputKind::kWebm;
  const int fourcc = webm ? cv::VideoWriter::fourcc('V', 'P', '9', '0')
                          : cv::VideoWriter::fourcc('a', 'v', 'c', '1');
  cv::VideoWriter writer;
  {
    std::optional<QuietStderr> quiet;
    if (webm) quiet.emplace();
    writer.open(part, cv::CAP_FFMPEG, fourcc, fps, layout.canvas(), true);
  }
  if (!writer.isOpened()) {
    throw InputError("cannot write " + out + " (no " + (webm ? "VP9" : "H.264") +
                     " encoder in this OpenCV's FFmpeg, or the folder is not writable)");
  }
  cv::Mat canvas;
  int last = 0, count = 0;
  Progress progress((range.last - range.first) / range.step + 1, err);
  int written = forEachFrame(m, range, [&](const cv::Mat& f, int n, double t) {
    drawOverlay(f, run.annotations->at(n), t, layout, run.params.mmpix, &canvas);
    writer.write(canvas);
    last = n;
    progress.done(++count);
  });
  writer.release();
  std::error_code ec;
  if (!written) {
    fs::remove(part, ec);
    throw InputError("movie " + m->path + " holds none of frames " + std::to_string(range.first) +
                     " to " + std::to_string(range.last));
  }
  if (last + range.step <= range.last) {
    err << "dukon-overlay: warning: the movie ends at frame " << last << ", before frame "
        << range.last << "\n";
  }
  fs::rename(part, target, ec);
  if (ec) throw InputError("cannot write " + out + ": " + ec.message());
  os << "wrote " << written << " frames (" << layout.canvas().width << "x" << layout.canvas().height
     << ", " << fps << " fps) to " << out << "\n";
  return 0;
}

}  // namespace

int runOverlay(const OverlayOptions& options, std::ostream& out, std::ostream& err) {
  try {
    LoadedRun run = loadRun(options, err);
    Movie movie;
    openMovie(options, run, &movie, err);
    const std::string target = options.out.empty() ? defaultOutput(options, run.name) : options.out;
    checkOutputFolder(target);
    if (run.annotations->unmatchedEnds()) {
      err << "dukon-overlay: warning: in " << run.annotations->unmatchedEnds()
          << " frames the table's head and tail are not the chain's ends\n";
    }
    if (options.still) return writeStill(options, run, &movie, target, out);
    return writeMovie(options, run, &movie, target, out, err);
  } catch (const std::exception& e) {  // RunFileError, InputError, cv::Exception, filesystem
    err << "dukon-overlay: " << e.what() << "\n";
    return 1;
  }
}

}  // namespace overlay
}  // namespace dukon
