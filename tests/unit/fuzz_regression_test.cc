// Replays every fuzz input kept under tests/fuzz/ (seeds and inputs that once
// crashed) through the same code the fuzz targets run.
#include <dirent.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../../tools/fuzz/fuzz_bodies.h"

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

std::string bytesOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST(FuzzRegression, ParamsInputs) {
  auto files = inputsIn(DUKON_SOURCE_DIR "/tests/fuzz/params");
  ASSERT_FALSE(files.empty());
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    fuzz::readParams(bytesOf(f));
  }
}

TEST(FuzzRegression, StageLogInputs) {
  auto files = inputsIn(DUKON_SOURCE_DIR "/tests/fuzz/stage_log");
  ASSERT_FALSE(files.empty());
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    fuzz::readStageLog(bytesOf(f));
  }
}

}  // namespace
}  // namespace dukon
