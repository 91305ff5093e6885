#include "base/folder_lock.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "base/fatal_error.h"
#include "support/files.h"

namespace dukon {
namespace {

using testing_support::fileExists;
using testing_support::readFile;

TEST(FolderLock, OneHolderAtATimeAndStaleLocksAreTakenOver) {
  const std::string dir = testing_support::freshTestDir() + "/";
  const std::string file = dir + ".w-lock";
  {
    FolderLock first(dir, ".w-lock");
    ASSERT_TRUE(first.held());
    EXPECT_EQ(first.staleHolder(), 0);
    EXPECT_EQ(readFile(file), std::to_string(::getpid()) + "\n");
    // A second taker (another open file of this process) is refused.
    EXPECT_THROW(FolderLock(dir, ".w-lock"), FatalError);
  }
  EXPECT_FALSE(fileExists(file));  // released and removed
  // A lock file that nobody holds any more: a run that was killed.
  testing_support::writeFile(file, "999999\n");
  {
    FolderLock taken(dir, ".w-lock");
    EXPECT_TRUE(taken.held());
    EXPECT_EQ(taken.staleHolder(), 999999);
  }
  EXPECT_FALSE(fileExists(file));
  // No folder, no lock, and no complaint: the writers report the folder.
  EXPECT_FALSE(FolderLock(dir + "absent/", ".w-lock").held());
}

}  // namespace
}  // namespace dukon
