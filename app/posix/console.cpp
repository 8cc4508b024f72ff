// The command line's terminal output: status lines, the progress line and the summary.
#include "app/posix/console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

namespace kelvane {

namespace {

// Erases the current line of the terminal.
constexpr char kEraseLine[] = "\r\x1b[K";

// The terminal's width in columns; 80 when it does not say.
size_t TerminalWidth() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

}  // namespace

std::string DurationText(std::chrono::seconds seconds) {
  const long long s = seconds.count() < 0 ? 0 : seconds.count();
  char text[32];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
  return text;
}

std::string ProgressText(size_t done, size_t all, size_t sheets, std::chrono::seconds elapsed, size_t width) {
  std::string text = "kelvane: " + std::to_string(done) + "/" + std::to_string(all) + " drawings, " +
                     std::to_string(sheets) + " sheets, " + DurationText(elapsed) + " elapsed";
  if (done > 0 && done < all) text += ", about " + DurationText(elapsed * (all - done) / done) + " left";
  // One column stays free: a line that fills the terminal would wrap on some of them.
  if (width > 1 && text.size() > width - 1) text.resize(width - 1);
  return text;
}

Console::Console(bool quiet)
    : quiet_(quiet),
      progressShown_(!quiet && isatty(STDERR_FILENO)),
      stdoutShared_(isatty(STDOUT_FILENO)),
      start_(std::chrono::steady_clock::now()) {}

void Console::StatusLine(const std::string& text) {
  if (quiet_) return;
  const bool clear = !line_.empty() && stdoutShared_;
  if (clear) Erase();
  std::fprintf(stdout, "%s\n", text.c_str());
  std::fflush(stdout);
  if (clear) Draw();
}

void Console::ErrorLine(const std::string& text) {
  const bool clear = !line_.empty();
  if (clear) Erase();
  std::fprintf(stderr, "%s\n", text.c_str());
  if (clear) Draw();
}

void Console::Progress(size_t done, size_t all, size_t sheets) {
  if (!progressShown_) return;
  const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start_);
  if (elapsed < std::chrono::seconds(1) && line_.empty()) return;  // short batches show none
  line_ = ProgressText(done, all, sheets, elapsed, TerminalWidth());
  Draw();
}

void Console::Finish(const std::string& summary) {
  if (!line_.empty()) Erase();
  line_.clear();
  if (progressShown_) std::fputs(summary.c_str(), stderr);
  std::fflush(stderr);
}

void Console::Erase() {
  std::fputs(kEraseLine, stderr);
  std::fflush(stderr);
}

void Console::Draw() {
  std::fprintf(stderr, "%s%s", kEraseLine, line_.c_str());
  std::fflush(stderr);
}

}  // namespace kelvane
