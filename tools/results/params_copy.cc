#include "results/params_copy.h"

#include "results/run_file.h"

namespace dukon {
namespace results {

RunParams readParamsCopy(const std::string& path) {
  LineFile file(path);
  if (file.size() < 3 || file.line(1).rfind("# DUKON version: ", 0) != 0 ||
      file.line(2).rfind("# analyzed on: ", 0) != 0 || !file.line(3).empty()) {
    throw file.error(1, "not a parameters copy (run header missing)");
  }
  RunParams p;
  bool haveName = false, haveMmpix = false;
  for (size_t no = 4; no <= file.size(); ++no) {
    const std::string& text = file.line(no);
    size_t eq = text.find(" = ");
    size_t keyEnd = text.find(' ');
    if (eq == std::string::npos || keyEnd == 0) {
      throw file.error(no, "expected 'key = value', found '" + excerpt(text) + "'");
    }
    std::string key = text.substr(0, keyEnd), value = text.substr(eq + 3);
    bool ok = true;
    if (key == "moviedir") {
      p.movieDir = value;
    } else if (key == "moviename") {
      p.movieName = value;
      haveName = !value.empty();
    } else if (key == "mmpix") {
      ok = parseInt(value, &p.mmpix) && p.mmpix > 0;
      haveMmpix = true;
    } else if (key == "frmps") {
      ok = parseDouble(value, &p.frmps);
    } else if (key == "fframe") {
      ok = parseInt(value, &p.fframe);
    } else if (key == "lframe") {
      ok = parseInt(value, &p.lframe);
    }
    if (!ok) throw file.error(no, key + ": cannot read value '" + value + "'");
  }
  if (!haveName || !haveMmpix) {
    throw file.error(file.size(), "parameter listing lacks moviename or mmpix (truncated?)");
  }
  return p;
}

}  // namespace results
}  // namespace dukon
