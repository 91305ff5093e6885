#include "base/cpu_features.h"

namespace dukon {

#if defined(__GNUC__) && defined(__x86_64__)
bool cpuHasAvx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}

bool cpuHasPopcnt() {
  static const bool have = __builtin_cpu_supports("popcnt");
  return have;
}
#else
bool cpuHasAvx2() {
  return false;
}
bool cpuHasPopcnt() {
  return false;
}
#endif

}  // namespace dukon
