// The command line's output during a split: status lines on standard output as always and,
// when standard error is a terminal and the batch takes more than about a second, one progress
// line kept below them, redrawn in place and replaced at the end by the summary.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace kelvane {

class Console {
 public:
  // `quiet`: nothing but errors, no status lines, no progress, no summary.
  explicit Console(bool quiet);

  bool Quiet() const { return quiet_; }
  // A status line (printable UTF-8, without its line end).
  void StatusLine(const std::string& text);
  // A line for standard error (an error or a warning), kept clear of the progress line.
  void ErrorLine(const std::string& text);
  // `done` of `all` drawings are finished and `sheets` sheets written.
  void Progress(size_t done, size_t all, size_t sheets);
  // The run is over: the progress line goes, and on a terminal the summary takes its place.
  void Finish(const std::string& summary);

 private:
  void Erase();
  void Draw();

  const bool quiet_;
  const bool progressShown_;  // standard error is a terminal
  const bool stdoutShared_;   // standard output is a terminal too: lines go above the progress
  const std::chrono::steady_clock::time_point start_;
  std::string line_;  // the progress line on the screen; empty when none
};

// "M:SS", or "H:MM:SS" from an hour on.
std::string DurationText(std::chrono::seconds seconds);

// The progress line's text, cut to `width` columns.
std::string ProgressText(size_t done, size_t all, size_t sheets, std::chrono::seconds elapsed, size_t width);

}  // namespace kelvane
