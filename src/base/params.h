// Params: the run's settings, read once from "params.txt" and fixed from
// then on.
//
// Every key has a default; the file overrides them line by line. One table
// of keys (params.cc) says for each its type, default, allowed range and
// listing label; it drives the reading, the range checks, the listing in the
// parameters copy and the README's table of keys. A Params is a value: the
// run driver reads it first and hands each stage the few settings it uses.
// What the run learns later (the movie's frame rate, the last frame reached)
// lives in the run's FrameRange, not here.
#ifndef DUKON_BASE_PARAMS_H_
#define DUKON_BASE_PARAMS_H_

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "base/frame_list.h"

namespace dukon {

// Where the stage position of each frame comes from.
enum class Tracking {
  kStageLog,     // track = stage: the stage controller's log
  kImageMotion,  // any other word (corr): the shift of the background
};

// Which end of the skeleton chain is taken as the head.
enum class HeadMode {
  kBright,    // headmode = bright: the brighter end, by majority over each run of frames
  kCombined,  // headmode = combined: all the evidence of each run of linked frames
};

// How the worm differs from the plate in grey level.
enum class Polarity {
  kDark,    // polarity = dark: a dark worm on a brighter plate
  kBright,  // polarity = bright: a bright worm on a darker plate; every frame is inverted
};

class Params {
 public:
  // Length of every text buffer and of the line buffer; texts keep at most
  // kBufLen - 1 characters.
  static constexpr int kBufLen = 260;
  // Largest frame rate accepted, frames per second, from the file or the
  // movie, and longest time span (seglen, displen, anglen), seconds. Their
  // product, a span in frames, must stay well inside int.
  static constexpr double kMaxFrmps = 10000.0;
  static constexpr double kMaxSpan = 86400.0;
  // Lowest first frame accepted; frame differences (lframe - fframe) must
  // stay inside int.
  static constexpr int kMinFframe = -1000000000;

  // Reads the parameters file `fileName`. A file that cannot be opened (or
  // is a directory) leaves every key at its default, with a message on
  // `err`; so do unparsable lines, and long lines are cut, each with a
  // message. A byte-order mark is skipped. A line that is not a known key, a
  // value with text after it, a value that is not wholly a number of the
  // key's type and a track word other than stage and corr are read as the
  // key table says, each with one warning line "FILE:LINE: ..." on `err`.
  // Throws FatalError when the movie directory or name is missing, or a
  // value would make later arithmetic meaningless (see the key table).
  static Params fromFile(const std::string& fileName, std::ostream& err);
  // The same from an open stream; `fileName` is the name the parameters copy
  // is saved under.
  static Params fromStream(std::istream& in, const std::string& fileName, std::ostream& err);

  // Writes "Using the following parameters:" and the listing to `out` when
  // screenop is set.
  void printIfVerbose(std::ostream& out) const;
  // The listing as read, one line per key, reals at `os`'s precision.
  void print(std::ostream& os) const;
  // The run header ("# DUKON version: ...", the local time) and the listing
  // with frmps and lframe as the run used them: `rate` frames per second and
  // `lastFrame`, the last frame it reached.
  void writeHeader(const std::string& version, double rate, int lastFrame, std::ostream& os) const;

  // The key table as Markdown (header and one row per key, listing order):
  // the table README.md shows.
  static void writeKeyTable(std::ostream& os);

  // moviedir + moviename + suffix, cut to bufSize - 1 characters.
  std::string moviePath(const std::string& suffix, int bufSize = kBufLen) const;
  // The frames of the ignorefrm lines, walked with a cursor by the run.
  const FrameList& ignoredFrames() const { return ignorefrm_; }

  // One key of the key table; defined where the table is.
  struct Key;

  const std::string& fileName() const { return fileName_; }
  const std::string& moviedir() const { return moviedir_; }
  const std::string& moviename() const { return moviename_; }
  const std::string& outdir() const { return outdir_; }
  int mmpix() const { return mmpix_; }
  double frmps() const { return frmps_; }  // 0 or less: the movie's rate
  int fframe() const { return fframe_; }
  int lframe() const { return lframe_; }  // 0 or less: the movie's end
  bool screenop() const { return screenop_; }
  double debugimg() const { return debugimg_; }
  int maxskellen() const { return maxskellen_; }
  double minloopradius() const { return minloopradius_; }
  Tracking track() const { return track_; }
  int stageskip() const { return stageskip_; }
  int mmpixstage() const { return mmpixstage_; }
  double shade() const { return shade_; }
  bool star() const { return star_; }
  bool eggs() const { return eggs_; }
  HeadMode headmode() const {
    return headmode_ == "combined" ? HeadMode::kCombined : HeadMode::kBright;
  }
  Polarity polarity() const { return polarity_ == "bright" ? Polarity::kBright : Polarity::kDark; }
  double seglen() const { return seglen_; }
  double pausespdlim() const { return pausespdlim_; }
  double displen() const { return displen_; }
  double anglen() const { return anglen_; }
  int smooth() const { return smooth_; }
  int thresh() const { return thresh_; }
  bool useedges() const { return useedges_; }
  bool distbox() const { return distbox_; }
  bool emptyrows() const { return emptyrows_; }
  bool centrelines() const { return centrelines_; }

 private:
  // The key table, in listing order.
  static const std::vector<Key>& keys();

  // What reading one file gathers besides the values.
  struct Reading;

  // Every key at its default.
  explicit Params(std::string fileName);
  void read(std::istream& in, std::ostream& err);
  void parseLine(const std::string& line, Reading& r);
  static std::string gluedKeyHint(const std::string& line);
  void store(const Key& key, const std::string& value, Reading& r);
  void addIgnored(const std::string& value, Reading& r);
  // Defaults that depend on other keys, the end marker, and the checks.
  void complete();
  void checkValues() const;
  void printListing(std::ostream& os, double frmps, int lframe) const;
  // True when the number or flag of key `k` holds its default.
  bool atDefault(const Key& k) const;

  std::string fileName_;
  std::string moviedir_;
  std::string moviename_;
  std::string outdir_;
  int mmpix_ = 0;
  double frmps_ = 0;
  int fframe_ = 0;
  int lframe_ = 0;
  FrameList ignorefrm_;
  bool screenop_ = false;
  double debugimg_ = 0;
  double seglen_ = 0;
  double pausespdlim_ = 0;
  double displen_ = 0;
  double anglen_ = 0;
  int smooth_ = 0;
  int thresh_ = 0;
  bool useedges_ = false;
  int maxskellen_ = 0;
  double minloopradius_ = 0;
  Tracking track_ = Tracking::kStageLog;
  int stageskip_ = 0;
  int mmpixstage_ = 0;
  double shade_ = 0;
  bool star_ = false;
  bool subbg_ = false;
  int rsedg_ = 0;
  int objclniter_ = 0;
  double wsiblck_ = 0;
  int disjntdel_ = 0;
  int segangdif_ = 0;
  bool distbox_ = false;
  bool emptyrows_ = false;
  bool eggs_ = false;
  // Word keys, checked against their accepted words; listed only when not
  // at their default.
  std::string headmode_;
  std::string polarity_;
  bool centrelines_ = true;
};

}  // namespace dukon

#endif  // DUKON_BASE_PARAMS_H_
