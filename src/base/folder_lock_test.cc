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
    // A second taker (here another open file of this process) is refused
    // with the folder and the holder's id.
    try {
      FolderLock second(dir, ".w-lock");
      FAIL() << "a second lock was granted";
    } catch (const FatalError& e) {
      EXPECT_EQ(std::string(e.what()), "Output folder " + dir +
                                           " is in use by another run (process " +
                                           std::to_string(::getpid()) +
                                           "); wait until it has ended, or use another outdir\n");
    }
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
