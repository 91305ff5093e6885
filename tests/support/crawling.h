// Frame records of a worm drawn as pixel chains, for the tests of the head
// evidence and orientation: a body that follows a sine path (its bends
// travel from the leading end to the trailing one), head first or backing
// up, its head optionally swinging from side to side.
#ifndef DUKON_TESTS_SUPPORT_CRAWLING_H_
#define DUKON_TESTS_SUPPORT_CRAWLING_H_

#include <cmath>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "base/skel_record.h"

namespace dukon {
namespace testing_support {

// An 8-connected chain without repeated points through `pts`, in order.
inline std::vector<cv::Point> pixelChain(const std::vector<cv::Point2d>& pts) {
  std::vector<cv::Point> chain;
  for (size_t i = 0; i + 1 < pts.size(); ++i) {
    cv::LineIterator it(cv::Point(cvRound(pts[i].x), cvRound(pts[i].y)),
                        cv::Point(cvRound(pts[i + 1].x), cvRound(pts[i + 1].y)), 8);
    for (int k = 0; k < it.count; ++k, ++it)
      if (chain.empty() || chain.back() != it.pos()) chain.push_back(it.pos());
  }
  return chain;
}

// How a test worm moves. Positions in pixels, times in frames.
struct Crawl {
  double length = 120;     // body length along x
  double amplitude = 12;   // of the sine path
  double wavelength = 80;  // of the sine path
  double speed = 2;        // along +x per frame; the body follows its path
  double swing = 0;        // amplitude of the head tenth's side swing, radians
  double swingPeriod = 8;  // frames
  bool forward = true;     // the head leads (+x); false: the worm backs up
};

// The chain of frame `t`, from head to tail: the body lies along the path
// y = 100 + amplitude * sin(2 pi x / wavelength) behind its leading end, and
// the head's tenth is turned by swing * sin(2 pi t / swingPeriod) about its
// inner end.
inline std::vector<cv::Point> crawlChain(const Crawl& c, int t) {
  const double lead = 200 + c.speed * t;
  std::vector<cv::Point2d> pts;
  for (double s = 0; s <= c.length; s += 0.5) {
    const double x = c.forward ? lead - s : lead - c.length + s;
    pts.emplace_back(x, 100 + c.amplitude * std::sin(2 * M_PI * x / c.wavelength));
  }
  const size_t tip = pts.size() / 10;
  const double a = c.swing * std::sin(2 * M_PI * t / c.swingPeriod);
  for (size_t i = 0; i < tip; ++i) {
    const cv::Point2d d = pts[i] - pts[tip];
    pts[i] = pts[tip] + cv::Point2d(d.x * std::cos(a) - d.y * std::sin(a),
                                    d.x * std::sin(a) + d.y * std::cos(a));
  }
  return pixelChain(pts);
}

// A consistent, located record of frame `frame` with `chain`; the per-frame
// brightness put the head at its first point with a margin of `contrast`
// grey levels (NaN: undecided).
inline SkelRecord chainRecord(int frame, const std::vector<cv::Point>& chain,
                              double contrast = NAN) {
  SkelRecord r;
  r.frame = frame;
  for (const cv::Point& p : chain) r.addPoint(p.x, p.y);
  r.consistent = true;
  r.located = true;
  r.head = chain.front();
  r.tail = chain.back();
  r.headKnown = !std::isnan(contrast);
  r.headContrast = contrast;
  r.computeLength();
  r.computeMid();
  // The body's centre of mass as the chain's mean point, (row, column) + 1.
  cv::Point2d sum(0, 0);
  for (const cv::Point& p : chain) sum += cv::Point2d(p);
  r.cmass = {cvRound(sum.y / chain.size()) + 1, cvRound(sum.x / chain.size()) + 1};
  return r;
}

// Frames 1 .. n of `crawl`, each record made by chainRecord.
inline std::vector<SkelRecord> crawlRecords(const Crawl& crawl, int n, double contrast = NAN) {
  std::vector<SkelRecord> v;
  for (int t = 1; t <= n; ++t) v.push_back(chainRecord(t, crawlChain(crawl, t), contrast));
  return v;
}

}  // namespace testing_support
}  // namespace dukon

#endif  // DUKON_TESTS_SUPPORT_CRAWLING_H_
