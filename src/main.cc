// dukon: analyses one worm movie as configured by "params.txt" in the
// working directory. See README.md.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>

#include <opencv2/core/utility.hpp>

#include "base/fatal_error.h"
#include "run/run_driver.h"

namespace {

const char kUsage[] =
    "usage: dukon [--help | --version]\n"
    "\n"
    "Analyses one movie of a crawling worm. Takes no arguments: reads the\n"
    "settings from \"params.txt\" in the working directory (key = value lines;\n"
    "moviedir and moviename are required; all keys are described in README.md),\n"
    "the movie MOVIEDIR/MOVIENAME.avi and the stage log MOVIEDIR/MOVIENAME.log.csv,\n"
    "and writes tables (wxo.txt, wxd.txt, spd.txt, dsp.txt, ang.txt, wxs.txt,\n"
    "eggs.txt), skel.csv, a parameters copy, the images track.bmp and wave.bmp,\n"
    "frames.csv, checks.csv and centreline.csv into OUTDIR/MOVIENAME/, each file\n"
    "named MOVIENAME-<name>.\n"
    "\n"
    "Exit status: 0 all planned frames analysed and written; 3 a partial run\n"
    "(results written, some planned frames not analysed); 1 a fatal condition,\n"
    "a refused run or a result file that could not be written; 2 bad arguments.\n";

// A fatal condition: the message, one character from standard input (end of
// input counts), exit status 1.
int fatal(const std::string& message) {
  std::cout.flush();
  std::cerr << message;
  std::cerr.flush();
  std::getchar();
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
      std::cout << kUsage;
      return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
      std::cout << dukon::kVersion << "\n";
      return 0;
    }
    std::cerr << kUsage;
    return 2;
  }
  // A file-size limit (ulimit -f) would end the process at the first write
  // beyond it; ignored, the write fails and the run reports the file.
  std::signal(SIGXFSZ, SIG_IGN);
  // The run spreads its work over threads of its own (the decoding thread,
  // the centreline fitters). The image library's pool on top of those only
  // adds hand-overs for frame-sized images: on two cores the whole run took
  // 6-9 % longer with it. Results do not depend on it.
  cv::setNumThreads(1);
  try {
    return dukon::runDukon("params.txt");
  } catch (const dukon::FatalError& e) {
    return fatal(e.what());
  } catch (const std::exception& e) {
    return fatal(std::string("Internal error: ") + e.what() + "\n");
  }
}
