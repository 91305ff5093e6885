// dukon-bench-run: runs the analysis configured by DIR/params.txt in-process
// (the image library single-threaded; the movie decoded and its frames
// partly prepared on the frame source's thread) and prints per-stage
// milliseconds per frame, the CPU time per frame of the whole process, the
// decode-only time of the same movie measured in the same process, and the
// peak resident memory.
//
// Usage: dukon-bench-run DIR
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>
#include <sstream>
#include <string>
#include <thread>

#include "base/fatal_error.h"
#include "base/params.h"
#include "run/run_driver.h"

namespace {

// A field of /proc/self/status in kilobytes ("VmHWM", "VmRSS").
long statusKb(const std::string& field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
  return -1;
}

// CPU time (user and system) of every thread of the process so far, ms.
double cpuMs() {
  rusage u;
  ::getrusage(RUSAGE_SELF, &u);
  auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
  return ms(u.ru_utime) + ms(u.ru_stime);
}

// Milliseconds per frame of decoding the whole movie, nothing else.
double decodeOnly(const std::string& path, int* frames) {
  cv::VideoCapture cap(path, cv::CAP_FFMPEG);
  cv::Mat f;
  *frames = 0;
  auto t0 = std::chrono::steady_clock::now();
  while (cap.read(f)) ++*frames;
  double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  return *frames > 0 ? ms / *frames : 0;
}

// Samples the anonymous resident memory (the process's own heap and stacks,
// without the file-backed pages of shared libraries) every 2 ms and keeps
// the largest value.
class AnonPeakSampler {
 public:
  AnonPeakSampler() : thread_([this] { loop(); }) {}
  ~AnonPeakSampler() { stop(); }
  long stop() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
    return peak_;
  }

 private:
  void loop() {
    while (!done_) {
      long kb = statusKb("RssAnon");
      if (kb > peak_) peak_ = kb;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  std::atomic<bool> done_{false};
  std::atomic<long> peak_{0};
  std::thread thread_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: dukon-bench-run DIR   (DIR holds params.txt)\n";
    return 2;
  }
  if (::chdir(argv[1]) != 0) {
    std::perror(argv[1]);
    return 2;
  }
  cv::setNumThreads(1);
  const long rssStart = statusKb("VmRSS");
  const long anonStart = statusKb("RssAnon");
  AnonPeakSampler sampler;
  dukon::StageTimes t;
  auto t0 = std::chrono::steady_clock::now();
  const double cpu0 = cpuMs();
  int status;
  // The analysis writes its usual console output; keep the figures apart.
  std::ostringstream sink;
  std::streambuf* saved = std::cout.rdbuf(sink.rdbuf());
  try {
    status = dukon::runDukon("params.txt", &t);
  } catch (const dukon::FatalError& e) {
    std::cout.rdbuf(saved);
    std::cerr << e.what();
    return 1;
  }
  std::cout.rdbuf(saved);
  const double wall =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  const double cpu = cpuMs() - cpu0;
  const long peak = statusKb("VmHWM");
  const long anonPeak = sampler.stop();

  std::ostringstream err;
  const dukon::Params prms = dukon::Params::fromFile("params.txt", err);
  int decodedFrames = 0;
  const double decode = decodeOnly(prms.moviePath(".avi"), &decodedFrames);

  const int n = t.frames > 0 ? t.frames : 1;
  auto per = [n](double ms) { return ms / n; };
  std::printf("mode                     %s\n",
              prms.track() == dukon::Tracking::kStageLog ? "stage log" : "image motion");
  std::printf("frames analysed          %d\n", t.frames);
  std::printf("whole run                %.1f frames/s (%.3f ms/frame)\n", 1000.0 * n / wall,
              per(wall));
  std::printf("cpu time                 %.3f ms/frame (all threads)\n", per(cpu));
  std::printf("  decode (waiting)       %.3f ms/frame\n", per(t.decode));
  std::printf("  decoding thread        %.3f ms/frame\n", per(t.decodeThread));
  std::printf("  preparing frames       %.3f ms/frame\n", per(t.preparing));
  std::printf("  grey conversion        %.3f ms/frame\n", per(t.grey));
  std::printf("  segmentation           %.3f ms/frame\n", per(t.segment));
  std::printf("  skeleton               %.3f ms/frame\n", per(t.skeleton));
  std::printf("  head/tail and measures %.3f ms/frame\n", per(t.headMeasures));
  std::printf("  tracking               %.3f ms/frame\n", per(t.tracking));
  std::printf("  post-processing        %.3f ms/frame\n", per(t.post));
  const double perFit = t.fitFrames > 0 ? 1.0 / t.fitFrames : 0.0;
  std::printf(
      "    of it centrelines    %.3f ms/frame; per frame fitted %.1f ms, %.1f ms processor "
      "time (%d tried, %d accepted)\n",
      per(t.fitting), t.fitting * perFit, t.fittingCpu * perFit, t.fitFrames, t.fitted);
  std::printf("decode only              %.3f ms/frame (%d frames)\n", decode, decodedFrames);
  std::printf("ratio whole/decode-only  %.2f\n", decode > 0 ? per(wall) / decode : 0.0);
  std::printf("peak resident memory     %.1f MB (%.1f MB at start)\n", peak / 1024.0,
              rssStart / 1024.0);
  std::printf("peak anonymous memory    %.1f MB (%.1f MB at start; without shared-library pages)\n",
              anonPeak / 1024.0, anonStart / 1024.0);
  return status;
}
