#include "output/frame_table.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>

#include "base/params.h"

namespace dukon {

FrameTableSettings frameTableSettings(const Params& prms, double rate) {
  FrameTableSettings s;
  s.rate = rate;
  s.mmpix = prms.mmpix();
  s.mmpixstage = prms.mmpixstage();
  return s;
}

namespace {

constexpr size_t kColumnCount = std::size(kFrameTableColumns);

// One row, built cell by cell and ended with a line end.
class Row {
 public:
  void text(const char* s) {
    comma();
    line_ += s;
  }
  void integer(long long v) {
    comma();
    line_ += std::to_string(v);
  }
  void flag(bool v) { text(v ? "1" : "0"); }
  // The shortest text that reads back as `v`; NaN and infinities as an
  // empty cell.
  void number(double v) {
    comma();
    if (!std::isfinite(v)) return;
    char buf[32];
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v);
    line_.append(buf, r.ptr);
  }
  void empty(size_t n) {
    for (size_t i = 0; i < n; ++i) comma();
  }
  size_t cells() const { return cells_; }
  const std::string& end() {
    line_ += '\n';
    return line_;
  }

 private:
  void comma() {
    if (cells_++ > 0) line_ += ',';
  }
  std::string line_;
  size_t cells_ = 0;
};

// The frame's state, as the annotated movie names it: the first that
// applies of ignored, loop, consistent, good (valid chain, not consistent)
// and rejected (the chain failed validation and was emptied).
const char* stateWord(const SkelRecord& r) {
  if (r.ignored) return "ignored";
  if (r.loop) return "loop";
  if (r.consistent) return "consistent";
  return r.numsklpts > 0 ? "good" : "rejected";
}

// The movement class as the shape tables' labels give it: none for an
// ignored frame, "loop" for a loop frame whatever its code, other frames by
// their code, empty without one.
const char* movementWord(const SkelRecord& r) {
  if (r.ignored) return "";
  if (r.loop) return "loop";
  switch (r.mv) {
    case MovementCode::kForward:
      return "forward";
    case MovementCode::kBackward:
      return "backward";
    case MovementCode::kPause:
      return "pause";
    case MovementCode::kOmega:
      return "omega";
    case MovementCode::kLoop:
    case MovementCode::kNone:
      break;
  }
  return "";
}

class RowWriter {
 public:
  explicit RowWriter(const FrameTableSettings& s)
      : s_(s), mmpix_(s.mmpix), mmpixstage_(s.mmpixstage) {}

  std::string row(const SkelRecord& r) const {
    Row row;
    row.integer(r.frame);
    row.number(r.frame / s_.rate);
    row.text(stateWord(r));
    row.flag(r.located);
    row.text(movementWord(r));
    row.flag(r.reversal && !r.loop && !r.ignored);
    if (r.consistent) consistentValues(r, row);
    row.empty(kColumnCount - row.cells());
    return row.end();
  }

 private:
  // A world coordinate in mm from its frame part (frame pixels) and its
  // stage part (stage pixels).
  double mm(double framePart, int stagePart) const {
    return framePart / mmpix_ + stagePart / mmpixstage_;
  }

  void consistentValues(const SkelRecord& r, Row& row) const {
    // head, mid and tail hold world pixels here: their frame part is the
    // point less the stage location.
    for (const cv::Point& p : {r.head, r.mid, r.tail}) {
      row.number(mm(p.x - r.xLoc, r.xLoc));
      row.number(mm(p.y - r.yLoc, r.yLoc));
    }
    row.number(mm(r.centroid.x, r.xLoc));
    row.number(mm(r.centroid.y, r.yLoc));
    row.integer(r.numsklpts);
    row.integer(r.cutpnums);
    for (double v : {r.len, r.thickness}) row.number(v / mmpix_);
    row.number(r.area / (mmpix_ * mmpix_));
    for (double v : {r.avgamp, r.ampsym, r.maxampL, r.maxampR}) row.number(v / mmpix_);
    for (double v :
         {r.Navgamp, r.NmaxampL, r.NmaxampR, r.avgangle, r.anglesym, r.maxangL, r.maxangR})
      row.number(v);
    row.number(r.wavelen / mmpix_);
    for (double v : {r.Nwavelen, r.freq, r.straightfs, r.sinusfs}) row.number(v);
    row.number(r.disp == -1.0 ? SkelRecord::kNaN : r.disp);
  }

  FrameTableSettings s_;
  double mmpix_, mmpixstage_;  // as doubles, so that every quotient is one
};

}  // namespace

void writeFrameTable(const std::vector<SkelRecord>& records, const FrameTableSettings& settings,
                     std::ostream& os) {
  Row units, header;
  for (const FrameTableColumn& c : kFrameTableColumns) {
    units.text(c.unit);
    header.text(c.name);
  }
  os << "# units: " << units.end() << header.end();
  const RowWriter writer(settings);
  for (const SkelRecord& r : records) os << writer.row(r);
}

bool writeFrameTableFile(const std::string& path, const std::vector<SkelRecord>& records,
                         const FrameTableSettings& settings) {
  std::ofstream os(path, std::ios::out | std::ios::trunc);
  if (!os.is_open()) return false;
  writeFrameTable(records, settings, os);
  os.close();
  return !os.fail();
}

}  // namespace dukon
