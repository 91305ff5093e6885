#include "base/file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace dukon {

namespace {

constexpr char kTmpSuffix[] = ".tmp";

bool allDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

bool isDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string pendingPath(const std::string& path, long pid) {
  const size_t slash = path.rfind('/');
  const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(0, nameAt) + "." + path.substr(nameAt) + "." + std::to_string(pid) +
         kTmpSuffix;
}

std::string publishedPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
  const std::string name = path.substr(nameAt);
  const size_t suffix = sizeof kTmpSuffix - 1;
  if (name.size() < 1 + suffix || name[0] != '.' ||
      name.compare(name.size() - suffix, suffix, kTmpSuffix) != 0)
    return path;
  const std::string stem = name.substr(1, name.size() - 1 - suffix);  // NAME.<pid>
  const size_t dot = stem.rfind('.');
  if (dot == std::string::npos || dot == 0 || !allDigits(stem.substr(dot + 1))) return path;
  return path.substr(0, nameAt) + stem.substr(0, dot);
}

bool writeWholeFile(const std::string& path, const void* data, size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  const char* p = static_cast<const char*>(data);
  size_t left = size;
  bool ok = true;
  while (ok && left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
    } else {
      p += n;
      left -= static_cast<size_t>(n);
    }
  }
  if (::close(fd) != 0) ok = false;
  if (!ok) std::remove(path.c_str());
  return ok;
}

}  // namespace dukon
