#include "base/frame_range.h"

#include <cmath>
#include <sstream>

#include "base/fatal_error.h"
#include "base/params.h"

namespace dukon {

FrameRange planFrameRange(const Params& prms, int frameCount, double movieFps) {
  FrameRange r;
  r.rate = prms.frmps();
  if (!(r.rate > 0)) {
    if (!(movieFps > 0) || !std::isfinite(movieFps))
      throw FatalError("The movie reports no frame rate: set frmps in the parameters file.\n");
    // A damaged header can claim billions of frames per second; spans in
    // frames are then beyond int.
    if (movieFps > Params::kMaxFrmps) {
      std::ostringstream msg;
      msg << "The movie reports " << movieFps
          << " frames per second, more than 10000: set frmps in the parameters file.\n";
      throw FatalError(msg.str());
    }
    r.rate = movieFps;
  }
  r.fframe = prms.fframe();
  // The capture numbers frames from 1, so the range starts at frame 1 at
  // the earliest; starting at 0 would count a frame that does not exist as
  // dropped.
  r.first = prms.fframe() < 1 ? 1 : prms.fframe();
  r.last = prms.lframe();
  if (r.last <= 0 || r.last > frameCount) r.last = frameCount;
  r.lastReached = r.first;
  if (r.first > r.last) {
    std::ostringstream msg;
    msg << "No frame to analyse: fframe = " << prms.fframe();
    if (r.last == prms.lframe())
      msg << " is after lframe = " << prms.lframe() << "\n";
    else
      msg << " is beyond the movie's last frame, " << frameCount << "\n";
    throw FatalError(msg.str());
  }
  return r;
}

}  // namespace dukon
