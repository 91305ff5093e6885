// FatalError: the one way a component reports a condition that ends the run.
//
// Components throw it with the exact text the user must see; only the program
// entry (main) writes the text to standard error, waits for one character
// from standard input and exits with status 1. Keeping the exit in one place
// lets every component run inside tests.
#ifndef DUKON_BASE_FATAL_ERROR_H_
#define DUKON_BASE_FATAL_ERROR_H_

#include <stdexcept>
#include <string>

namespace dukon {

class FatalError : public std::runtime_error {
 public:
  // `message` is written verbatim, so it carries its own line ends.
  explicit FatalError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace dukon

#endif  // DUKON_BASE_FATAL_ERROR_H_
