// Params: the run's settings, read once from "params.txt".
//
// Every key has a default; the file overrides them line by line. After
// read() the object is read-only except for setFrmps() and setLframe(),
// which the run driver uses once the movie is open and after the frame loop.
#ifndef DUKON_BASE_PARAMS_H_
#define DUKON_BASE_PARAMS_H_

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace dukon {

class Params {
 public:
  // Length of every text buffer and of the line buffer; texts keep at most
  // kBufLen - 1 characters.
  static constexpr int kBufLen = 260;
  // Marker closing the ignored-frames list; matches no frame number.
  static constexpr int kIgnoreEnd = -13;
  // Largest frame rate accepted, frames per second, from the file or the
  // movie, and longest time span (seglen, displen, anglen), seconds. Their
  // product, a span in frames, must stay well inside int.
  static constexpr double kMaxFrmps = 10000.0;
  static constexpr double kMaxSpan = 86400.0;
  // Lowest first frame accepted; frame differences (lframe - fframe) must
  // stay inside int.
  static constexpr int kMinFframe = -1000000000;

  // `fileName` is the parameters file to read; nothing is read yet.
  explicit Params(std::string fileName);

  // Reads the file, completes the values and checks them. Messages about
  // unparsable or cut lines go to `err`. Throws FatalError when the movie
  // directory or name is missing, or a value would make later arithmetic
  // meaningless (non-positive scale, lengths or durations; rates, spans or
  // frame numbers whose frame counts overflow int).
  void read(std::ostream& err);
  // The same from an open stream (the file name is then only a label).
  void read(std::istream& in, std::ostream& err);

  // Writes "Using the following parameters:" and the listing to `out` when
  // screenop is set.
  void printIfVerbose(std::ostream& out) const;
  // The listing, one line per key, reals at `os`'s precision.
  void print(std::ostream& os) const;
  // The run header ("# DUKON version: ...", the local time) and the listing.
  void writeHeader(const std::string& version, std::ostream& os) const;

  // moviedir + moviename + suffix, cut to bufSize - 1 characters.
  std::string moviePath(const std::string& suffix, int bufSize = kBufLen) const;
  // i-th entry of the sorted ignored-frames list, the end marker included.
  int ignoredFrame(size_t i) const;
  const std::vector<int>& ignoredFrames() const { return ignorefrm_; }

  void setFrmps(double f) { frmps_ = f; }
  void setLframe(int f) { lframe_ = f; }

  const std::string& fileName() const { return fileName_; }
  const std::string& moviedir() const { return moviedir_; }
  const std::string& moviename() const { return moviename_; }
  const std::string& outdir() const { return outdir_; }
  int mmpix() const { return mmpix_; }
  double frmps() const { return frmps_; }
  int fframe() const { return fframe_; }
  int lframe() const { return lframe_; }
  bool screenop() const { return screenop_; }
  double debugimg() const { return debugimg_; }
  int maxskellen() const { return maxskellen_; }
  double minloopradius() const { return minloopradius_; }
  int track() const { return track_; }  // 1: stage log, 2: image motion
  int stageskip() const { return stageskip_; }
  int mmpixstage() const { return mmpixstage_; }
  double shade() const { return shade_; }
  bool star() const { return star_; }
  bool eggs() const { return eggs_; }
  double seglen() const { return seglen_; }
  double pausespdlim() const { return pausespdlim_; }
  double displen() const { return displen_; }
  double anglen() const { return anglen_; }
  int smooth() const { return smooth_; }
  int thresh() const { return thresh_; }
  bool useedges() const { return useedges_ != 0; }
  bool distbox() const { return distbox_; }
  bool emptyrows() const { return emptyrows_; }

 private:
  // Defaults that depend on other keys, the end marker, and the checks.
  void complete();
  void parseLine(const std::string& line, std::ostream& err);
  void store(const std::string& key, const std::string& value);
  void addIgnored(const std::string& value);
  void checkValues() const;

  std::string fileName_;
  std::string moviedir_;
  std::string moviename_;
  int mmpix_ = 291;
  double frmps_ = -1.0;
  int fframe_ = 0;
  int lframe_ = 0;
  std::vector<int> ignorefrm_;
  bool screenop_ = false;
  double debugimg_ = 0.0;
  int maxskellen_ = 350;
  double minloopradius_ = 0.02;
  int track_ = 1;
  int stageskip_ = 1;
  int mmpixstage_ = -1;
  double shade_ = 0.2;
  bool star_ = false;
  bool eggs_ = false;
  double seglen_ = 0.5;
  double pausespdlim_ = 0.05;
  double displen_ = 0.5;
  double anglen_ = 10.0;
  int smooth_ = 4;
  int thresh_ = -1;
  int useedges_ = 1;
  bool subbg_ = false;
  int rsedg_ = 16;
  int objclniter_ = 2;
  double wsiblck_ = 0.035;
  int disjntdel_ = 20;
  int segangdif_ = 60;
  std::string outdir_;
  bool distbox_ = false;
  bool emptyrows_ = false;
};

}  // namespace dukon

#endif  // DUKON_BASE_PARAMS_H_
