// libFuzzer target: the parameters reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "support/fuzz_bodies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  dukon::fuzz::readParams(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
