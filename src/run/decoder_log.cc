#include "run/decoder_log.h"

#include <atomic>
#include <cstdarg>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace dukon {

namespace {

// FFmpeg's log hook takes no context, so what it gathers lives here; the
// hook is installed only while a DecoderLog exists.
struct Gathered {
  std::atomic<long> errors{0};
  std::mutex mutex;  // guards latest and users
  std::string latest;
  int users = 0;
};

Gathered& gathered() {
  static Gathered g;
  return g;
}

void hook(void* component, int level, const char* format, va_list args) {
  if (level > AV_LOG_ERROR) return;  // warnings and chatter are dropped
  char line[512];
  int printPrefix = 0;  // without the "[name @ address]" prefix
  av_log_format_line(component, level, format, args, line, sizeof line, &printPrefix);
  std::string text = line;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  const AVClass* cls = component ? *static_cast<AVClass**>(component) : nullptr;
  if (cls && cls->item_name) text = std::string(cls->item_name(component)) + ": " + text;
  Gathered& g = gathered();
  {
    std::lock_guard<std::mutex> lock(g.mutex);
    g.latest = text;
  }
  g.errors.fetch_add(1);
}

}  // namespace

DecoderLog::DecoderLog() {
  Gathered& g = gathered();
  std::lock_guard<std::mutex> lock(g.mutex);
  if (g.users++ == 0) av_log_set_callback(hook);
}

DecoderLog::~DecoderLog() {
  Gathered& g = gathered();
  std::lock_guard<std::mutex> lock(g.mutex);
  if (--g.users == 0) av_log_set_callback(av_log_default_callback);
}

long DecoderLog::errors() const {
  return gathered().errors.load();
}

std::string DecoderLog::latest() const {
  Gathered& g = gathered();
  std::lock_guard<std::mutex> lock(g.mutex);
  return g.latest;
}

}  // namespace dukon
