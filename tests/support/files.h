// Files and folders for tests: fresh temporary folders, whole-file reads and
// writes, and shell commands.
#ifndef DUKON_TESTS_SUPPORT_FILES_H_
#define DUKON_TESTS_SUPPORT_FILES_H_

#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace dukon {
namespace testing_support {

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline bool fileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// Runs `cmd` through the shell: its exit status, or 128 + the signal that
// ended it.
inline int shell(const std::string& cmd) {
  const int raw = std::system(cmd.c_str());
  if (WIFEXITED(raw)) return WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
  return -1;
}

// A fresh, empty folder under the tests' temporary folder, named after
// `tag`; any earlier one of that name is removed first. No trailing "/".
inline std::string freshDir(const std::string& tag) {
  const std::string dir = ::testing::TempDir() + "dukon_" + tag;
  shell("rm -rf '" + dir + "'");
  ::mkdir(dir.c_str(), 0777);
  return dir;
}

// The same, named after the running test (and `tag`).
inline std::string freshTestDir(const std::string& tag = "") {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "_" + info->name() + tag;
  for (char& c : name)
    if (c == '/') c = '_';  // parameterised tests
  return freshDir(name);
}

}  // namespace testing_support
}  // namespace dukon

#endif  // DUKON_TESTS_SUPPORT_FILES_H_
