// Path measures: the worm's movement frame by frame, for the speed,
// displacement and turning-angle tables (spd.txt, dsp.txt, ang.txt).
//
// Only usable records (consistent, located, not ignored) are measured.
// Distances are between the records' world mid points (mid plus stage
// location), in mm; times are frame-number differences over the frame rate.
// A displacement or angle slot is due every `displen` or `anglen` seconds
// of record indices; a slot that passes by half a step without a measure is
// reported as missed, with its record index.
#ifndef DUKON_BEHAVIOUR_PATH_MEASURES_H_
#define DUKON_BEHAVIOUR_PATH_MEASURES_H_

#include <optional>
#include <vector>

#include "base/skel_record.h"

namespace dukon {

class Params;

// The settings the path measures use.
struct PathSettings {
  double rate = 0.0;          // frames per second
  int mmpix = 1;              // pixels per mm
  double seglen = 0.5;        // segment of the segment speed, seconds
  double displen = 0.5;       // span of the displacement, seconds
  double anglen = 10.0;       // span of the turning angle, seconds
  double pausespdlim = 0.05;  // mm/s; slower legs get no turning angle
};
// The path settings from the parameters, at the run's frame rate.
PathSettings pathSettings(const Params& prms, double rate);

// The speeds of one usable record after the first, mm/s; negative when the
// mid point moved away from where the earlier record's head was (backward).
struct SpeedLine {
  int record = 0;                      // index of the record
  std::optional<double> frameSpeed;    // to the previous record; none unless that is the
                                       // directly preceding frame and usable
  std::optional<double> segmentSpeed;  // over segFrames frames; none likewise
};

// One line of the displacement or turning-angle table.
struct SlotLine {
  int key = 0;  // frame number of the measured record, or the record index of a missed slot
  std::optional<double> value;  // mm or degrees; none for a missed slot or a pause
};

struct PathMeasures {
  double seglen = 0.5;  // seconds, as set
  int segFrames = 1;    // frames of the segment speed: rate * seglen, at least 1
  std::vector<SpeedLine> speeds;
  std::vector<SlotLine> displacements;
  std::vector<SlotLine> turningAngles;  // degrees, -180 .. 180, positive clockwise on screen
};

// Measures the path of `records` and sets each record's `disp` (mm) where
// its displacement is measured; `disp` of every other record is left as it
// is (-1.0, not measured, as constructed).
PathMeasures measurePath(std::vector<SkelRecord>& records, const PathSettings& settings);

}  // namespace dukon

#endif  // DUKON_BEHAVIOUR_PATH_MEASURES_H_
