// Small file-system helpers shared by the readers of the run's input files
// and the writers of its results.
#ifndef DUKON_BASE_FILE_UTIL_H_
#define DUKON_BASE_FILE_UTIL_H_

#include <cstddef>
#include <string>

namespace dukon {

// True when `path` names an existing directory. A directory opens as an
// input stream on Linux and then reads nothing, so the readers treat it as a
// file that cannot be opened.
bool isDirectory(const std::string& path);

// Result files are written under a temporary name beside their final one
// and renamed into place when the run has them all: "DIR/NAME" is written
// as "DIR/.NAME.<pid>.tmp" (hidden, and the process id says which run left
// it behind when a run is killed).
std::string pendingPath(const std::string& path, long pid);
// The final path of a temporary one made by pendingPath; any other path is
// returned unchanged. Messages name files by their final path.
std::string publishedPath(const std::string& path);

// Writes `size` bytes to a new file `path` (an existing one is replaced),
// checking every write and the close: false when any byte may be missing
// (full disk, file-size limit, no such folder); a partial file is removed.
bool writeWholeFile(const std::string& path, const void* data, size_t size);

}  // namespace dukon

#endif  // DUKON_BASE_FILE_UTIL_H_
