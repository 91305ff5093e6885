// The per-frame tables of a run written to strings, for the tests of the
// table writers and of the passes after the frame loop.
#ifndef DUKON_TESTS_SUPPORT_TABLE_STREAMS_H_
#define DUKON_TESTS_SUPPORT_TABLE_STREAMS_H_

#include <sstream>
#include <string>
#include <vector>

#include "base/skel_record.h"
#include "behaviour/path_measures.h"
#include "output/egg_table.h"
#include "output/movement_tables.h"
#include "output/shape_tables.h"
#include "segment/egg_list.h"

namespace dukon {
namespace testing_support {

// The lines of `s`, without their line ends.
inline std::vector<std::string> lines(const std::string& s) {
  std::vector<std::string> out;
  std::istringstream is(s);
  for (std::string l; std::getline(is, l);) out.push_back(l);
  return out;
}

// 10 frames per second, 10 pixels per mm, 0.5 s segments and displacement
// span, 10 s turning angles, pauses below 0.05 mm/s.
inline PathSettings testTables() {
  PathSettings s;
  s.rate = 10;
  s.mmpix = 10;
  s.seglen = 0.5;
  s.displen = 0.5;
  s.anglen = 10;
  s.pausespdlim = 0.05;
  return s;
}

// The six table streams, at the run's precisions.
struct Tables {
  std::ostringstream wxo, wxd, spd, dsp, ang, egs;
  Tables() {
    wxo.precision(2);
    wxd.precision(2);
    spd.precision(3);
    dsp.precision(4);
    ang.precision(4);
    egs.precision(4);
  }
  // Measures the path (setting the records' displacements) and writes the
  // tables as a run does; the egg table only with `eggs`.
  void write(std::vector<SkelRecord>& r, const PathSettings& s, const EggList* eggs = nullptr) {
    const PathMeasures path = measurePath(r, s);
    writeShapeTables(wxo, wxd, r);
    writeMovementTables(spd, dsp, ang, path, r);
    if (eggs != nullptr) writeEggTable(egs, *eggs);
  }
};

}  // namespace testing_support
}  // namespace dukon

#endif  // DUKON_TESTS_SUPPORT_TABLE_STREAMS_H_
