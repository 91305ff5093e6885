// Mask operations of the segmenter: a binary mask packed 64 pixels to a
// word, its closing with the segmenter's 7 x 7 ellipse, and its 8-connected
// objects.
//
// Each operation gives exactly the pixels the image library's operation of
// the same meaning gives on an 8-bit mask where only zero and non-zero count
// (the tests compare them pixel for pixel); packing makes a whole-frame
// closing a few word operations per row, and labelling works on runs of set
// pixels instead of a label per pixel.
#ifndef DUKON_SEGMENT_MASK_OPS_H_
#define DUKON_SEGMENT_MASK_OPS_H_

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

namespace dukon {

// A binary image of width x height pixels. Row y is wordsPerRow() words;
// pixel x is bit x % 64 of word x / 64 (the lowest bit is the leftmost
// pixel). Bits beyond the width are always clear.
class BitMask {
 public:
  BitMask() = default;
  explicit BitMask(cv::Size size) { reset(size); }

  // Resizes to `size` and clears every pixel.
  void reset(cv::Size size);
  void clear();

  cv::Size size() const { return cv::Size(width_, height_); }
  int width() const { return width_; }
  int height() const { return height_; }
  int wordsPerRow() const { return words_; }
  uint64_t* row(int y) { return bits_.data() + static_cast<size_t>(y) * words_; }
  const uint64_t* row(int y) const { return bits_.data() + static_cast<size_t>(y) * words_; }
  // Mask of the valid bits of a row's last word.
  uint64_t lastWordMask() const { return lastMask_; }

  bool test(int x, int y) const { return (row(y)[x >> 6] >> (x & 63)) & 1u; }
  void set(int x, int y) { row(y)[x >> 6] |= uint64_t{1} << (x & 63); }

  // Set where `img` (8-bit, one channel) is non-zero; takes its size.
  void fromNonZero(const cv::Mat& img);
  // Set where `grey` (8-bit, one channel) is at most `thr`: the inverse
  // binary threshold; takes its size.
  void fromThresholdInv(const cv::Mat& grey, int thr);
  // 1 on set pixels, 0 elsewhere, into `img` (8-bit, created at the size).
  void toMat(cv::Mat& img) const;

  int count() const;
  // This |= other; both of the same size.
  void orWith(const BitMask& other);
  // The smallest rectangle holding every set pixel inside `area` (the whole
  // mask when empty); an empty rectangle when there is none.
  cv::Rect boundingBox(cv::Rect area = cv::Rect()) const;

 private:
  int width_ = 0;
  int height_ = 0;
  int words_ = 0;
  uint64_t lastMask_ = 0;
  std::vector<uint64_t> bits_;
};

// Per row of a mask: its first and last set word; first > last when none.
struct WordRanges {
  std::vector<int> first, last;
};

// Scratch space of closeEllipse, kept between calls so that a frame's
// closings allocate nothing.
struct MorphWork {
  BitMask other;                     // the other mask of each pass
  WordRanges maskWords, otherWords;  // the set words of the two masks
  std::vector<uint64_t> spread[3];   // rows combined 1, 2 and 3 times horizontally
  std::vector<uint64_t> neutral;     // a row that leaves a pass's combination as it is
};

// Closing in place with the 7 x 7 ellipse anchored at its centre:
// `iterations` dilations, then as many erosions. The same as
// cv::morphologyEx(MORPH_CLOSE) with that element and iterations on the
// unpacked mask, whose default border neither sets a pixel in a dilation
// nor clears one in an erosion. Each row is worked only over the words that
// can change, so sparse masks cost little.
void closeEllipse(BitMask& mask, int iterations, MorphWork& work);

// The same closing on an 8-bit mask through the image library, in place:
// the reference the packed closing is checked against.
void closeMask(cv::Mat& img, int iterations);

// The 8-connected objects of a mask, numbered in raster order of their first
// pixel, held as the runs of set pixels on each row. Valid until the next
// label() call.
class MaskObjects {
 public:
  // Labels the set pixels of `mask`.
  void label(const BitMask& mask);

  int count() const { return static_cast<int>(pixels_.size()); }
  int pixels(int k) const { return pixels_[k]; }
  const cv::Rect& box(int k) const { return boxes_[k]; }
  // The object with the most pixels (ties: the first); -1 when none.
  int largest() const;
  // Clears every pixel of `mask`, the labelled mask, outside object k.
  void keepOnly(int k, BitMask& mask) const;
  // 1 on the pixels of object k inside `area` and 0 elsewhere, into `img`
  // (8-bit, created at the area's size; pixel (0, 0) is area.tl()).
  void paint(int k, const cv::Rect& area, cv::Mat& img) const;

 private:
  struct Run {
    int y, x0, x1;  // pixels x0 .. x1 - 1 of row y
  };
  int find(int r);

  std::vector<Run> runs_;        // raster order
  std::vector<int> rowStart_;    // runs of row y: rowStart_[y] .. rowStart_[y + 1] - 1
  std::vector<int> parent_;      // union-find over runs; a root is its object's first run
  std::vector<int> object_;      // object index per run
  std::vector<int> pixels_;      // per object
  std::vector<cv::Rect> boxes_;  // per object
};

// Clears the 8-connected region of pixels set in `mask` and 0 in
// `reference` that contains (x, y); (x, y) itself is always cleared. Both
// 8-bit of one size; a point outside does nothing.
void clearFilledHole(cv::Mat& mask, const cv::Mat& reference, int x, int y);

}  // namespace dukon

#endif  // DUKON_SEGMENT_MASK_OPS_H_
