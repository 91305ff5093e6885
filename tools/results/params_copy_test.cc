#include "results/params_copy.h"

#include <gtest/gtest.h>

#include <string>

#include "results/reader_test_fixture.h"

namespace dukon {
namespace results {
namespace {

using namespace samples;

TEST_F(ReaderTest, ParamsCopyGivesNameScaleRateAndRange) {
  RunParams p = readParamsCopy(write("w-params.txt", paramsCopy("/m/", "w", 280, 29.97)));
  EXPECT_EQ(p.movieDir, "/m/");
  EXPECT_EQ(p.movieName, "w");
  EXPECT_EQ(p.mmpix, 280);
  EXPECT_NEAR(p.frmps, 29.97, 1e-9);
  EXPECT_EQ(p.fframe, 0);

  std::string path = write("bad.txt", "moviename = w\n");
  EXPECT_EQ(failure([&] { readParamsCopy(path); }),
            path + ":1: not a parameters copy (run header missing)");
  std::string text = paramsCopy("/m/", "w", 280, 30);
  path = write("bad2.txt", text.replace(text.find("mmpix       = 280"), 17, "mmpix       = -4"));
  EXPECT_EQ(failure([&] { readParamsCopy(path); }), path + ":7: mmpix: cannot read value '-4'");
  text = paramsCopy("/m/", "w", 280, 30);
  path = write("cut.txt", text.substr(0, text.find("mmpix")));
  EXPECT_NE(failure([&] { readParamsCopy(path); }).find("lacks moviename or mmpix"),
            std::string::npos);
  EXPECT_EQ(failure([&] { readParamsCopy((dir_ / "none.txt").string()); }),
            (dir_ / "none.txt").string() + ": cannot open (missing file?)");
}

}  // namespace
}  // namespace results
}  // namespace dukon
