// Stage log: the stage controller's text log that the analyser reads beside
// the movie ("<name>.log.csv").
//
// Layout: one header line, then one line per sample:
//   <sample number>,<time>,STAGE,<X>,<Y>
// The time counts from movie time 0 as MM:SS.sss, or H:MM:SS.sss from one
// hour on. X and Y are stage units, one millionth of a millimetre; the
// analyser turns them into frame pixels as
//   floor(mmpixstage * (X / 1e6 - smallest X / 1e6)).
// stageUnits() picks, for a pixel offset, the unit value that this
// conversion maps back to exactly that offset.
#ifndef DUKON_SYNTH_STAGE_LOG_H_
#define DUKON_SYNTH_STAGE_LOG_H_

#include <string>
#include <vector>

#include "synth/stage_follower.h"

namespace dukon {
namespace synth {

// Stage units of the smallest logged position (offset 0 on both axes).
constexpr long long kStageOriginX = 25000000;
constexpr long long kStageOriginY = 18000000;

// Time as the log writes it, rounded to whole milliseconds: "MM:SS.sss"
// below one hour, "H:MM:SS.sss" from one hour on. Negative times give "00:00.000".
std::string formatLogTime(double ms);

// Stage units above the origin for a pixel offset `px` (relative to the
// smallest logged position) at `mmpixstage` pixels per millimetre.
long long stageUnits(int px, int mmpixstage);

// Writes the log; throws dukon::FatalError when the file cannot be written.
void writeStageLog(const std::string& path, const std::vector<StageSample>& samples,
                   int mmpixstage);

}  // namespace synth
}  // namespace dukon

#endif  // DUKON_SYNTH_STAGE_LOG_H_
