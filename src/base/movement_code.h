// MovementCode: the movement class of a frame, as the behaviour
// classification assigns it to the frames of each movement segment.
//
// Stored in SkelRecord::mv and read by the per-frame tables and the feature
// statistics. The numeric values are those the tables' readers know.
#ifndef DUKON_BASE_MOVEMENT_CODE_H_
#define DUKON_BASE_MOVEMENT_CODE_H_

namespace dukon {

enum class MovementCode : int {
  kNone = 0,  // no segment covers the frame
  kForward = 1,
  kBackward = 2,
  kPause = 3,
  kOmega = 4,
  kLoop = 5,
};

}  // namespace dukon

#endif  // DUKON_BASE_MOVEMENT_CODE_H_
