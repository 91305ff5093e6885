#include "output/params_copy.h"

#include <gtest/gtest.h>

#include <sstream>

#include "base/params.h"
#include "support/params_text.h"

namespace dukon {
namespace {

TEST(ParamsCopyTest, HeaderCarriesVersionCtimeLineAndTheRunsRateAndEnd) {
  const Params p = testing_support::paramsFromText("moviedir = /m\nmoviename = w1\nlframe = 0\n");
  std::ostringstream os;
  os.precision(3);
  writeParamsCopy(os, p, "0.07 with OpenCV", 29.97, 812);
  std::string s = os.str();
  ASSERT_EQ(s.rfind("# DUKON version: 0.07 with OpenCV\n# analyzed on: ", 0), 0u);
  size_t line2 = s.find('\n') + 1;
  // "# analyzed on: " + 24 characters of ctime + line end + empty line.
  EXPECT_EQ(s.substr(line2 + 15 + 24, 2), "\n\n");
  EXPECT_EQ(s.substr(line2 + 15 + 26, 14), "moviedir    = ");
  // The copy shows the rate and the last frame the run used; the listing
  // itself keeps what the file said.
  EXPECT_NE(s.find("\nfrmps       = 30\nfframe      = 0\nlframe      = 812\n"), std::string::npos);
  std::ostringstream read;
  p.print(read);
  EXPECT_NE(read.str().find("\nfrmps       = -1\nfframe      = 0\nlframe      = 0\n"),
            std::string::npos);
}

}  // namespace
}  // namespace dukon
