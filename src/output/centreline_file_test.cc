#include "output/centreline_file.h"

#include <gtest/gtest.h>

#include <sstream>

namespace dukon {
namespace {

// One row of each kind after the header: a chain (no error), a fit, a fit
// refused (its error, no points) and a frame without a fit.
TEST(CentrelineFileTest, HeaderAndRowsOfEveryKind) {
  std::ostringstream os;
  os.precision(2);  // the file's numbers do not depend on the stream's precision
  CentrelineFile file(os);
  Centreline line(kCentrelinePoints);
  for (int k = 0; k < kCentrelinePoints; ++k) line[k] = cv::Point2d(1000.125 + k, -2.5 * k - 0.004);
  file.write({7, CentrelineSource::kChain, NAN, line, {-3, 12}});
  file.write({8, CentrelineSource::kFitted, 0.03125, line, {0, 0}});
  file.write({9, CentrelineSource::kNone, 0.4, line, {1, 2}});
  file.write({10, CentrelineSource::kNone, NAN, Centreline(), {1, 2}});

  std::istringstream in(os.str());
  std::string header, chain, fitted, refused, none, extra;
  std::getline(in, header);
  std::getline(in, chain);
  std::getline(in, fitted);
  std::getline(in, refused);
  std::getline(in, none);
  EXPECT_FALSE(std::getline(in, extra));
  EXPECT_EQ(header.substr(0, 36), "frame,source,fit_error,x0,y0,x1,y1,x");
  EXPECT_EQ(header.substr(header.size() - 32), ",x47,y47,x48,y48,stage_x,stage_y");
  EXPECT_EQ(chain.substr(0, 47), "7,chain,,1000.13,0.00,1001.13,-2.50,1002.13,-5.");
  EXPECT_EQ(chain.substr(chain.size() - 22), ",1048.13,-120.00,-3,12");
  EXPECT_EQ(fitted.substr(0, 26), "8,fitted,0.0312,1000.13,0.");
  const std::string empty(2 * kCentrelinePoints, ',');
  EXPECT_EQ(refused, "9,none,0.4000" + empty + ",1,2");
  EXPECT_EQ(none, "10,none," + empty + ",1,2");
  for (const std::string& row : {chain, fitted, refused, none})
    EXPECT_EQ(std::count(row.begin(), row.end(), ','), 4 + 2 * kCentrelinePoints) << row;
}

}  // namespace
}  // namespace dukon
