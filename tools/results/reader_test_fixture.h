// The fixture of the readers' tests: a fresh folder to write sample run
// files into, and the message of the RunFileError a read throws.
#ifndef DUKON_RESULTS_READER_TEST_FIXTURE_H_
#define DUKON_RESULTS_READER_TEST_FIXTURE_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "results/run_file.h"
#include "results/test_samples.h"

namespace dukon {
namespace results {

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = samples::freshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  // Writes `text` as `name` in the folder; its path.
  std::string write(const std::string& name, const std::string& text) {
    samples::writeText(dir_ / name, text);
    return (dir_ / name).string();
  }
  // The message of the RunFileError that `read` throws, "" if none.
  template <typename Read>
  std::string failure(Read read) {
    try {
      read();
    } catch (const RunFileError& e) {
      return e.what();
    }
    return "";
  }
  std::filesystem::path dir_;
};

}  // namespace results
}  // namespace dukon

#endif  // DUKON_RESULTS_READER_TEST_FIXTURE_H_
