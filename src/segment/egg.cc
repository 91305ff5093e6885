#include "segment/egg.h"

#include <cmath>

namespace dukon {

bool Egg::overlaps(const Egg& other) const {
  const double dx = static_cast<double>(xLoc_ + xpos_) - (other.xLoc_ + other.xpos_);
  const double dy = static_cast<double>(yLoc_ + ypos_) - (other.yLoc_ + other.ypos_);
  return std::sqrt(dx * dx + dy * dy) < size_ + 2.0 + other.size_;
}

void Egg::setLocationOnce(int xLoc, int yLoc, int frame) {
  if (xLoc_ != -1) return;
  xLoc_ = xLoc;
  yLoc_ = yLoc;
  frame_ = frame;
}

void Egg::setVerifiedOnce(uint32_t frame) {
  if (verified_ == kNotVerified) verified_ = frame;
}

}  // namespace dukon
