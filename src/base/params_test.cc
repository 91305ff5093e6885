#include "base/params.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

#include "base/fatal_error.h"
#include "support/files.h"

namespace dukon {
namespace {

// Writes `text` to a fresh file and reads it as a parameters file.
class ParamsTest : public ::testing::Test {
 protected:
  void SetUp() override { path_ = testing_support::freshTestDir() + "/params.txt"; }

  // Reads `body` preceded by the two required keys.
  Params readWith(const std::string& body) {
    return readRaw("moviedir = /m\nmoviename = w1\n" + body);
  }
  Params readRaw(const std::string& text) {
    std::ofstream(path_, std::ios::binary) << text;
    err_.str("");
    return Params::fromFile(path_, err_);
  }
  std::string listing(const Params& p, int precision = 6) {
    std::ostringstream os;
    os.precision(precision);
    p.print(os);
    return os.str();
  }

  std::string path_;
  std::ostringstream err_;
};

TEST_F(ParamsTest, KeysAreCaseInsensitiveAndNeedBlankBeforeEquals) {
  EXPECT_EQ(readWith("mmpix = 300\n").mmpix(), 300);
  EXPECT_EQ(readWith("MMPIX = 300\n").mmpix(), 300);
  EXPECT_EQ(readWith("mmpix =300\n").mmpix(), 300);
  Params p = readWith("mmpix=300\n");
  EXPECT_EQ(p.mmpix(), 291);
  EXPECT_EQ(err_.str(), "\nCan't parse parameter `mmpix=300'\n" + path_ +
                            ":3: not a \"key = value\" line, ignored (a blank is needed before "
                            "\"=\": mmpix = 300)\n");
}

TEST_F(ParamsTest, OnlyAHashInTheFirstColumnIsAComment) {
  Params p = readWith("# mmpix = 100\n");
  EXPECT_EQ(p.mmpix(), 291);
  EXPECT_EQ(err_.str(), "");
  readWith(" # mmpix = 100\n");
  EXPECT_EQ(err_.str(), "\nCan't parse parameter ` # mmpix = 100'\n" + path_ +
                            ":3: not a \"key = value\" line, ignored\n");
}

TEST_F(ParamsTest, DirectoriesGetOneSeparator) {
  Params p = readRaw("moviedir = /data/movies\nmoviename = w\noutdir = /out/\n");
  EXPECT_EQ(p.moviedir(), "/data/movies/");
  EXPECT_EQ(p.outdir(), "/out/");
  EXPECT_EQ(p.moviePath(".avi"), "/data/movies/w.avi");
  EXPECT_EQ(p.moviePath(".log.csv", 10), "/data/mov");
  // An empty outdir stays empty: results go below the working directory.
  EXPECT_EQ(readWith("").outdir(), "");
}

TEST_F(ParamsTest, TrackWordAndFlags) {
  EXPECT_EQ(readWith("track = stage\n").track(), Tracking::kStageLog);
  for (const char* w : {"corr", "Stage", "1"}) {
    Params p = readWith(std::string("track = ") + w + "\n");
    EXPECT_EQ(p.track(), Tracking::kImageMotion) << w;
    EXPECT_NE(listing(p).find("track       = corr\n"), std::string::npos);
  }
  EXPECT_FALSE(readWith("eggs = yes\n").eggs());
  Params p = readWith("eggs = 2\n");
  EXPECT_TRUE(p.eggs());
  EXPECT_NE(listing(p).find("eggs        = 1\n"), std::string::npos);
}

// Word keys take one of their words, and are listed only when not at their
// default, so that the listing of a run that does not use them is unchanged.
TEST_F(ParamsTest, WordKeysTakeTheirWordsAndAreListedWhenSet) {
  Params p = readWith("headmode = bright\n");
  EXPECT_EQ(p.headmode(), HeadMode::kBright);
  EXPECT_EQ(p.polarity(), Polarity::kDark);
  EXPECT_EQ(listing(p), listing(readWith("")));
  EXPECT_EQ(listing(p).find("headmode"), std::string::npos);
  Params q = readWith("HEADMODE = combined\npolarity = bright\n");
  EXPECT_EQ(q.headmode(), HeadMode::kCombined);
  EXPECT_EQ(q.polarity(), Polarity::kBright);
  EXPECT_NE(listing(q).find("eggs        = 0\nheadmode    = combined\npolarity    = bright\n"),
            std::string::npos);
  for (const char* line : {"headmode = Combined\n", "polarity = light\n", "headmode = or\n"}) {
    try {
      readWith(line);
      FAIL() << "expected FatalError for " << line;
    } catch (const FatalError& e) {
      const std::string key = std::string(line).substr(0, 8);
      EXPECT_EQ(std::string(e.what()).rfind("Invalid value in parameters file: " + key, 0), 0u);
    }
  }
}

TEST_F(ParamsTest, IgnoredFramesAreSortedRanges) {
  Params p = readWith(
      "ignorefrm = 10-12\nignorefrm = 5\nignorefrm = 12-10\nignorefrm = 7 - 7\n"
      "ignorefrm = x\n");
  std::vector<int> walked;
  for (FrameList::Cursor c = p.ignoredFrames().cursor(); c.current() != FrameList::kEnd;
       c.advance())
    walked.push_back(c.current());
  EXPECT_EQ(walked, (std::vector<int>{5, 7, 10, 11, 12}));
  EXPECT_NE(listing(p).find("lframe      = 0\nignorefrm = 5\nignorefrm = 7\nignorefrm = 10\n"
                            "ignorefrm = 11\nignorefrm = 12\nscreenop    = 0\n"),
            std::string::npos);
  EXPECT_THROW(readWith("ignorefrm = 0-2000000000\n"), FatalError);
}

// Lines the reader used to misread without a word: each is read as the key
// table says, with one warning naming the file and line.
TEST_F(ParamsTest, MisreadLinesAreReadAsDocumentedWithOneWarning) {
  struct Case {
    std::string text;     // after the two required keys, or "!" + a whole file
    std::string warning;  // after "FILE:3: ", "" for none
    std::function<bool(const Params&)> holds;
  };
  const std::vector<Case> cases = {
      {"!\xEF\xBB\xBFmmpix = 100\nmoviedir = /m\nmoviename = w\n", "",
       [](const Params& p) { return p.mmpix() == 100; }},
      {"outdir =  my results/ \nmoviename = w 1\n", "",
       [](const Params& p) { return p.outdir() == "my results/" && p.moviename() == "w 1"; }},
      {"!moviedir = /my movies\nmoviename = w\n", "",
       [](const Params& p) { return p.moviePath(".avi") == "/my movies/w.avi"; }},
      {"ignorefrm = 5 - 10\n", "", [](const Params& p) { return p.ignoredFrames().size() == 6; }},
      {"mmpx = 3\n", "unknown key \"mmpx\" ignored (nearest key: mmpix)",
       [](const Params& p) { return p.mmpix() == 291; }},
      {"mmpix = 280.6\n", "mmpix = 280.6: a fraction given to an integer key, read as 280",
       [](const Params& p) { return p.mmpix() == 280; }},
      {"mmpix = 100 px\n", "mmpix = 100: \"px\" after the value ignored",
       [](const Params& p) { return p.mmpix() == 100; }},
      {"frmps = 25fps\n", "frmps = 25fps: read as 25",
       [](const Params& p) { return p.frmps() == 25; }},
      {"eggs = yes\n", "eggs = yes: not an integer, read as 0",
       [](const Params& p) { return !p.eggs(); }},
      {"track = Stage\n",
       "track = Stage: neither stage nor corr, read as corr (positions from image motion)",
       [](const Params& p) { return p.track() == Tracking::kImageMotion; }},
      {"ignorefrm = 12-10\n", "ignorefrm = 12-10: the range ends before it begins, no frame",
       [](const Params& p) { return p.ignoredFrames().empty(); }},
      {"track = corr\nmmpix = 300\n", "",
       [](const Params& p) { return p.track() == Tracking::kImageMotion && p.mmpix() == 300; }},
  };
  for (const Case& c : cases) {
    const bool whole = c.text[0] == '!';
    const Params p = whole ? readRaw(c.text.substr(1)) : readWith(c.text);
    EXPECT_TRUE(c.holds(p)) << c.text;
    EXPECT_EQ(err_.str(), c.warning.empty() ? "" : path_ + ":3: " + c.warning + "\n") << c.text;
  }
}

TEST_F(ParamsTest, MmpixstageDefaultsToMmpix) {
  EXPECT_EQ(readWith("mmpix = 300\n").mmpixstage(), 300);
  EXPECT_EQ(readWith("mmpix = 300\nmmpixstage = 500\n").mmpixstage(), 500);
}

TEST_F(ParamsTest, ListingLabelsAndPrecision) {
  Params p = readWith("frmps = 29.97\n");
  std::string six = listing(p);
  EXPECT_EQ(
      six.rfind("moviedir    = /m/\nmoviename   = w1\noutdir      = \nmmpix       = 291\n", 0), 0u);
  EXPECT_NE(six.find("frmps       = 29.97\n"), std::string::npos);
  EXPECT_NE(listing(p, 3).find("frmps       = 30\n"), std::string::npos);
  EXPECT_NE(six.find("minloopradius = 0.02\ntrack       = stage\n"), std::string::npos);
  EXPECT_NE(six.find("useedges    = 1\nmaxskellen  = 350\n"), std::string::npos);
  EXPECT_NE(six.find("distbox     = 0\nemptyrows   = 0\neggs        = 0\n"), std::string::npos);
  // 32 labelled lines: no ignorefrm line for an empty list.
  EXPECT_EQ(std::count(six.begin(), six.end(), '\n'), 32);
}

TEST_F(ParamsTest, HeaderCarriesVersionCtimeLineAndTheRunsRateAndEnd) {
  Params p = readWith("lframe = 0\n");
  std::ostringstream os;
  os.precision(3);
  p.writeHeader("0.07 with OpenCV", 29.97, 812, os);
  std::string s = os.str();
  ASSERT_EQ(s.rfind("# DUKON version: 0.07 with OpenCV\n# analyzed on: ", 0), 0u);
  size_t line2 = s.find('\n') + 1;
  // "# analyzed on: " + 24 characters of ctime + line end + empty line.
  EXPECT_EQ(s.substr(line2 + 15 + 24, 2), "\n\n");
  EXPECT_EQ(s.substr(line2 + 15 + 26, 14), "moviedir    = ");
  // The copy shows the rate and the last frame the run used; the listing
  // itself keeps what the file said.
  EXPECT_NE(s.find("\nfrmps       = 30\nfframe      = 0\nlframe      = 812\n"), std::string::npos);
  EXPECT_NE(listing(p).find("\nfrmps       = -1\nfframe      = 0\nlframe      = 0\n"),
            std::string::npos);
}

TEST_F(ParamsTest, MissingFileOrMovieNameIsFatal) {
  std::ostringstream err;
  try {
    Params::fromFile(path_ + ".absent", err);
    FAIL() << "expected FatalError";
  } catch (const FatalError& e) {
    EXPECT_STREQ(e.what(), "Movie directory and name must be given in parameters file.\n");
  }
  EXPECT_EQ(err.str(), "\nCouldn't open " + path_ + ".absent, using defaults\n");
  EXPECT_THROW(readRaw("# only a comment\n"), FatalError);
  EXPECT_THROW(readRaw("moviedir = /m\n"), FatalError);
}

TEST_F(ParamsTest, AbsurdValuesAreRefused) {
  for (const char* line :
       {"mmpix = 0\n", "mmpix = -3\n", "maxskellen = 0\n", "seglen = 0\n", "displen = -1\n",
        "anglen = 0\n", "seglen = nan\n", "smooth = 0\n", "frmps = inf\n"}) {
    EXPECT_THROW(readWith(line), FatalError) << line;
  }
  // A fixed threshold does not need a histogram bin width.
  EXPECT_NO_THROW(readWith("smooth = 0\nthresh = 100\n"));
  // Numbers convert like atoi/atof: leading number, else 0.
  EXPECT_EQ(readWith("fframe = 12abc\n").fframe(), 12);
  EXPECT_EQ(readWith("fframe = abc\n").fframe(), 0);
  EXPECT_EQ(readWith("fframe = 99999999999\n").fframe(), 2147483647);
}

TEST_F(ParamsTest, LongLinesAreCutAndGarbageIsSurvived) {
  std::string longLine = "moviename = " + std::string(10000, 'a') + "\nmmpix = 123\n";
  Params p = readRaw("moviedir = /m\n" + longLine);
  EXPECT_EQ(p.moviename().size(), 259u - 12u);
  EXPECT_EQ(p.mmpix(), 123);  // the line after the long one still counts
  EXPECT_NE(err_.str().find("longer than 259 characters cut"), std::string::npos);

  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919) % 256);
  EXPECT_THROW(readRaw(garbage), FatalError);  // no movie given, but no crash
  EXPECT_THROW(readRaw(""), FatalError);
}

