#include "run/output_dir.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/fatal_error.h"
#include "base/file_util.h"
#include "base/params.h"
#include "base/skel_record.h"

namespace dukon {

namespace {

namespace fs = std::filesystem;

// Creates one directory level; an existing directory or any failure is
// ignored (a file that then cannot be opened is reported by its writer).
void makeDirectory(const std::string& path) {
  if (!path.empty()) ::mkdir(path.c_str(), 0777);
}

bool endsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

OutputDir::OutputDir(const std::string& outdir, const std::string& name, std::ostream& err) {
  if (outdir.size() + name.size() + 20 > static_cast<size_t>(Params::kBufLen)) {
    throw FatalError("Path name too long: " + outdir + "/" + name + "-... \n");
  }
  makeDirectory(outdir);
  // The full prefix is kept whole: cutting it could make several tables
  // share one file name.
  folder_ = outdir + name + "/";
  makeDirectory(folder_);
  prefix_ = folder_ + name + "-";
  lock_ = std::make_unique<FolderLock>(folder_, "." + name + "-lock");
  if (lock_->staleHolder() > 0) removeLeftovers(lock_->staleHolder(), err);
}

OutputDir::~OutputDir() {
  removePending();
  lock_.reset();
}

// The temporary files of the killed run `pid`: the hidden names that
// pendingPath gave that run's result files.
void OutputDir::removeLeftovers(long pid, std::ostream& err) {
  const std::string head = "." + prefix_.substr(folder_.size());
  const std::string tail = "." + std::to_string(pid) + ".tmp";
  std::error_code ec;
  for (fs::directory_iterator it(folder_, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    const std::string file = it->path().filename().string();
    std::error_code ignored;
    if (file.compare(0, head.size(), head) == 0 && endsWith(file, tail) &&
        it->is_regular_file(ignored))
      fs::remove(it->path(), ignored);
  }
  err << "An earlier run into " << folder_ << " (process " << pid
      << ") did not finish; its unfinished files are removed\n";
}

std::string OutputDir::pendingPath(const std::string& name) {
  bool known = false;
  for (const std::string& n : pending_) known = known || n == name;
  if (!known) pending_.push_back(name);
  return dukon::pendingPath(completePath(name), ::getpid());
}

void OutputDir::noteFailure(const std::string& path) {
  for (const std::string& f : failures_)
    if (f == path) return;
  failures_.push_back(path);
}

void OutputDir::openStream(std::ofstream& os, const std::string& name, int precision) {
  os.open(pendingPath(name), std::ios::out | std::ios::trunc);
  os.precision(precision);
  if (!os.is_open()) noteFailure(completePath(name));
}

void OutputDir::closeStream(std::ofstream& os, const std::string& name) {
  os.close();
  if (os.fail()) noteFailure(completePath(name));
}

void OutputDir::writeSkeletons(const std::vector<SkelRecord>& records) {
  const std::string path = completePath("skel.csv");
  const std::string tmp = pendingPath("skel.csv");
  std::ofstream os(tmp, std::ios::out | std::ios::trunc | std::ios::binary);
  if (!os.is_open()) {
    noteFailure(path);
    return;
  }
  // The earlier runs' blocks first, byte for byte; a path that exists but
  // cannot be read (a folder, no permission) fails this file.
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    std::ifstream old(path, std::ios::binary);
    if (!S_ISREG(st.st_mode) || !old.is_open()) {
      noteFailure(path);
      return;
    }
    if (st.st_size > 0 && !(os << old.rdbuf())) {
      noteFailure(path);
      return;
    }
  }
  for (const SkelRecord& r : records) {
    os << "Frame number: " << r.frame << "\n";
    for (int j = 0; j < r.numsklpts && j < static_cast<int>(r.points.size()); ++j)
      os << r.points[j].x << "," << r.points[j].y << "\n";
  }
  os.close();
  if (os.fail()) noteFailure(path);
}

bool OutputDir::publish() {
  // A folder under a final name cannot be replaced by a file: found now,
  // it fails the run before anything is renamed.
  for (const std::string& name : pending_)
    if (isDirectory(completePath(name))) noteFailure(completePath(name));
  if (!failures_.empty()) {
    removePending();
    return false;
  }
  for (const std::string& name : pending_) {
    const std::string tmp = dukon::pendingPath(completePath(name), ::getpid());
    struct stat st;
    if (::stat(tmp.c_str(), &st) != 0) continue;  // begun, but the writer chose to write nothing
    if (std::rename(tmp.c_str(), completePath(name).c_str()) != 0) {
      noteFailure(completePath(name));
      std::remove(tmp.c_str());
    }
  }
  pending_.clear();
  return true;
}

void OutputDir::removePending() {
  for (const std::string& name : pending_)
    std::remove(dukon::pendingPath(completePath(name), ::getpid()).c_str());
  pending_.clear();
}

}  // namespace dukon
