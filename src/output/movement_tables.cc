#include "output/movement_tables.h"

#include "output/shape_tables.h"
#include "output/table_number.h"

namespace dukon {

namespace {

void writeSlots(std::ostream& os, const std::vector<SlotLine>& lines) {
  for (const SlotLine& l : lines) {
    os << l.key << "\t";
    if (l.value)
      os << TableNumber{*l.value};
    else
      os << "-";
    os << "\n";
  }
}

}  // namespace

void writeMovementTables(std::ostream& spd, std::ostream& dsp, std::ostream& ang,
                         const PathMeasures& path, const std::vector<SkelRecord>& records) {
  spd << "# spd-frm is speed relative to previous frame\n"
      << "# spd-seg is speed in " << path.seglen << " sec segment (" << path.segFrames
      << " frames)\n"
      << "#   spd-frm spd-seg\n";
  for (const SpeedLine& l : path.speeds) {
    const SkelRecord& r = records.at(static_cast<size_t>(l.record));
    spd << r.frame << "\t";
    if (l.frameSpeed)
      spd << TableNumber{*l.frameSpeed} << "\t";
    else
      spd << "  -  \t";
    if (l.segmentSpeed)
      spd << TableNumber{*l.segmentSpeed} << "\t";
    else
      spd << "  -  \t";
    writeMovementLabel(spd, r, false);
    spd << "\n";
  }
  writeSlots(dsp, path.displacements);
  writeSlots(ang, path.turningAngles);
}

}  // namespace dukon
