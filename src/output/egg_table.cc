#include "output/egg_table.h"

#include "output/table_number.h"
#include "segment/egg_list.h"

namespace dukon {

void writeEggTable(std::ostream& egs, const EggList& eggs) {
  egs << "# eggs - eggs found in the movie\n";
  bool any = false;
  for (int i = 0; i < eggs.count(); ++i) {
    const Egg& e = eggs.egg(i);
    if (!e.isVerified()) continue;
    if (!any) egs << "#frame\tts\tsize\tloc\tverified\n";
    any = true;
    egs << e.frame() << "\t" << e.ts() << "\t" << TableNumber{e.size()} << "\t"
        << e.xpos() + e.xLoc() << "," << e.ypos() + e.yLoc() << "\t" << e.verified() << " \n";
  }
  if (any)
    egs << "\n# all sizes are in pixels (not real sizes). \n";
  else
    egs << "# no eggs clusters found. \n";
}

void writeEggReport(std::ostream& con, const EggList& eggs) {
  bool header = false;
  for (int i = 0; i < eggs.count(); ++i) {
    const Egg& e = eggs.egg(i);
    if (!e.isVerified()) continue;
    if (!header) con << "Eggs clusters found:\n";
    header = true;
    con << "At frame:" << e.frame() << " size:" << e.size()
        << " at(Loc+Pos):" << (static_cast<long long>(e.xLoc()) + e.xpos()) << ","
        << (static_cast<long long>(e.yLoc()) + e.ypos()) << " verified at frame:" << e.verified()
        << "\n";
  }
}

}  // namespace dukon
