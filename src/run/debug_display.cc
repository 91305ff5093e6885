#include "run/debug_display.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <opencv2/highgui.hpp>
#include <opencv2/imgproc.hpp>

namespace dukon {

namespace {

constexpr const char* kWindowName = "debug";
// Panels are never narrower than this, so small scales stay readable.
constexpr int kMinPanelWidth = 256;
// Larger panels are refused rather than allocated.
constexpr double kMaxPanelSide = 8192;
constexpr double kConnectTimeoutMs = 2000;

constexpr uchar kBackgroundGrey = 150;
constexpr uchar kWormGrey = 0;
constexpr uchar kSkeletonGrey = 255;
constexpr uchar kHeadGrey = 70;
constexpr uchar kTextGrey = 0;

// Panel size and the scale actually used; !ok when the panel would be empty
// or oversized.
struct Panel {
  bool ok = false;
  int w = 0, h = 0;
  double scale = 0;
};

Panel choosePanel(cv::Size frame, double scale) {
  Panel p;
  if (frame.width <= 0 || frame.height <= 0 || scale == 0.0 || std::isnan(scale)) return p;
  double wd = frame.width * scale;
  double hd = frame.height * scale;
  if (wd < kMinPanelWidth) {
    scale = static_cast<double>(kMinPanelWidth) / frame.width;
    wd = kMinPanelWidth;
    hd = frame.height * scale;
  }
  if (!(wd <= kMaxPanelSide && hd <= kMaxPanelSide && hd >= 1)) return p;
  p.ok = true;
  p.w = static_cast<int>(wd);
  p.h = static_cast<int>(hd);
  p.scale = scale;
  return p;
}

// Scales one frame coordinate into the panel, truncating; far-off values
// are pinned well outside the panel instead of overflowing.
int scaleCoordinate(int v, double scale) {
  const double d = v * scale;
  if (d > 1e6) return 1000000;
  if (d < -1e6) return -1000000;
  return static_cast<int>(d);
}

// Connects a fresh socket to `addr`, waiting at most kConnectTimeoutMs.
bool connectWithTimeout(int family, int type, int protocol, const sockaddr* addr,
                        socklen_t addrLen) {
  const int fd = ::socket(family, type | SOCK_CLOEXEC | SOCK_NONBLOCK, protocol);
  if (fd < 0) return false;
  bool ok = ::connect(fd, addr, addrLen) == 0;
  if (!ok && errno == EINPROGRESS) {
    pollfd pfd{fd, POLLOUT, 0};
    if (::poll(&pfd, 1, static_cast<int>(kConnectTimeoutMs)) == 1) {
      int error = 0;
      socklen_t len = sizeof error;
      ok = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
    }
  }
  ::close(fd);
  return ok;
}

bool connectUnix(const std::string& path, bool abstract) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const size_t offset = abstract ? 1 : 0;  // abstract names start with a NUL
  if (path.size() + offset >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path + offset, path.data(), path.size());
  const socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset +
                                               path.size() + (abstract ? 0 : 1));
  return connectWithTimeout(AF_UNIX, SOCK_STREAM, 0, reinterpret_cast<const sockaddr*>(&addr), len);
}

bool connectTcp(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list) != 0) return false;
  bool ok = false;
  for (addrinfo* a = list; a != nullptr && !ok; a = a->ai_next) {
    ok =
        connectWithTimeout(a->ai_family, a->ai_socktype, a->ai_protocol, a->ai_addr, a->ai_addrlen);
  }
  ::freeaddrinfo(list);
  return ok;
}

}  // namespace

