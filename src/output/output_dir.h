// OutputDir: the movie's output directory and the file-name prefix of every
// result file, outdir + moviename + "/" + moviename + "-"; every result
// file is opened through it, and it remembers every file that could not be
// written.
//
// Constructed once, right after the parameters, and kept for the whole run.
#ifndef DUKON_OUTPUT_OUTPUT_DIR_H_
#define DUKON_OUTPUT_OUTPUT_DIR_H_

#include <fstream>
#include <ostream>
#include <string>
#include <vector>

namespace dukon {

class OutputDir {
 public:
  // Checks the path length (throws FatalError "Path name too long: ..."),
  // creates `outdir` (empty, or ending in "/") and outdir/moviename
  // (failures ignored) and builds the prefix.
  OutputDir(const std::string& outdir, const std::string& moviename);

  OutputDir(const OutputDir&) = delete;
  OutputDir& operator=(const OutputDir&) = delete;

  // Closes `os`, opened on `name` through openStream, and notes a failure
  // of the writes or the close under the file's full path.
  void closeStream(std::ofstream& os, const std::string& name);

  // prefix + name: the full path of a result file.
  std::string completePath(const std::string& name) const { return prefix_ + name; }

  // Opens `os` on prefix + name for writing (an existing file is emptied)
  // with `precision` significant digits. A failure is remembered (see
  // failures()) and the stream then takes no output.
  void openStream(std::ofstream& os, const std::string& name, int precision);
  // The same for appending: an existing file keeps its content.
  void openAppending(std::ofstream& os, const std::string& name);

  // Records an output that could not be created or written; the run reports
  // each at its end and exits with status 1.
  void noteFailure(const std::string& path) { failures_.push_back(path); }
  const std::vector<std::string>& failures() const { return failures_; }

 private:
  std::string prefix_;
  std::vector<std::string> failures_;
};

}  // namespace dukon

#endif  // DUKON_OUTPUT_OUTPUT_DIR_H_
