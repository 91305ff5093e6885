// Small file-system queries shared by the readers of the run's input files.
#ifndef DUKON_BASE_FILE_UTIL_H_
#define DUKON_BASE_FILE_UTIL_H_

#include <string>

namespace dukon {

// True when `path` names an existing directory. A directory opens as an
// input stream on Linux and then reads nothing, so the readers treat it as a
// file that cannot be opened.
bool isDirectory(const std::string& path);

}  // namespace dukon

#endif  // DUKON_BASE_FILE_UTIL_H_
