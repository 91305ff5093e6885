// dukon-frames-to-avi: turns a folder of per-frame worm crops (8-bit grey
// PNGs, each cut around the worm at its own unknown offset) into one movie
// dukon can analyse. Every crop, first enlarged `scale` times (bicubic), is
// placed with its top-left corner at (margin, margin) of a fixed canvas
// filled with that crop's own background grey (the median of its border
// pixels). Movie frame k (numbered from 1) is the k-th crop, and crop pixel
// (x, y) lands on frame pixel scale * (x, y) + (scale - 1) / 2 + margin.
//
// The crops are cut tight around the worm, so with margin 0 the worm touches
// the frame's top and left edges; a margin of a few worm widths keeps the
// mask's morphology away from the frame border.
//
// Usage: dukon-frames-to-avi --in DIR --out FILE.avi [--size N] [--margin M]
//                            [--scale S] [--fps F] [--codec ffv1|mjpg]
// Defaults: 128 x 128 canvas, margin 0, scale 1, 15 fps, FFV1 (lossless; a
// frame decodes to exactly the canvas). Crops are the DIR/*.png files in name
// order; parts reaching past the canvas are cut. Exit 0 on success, 2 on a
// usage error, 1 when an image or the movie cannot be read or written.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

namespace dukon {
namespace {

struct Options {
  std::string inDir;
  std::string outFile;
  int size = 128;     // canvas width and height, pixels
  int margin = 0;     // crop's offset from the canvas' top-left corner, pixels
  int scale = 1;      // crops are enlarged this many times (bicubic) first
  double fps = 15.0;  // frames per second written into the movie
  bool lossless = true;
};

const char kUsage[] =
    "usage: dukon-frames-to-avi --in DIR --out FILE.avi [--size N] [--margin M] "
    "[--scale S] [--fps F] [--codec ffv1|mjpg]\n";

// Returns false (with a message on stderr) on a malformed command line.
bool parseArgs(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) {
      std::cerr << "dukon-frames-to-avi: " << a << " needs a value\n";
      return false;
    }
    const std::string v = argv[++i];
    if (a == "--in") {
      o->inDir = v;
    } else if (a == "--out") {
      o->outFile = v;
    } else if (a == "--size") {
      o->size = std::atoi(v.c_str());
    } else if (a == "--margin") {
      o->margin = std::atoi(v.c_str());
    } else if (a == "--scale") {
      o->scale = std::atoi(v.c_str());
    } else if (a == "--fps") {
      o->fps = std::atof(v.c_str());
    } else if (a == "--codec" && (v == "ffv1" || v == "mjpg")) {
      o->lossless = v == "ffv1";
    } else {
      std::cerr << "dukon-frames-to-avi: bad option " << a << " " << v << '\n';
      return false;
    }
  }
  if (o->inDir.empty() || o->outFile.empty() || o->size < 8 || o->size > 4096 || o->margin < 0 ||
      o->margin >= o->size || o->scale < 1 || o->scale > 16 || !(o->fps > 0)) {
    std::cerr << "dukon-frames-to-avi: --in and --out are required; --size 8..4096; "
                 "--margin 0..size-1; --scale 1..16; --fps > 0\n";
    return false;
  }
  return true;
}

std::vector<std::string> pngFiles(const std::string& dir) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec))
    if (e.is_regular_file() && e.path().extension() == ".png") files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

// Median grey of the one-pixel border of `crop` (8-bit, one channel): the
// agar around the worm, since the crops are cut with a margin.
unsigned char borderGrey(const cv::Mat& crop) {
  std::vector<unsigned char> v;
  for (int x = 0; x < crop.cols; ++x) {
    v.push_back(crop.at<unsigned char>(0, x));
    v.push_back(crop.at<unsigned char>(crop.rows - 1, x));
  }
  for (int y = 1; y + 1 < crop.rows; ++y) {
    v.push_back(crop.at<unsigned char>(y, 0));
    v.push_back(crop.at<unsigned char>(y, crop.cols - 1));
  }
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

// The movie frame (BGR, size x size) for one crop, placed with its top-left
// corner at (margin, margin); a crop reaching past the canvas is cut at the
// canvas' right and bottom edges.
cv::Mat canvasFrame(const cv::Mat& crop, int size, int margin) {
  cv::Mat grey(size, size, CV_8UC1, cv::Scalar(borderGrey(crop)));
  const cv::Size fit(std::min(crop.cols, size - margin), std::min(crop.rows, size - margin));
  crop(cv::Rect(cv::Point(0, 0), fit)).copyTo(grey(cv::Rect(cv::Point(margin, margin), fit)));
  cv::Mat bgr;
  cv::cvtColor(grey, bgr, cv::COLOR_GRAY2BGR);
  return bgr;
}

int run(const Options& o) {
  const std::vector<std::string> files = pngFiles(o.inDir);
  if (files.empty()) {
    std::cerr << "dukon-frames-to-avi: no .png files in " << o.inDir << '\n';
    return 1;
  }
  const int fourcc = o.lossless ? cv::VideoWriter::fourcc('F', 'F', 'V', '1')
                                : cv::VideoWriter::fourcc('M', 'J', 'P', 'G');
  cv::VideoWriter writer(o.outFile, cv::CAP_FFMPEG, fourcc, o.fps, cv::Size(o.size, o.size), true);
  if (!writer.isOpened()) {
    std::cerr << "dukon-frames-to-avi: cannot open movie writer for " << o.outFile << '\n';
    return 1;
  }
  int clipped = 0;
  for (const std::string& f : files) {
    cv::Mat crop = cv::imread(f, cv::IMREAD_GRAYSCALE);
    if (crop.empty()) {
      std::cerr << "dukon-frames-to-avi: cannot read " << f << '\n';
      return 1;
    }
    if (o.scale > 1) cv::resize(crop, crop, cv::Size(), o.scale, o.scale, cv::INTER_CUBIC);
    if (crop.cols + o.margin > o.size || crop.rows + o.margin > o.size) ++clipped;
    writer.write(canvasFrame(crop, o.size, o.margin));
  }
  writer.release();
  std::cout << "wrote " << files.size() << " frames (" << o.size << "x" << o.size << ", " << o.fps
            << " fps) to " << o.outFile << '\n';
  if (clipped > 0) std::cerr << clipped << " crops were larger than the canvas and were cut\n";
  return 0;
}

}  // namespace
}  // namespace dukon

int main(int argc, char** argv) {
  dukon::Options o;
  if (!dukon::parseArgs(argc, argv, &o)) {
    std::cerr << dukon::kUsage;
    return 2;
  }
  try {
    return dukon::run(o);
  } catch (const cv::Exception& e) {
    std::cerr << "dukon-frames-to-avi: " << e.what() << '\n';
    return 1;
  }
}
