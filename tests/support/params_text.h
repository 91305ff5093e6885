// Parameters for tests, read from text exactly as the program reads
// "params.txt".
#ifndef DUKON_TESTS_SUPPORT_PARAMS_TEXT_H_
#define DUKON_TESTS_SUPPORT_PARAMS_TEXT_H_

#include <sstream>
#include <string>

#include "base/params.h"

namespace dukon {
namespace testing_support {

// The parameters file `text`; its messages go to `err` when given, else
// nowhere. Throws FatalError as reading the file would.
inline Params paramsFromText(const std::string& text, std::ostream* err = nullptr) {
  std::istringstream in(text);
  std::ostringstream sink;
  return Params::fromStream(in, "params.txt", err != nullptr ? *err : sink);
}

// A movie directory "/m/" and name "w", then the lines of `extra`.
inline Params paramsWith(const std::string& extra) {
  return paramsFromText("moviedir = /m\nmoviename = w\n" + extra);
}

}  // namespace testing_support
}  // namespace dukon

#endif  // DUKON_TESTS_SUPPORT_PARAMS_TEXT_H_
