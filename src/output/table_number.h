// TableNumber: a double as the result tables print it.
#ifndef DUKON_OUTPUT_TABLE_NUMBER_H_
#define DUKON_OUTPUT_TABLE_NUMBER_H_

#include <cmath>
#include <ostream>

namespace dukon {

// Written as "nan" for any NaN (whatever its sign bit), else with the
// stream's own formatting (its precision, general notation).
struct TableNumber {
  double v;
};

inline std::ostream& operator<<(std::ostream& os, TableNumber x) {
  if (std::isnan(x.v)) return os << "nan";
  return os << x.v;
}

}  // namespace dukon

#endif  // DUKON_OUTPUT_TABLE_NUMBER_H_
