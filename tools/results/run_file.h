// What every reader of a run's result files shares: the error it throws and
// a text file read as numbered lines, with the field parsers.
//
// The readers of tools/results/ are the C++ definition of the result
// formats, shared by the annotated-movie tool and the end-to-end tests; each
// format is described in docs/formats/. They share no code with the
// analyser. Every reader throws RunFileError with a message "FILE:LINE:
// reason" (or "FILE: reason") for a missing, truncated or malformed file.
#ifndef DUKON_RESULTS_RUN_FILE_H_
#define DUKON_RESULTS_RUN_FILE_H_

#include <stdexcept>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace dukon {
namespace results {

class RunFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A text file as numbered lines (1-based), line ends ("\n" or "\r\n")
// removed. Throws RunFileError when the file cannot be read.
class LineFile {
 public:
  explicit LineFile(const std::string& path);

  const std::string& path() const { return path_; }
  size_t size() const { return lines_.size(); }
  const std::string& line(size_t number) const { return lines_[number - 1]; }
  bool endsWithNewline() const { return endsWithNewline_; }

  RunFileError error(size_t number, const std::string& reason) const;
  RunFileError error(const std::string& reason) const;

 private:
  std::string path_;
  std::vector<std::string> lines_;
  bool endsWithNewline_ = false;
};

// True when `path` names a regular file (an optional result file such as
// eggs.txt is read only then).
bool fileExists(const std::string& path);

// Field parsers: true when the whole of `s` is the value.
bool parseInt(const std::string& s, int* v);
bool parseDouble(const std::string& s, double* v);  // "nan" and "-nan" give NaN
// "(x y)", the point form of the shape tables.
bool parsePoint(const std::string& s, cv::Point* p);
// `s` cut at every `sep`; n separators give n + 1 parts.
std::vector<std::string> split(const std::string& s, char sep);
// The start of `s`, at most 40 characters, for messages.
std::string excerpt(const std::string& s);

}  // namespace results
}  // namespace dukon

#endif  // DUKON_RESULTS_RUN_FILE_H_
