// MJPG AVI files written frame by frame from JPEG images, for movies the
// image library's writer cannot make: frames of several sizes in one file
// (two recordings joined), damaged frames.
#ifndef DUKON_TESTS_SUPPORT_MJPEG_AVI_H_
#define DUKON_TESTS_SUPPORT_MJPEG_AVI_H_

#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "support/files.h"

namespace dukon {
namespace testing_support {

// The JPEG image of `frame`.
inline std::string jpegOf(const cv::Mat& frame) {
  std::vector<uchar> bytes;
  cv::imencode(".jpg", frame, bytes);
  return std::string(bytes.begin(), bytes.end());
}

// Writes an AVI at `fps` whose frames are `jpegs`, in order; the header
// gives `width` x `height` and the number of frames.
inline void writeMjpegAvi(const std::string& path, const std::vector<std::string>& jpegs, int width,
                          int height, int fps = 25) {
  std::string b;
  auto u32 = [&b](uint32_t v) {
    for (int i = 0; i < 4; ++i) b += static_cast<char>((v >> (8 * i)) & 0xff);
  };
  auto u16 = [&b](uint32_t v) { b += static_cast<char>(v & 0xff), b += static_cast<char>(v >> 8); };
  auto tag = [&b](const char* t) { b.append(t, 4); };
  auto sizeAt = [&b](size_t at) {  // fills in the size of the chunk whose size field is at `at`
    const uint32_t v = static_cast<uint32_t>(b.size() - at - 4);
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
  };
  const uint32_t n = static_cast<uint32_t>(jpegs.size()), w = width, h = height;
  tag("RIFF"), u32(0), tag("AVI "), tag("LIST");
  const size_t hdrl = b.size();
  u32(0), tag("hdrl");
  tag("avih"), u32(56), u32(1000000 / fps), u32(0), u32(0), u32(0x10), u32(n), u32(0), u32(1);
  u32(0), u32(w), u32(h), u32(0), u32(0), u32(0), u32(0);
  tag("LIST");
  const size_t strl = b.size();
  u32(0), tag("strl");
  tag("strh"), u32(56), tag("vids"), tag("MJPG"), u32(0), u16(0), u16(0), u32(0), u32(1);
  u32(fps), u32(0), u32(n), u32(0), u32(0xffffffff), u32(0), u16(0), u16(0), u16(w), u16(h);
  tag("strf"), u32(40), u32(40), u32(w), u32(h), u16(1), u16(24), tag("MJPG"), u32(w * h * 3);
  u32(0), u32(0), u32(0), u32(0);
  sizeAt(strl), sizeAt(hdrl);
  tag("LIST"), u32(0);
  const size_t movi = b.size();
  tag("movi");
  std::vector<uint32_t> offsets;
  for (const std::string& j : jpegs) {
    offsets.push_back(static_cast<uint32_t>(b.size() - movi));
    tag("00dc"), u32(static_cast<uint32_t>(j.size())), b += j;
    if (j.size() % 2) b += '\0';
  }
  sizeAt(movi - 4);
  tag("idx1"), u32(16 * n);
  for (size_t i = 0; i < jpegs.size(); ++i)
    tag("00dc"), u32(0x10), u32(offsets[i]), u32(static_cast<uint32_t>(jpegs[i].size()));
  sizeAt(4);
  writeFile(path, b);
}

}  // namespace testing_support
}  // namespace dukon

#endif  // DUKON_TESTS_SUPPORT_MJPEG_AVI_H_
