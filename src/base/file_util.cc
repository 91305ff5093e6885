#include "base/file_util.h"

#include <sys/stat.h>

namespace dukon {

bool isDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace dukon
