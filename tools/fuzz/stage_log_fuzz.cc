// libFuzzer target: the stage-log reader and cursor on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "support/fuzz_bodies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  dukon::fuzz::readStageLog(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
