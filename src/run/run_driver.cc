#include "run/run_driver.h"

namespace dukon {

int runDukon(const std::string& paramFN) {
  (void)paramFN;
  return 0;
}

}  // namespace dukon
