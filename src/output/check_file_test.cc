#include "output/check_file.h"

#include <gtest/gtest.h>

#include <sstream>

namespace dukon {
namespace {

HeadCheck check(double brightness, double swing, double wave, double travel) {
  HeadCheck c;
  c.firstFrame = 391;
  c.lastFrame = 843;
  c.frames = 453;
  c.seconds = 30.2;
  c.against.brightness = brightness;
  c.against.swing = swing;
  c.against.wave = wave;
  c.against.travel = travel;
  return c;
}

TEST(CheckFile, HeaderAlwaysThenOneRowPerCheck) {
  std::ostringstream none, two;
  writeChecks(none, {});
  EXPECT_EQ(none.str(),
            "check,first_frame,last_frame,frames,seconds,brightness,head_swing,body_wave,travel,"
            "evidence\n");
  writeChecks(two, {check(0.021, -1.314, -0.305, -0.004), check(0.6, -1, -0.2, -0.2)});
  EXPECT_EQ(two.str(), none.str() +
                           "head,391,843,453,30.20,0.02,-1.31,-0.30,0.00,-1.60\n"
                           "head,391,843,453,30.20,0.60,-1.00,-0.20,-0.20,-0.80\n");
}

TEST(CheckFile, WarningNamesFramesEvidenceAndKeys) {
  EXPECT_EQ(headCheckWarning(check(0.02, -1.31, -0.3, 0), "w-checks.csv"),
            "Warning: head and tail may be swapped in frames 391-843 (30.20 s, 453 consistent "
            "frames): the evidence for the head written is brightness +0.02, head swing -1.31, "
            "body wave -0.30, travel 0.00, total -1.59; headmode = combined in params.txt orients "
            "by all of it (listed in w-checks.csv)\n");
  // Brightness alone for the head written: a bright worm taken for a dark one.
  const std::string inverted = headCheckWarning(check(0.65, -1.17, -0.39, -0.25), "w-checks.csv");
  EXPECT_NE(inverted.find("orients by all of it, and polarity = bright inverts a worm brighter "
                          "than its plate (listed"),
            std::string::npos)
      << inverted;
}

}  // namespace
}  // namespace dukon
