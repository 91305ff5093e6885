#include "run/debug_display.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include <opencv2/highgui.hpp>
#include <opencv2/imgproc.hpp>

// The window library's Qt back end leaves one allocation of the system's
// D-Bus library behind; it is not ours to free. Read by LeakSanitizer in
// sanitizer builds, unused otherwise.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\n";
}

namespace dukon {
namespace {

// Sets DISPLAY for the scope of one test and puts the old value back.
class ScopedDisplay {
 public:
  explicit ScopedDisplay(const char* value) {
    const char* old = std::getenv("DISPLAY");
    if (old != nullptr) old_ = old, hadOld_ = true;
    if (value != nullptr) {
      ::setenv("DISPLAY", value, 1);
    } else {
      ::unsetenv("DISPLAY");
    }
  }
  ~ScopedDisplay() {
    if (hadOld_) {
      ::setenv("DISPLAY", old_.c_str(), 1);
    } else {
      ::unsetenv("DISPLAY");
    }
  }

 private:
  std::string old_;
  bool hadOld_ = false;
};

// A 640 x 480 frame: grey ramp, a worm bar in the mask, a skeleton line.
struct Frame {
  cv::Mat bw = cv::Mat(480, 640, CV_8UC1);
  cv::Mat bin = cv::Mat::zeros(480, 640, CV_8UC1);
  cv::Mat skel = cv::Mat::zeros(480, 640, CV_8UC1);
  Frame() {
    for (int x = 0; x < 640; ++x) bw.col(x).setTo(x / 4);
    bin(cv::Rect(200, 200, 200, 40)).setTo(1);
    skel(cv::Rect(210, 220, 180, 1)).setTo(1);
  }
};

TEST(DebugDisplayTest, PanelsAreAtLeast256PixelsWide) {
  EXPECT_EQ(DebugDisplay::panelSize({640, 480}, 1.0), cv::Size(640, 480));
  EXPECT_EQ(DebugDisplay::panelSize({640, 480}, 0.25), cv::Size(256, 192));
  EXPECT_EQ(DebugDisplay::panelSize({640, 480}, 0.5), cv::Size(320, 240));
  EXPECT_EQ(DebugDisplay::panelSize({640, 480}, 0.401), cv::Size(256, 192));  // truncated
  EXPECT_EQ(DebugDisplay::panelSize({1000, 500}, 0.1), cv::Size(256, 128));
  EXPECT_EQ(DebugDisplay::panelSize({640, 480}, -1.0), cv::Size(256, 192));
  EXPECT_EQ(DebugDisplay::panelSize({640, 480}, 0.0), cv::Size(0, 0));
  EXPECT_EQ(DebugDisplay::panelSize({640, 480}, 100.0), cv::Size(0, 0));  // refused
}

TEST(DebugDisplayTest, RightPanelShowsMaskSkeletonHeadAndFrameNumber) {
  Frame f;
  const cv::Mat img = DebugDisplay::render(1.0, f.bw, f.bin, f.skel, {300, 230}, true, 7);
  ASSERT_EQ(img.size(), cv::Size(1280, 480));
  ASSERT_EQ(img.type(), CV_8UC1);
  // Left: the grey frame itself at scale 1.
  EXPECT_EQ(cv::countNonZero(img(cv::Rect(0, 0, 640, 480)) != f.bw), 0);
  const cv::Mat right = img(cv::Rect(640, 0, 640, 480));
  EXPECT_EQ(right.at<uchar>(100, 100), 150);  // background
  EXPECT_EQ(right.at<uchar>(205, 250), 0);    // worm
  EXPECT_EQ(right.at<uchar>(220, 250), 255);  // skeleton
  // "H" in grey 70 with its baseline at the head.
  EXPECT_GT(cv::countNonZero(right(cv::Rect(300, 215, 12, 16)) == 70), 5);
  EXPECT_EQ(cv::countNonZero(right == 70),
            cv::countNonZero(right(cv::Rect(300, 215, 12, 16)) == 70));

  const cv::Mat noHead = DebugDisplay::render(1.0, f.bw, f.bin, f.skel, {300, 230}, false, 7);
  EXPECT_EQ(cv::countNonZero(noHead(cv::Rect(640, 0, 640, 480)) == 70), 0);
}

TEST(DebugDisplayTest, FrameNumberIsRightAlignedInThreeColumns) {
  Frame f;
  const int blanks = cv::getTextSize("  ", cv::FONT_HERSHEY_PLAIN, 1.0, 1, nullptr).width;
  const int digit = cv::getTextSize("7", cv::FONT_HERSHEY_PLAIN, 1.0, 1, nullptr).width;
  auto textPixels = [&](int frame, int x0, int x1) {
    const cv::Mat img = DebugDisplay::render(1.0, f.bw, f.bin, f.skel, {0, 0}, false, frame);
    const cv::Mat right = img(cv::Rect(640, 0, 640, 480));
    return cv::countNonZero(right(cv::Rect(x0, 450, x1 - x0, 25)) == 0);
  };
  EXPECT_EQ(textPixels(7, 10, 10 + blanks), 0);  // two blanks first
  EXPECT_GT(textPixels(7, 10 + blanks, 10 + blanks + digit), 5);
  EXPECT_GT(textPixels(1234, 10, 10 + blanks), 5);
  EXPECT_EQ(textPixels(7, 10 + blanks + digit, 10 + 5 * digit), 0);
  // Wider numbers are written whole.
  EXPECT_GT(textPixels(1234, 10 + 3 * digit, 10 + 4 * digit), 5);
}

TEST(DebugDisplayTest, SmallScaleWidensToTheMinimumPanel) {
  Frame f;
  const cv::Mat img = DebugDisplay::render(0.25, f.bw, f.bin, f.skel, {300, 230}, true, 12);
  ASSERT_EQ(img.size(), cv::Size(512, 192));
  const cv::Mat right = img(cv::Rect(256, 0, 256, 192));
  // The head is scaled by the widened scale 0.4: (120, 92).
  EXPECT_GT(cv::countNonZero(right(cv::Rect(120, 80, 12, 14)) == 70), 5);
  EXPECT_EQ(right.at<uchar>(84, 100), 0);  // worm at (250, 210) * 0.4
}

TEST(DebugDisplayTest, ZeroScaleOrBadImagesDrawNothing) {
  Frame f;
  EXPECT_TRUE(DebugDisplay::render(0.0, f.bw, f.bin, f.skel, {}, false, 1).empty());
  EXPECT_TRUE(DebugDisplay::render(std::nan(""), f.bw, f.bin, f.skel, {}, false, 1).empty());
  EXPECT_TRUE(DebugDisplay::render(1.0, cv::Mat(), f.bin, f.skel, {}, false, 1).empty());
  EXPECT_TRUE(DebugDisplay::render(1.0, f.bw, cv::Mat(), f.skel, {}, false, 1).empty());
  // A head far outside the frame is clipped by the drawing, not a fault.
  EXPECT_FALSE(
      DebugDisplay::render(1.0, f.bw, f.bin, f.skel, {2000000000, -2000000000}, true, -5).empty());
}

TEST(DebugDisplayTest, ScaleZeroNeverProbesTheWindowSystem) {
  ScopedDisplay noDisplay(nullptr);
  Frame f;
  std::ostringstream err;
  DebugDisplay display(err);
  display.show(0.0, f.bw, f.bin, f.skel, {}, false, 1);
  display.show(0.0, f.bw, f.bin, f.skel, {}, false, 2);
  EXPECT_EQ(err.str(), "");
  EXPECT_FALSE(display.windowsOff());
}

TEST(DebugDisplayTest, WithoutDisplayWindowsAreOffOnce) {
  Frame f;
  for (const char* value : {static_cast<const char*>(nullptr), "", ":59998", "nonsense"}) {
    ScopedDisplay display(value);
    std::ostringstream err;
    DebugDisplay debug(err);
    debug.show(1.0, f.bw, f.bin, f.skel, {}, false, 1);
    debug.show(0.5, f.bw, f.bin, f.skel, {}, false, 2);
    EXPECT_EQ(err.str(), kWindowsOffMessage) << (value ? value : "unset");
    EXPECT_TRUE(debug.windowsOff());
  }
}

// --- Under a real X server ---

bool onPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

// Starts Xvfb on a free display and returns its name (":N"), or "" when it
// cannot be started. The server is killed when this process ends, so the
// window library's connection stays valid for the process's lifetime.
std::string startXvfb() {
  int fds[2];
  if (::pipe(fds) != 0) return "";
  const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  const std::string fdText = std::to_string(fds[1]);
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Only async-signal-safe calls until exec.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    ::dup2(devNull, 0);
    ::dup2(devNull, 1);
    ::dup2(devNull, 2);
    for (int fd = 3; fd < 1024; ++fd) {
      if (fd != fds[1]) ::close(fd);
    }
    const char* argv[] = {"Xvfb",    "-displayfd", fdText.c_str(), "-nolisten", "tcp",
                          "-screen", "0",          "2048x1536x24", nullptr};
    ::execvp("Xvfb", const_cast<char* const*>(argv));
    ::_exit(127);
  }
  ::close(fds[1]);
  ::close(devNull);
  std::string number;
  pollfd pfd{fds[0], POLLIN, 0};
  while (pid > 0 && ::poll(&pfd, 1, 15000) == 1) {
    char c;
    if (::read(fds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  ::close(fds[0]);
  return number.empty() ? "" : ":" + number;
}

// Width and height of the window named "debug" as xwininfo reports it,
// servicing the window system until it has the `expected` size or 10 s pass.
cv::Size debugWindowSize(const std::string& display, cv::Size expected) {
  cv::Size size;
  for (int i = 0; i < 200 && size != expected; ++i) {
    cv::waitKey(50);
    const std::string cmd = "xwininfo -display " + display + " -name debug 2>/dev/null";
    std::FILE* p = ::popen(cmd.c_str(), "r");
    if (p == nullptr) break;
    char line[256];
    while (std::fgets(line, sizeof line, p) != nullptr) {
      std::sscanf(line, "  Width: %d", &size.width);
      std::sscanf(line, "  Height: %d", &size.height);
    }
    ::pclose(p);
  }
  return size;
}

TEST(DebugDisplayXTest, WindowHasTheSpecifiedSize) {
  if (!onPath("xwininfo")) GTEST_SKIP() << "xwininfo not installed";
  std::string display;
  const char* current = std::getenv("DISPLAY");
  if (current != nullptr && xDisplayReachable(current)) {
    display = current;
  } else {
    if (!onPath("Xvfb")) GTEST_SKIP() << "no X display and Xvfb not installed";
    display = startXvfb();
    if (display.empty()) GTEST_SKIP() << "Xvfb did not start";
  }
  ScopedDisplay scoped(display.c_str());
  ASSERT_TRUE(xDisplayReachable(display));

  Frame f;
  std::ostringstream err;
  DebugDisplay debug(err);
  debug.show(1.0, f.bw, f.bin, f.skel, {300, 230}, true, 7);
  EXPECT_FALSE(debug.windowsOff());
  EXPECT_EQ(debugWindowSize(display, {1280, 480}), cv::Size(1280, 480));
  debug.show(0.25, f.bw, f.bin, f.skel, {300, 230}, true, 8);
  EXPECT_EQ(debugWindowSize(display, {512, 192}), cv::Size(512, 192));
  EXPECT_EQ(err.str(), "");
  cv::destroyAllWindows();
  cv::waitKey(1);
}

}  // namespace
}  // namespace dukon