TEST_F(ParamsTest, ReadmeShowsTheKeyTable) {
  std::ifstream readme(DUKON_SOURCE_DIR "/README.md");
  std::stringstream text;
  text << readme.rdbuf();
  const std::string s = text.str();
  const std::string begin = "<!-- keys: begin", end = "<!-- keys: end -->";
  const size_t a = s.find(begin), b = s.find(end);
  ASSERT_NE(a, std::string::npos);
  ASSERT_NE(b, std::string::npos);
  const std::string shown = s.substr(s.find('\n', a) + 1, b - s.find('\n', a) - 1);
  std::ostringstream table;
  Params::writeKeyTable(table);
  EXPECT_EQ(shown, table.str()) << "README.md's table of keys is out of date; it should read:\n"
                                << table.str();
}

// Every key of the table is read, and the listing shows the value read: a
// key the table forgot to store, or listed from the wrong field, shows here.
TEST_F(ParamsTest, EveryListedKeyIsReadBack) {
  const std::string defaults = listing(readWith(""));
  std::istringstream lines(defaults);
  int keys = 0;
  for (std::string line; std::getline(lines, line);) {
    const std::string key = line.substr(0, line.find(' '));
    const std::string shown = line.substr(line.find('=') + 2);
    // Another value each key accepts (a flag lists any non-zero as 1).
    std::string value = shown == "0" ? "1" : shown == "1" ? "0" : "7";
    if (key == "moviedir" || key == "outdir") value = "/elsewhere/";
    if (key == "moviename") value = "w2";
    if (key == "track") value = "corr";
    const std::string changed =
        listing(readRaw("moviedir = /m\nmoviename = w1\n" + key + " = " + value + "\n"));
    EXPECT_NE(changed, defaults) << key;
    EXPECT_NE(changed.find(line.substr(0, line.find('=') + 2) + value + "\n"), std::string::npos)
        << key << ":\n"
        << changed;
    ++keys;
  }
  EXPECT_EQ(keys, 32);  // every key but ignorefrm, which lists no frame by default
}

