// DecoderLog: the errors the movie decoder reports while it decodes, counted
// and kept instead of written to standard error.
//
// The image library's capture decodes through FFmpeg, which reports a
// broken frame (damaged data, a frame of another size than the stream's)
// only in its log, often once per frame. While a DecoderLog lives, FFmpeg's
// log goes to it: nothing reaches standard error, errors are counted and
// the latest one is kept, so the movie source can tell which fetch met one.
// FFmpeg has one log for the whole process, so the counter is process-wide;
// instances share it and the last one to go gives the log back to FFmpeg.
// The decoder may log from its own threads; the log is thread-safe.
#ifndef DUKON_RUN_DECODER_LOG_H_
#define DUKON_RUN_DECODER_LOG_H_

#include <string>

namespace dukon {

class DecoderLog {
 public:
  DecoderLog();
  ~DecoderLog();
  DecoderLog(const DecoderLog&) = delete;
  DecoderLog& operator=(const DecoderLog&) = delete;

  // Errors reported since the process started; compare two readings.
  long errors() const;
  // The latest error, "component: message" without the line end.
  std::string latest() const;
};

}  // namespace dukon

#endif  // DUKON_RUN_DECODER_LOG_H_
