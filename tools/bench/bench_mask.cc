// dukon-bench-mask MOVIE.avi [--params FILE] [--frames N] [--plain] [--check]
//
// Times, per frame and on one thread, the MJPG decode, the grey conversion,
// the worm segmentation and the skeletonisation of a movie, feeding the
// segmenter's running means as a run would. --plain makes every mask step
// through the image library on whole 8-bit frames instead of the packed
// masks and regions of interest; --check runs both ways side by side and
// counts the frames whose mask, skeleton image, chain, loop flag or egg
// candidates differ (it times nothing).
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "base/fatal_error.h"
#include "base/params.h"
#include "base/skel_record.h"
#include "segment/frame_segmenter.h"
#include "skeleton/skeleton.h"

namespace dukon {
namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  std::string movie;
  std::string params;
  long frames = -1;
  bool plain = false;
  bool check = false;
};

bool parse(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--params" && i + 1 < argc) {
      o->params = argv[++i];
    } else if (a == "--frames" && i + 1 < argc) {
      o->frames = std::atol(argv[++i]);
    } else if (a == "--plain") {
      o->plain = true;
    } else if (a == "--check") {
      o->check = true;
    } else if (!a.empty() && a[0] != '-' && o->movie.empty()) {
      o->movie = a;
    } else {
      return false;
    }
  }
  return !o->movie.empty();
}

// One frame's segmentation and skeleton, as the run's frame loop does them.
class Pipeline {
 public:
  Pipeline(int width, int height, const Params& prms, bool useRoi)
      : prms_(prms),
        shortcuts_(useRoi),
        image_(width, height, segmenterSettings(prms)),
        skeleton_(width, height) {
    image_.setPlain(!useRoi);
    skeleton_.setUseRoi(useRoi);
  }
  void segment(const cv::Mat& bw) {
    eggs_.clear();
    image_.segmentFrame(bw, bin_, eggs_, quiet_);
    candidates_ += static_cast<long>(eggs_.size());
  }
  void skeletonize() {
    rec_ = SkelRecord();
    // With the shortcuts the skeleton starts from the segmenter's distance
    // map, as in a run; without, it transforms the mask itself.
    if (shortcuts_)
      skeleton_.skeletonize(bin_, skel_, rec_, image_.distanceMap(), quiet_);
    else
      skeleton_.skeletonize(bin_, skel_, rec_, quiet_);
  }
  // Validation and the running means of an accepted frame (not timed).
  void accept() {
    if (rec_.loop || !validate(rec_, prms_.mmpix(), false, quiet_)) return;
    rec_.basicMeasures(bin_);
    image_.updateAverages(rec_.thickness, rec_.area);
    ++good_;
  }
  bool same(const Pipeline& o) const {
    if (cv::countNonZero(bin_ != o.bin_) != 0 || cv::countNonZero(skel_ != o.skel_) != 0) {
      return false;
    }
    if (rec_.points != o.rec_.points || rec_.loop != o.rec_.loop) return false;
    if (eggs_.size() != o.eggs_.size()) return false;
    for (size_t i = 0; i < eggs_.size(); ++i) {
      if (eggs_[i].xpos() != o.eggs_[i].xpos() || eggs_[i].ypos() != o.eggs_[i].ypos() ||
          eggs_[i].size() != o.eggs_[i].size()) {
        return false;
      }
    }
    return true;
  }
  long good() const { return good_; }
  long candidates() const { return candidates_; }

 private:
  const Params& prms_;
  const bool shortcuts_;
  FrameSegmenter image_;
  Skeleton skeleton_;
  cv::Mat bin_, skel_;
  SkelRecord rec_;
  std::vector<Egg> eggs_;
  std::ostringstream quiet_;
  long good_ = 0;
  long candidates_ = 0;
};

double ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

int run(const Options& o) {
  cv::setNumThreads(1);
  // Without a parameters file every setting keeps its default.
  std::istringstream defaults("moviedir = .\nmoviename = none\n");
  const Params prms = o.params.empty() ? Params::fromStream(defaults, "params.txt", std::cerr)
                                       : Params::fromFile(o.params, std::cerr);
  cv::VideoCapture cap(o.movie);
  if (!cap.isOpened()) {
    std::cerr << "can't open " << o.movie << "\n";
    return 1;
  }
  const int width = static_cast<int>(cap.get(cv::CAP_PROP_FRAME_WIDTH));
  const int height = static_cast<int>(cap.get(cv::CAP_PROP_FRAME_HEIGHT));
  Pipeline main(width, height, prms, !o.plain);
  Pipeline plain(width, height, prms, false);

  cv::Mat frame, bw;
  Clock::duration decode{}, grey{}, seg{}, skel{};
  long n = 0, differ = 0;
  while (o.frames < 0 || n < o.frames) {
    Clock::time_point t0 = Clock::now();
    if (!cap.read(frame) || frame.empty()) break;
    Clock::time_point t1 = Clock::now();
    cv::cvtColor(frame, bw, cv::COLOR_RGB2GRAY);
    Clock::time_point t2 = Clock::now();
    main.segment(bw);
    Clock::time_point t3 = Clock::now();
    main.skeletonize();
    Clock::time_point t4 = Clock::now();
    decode += t1 - t0;
    grey += t2 - t1;
    seg += t3 - t2;
    skel += t4 - t3;
    if (o.check) {
      plain.segment(bw);
      plain.skeletonize();
      if (!main.same(plain)) {
        ++differ;
        std::cout << "frame " << n << " differs\n";
      }
      plain.accept();
    }
    main.accept();
    ++n;
  }
  if (n == 0) {
    std::cerr << "no frame decoded\n";
    return 1;
  }
  std::cout << "frames " << n << " (" << width << " x " << height << "), good " << main.good()
            << (o.plain ? ", whole-frame processing" : "");
  if (prms.eggs()) std::cout << ", egg candidates " << main.candidates();
  std::cout << "\n";
  if (o.check) {
    std::cout << "frames differing between the packed and the plain path: " << differ << "\n";
    return differ == 0 ? 0 : 2;
  }
  const double d = ms(decode) / n, g = ms(grey) / n, s = ms(seg) / n, k = ms(skel) / n;
  std::cout.setf(std::ios::fixed);
  std::cout.precision(3);
  std::cout << "decode        " << d << " ms/frame\n"
            << "grey          " << g << " ms/frame\n"
            << "segmentation  " << s << " ms/frame\n"
            << "skeleton      " << k << " ms/frame\n"
            << "seg+skel      " << s + k << " ms/frame = " << (s + k) / d << " x decode\n";
  return 0;
}

}  // namespace
}  // namespace dukon

int main(int argc, char** argv) {
  dukon::Options o;
  if (!dukon::parse(argc, argv, &o)) {
    std::cerr << "usage: dukon-bench-mask MOVIE.avi [--params FILE] [--frames N] [--plain] "
                 "[--check]\n";
    return 2;
  }
  try {
    return dukon::run(o);
  } catch (const dukon::FatalError& e) {
    std::cerr << e.what();
    return 1;
  }
}
