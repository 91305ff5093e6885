// WormBox: where the worm lies in a frame, as the image-motion search leaves
// it out of its measure.
#ifndef DUKON_BASE_WORM_BOX_H_
#define DUKON_BASE_WORM_BOX_H_

namespace dukon {

// One more than the pixel coordinates of the worm mask's extreme pixels
// (over rows 0 .. height - 2 and columns 0 .. width - 3 of the frame); all
// -1 for an empty mask.
struct WormBox {
  int minX = -1, minY = -1, maxX = -1, maxY = -1;
};

}  // namespace dukon

#endif  // DUKON_BASE_WORM_BOX_H_
