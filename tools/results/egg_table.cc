#include "results/egg_table.h"

#include "results/run_file.h"

namespace dukon {
namespace results {

std::vector<EggRow> readEggTable(const std::string& path) {
  LineFile file(path);
  if (file.size() < 2 || file.line(1) != "# eggs - eggs found in the movie")
    throw file.error(1, "expected the line '# eggs - eggs found in the movie'");
  std::vector<EggRow> rows;
  if (file.line(2) == "# no eggs clusters found. ") return rows;
  if (file.line(2) != "#frame\tts\tsize\tloc\tverified")
    throw file.error(2, "expected the column line '#frame<TAB>ts<TAB>size<TAB>loc<TAB>verified'");
  size_t no = 3;
  for (; no <= file.size() && !file.line(no).empty(); ++no) {
    const std::string& line = file.line(no);
    const std::vector<std::string> f = split(line, '\t');
    EggRow e;
    const std::vector<std::string> loc =
        f.size() == 5 ? split(f[3], ',') : std::vector<std::string>();
    double verified = 0;
    if (f.size() != 5 || loc.size() != 2 || !parseInt(f[0], &e.frame) ||
        !parseDouble(f[1], &e.ts) || !parseDouble(f[2], &e.size) || !parseInt(loc[0], &e.x) ||
        !parseInt(loc[1], &e.y) || f[4].empty() || f[4].back() != ' ' ||
        !parseDouble(f[4].substr(0, f[4].size() - 1), &verified))
      throw file.error(no, "expected 'frame<TAB>ts<TAB>size<TAB>x,y<TAB>verified ', found '" +
                               excerpt(line) + "'");
    e.verified = static_cast<long long>(verified);
    rows.push_back(e);
  }
  if (no + 1 > file.size() || file.line(no + 1) != "# all sizes are in pixels (not real sizes). ")
    throw file.error(no, "the closing line is missing (file truncated?)");
  return rows;
}

}  // namespace results
}  // namespace dukon
