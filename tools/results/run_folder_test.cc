#include "results/run_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "results/reader_test_fixture.h"

namespace dukon {
namespace results {
namespace {

namespace fs = std::filesystem;
using namespace samples;

TEST_F(ReaderTest, RunNameFromTheFolder) {
  fs::create_directories(dir_ / "w1");
  writeText(dir_ / "w1" / "w1-wxd.txt", "");
  EXPECT_EQ(findRunName((dir_ / "w1").string()), "w1");
  EXPECT_EQ(findRunName((dir_ / "w1").string() + "/"), "w1");
  fs::create_directories(dir_ / "renamed");
  writeText(dir_ / "renamed" / "w2-wxd.txt", "");
  EXPECT_EQ(findRunName((dir_ / "renamed").string()), "w2");
  writeText(dir_ / "renamed" / "w3-wxd.txt", "");
  EXPECT_NE(failure([&] { findRunName((dir_ / "renamed").string()); }).find("several runs"),
            std::string::npos);
  EXPECT_NE(failure([&] { findRunName((dir_ / "absent").string()); }).find("no such folder"),
            std::string::npos);
  EXPECT_EQ(runFile("out/w1", "w1", "skel.csv"), "out/w1/w1-skel.csv");
}

}  // namespace
}  // namespace results
}  // namespace dukon