bool xDisplayReachable(const std::string& display) {
  const size_t colon = display.rfind(':');
  if (colon == std::string::npos) return false;
  const std::string host = display.substr(0, colon);
  const std::string rest = display.substr(colon + 1);
  size_t digits = 0;
  while (digits < rest.size() && digits < 5 && rest[digits] >= '0' && rest[digits] <= '9') {
    ++digits;
  }
  if (digits == 0 || (digits < rest.size() && rest[digits] != '.')) return false;
  const int number = std::atoi(rest.substr(0, digits).c_str());
  if (!host.empty() && host[0] == '/') return connectUnix(display, false);  // a socket path
  if (host.empty() || host == "unix") {
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
    return connectUnix(path, true) || connectUnix(path, false);
  }
  if (number > 59535) return false;  // no such TCP port
  return connectTcp(host, 6000 + number);
}

cv::Size DebugDisplay::panelSize(cv::Size frame, double scale) {
  const Panel p = choosePanel(frame, scale);
  return cv::Size(p.w, p.h);
}

cv::Mat DebugDisplay::render(double scale, const cv::Mat& bw, const cv::Mat& bin,
                             const cv::Mat& skel, cv::Point head, bool headKnown, int frameNumber) {
  const Panel p = choosePanel(bw.size(), scale);
  if (!p.ok || bw.type() != CV_8UC1 || bin.empty() || bin.type() != CV_8UC1 || skel.empty() ||
      skel.type() != CV_8UC1) {
    return cv::Mat();
  }
  const cv::Size size(p.w, p.h);
  cv::Mat debug(size.height, 2 * size.width, CV_8UC1);
  cv::Mat left = debug(cv::Rect(0, 0, size.width, size.height));
  cv::Mat right = debug(cv::Rect(size.width, 0, size.width, size.height));
  cv::resize(bw, left, size, 0, 0, cv::INTER_LINEAR);

  cv::Mat binMask;
  cv::resize(bin, binMask, size, 0, 0, cv::INTER_LINEAR);
  right.setTo(kBackgroundGrey);
  right.setTo(kWormGrey, binMask);
  cv::resize(skel, binMask, size, 0, 0, cv::INTER_LINEAR);
  right.setTo(kSkeletonGrey, binMask);

  if (headKnown) {
    const cv::Point at(scaleCoordinate(head.x, p.scale), scaleCoordinate(head.y, p.scale));
    cv::putText(right, "H", at, cv::FONT_HERSHEY_PLAIN, 1.0, cv::Scalar(kHeadGrey), 1, cv::LINE_8);
  }
  char text[16];
  std::snprintf(text, sizeof text, "%3d", frameNumber);
  cv::putText(right, text, cv::Point(10, size.height - 10), cv::FONT_HERSHEY_PLAIN, 1.0,
              cv::Scalar(kTextGrey), 1, cv::LINE_8);
  return debug;
}

void DebugDisplay::show(double scale, const cv::Mat& bw, const cv::Mat& bin, const cv::Mat& skel,
                        cv::Point head, bool headKnown, int frameNumber) {
  if (scale == 0.0 || std::isnan(scale)) return;
  if (!windows_.available()) return;
  const cv::Mat debug = render(scale, bw, bin, skel, head, headKnown, frameNumber);
  if (debug.empty()) return;
  try {
    // Without the toolbar and status bar the window is exactly the image.
    cv::namedWindow(kWindowName, cv::WINDOW_AUTOSIZE | cv::WINDOW_GUI_NORMAL);
    cv::imshow(kWindowName, debug);
    cv::waitKey(1);
  } catch (const cv::Exception&) {
    windows_.turnOff();
  }
}

bool environmentDisplayReachable() {
  const char* display = std::getenv("DISPLAY");
  return display != nullptr && *display != '\0' && xDisplayReachable(display);
}

bool WindowGate::available() {
  if (state_ == State::kUnknown) {
    // Checked before the image library sees the display.
    if (environmentDisplayReachable()) {
      state_ = State::kOn;
    } else {
      turnOff();
    }
  }
  return state_ == State::kOn;
}

void WindowGate::turnOff() {
  if (state_ != State::kOff && err_ != nullptr) *err_ << kWindowsOffMessage;
  state_ = State::kOff;
}

}  // namespace dukon
