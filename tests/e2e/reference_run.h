// The stored reference run: which scenario it is and how its outputs are
// fingerprinted. Shared by the test and by the tool that refreshes it.
#ifndef DUKON_TESTS_E2E_REFERENCE_RUN_H_
#define DUKON_TESTS_E2E_REFERENCE_RUN_H_

#include <cstdio>
#include <memory>
#include <string>

namespace dukon {
namespace e2e {

// A short lossless movie (FFV1: decoding is exact) that lays eggs, so that
// every output file is written.
constexpr const char* kReferenceName = "eggs";
constexpr const char* kReferenceSynthArgs = "--scenario eggs --seconds 6 --codec ffv1";

// One line per output file of the run folder `runDir` (outputs of movie
// `name`): the SHA-256 of its content and its name. The parameters copy is
// fingerprinted without its "# analyzed on:" line, which holds the time, and
// without the moviedir and outdir lines, which hold the build folder.
inline std::string outputManifest(const std::string& runDir, const std::string& name) {
  const char* files[] = {"wxo.txt",  "wxd.txt",  "spd.txt",    "dsp.txt",   "ang.txt", "wxs.txt",
                         "eggs.txt", "skel.csv", "params.txt", "track.bmp", "wave.bmp"};
  std::string out;
  for (const char* f : files) {
    const std::string path = runDir + "/" + name + "-" + f;
    std::string cmd =
        std::string(f) == "params.txt"
            ? "grep -vE '^(# analyzed on:|moviedir |outdir )' '" + path + "' | sha256sum"
            : "sha256sum < '" + path + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> p(popen((cmd + " 2>/dev/null").c_str(), "r"), pclose);
    char buf[128] = {0};
    std::string hash = p && std::fgets(buf, sizeof buf, p.get()) ? std::string(buf, 64) : "missing";
    out += hash + "  " + f + "\n";
  }
  return out;
}

}  // namespace e2e
}  // namespace dukon

#endif  // DUKON_TESTS_E2E_REFERENCE_RUN_H_
