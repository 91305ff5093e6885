// The egg table NAME-eggs.txt, written when the run looked for eggs
// (docs/formats/eggs.md).
#ifndef DUKON_RESULTS_EGG_TABLE_H_
#define DUKON_RESULTS_EGG_TABLE_H_

#include <string>
#include <vector>

namespace dukon {
namespace results {

// One verified egg or egg cluster.
struct EggRow {
  int frame = 0;           // frame number in which it was laid
  double ts = 0;           // that frame's time, ms
  double size = 0;         // radius of the largest disc inside it, pixels
  int x = 0, y = 0;        // world pixels
  long long verified = 0;  // frame number at which it was confirmed
};

// The rows in file order; none when the file says no egg was found.
std::vector<EggRow> readEggTable(const std::string& path);

}  // namespace results
}  // namespace dukon

#endif  // DUKON_RESULTS_EGG_TABLE_H_
