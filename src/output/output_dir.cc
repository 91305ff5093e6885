#include "output/output_dir.h"

#include <sys/stat.h>
#include <sys/types.h>

#include "base/fatal_error.h"
#include "base/params.h"

namespace dukon {

namespace {

// Creates one directory level; an existing directory or any failure is
// ignored (a file that then cannot be opened is reported by its writer).
void makeDirectory(const std::string& path) {
  if (!path.empty()) ::mkdir(path.c_str(), 0777);
}

}  // namespace

OutputDir::OutputDir(const std::string& outdir, const std::string& name) {
  if (outdir.size() + name.size() + 20 > static_cast<size_t>(Params::kBufLen)) {
    throw FatalError("Path name too long: " + outdir + "/" + name + "-... \n");
  }
  makeDirectory(outdir);
  // The full prefix is kept whole: cutting it could make several tables
  // share one file name.
  std::string dir = outdir + name + "/";
  makeDirectory(dir);
  prefix_ = dir + name + "-";
}

void OutputDir::openStream(std::ofstream& os, const std::string& name, int precision) {
  const std::string path = completePath(name);
  os.open(path, std::ios::out | std::ios::trunc);
  os.precision(precision);
  if (!os.is_open()) noteFailure(path);
}

void OutputDir::closeStream(std::ofstream& os, const std::string& name) {
  os.close();
  if (os.fail()) noteFailure(completePath(name));
}

void OutputDir::openAppending(std::ofstream& os, const std::string& name) {
  const std::string path = completePath(name);
  os.open(path, std::ios::out | std::ios::app);
  if (!os.is_open()) noteFailure(path);
}

}  // namespace dukon
