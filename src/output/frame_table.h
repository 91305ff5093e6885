// The per-frame table NAME-frames.csv: one row per analysed frame with its
// state, movement class, world positions in mm and every per-frame measure
// of the full shape table (wxd.txt), in physical units and at full double
// precision.
//
// The shape table keeps its fixed two-digit format; this table is where the
// same values can be had exactly (len then takes hundreds of distinct values
// over a movie rather than a handful). Layout, one line each:
//   "# units: " + the unit of every column, comma separated, in column order
//   the header: the names in kFrameTableColumns, comma separated
//   one row per record, in record order
// Numbers are the shortest text that reads back as the same double; a value
// that is missing or undefined (NaN, an unmeasured displacement, any
// measure of a frame that is not consistent) is an empty cell. Flags are 0
// or 1. Columns and units are documented for users in docs/features.md.
#ifndef DUKON_OUTPUT_FRAME_TABLE_H_
#define DUKON_OUTPUT_FRAME_TABLE_H_

#include <ostream>
#include <string>
#include <vector>

#include "base/skel_record.h"

namespace dukon {

class Params;

// Column names and their units, in file order.
struct FrameTableColumn {
  const char* name;
  const char* unit;
};
inline constexpr FrameTableColumn kFrameTableColumns[] = {
    {"frame", "frame number"}, {"time", "s"},         {"state", "word"},
    {"located", "flag"},       {"movement", "word"},  {"reversal", "flag"},
    {"head_x", "mm"},          {"head_y", "mm"},      {"mid_x", "mm"},
    {"mid_y", "mm"},           {"tail_x", "mm"},      {"tail_y", "mm"},
    {"cmass_x", "mm"},         {"cmass_y", "mm"},     {"numsklpts", "points"},
    {"cutpnums", "count"},     {"len", "mm"},         {"thickness", "mm"},
    {"area", "mm^2"},          {"avgamp", "mm"},      {"ampsym", "mm"},
    {"maxampL", "mm"},         {"maxampR", "mm"},     {"Navgamp", "ratio"},
    {"NmaxampL", "ratio"},     {"NmaxampR", "ratio"}, {"avgangle", "deg"},
    {"anglesym", "deg"},       {"maxangL", "deg"},    {"maxangR", "deg"},
    {"wavelen", "mm"},         {"Nwavelen", "ratio"}, {"freq", "Hz"},
    {"straightfs", "ratio"},   {"sinusfs", "score"},  {"disp", "mm"},
};

// What the table needs besides the records.
struct FrameTableSettings {
  double rate = 0.0;   // frames per second: time = frame / rate
  int mmpix = 1;       // frame pixels per mm
  int mmpixstage = 1;  // stage pixels per mm (the unit of xLoc, yLoc)
};
FrameTableSettings frameTableSettings(const Params& prms, double rate);

// Writes the table of `records` to `os`. Runs after the world-coordinate
// pass and the result tables: `head`, `mid` and `tail` are then world
// pixels (frame pixels plus the stage location), `disp` and `freq` are set;
// `centroid` is in frame pixels. A world position in mm is its frame part
// divided by mmpix plus the stage part divided by mmpixstage.
void writeFrameTable(const std::vector<SkelRecord>& records, const FrameTableSettings& settings,
                     std::ostream& os);

// Writes the table into the file `path`, replacing it. False when the file
// could not be opened or written in full.
bool writeFrameTableFile(const std::string& path, const std::vector<SkelRecord>& records,
                         const FrameTableSettings& settings);

}  // namespace dukon

#endif  // DUKON_OUTPUT_FRAME_TABLE_H_
