// The verified eggs: the egg table eggs.txt (format: docs/formats/eggs.md)
// and the egg report on the console. Positions are world pixels (the
// stage location of the egg's frame plus its position in the frame).
#ifndef DUKON_OUTPUT_EGG_TABLE_H_
#define DUKON_OUTPUT_EGG_TABLE_H_

#include <ostream>

namespace dukon {

class EggList;

// The egg table: a header, one line per verified egg of `eggs` in list
// order, and a closing line.
void writeEggTable(std::ostream& egs, const EggList& eggs);

// The console report: "Eggs clusters found:" and one "At frame:..." line
// per verified egg; nothing when no egg is verified.
void writeEggReport(std::ostream& con, const EggList& eggs);

}  // namespace dukon

#endif  // DUKON_OUTPUT_EGG_TABLE_H_
