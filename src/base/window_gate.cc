#include "base/window_gate.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace dukon {

namespace {

constexpr double kConnectTimeoutMs = 2000;

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
