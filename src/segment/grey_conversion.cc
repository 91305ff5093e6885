#include "segment/grey_conversion.h"

#include <cstdint>

#include <opencv2/imgproc.hpp>

#include "base/cpu_features.h"

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define DUKON_GREY_AVX2 1
#endif

namespace dukon {

namespace {

// The image library's fixed-point weights for COLOR_RGB2GRAY on 8-bit
// images, 15 fraction bits; they sum to 1 << 15.
constexpr int kShift = 15;
constexpr int kW0 = 9798, kW1 = 19235, kW2 = 3735;

#if defined(DUKON_GREY_AVX2)
// Pixels [from, n) of one row.
void greyRowScalar(const uint8_t* src, uint8_t* dst, int from, int n) {
  for (int i = from; i < n; ++i) {
    const uint8_t* p = src + 3 * i;
    dst[i] = static_cast<uint8_t>((p[0] * kW0 + p[1] * kW1 + p[2] * kW2 + (1 << (kShift - 1))) >>
                                  kShift);
  }
}

// Eight pixels from src (24 bytes, plus 4 read beyond them): four in each
// 128-bit lane, each lane's pixels spread to 16-bit channels and weighted
// with pmaddwd. Returns the eight grey values as 32-bit integers, pixels
// 0-3 in the low lane.
__attribute__((target("avx2"))) inline __m256i greyOf8(const uint8_t* src) {
  const __m256i bytes = _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 12)), 1);
  const int8_t z = -128;  // pshufb: a zero byte
  const __m256i pick01 = _mm256_setr_epi8(0, z, 1, z, 3, z, 4, z, 6, z, 7, z, 9, z, 10, z,  //
                                          0, z, 1, z, 3, z, 4, z, 6, z, 7, z, 9, z, 10, z);
  const __m256i pick2 = _mm256_setr_epi8(2, z, z, z, 5, z, z, z, 8, z, z, z, 11, z, z, z,  //
                                         2, z, z, z, 5, z, z, z, 8, z, z, z, 11, z, z, z);
  const __m256i w01 = _mm256_set1_epi32(kW0 | (kW1 << 16));
  const __m256i w2 = _mm256_set1_epi32(kW2);
  const __m256i sum = _mm256_add_epi32(_mm256_madd_epi16(_mm256_shuffle_epi8(bytes, pick01), w01),
                                       _mm256_madd_epi16(_mm256_shuffle_epi8(bytes, pick2), w2));
  return _mm256_srli_epi32(_mm256_add_epi32(sum, _mm256_set1_epi32(1 << (kShift - 1))), kShift);
}

// Pixels [0, k) of one row, 32 at a time, with k the most for which no load
// reaches beyond the row's n pixels; returns k.
__attribute__((target("avx2"))) int greyRowAvx2(const uint8_t* src, uint8_t* dst, int n) {
  int i = 0;
  // The last load of a block reads 4 bytes past its 96.
  for (; 3 * (i + 32) + 4 <= 3 * n; i += 32) {
    const uint8_t* s = src + 3 * i;
    const __m256i a = greyOf8(s), b = greyOf8(s + 24), c = greyOf8(s + 48), d = greyOf8(s + 72);
    // Lane-wise packing leaves four-pixel groups in the order
    // 0, 8, 16, 24 | 4, 12, 20, 28; the permutation puts them in order.
    const __m256i packed = _mm256_packus_epi16(_mm256_packs_epi32(a, b), _mm256_packs_epi32(c, d));
    const __m256i ordered =
        _mm256_permutevar8x32_epi32(packed, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), ordered);
  }
  return i;
}
#endif

}  // namespace

void rgbToGrey(const cv::Mat& colour, cv::Mat& grey) {
#if defined(DUKON_GREY_AVX2)
  if (colour.type() == CV_8UC3 && colour.dims == 2 && cpuHasAvx2()) {
    grey.create(colour.size(), CV_8UC1);
    for (int y = 0; y < colour.rows; ++y) {
      const uint8_t* src = colour.ptr<uint8_t>(y);
      uint8_t* dst = grey.ptr<uint8_t>(y);
      greyRowScalar(src, dst, greyRowAvx2(src, dst, colour.cols), colour.cols);
    }
    return;
  }
#endif
  cv::cvtColor(colour, grey, cv::COLOR_RGB2GRAY);
}

}  // namespace dukon
