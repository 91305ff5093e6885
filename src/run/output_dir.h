// OutputDir: the movie's output directory, the file-name prefix of every
// result file (outdir + moviename + "/" + moviename + "-"), and the
// publishing of a run's results.
//
// A run owns its folder: it holds the folder's lock from construction to
// destruction, so two runs never write into one folder at once. Every
// result file is written under a temporary name in the folder (see
// pendingPath in base/file_util.h) and renamed into place by publish() at
// the end of a successful run; a run that fails or is killed leaves the
// files of the earlier run as they were.
//
// Constructed once, right after the parameters, and kept for the whole run.
#ifndef DUKON_RUN_OUTPUT_DIR_H_
#define DUKON_RUN_OUTPUT_DIR_H_

#include <fstream>
#include <iostream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "base/folder_lock.h"

namespace dukon {

struct SkelRecord;

class OutputDir {
 public:
  // Checks the path length (throws FatalError "Path name too long: ..."),
  // creates `outdir` (empty, or ending in "/") and outdir/moviename
  // (failures ignored), takes the folder's lock (throws FatalError when
  // another run holds it), removes the unfinished files of a run that was
  // killed there (one note on `err`) and builds the prefix.
  OutputDir(const std::string& outdir, const std::string& moviename, std::ostream& err = std::cerr);
  // Removes the files that were not published, then releases the lock.
  ~OutputDir();

  OutputDir(const OutputDir&) = delete;
  OutputDir& operator=(const OutputDir&) = delete;

  // The folder, outdir + moviename + "/".
  const std::string& folder() const { return folder_; }

  // prefix + name: the final path of a result file.
  std::string completePath(const std::string& name) const { return prefix_ + name; }

  // The temporary path a writer fills for result file `name`; the file is
  // published under completePath(name).
  std::string pendingPath(const std::string& name);

  // Opens `os` on the temporary file of `name` (emptied) with `precision`
  // significant digits. A failure is remembered (see failures()) and the
  // stream then takes no output.
  void openStream(std::ofstream& os, const std::string& name, int precision);

  // Closes `os`, opened on `name` through openStream, and notes a failure
  // of the writes or the close under the file's final path.
  void closeStream(std::ofstream& os, const std::string& name);

  // "skel.csv" grows run after run: its temporary file receives the
  // published file's content and then every record's chain, "Frame number:
  // N" and one "x,y" line per chain point.
  void writeSkeletons(const std::vector<SkelRecord>& records);

  // Records an output that could not be created or written (its final
  // path); the run reports each at its end and exits with status 1.
  void noteFailure(const std::string& path);
  const std::vector<std::string>& failures() const { return failures_; }

  // Renames every written file into place, in the order they were begun.
  // When a file failed (or a final name is taken by a folder) nothing is
  // renamed: the temporary files are removed and false returned, so the
  // folder keeps the earlier run's results whole.
  bool publish();

 private:
  void removeLeftovers(long pid, std::ostream& err);
  void removePending();

  std::string folder_;
  std::string prefix_;
  std::unique_ptr<FolderLock> lock_;
  std::vector<std::string> pending_;  // names begun, in order
  std::vector<std::string> failures_;
};

}  // namespace dukon

#endif  // DUKON_RUN_OUTPUT_DIR_H_
