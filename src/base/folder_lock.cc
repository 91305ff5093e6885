#include "base/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "base/fatal_error.h"

namespace dukon {

namespace {

// The process id written in the lock file, 0 when it holds none.
long readHolder(int fd) {
  char buf[32] = {0};
  const ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
  if (n <= 0) return 0;
  const long pid = std::strtol(buf, nullptr, 10);
  return pid > 0 ? pid : 0;
}

// True when `fd` is still the file at `path`: a holder removes the file as
// it releases the lock, so a lock taken on a removed file guards nothing.
bool stillAtPath(int fd, const std::string& path) {
  struct stat open, named;
  return ::fstat(fd, &open) == 0 && ::stat(path.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

}  // namespace

FolderLock::FolderLock(const std::string& folder, const std::string& fileName)
    : path_(folder + fileName) {
  // A few tries: each failed one means another run released the lock (and
  // removed its file) between our open and our lock.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return;
    int locked;
    do {
      locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
      const bool busy = errno == EWOULDBLOCK;
      const long holder = readHolder(fd);
      ::close(fd);
      if (!busy) return;  // a file system without locks: run unguarded
      std::string msg = "Output folder " + folder + " is in use by another run";
      if (holder > 0) msg += " (process " + std::to_string(holder) + ")";
      throw FatalError(msg + "; wait until it has ended, or use another outdir\n");
    }
    if (!stillAtPath(fd, path_)) {
      ::close(fd);
      continue;
    }
    staleHolder_ = readHolder(fd);
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) < 0) {
      // The lock holds without the id; only a refused run's message lacks it.
    }
    fd_ = fd;
    return;
  }
}

FolderLock::~FolderLock() {
  if (fd_ < 0) return;
  // Removed while still locked, so that no run can lock this file after us.
  ::unlink(path_.c_str());
  ::close(fd_);
}

}  // namespace dukon
