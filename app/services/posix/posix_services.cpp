// The services of the app layer on POSIX systems: files, folders, the terminal and Ctrl-C.
#include "app/services/posix/posix_services.h"

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <system_error>

#include "app/text_file.h"
#include "platform/text_conversion.h"

namespace kelvane {

namespace {

std::filesystem::path HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

std::filesystem::path ConfigHome() {
  // Relative values are to be ignored by the base-directory rules.
  if (const char* c = std::getenv("XDG_CONFIG_HOME"); c && *c == '/') return c;
  return HomeFolder() / ".config";
}

// The user's folder named by `key` in user-dirs.dirs (lines like XDG_DESKTOP_DIR="$HOME/Desktop").
// Only a regular file of a sane size is read: a FIFO there would hang the run, a link to an
// endless device would grow without bound; either gives the fallback.
std::filesystem::path XdgUserDir(const char* key, const char* fallback) {
  constexpr uintmax_t kMaxBytes = 64 * 1024;
  const std::filesystem::path file = ConfigHome() / "user-dirs.dirs";
  std::error_code ec;
  const bool usable =
      std::filesystem::is_regular_file(file, ec) && std::filesystem::file_size(file, ec) <= kMaxBytes && !ec;
  const TextLines read = usable ? ReadTextLinesChecked(file, kMaxBytes, kMaxBytes) : TextLines{};
  const std::string prefix = std::string(key) + "=";
  for (const std::string& line : read.lines) {
    if (line.compare(0, prefix.size(), prefix) != 0) continue;
    std::string value = line.substr(prefix.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    std::string unescaped;
    for (size_t i = 0; i < value.size(); ++i) {
      if (value[i] == '\\' && i + 1 < value.size()) ++i;
      unescaped.push_back(value[i]);
    }
    if (unescaped.compare(0, 5, "$HOME") == 0) {
      std::string rest = unescaped.substr(5);
      while (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
      return rest.empty() ? HomeFolder() : HomeFolder() / rest;
    }
    if (!unescaped.empty() && unescaped.front() == '/') return unescaped;
  }
  return HomeFolder() / fallback;
}

std::string LocalTimeText(std::time_t t) {
  std::tm local{};
  if (!localtime_r(&t, &local)) return std::string();
  char text[64];
  size_t n = std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &local);
  return std::string(text, n);
}

// Message boxes print their CR LF line breaks as plain line ends; other control characters (a
// file name may hold them) are shown escaped so that they cannot drive the terminal.
std::string ForTerminal(std::string_view sjis) { return PrintableText(SjisToUtf8(sjis)); }

volatile sig_atomic_t interrupted = 0;

void OnInterrupt(int) { interrupted = 1; }

}  // namespace

std::optional<std::string> PosixFileQueries::FileTimeText(const std::filesystem::path& path) const {
  struct stat st {};
  if (path.empty() || stat(path.c_str(), &st) != 0) return std::nullopt;
  return LocalTimeText(st.st_mtime);
}

PosixEnvironment::PosixEnvironment(std::vector<std::filesystem::path> parameters, std::filesystem::path executablePath)
    : parameters_(std::move(parameters)), executable_(std::move(executablePath)) {
  if (executable_.empty()) {
    std::error_code ec;
    executable_ = std::filesystem::read_symlink("/proc/self/exe", ec);
  }
}

std::filesystem::path PosixEnvironment::DesktopFolder() const { return XdgUserDir("XDG_DESKTOP_DIR", "Desktop"); }
std::filesystem::path PosixEnvironment::DocumentsFolder() const {
  return XdgUserDir("XDG_DOCUMENTS_DIR", "Documents");
}
std::filesystem::path PosixEnvironment::UserSettingsFolder() const { return ConfigHome() / "kelvane"; }

bool PosixEnvironment::ExecutableInSystemFolder() const {
  const std::string folder = executable_.parent_path().string() + "/";
  for (const char* system : {"/usr/", "/bin/", "/sbin/"})
    if (folder.rfind(system, 0) == 0) return true;
  return false;
}

std::string PosixEnvironment::NowText() const { return LocalTimeText(std::time(nullptr)); }

bool TerminalDialogs::ConfirmYesNo(std::string_view sjisText) {
  std::fprintf(stderr, "%s\n", ForTerminal(sjisText).c_str());
  if (!isatty(STDIN_FILENO)) return true;
  for (;;) {
    std::fputs("[y/n] ", stderr);
    std::fflush(stderr);
    char answer[64];
    if (!std::fgets(answer, sizeof answer, stdin)) return false;
    char c = answer[0];
    if (c == 'y' || c == 'Y') return true;
    if (c == 'n' || c == 'N') return false;
  }
}

void TerminalDialogs::Inform(std::string_view sjisText) { std::fprintf(stderr, "%s\n", ForTerminal(sjisText).c_str()); }

TerminalFeedback::TerminalFeedback(std::function<void(const std::string&)> statusLines)
    : statusLines_(std::move(statusLines)) {
  // Ctrl-C plays the Escape key: the drawing in progress finishes, the run stops before the
  // next one. SA_RESETHAND lets a second Ctrl-C end the program as usual; no SA_RESTART, so a
  // pending confirmation read is interrupted too.
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
}

void TerminalFeedback::SetStatusText(std::string_view sjisText) {
  if (statusLines_) return statusLines_(ForTerminal(sjisText));
  std::fprintf(stdout, "%s\n", ForTerminal(sjisText).c_str());
  std::fflush(stdout);
}

bool TerminalFeedback::StopRequested() { return interrupted != 0; }

std::string PrintableText(std::string_view utf8) {
  std::string out;
  for (char c : utf8) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (c == '\r') continue;
    if ((b < 0x20 && c != '\n') || b == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", b);
      out += escaped;
    } else {
      out.push_back(c);
    }
  }
  return out;
}


}  // namespace kelvane
