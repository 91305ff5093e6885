// Whether the image library's windows may be used: the X display probe and
// the once-per-run decision of the debug and track windows.
//
// The image library's Qt window back end aborts the process when it cannot
// reach a display, so the display is probed with a plain socket before the
// library ever touches it.
#ifndef DUKON_BASE_WINDOW_GATE_H_
#define DUKON_BASE_WINDOW_GATE_H_

#include <ostream>
#include <string>

namespace dukon {

// Written once to the error stream when windows cannot be shown.
constexpr const char* kWindowsOffMessage = "no display: windows are off\n";

// True when something accepts connections at the X display `display` (a
// DISPLAY value such as ":0", "unix:1.0" or "host:10.0"). Opens and closes
// one socket, with a short timeout for remote hosts; speaks no X protocol.
bool xDisplayReachable(const std::string& display);

// True when the DISPLAY of the environment is set and reachable: only then
// may the image library's windows be used (its Qt back end aborts the
// process when it cannot connect).
bool environmentDisplayReachable();

// Whether the image library's windows may be used in this run, probed once:
// the first query checks the environment's display, and a failure met later
// (turnOff) is remembered. With a stream, turning off writes
// kWindowsOffMessage to it once.
class WindowGate {
 public:
  // `err`, when given, must outlive the object.
  explicit WindowGate(std::ostream* err = nullptr) : err_(err) {}

  bool available();
  void turnOff();
  bool off() const { return state_ == State::kOff; }

 private:
  enum class State { kUnknown, kOn, kOff };
  std::ostream* err_;
  State state_ = State::kUnknown;
};

}  // namespace dukon

#endif  // DUKON_BASE_WINDOW_GATE_H_
