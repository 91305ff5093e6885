// Per-frame result files: the short and full shape tables (wxo.txt,
// wxd.txt), the speed, displacement and turning-angle tables (spd.txt,
// dsp.txt, ang.txt), the egg table (eggs.txt) and the feature summary
// appended to wxo.txt.
//
// Runs once at the end of the run, after the behaviour classification and
// the move into world coordinates, so `head`, `mid`, `tail` and `cmass` are
// world pixels here. Numbers are written at each stream's precision in
// general notation; precision changes made here persist on the streams. A
// NaN is always written as "nan".
#ifndef DUKON_SKELETON_RESULT_FILES_H_
#define DUKON_SKELETON_RESULT_FILES_H_

#include <ostream>
#include <vector>

#include "base/skel_record.h"
#include "skeleton/feature_stats.h"

namespace dukon {

class EggList;
class Params;

// The settings the per-frame tables use.
struct TableSettings {
  double rate = 0.0;          // frames per second
  int mmpix = 1;              // pixels per mm
  double seglen = 0.5;        // segment of the segment speed, seconds
  double displen = 0.5;       // span of the displacement table, seconds
  double anglen = 10.0;       // span of the turning-angle table, seconds
  double pausespdlim = 0.05;  // mm/s; slower legs get no turning angle
  bool eggs = false;          // write the egg table
};
// The table settings from the parameters, at the run's frame rate.
TableSettings tableSettings(const Params& prms, double rate);

// A double as the tables print it: "nan" for any NaN (whatever its sign
// bit), else the stream's own formatting.
struct TableNumber {
  double v;
};
std::ostream& operator<<(std::ostream& os, TableNumber x);

// Writes the table headers and one row per record into `wxo` and `wxd`, the
// movement lines into `spd`, `dsp` and `ang`, and sets each record's `disp`
// where the displacement is measured. With the egg table on, writes the
// verified eggs of `eggs` (in list order) to `egs`.
void writeResultTables(std::vector<SkelRecord>& records, std::ostream& wxo, std::ostream& wxd,
                       std::ostream& spd, std::ostream& dsp, std::ostream& ang, std::ostream& egs,
                       const EggList& eggs, const TableSettings& settings);

// The egg table: a header, one line per verified egg and a closing line.
void writeEggTable(std::ostream& egs, const EggList& eggs);

// Appends to `wxo` the statistics block of every feature over the consistent
// records, laid out as `layout` says, then a line end. An unmeasured
// displacement counts as no value.
void writeFeatureSummary(const std::vector<SkelRecord>& records, std::ostream& wxo,
                         const StatisticsLayout& layout);

}  // namespace dukon

#endif  // DUKON_SKELETON_RESULT_FILES_H_
