// A run's output folder: the run's name and the paths of its files.
#ifndef DUKON_RESULTS_RUN_FOLDER_H_
#define DUKON_RESULTS_RUN_FOLDER_H_

#include <string>

namespace dukon {
namespace results {

// The movie name of a run folder: the folder's own name when
// NAME-wxd.txt is there, else the NAME of the single *-wxd.txt inside.
// Throws RunFileError when there is none or more than one.
std::string findRunName(const std::string& folder);

// The path of the run's file `file` ("wxd.txt", "skel.csv", ...):
// folder/NAME-file.
std::string runFile(const std::string& folder, const std::string& name, const std::string& file);

}  // namespace results
}  // namespace dukon

#endif  // DUKON_RESULTS_RUN_FOLDER_H_
