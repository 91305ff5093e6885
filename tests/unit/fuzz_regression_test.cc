// Replays every fuzz input kept under tests/fuzz/ (seeds and inputs that once
// crashed) through the same code the fuzz targets run.
#include <dirent.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/executable.h"
#include "support/fuzz_bodies.h"

namespace dukon {
namespace {

std::vector<std::string> inputsIn(const std::string& dir) {
  std::vector<std::string> files;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      std::string name = e->d_name;
      if (name != "." && name != "..") files.push_back(dir + "/" + name);
    }
    ::closedir(d);
  }
  return files;
}

// Feeds the bytes of every input kept in `dir` to `body`, the code of one
// fuzz target. The directory must not be empty: a missing corpus would
// otherwise pass unnoticed.
void replayEach(const std::string& dir, void (*body)(const std::string&)) {
  const std::vector<std::string> files = inputsIn(dir);
  ASSERT_FALSE(files.empty()) << dir;
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    body(testing_support::readFile(f));
  }
}

TEST(FuzzRegression, ParamsInputs) {
  replayEach(DUKON_SOURCE_DIR "/tests/fuzz/params", fuzz::readParams);
}

TEST(FuzzRegression, StageLogInputs) {
  replayEach(DUKON_SOURCE_DIR "/tests/fuzz/stage_log", fuzz::readStageLog);
}

}  // namespace
}  // namespace dukon
