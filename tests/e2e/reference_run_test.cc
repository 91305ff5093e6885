// The outputs of a short synthetic run must stay byte-identical to the
// stored reference run under tests/reference/. An optimisation that changes
// any output fails here; an intended change of behaviour refreshes the
// reference with scripts/refresh-reference and says so in its commit.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "reference_run.h"
#include "run_outputs.h"

namespace dukon {
namespace e2e {
namespace {

TEST(ReferenceRun, OutputsAreByteIdentical) {
  const std::string dir = std::string(DUKON_E2E_DIR) + "/reference";
  const std::string refDir = std::string(DUKON_SOURCE_DIR) + "/tests/reference";
  ASSERT_EQ(shell("rm -rf '" + dir + "' && mkdir -p '" + dir + "'"), 0);
  ASSERT_EQ(shell(std::string("'") + DUKON_SYNTH_EXE + "' " + kReferenceSynthArgs + " --out '" +
                  dir + "' >'" + dir + "/synth.log' 2>&1"),
            0);
  ASSERT_EQ(shell("cd '" + dir + "' && '" DUKON_EXE "' </dev/null >console.txt 2>errors.txt"), 0)
      << readText(dir + "/errors.txt");
  const std::string manifest = outputManifest(dir + "/" + kReferenceName, kReferenceName);
  std::ofstream(dir + "/manifest.txt") << manifest;
  const std::string want = readText(refDir + "/manifest.txt");
  EXPECT_EQ(manifest, want) << "outputs differ from the reference run; compare " << dir
                            << "/manifest.txt with tests/reference/manifest.txt";
}

}  // namespace
}  // namespace e2e
}  // namespace dukon
