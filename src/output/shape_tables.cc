#include "output/shape_tables.h"

#include <array>
#include <string>

#include "output/table_number.h"

namespace dukon {

namespace {

using N = TableNumber;

// "(x y)", the point form of both shape tables.
std::string pointText(const cv::Point& p) {
  return "(" + std::to_string(p.x) + " " + std::to_string(p.y) + ")";
}

void writeConsistentShort(std::ostream& wxo, const SkelRecord& r) {
  wxo << "1 " << pointText(worldPoint(r, r.head)) << pointText(worldPoint(r, r.mid))
      << pointText(worldPoint(r, r.tail)) << " " << r.chainSize() << "," << r.cutpnums << "|"
      << N{r.maxampL} << "," << N{r.maxampR} << ",";
  wxo.precision(4);
  wxo << N{r.Navgamp} << "|";
  wxo.precision(2);
  wxo << N{r.avgangle} << "," << N{r.maxangL} << "," << N{r.maxangR} << "|";
  wxo.precision(3);
  wxo << N{r.Nwavelen} << ",";
  wxo.precision(2);
  wxo << N{r.straightfs} << "," << N{r.sinusfs} << "|" << N{r.disp} << ",";
}

void writeConsistentFull(std::ostream& wxd, const SkelRecord& r) {
  const std::array<int, 2> cmass = worldCmass(r);
  wxd << "1," << pointText(worldPoint(r, r.head)) << "," << pointText(worldPoint(r, r.mid)) << ","
      << pointText(worldPoint(r, r.tail)) << ",(" << cmass[0] << " " << cmass[1] << "),"
      << r.chainSize() << "," << r.cutpnums << "," << N{r.len} << "," << N{r.thickness} << ","
      << N{r.area} << "," << N{r.avgamp} << "," << N{r.ampsym} << "," << N{r.maxampL} << ","
      << N{r.maxampR} << ",";
  wxd.precision(4);
  wxd << N{r.Navgamp} << "," << N{r.NmaxampL} << "," << N{r.NmaxampR} << ",";
  wxd.precision(2);
  wxd << N{r.avgangle} << "," << N{r.anglesym} << "," << N{r.maxangL} << "," << N{r.maxangR} << ","
      << N{r.wavelen} << ",";
  wxd.precision(3);
  wxd << N{r.Nwavelen} << "," << N{r.freq} << ",";
  wxd.precision(2);
  wxd << N{r.straightfs} << "," << N{r.sinusfs} << "," << N{r.disp} << ",";
}

void writeShortRow(std::ostream& wxo, const SkelRecord& r) {
  wxo << "\n#" << r.frame << " ";
  if (r.ignored) {
    wxo << ",,|,,|,,|,IGNORED";
    return;
  }
  if (r.consistent)
    writeConsistentShort(wxo, r);
  else
    wxo << "0 ( -1 -1 )( -1 -1 )( -1 -1 ),,|,,|,,|,";
  writeMovementLabel(wxo, r, true);
}

void writeFullRow(std::ostream& wxd, const SkelRecord& r) {
  wxd << "\n#" << r.frame << ",";
  if (r.ignored) {
    wxd << ",,,,,,,,,,,,,,,,,,,,,,,IGNORED";
    return;
  }
  if (r.consistent)
    writeConsistentFull(wxd, r);
  else
    wxd << "0,(-1 -1),(-1 -1),(-1 -1),(-1 -1),,,,,,,,,,,,,,,,,,,,,,,";
  writeMovementLabel(wxd, r, true);
}

}  // namespace

void writeMovementLabel(std::ostream& os, const SkelRecord& r, bool loopByFlag) {
  if (loopByFlag && r.loop) {
    os << "loop";
    return;
  }
  if (r.mv == MovementCode::kForward) os << "fwd";
  if (r.mv == MovementCode::kBackward && !r.reversal) os << "bckwd";
  if (r.reversal) os << "reversal";
  if (r.mv == MovementCode::kPause) os << "pause";
  if (r.mv == MovementCode::kOmega) os << "omega";
  if (!loopByFlag && r.mv == MovementCode::kLoop) os << "loop";
}

void writeShapeTables(std::ostream& wxo, std::ostream& wxd,
                      const std::vector<SkelRecord>& records) {
  wxo << "\nframe OK? (head)(mid)(tail) #skelpts,#cutpt|maxampL,maxampR,Navgamp|"
         "avgang,maxangL,maxangR|Nwvlen,straightfs,sinusfs|disp,mv";
  for (const SkelRecord& r : records) writeShortRow(wxo, r);
  wxd << "\nframe,OK?,(head),(mid),(tail),(cmass),#skelpts,#cutpt,len,thick,area,avgamp,ampsym,"
         "maxampL,maxampR,Navgamp,NmaxampL,NmaxampR,avgang,angsym,maxangL,maxangR,wvlen,Nwvlen,"
         "freq,straightfs,sinusfs,disp,mv";
  for (const SkelRecord& r : records) writeFullRow(wxd, r);
}

}  // namespace dukon