// A key added after the listing was fixed shows only when it is set, so
// that a run at default settings keeps its parameters copy as it was.
TEST_F(ParamsTest, LaterKeysAreListedOnlyWhenSet) {
  const Params byDefault = readWith("");
  EXPECT_TRUE(byDefault.centrelines());
  EXPECT_EQ(listing(byDefault).find("centrelines"), std::string::npos);
  const Params off = readWith("centrelines = 0\n");
  EXPECT_FALSE(off.centrelines());
  EXPECT_NE(listing(off).find("\ncentrelines = 0\n"), std::string::npos);
}

TEST_F(ParamsTest, SeveralRefusalsAreListedInTheirFixedOrder) {
  try {
    readWith("debugimg = 99\nmmpix = 0\nframps = 5\nseglen = 0\nmmpixstage = -5\n");
    FAIL() << "expected FatalError";
  } catch (const FatalError& e) {
    EXPECT_STREQ(e.what(),
                 "Invalid value in parameters file: mmpix = 0 (pixels per mm, 1 to 100000)\n"
                 "Invalid value in parameters file: mmpixstage = -5 (pixels per mm of stage "
                 "travel, above 0)\n"
                 "Invalid value in parameters file: seglen = 0 (seconds, above 0, at most 86400)\n"
                 "Invalid value in parameters file: debugimg = 99 (window scale, 0 to 16)\n");
  }
}

}  // namespace
}  // namespace dukon
