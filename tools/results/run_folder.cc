#include "results/run_folder.h"

#include <filesystem>
#include <vector>

#include "results/run_file.h"

namespace dukon {
namespace results {

namespace fs = std::filesystem;

std::string findRunName(const std::string& folder) {
  fs::path dir(folder);
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) throw RunFileError(folder + ": no such folder");
  std::string own = dir.lexically_normal().filename().string();
  if (own.empty()) own = dir.lexically_normal().parent_path().filename().string();
  if (fs::is_regular_file(dir / (own + "-wxd.txt"), ec)) return own;
  std::vector<std::string> found;
  const std::string suffix = "-wxd.txt";
  for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) {
    std::string name = e.path().filename().string();
    if (name.size() > suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      found.push_back(name.substr(0, name.size() - suffix.size()));
    }
  }
  if (found.empty()) throw RunFileError(folder + ": no *-wxd.txt, not a run's output folder");
  if (found.size() > 1) {
    throw RunFileError(folder + ": several runs in one folder; name one with --name");
  }
  return found[0];
}

std::string runFile(const std::string& folder, const std::string& name, const std::string& file) {
  return (fs::path(folder) / (name + "-" + file)).string();
}

}  // namespace results
}  // namespace dukon
