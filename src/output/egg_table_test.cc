#include "output/egg_table.h"

#include <gtest/gtest.h>

#include <sstream>

#include "segment/egg_list.h"
#include "support/records.h"

namespace dukon {
namespace {

using testing_support::movingRecord;

TEST(EggTableTest, VerifiedEggsInListOrder) {
  EggList eggs(100, 100);
  {
    std::ostringstream egs, con;
    writeEggTable(egs, eggs);
    EXPECT_EQ(egs.str(), "# eggs - eggs found in the movie\n# no eggs clusters found. \n");
    writeEggReport(con, eggs);
    EXPECT_EQ(con.str(), "");
  }
  eggs.addEgg(Egg(10, 20, 7, 3.5, 5, 6, 2000.0f));
  eggs.addEgg(Egg(10, 20, 9, 2.0, 60, 60, 3000.0f));  // never verified
  Egg candidate(-1, -1, -1, 3.0, 5, 6, -1.0f);
  SkelRecord at42 = movingRecord(42, 0, 0, 0);
  at42.xLoc = 10;
  at42.yLoc = 20;
  eggs.verifyCandidate(candidate, at42);
  std::ostringstream egs, con;
  egs.precision(4);
  writeEggTable(egs, eggs);
  EXPECT_EQ(egs.str(),
            "# eggs - eggs found in the movie\n"
            "#frame\tts\tsize\tloc\tverified\n"
            "7\t2000\t3.5\t15,26\t42 \n"
            "\n# all sizes are in pixels (not real sizes). \n");
  writeEggReport(con, eggs);
  EXPECT_EQ(con.str(),
            "Eggs clusters found:\nAt frame:7 size:3.5 at(Loc+Pos):15,26 verified at frame:42\n");
}

}  // namespace
}  // namespace dukon
