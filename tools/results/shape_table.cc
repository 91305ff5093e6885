#include "results/shape_table.h"

#include <cmath>
#include <utility>

namespace dukon {
namespace results {
namespace {

const char kWxdHeader[] =
    "frame,OK?,(head),(mid),(tail),(cmass),#skelpts,#cutpt,len,thick,area,avgamp,ampsym,"
    "maxampL,maxampR,Navgamp,NmaxampL,NmaxampR,avgang,angsym,maxangL,maxangR,wvlen,Nwvlen,"
    "freq,straightfs,sinusfs,disp,mv";
// A shape-table row has 28 fields after "#frame,"; an ignored one 24.
constexpr size_t kRowFields = 28;
constexpr size_t kIgnoredFields = 24;
// The 20 real-valued columns, from len (field 7) to disp (field 26).
constexpr size_t kFirstNumber = 7;
double ShapeRow::*const kNumbers[] = {
    &ShapeRow::len,      &ShapeRow::thick,      &ShapeRow::area,    &ShapeRow::avgamp,
    &ShapeRow::ampsym,   &ShapeRow::maxampL,    &ShapeRow::maxampR, &ShapeRow::Navgamp,
    &ShapeRow::NmaxampL, &ShapeRow::NmaxampR,   &ShapeRow::avgang,  &ShapeRow::angsym,
    &ShapeRow::maxangL,  &ShapeRow::maxangR,    &ShapeRow::wvlen,   &ShapeRow::Nwvlen,
    &ShapeRow::freq,     &ShapeRow::straightfs, &ShapeRow::sinusfs, &ShapeRow::disp};

void parseConsistent(const LineFile& file, size_t no, const std::vector<std::string>& f,
                     ShapeRow& row) {
  cv::Point* const points[] = {&row.head, &row.mid, &row.tail, &row.cmass};
  for (size_t i = 0; i < 4; ++i) {
    if (!parsePoint(f[1 + i], points[i]))
      throw file.error(no, "field " + std::to_string(i + 3) + " is not a point '(x y)'");
  }
  if (!parseInt(f[5], &row.skelpts) || !parseInt(f[6], &row.cutpt))
    throw file.error(no, "#skelpts and #cutpt must be whole numbers");
  for (size_t i = 0; i < std::size(kNumbers); ++i) {
    if (!parseDouble(f[kFirstNumber + i], &(row.*kNumbers[i])))
      throw file.error(no, "field " + std::to_string(kFirstNumber + i + 2) + " is not a number '" +
                               excerpt(f[kFirstNumber + i]) + "'");
  }
}

void parseInconsistent(const LineFile& file, size_t no, const std::vector<std::string>& f,
                       ShapeRow& row) {
  for (size_t i = 1; i <= 4; ++i) {
    if (f[i] != "(-1 -1)") throw file.error(no, "a row that is not consistent carries a point");
  }
  for (size_t i = 5; i + 1 < f.size(); ++i) {
    if (!f[i].empty()) throw file.error(no, "a row that is not consistent carries values");
  }
  for (double ShapeRow::*field : kNumbers) row.*field = std::nan("");
}

ShapeRow parseShapeRow(const LineFile& file, size_t no) {
  const std::string& text = file.line(no);
  const size_t comma = text.find(',');
  ShapeRow row;
  if (text.empty() || text[0] != '#' || comma == std::string::npos ||
      !parseInt(text.substr(1, comma - 1), &row.frame)) {
    throw file.error(no, "expected a row '#frame,...', found '" + excerpt(text) + "'");
  }
  const std::vector<std::string> f = split(text.substr(comma + 1), ',');
  if (f.size() == kIgnoredFields && f.back() == "IGNORED") {
    for (size_t i = 0; i + 1 < f.size(); ++i) {
      if (!f[i].empty()) throw file.error(no, "row of an ignored frame carries values");
    }
    row.ignored = true;
    return row;
  }
  if (f.size() != kRowFields) {
    throw file.error(no, "expected 29 comma-separated fields, found " +
                             std::to_string(f.size() + 1) + " (file truncated?)");
  }
  if (f[0] != "0" && f[0] != "1") throw file.error(no, "OK? must be 0 or 1, found '" + f[0] + "'");
  row.consistent = f[0] == "1";
  row.label = f.back();
  try {
    decodeLabel(row.label);
  } catch (const std::invalid_argument& e) {
    throw file.error(no, e.what());
  }
  if (row.consistent)
    parseConsistent(file, no, f, row);
  else
    parseInconsistent(file, no, f, row);
  return row;
}

}  // namespace

std::vector<ShapeRow> readShapeTable(const std::string& path) {
  LineFile file(path);
  if (file.size() < 2 || !file.line(1).empty()) {
    throw file.error(1, "expected an empty first line before the header");
  }
  if (file.line(2) != kWxdHeader) throw file.error(2, "unexpected table header");
  std::vector<ShapeRow> rows;
  for (size_t no = 3; no <= file.size(); ++no) {
    ShapeRow row = parseShapeRow(file, no);
    if (!rows.empty() && row.frame <= rows.back().frame) {
      throw file.error(no, "frame " + std::to_string(row.frame) + " does not follow frame " +
                               std::to_string(rows.back().frame));
    }
    rows.push_back(row);
  }
  return rows;
}

Movement decodeLabel(const std::string& label) {
  static const std::pair<const char*, const char*> kWords[] = {
      {"fwd", "forward"}, {"bckwd", "backward"}, {"reversal", ""},
      {"pause", "pause"}, {"omega", "omega"},    {"loop", "loop"}};
  Movement m;
  size_t at = 0;
  while (at < label.size()) {
    bool matched = false;
    for (const auto& w : kWords) {
      const std::string word = w.first;
      if (label.compare(at, word.size(), word) != 0) continue;
      if (word == "reversal") {
        m.reversal = true;
      } else if (m.name.empty() || m.name == w.second) {
        m.name = w.second;
      } else {
        throw std::invalid_argument("movement label '" + label + "' names two classes");
      }
      at += word.size();
      matched = true;
      break;
    }
    if (!matched) throw std::invalid_argument("unknown movement label '" + label + "'");
  }
  if (m.reversal && m.name.empty()) m.name = "backward";
  return m;
}

}  // namespace results
}  // namespace dukon
