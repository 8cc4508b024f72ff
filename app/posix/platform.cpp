// The platform layer for POSIX systems: a command-line stand-in for the window's services.
#include "app/posix/platform.h"

#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <system_error>

#include "app/text_file.h"
#include "platform/text_conversion.h"

extern char** environ;

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

// Splits at blanks, double quotes grouping (the quotes themselves are dropped).
std::vector<std::string> SplitArguments(std::string_view text) {
  std::vector<std::string> args;
  std::string current;
  bool quoted = false, any = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if (c == ' ' && !quoted) {
      if (any) args.push_back(current);
      current.clear();
      any = false;
    } else {
      current.push_back(c);
      any = true;
    }
  }
  if (any) args.push_back(current);
  return args;
}

volatile sig_atomic_t interrupted = 0;

void OnInterrupt(int) { interrupted = 1; }

class PosixPlatform final : public Platform {
 public:
  PosixPlatform(std::vector<std::filesystem::path> parameters, std::filesystem::path executable,
                std::function<void(const std::string&)> statusLines)
      : parameters_(std::move(parameters)), executable_(std::move(executable)), statusLines_(std::move(statusLines)) {
    if (executable_.empty()) {
      std::error_code ec;
      executable_ = std::filesystem::read_symlink("/proc/self/exe", ec);
    }
    // Ctrl-C plays the Escape key: the drawing in progress finishes, the run stops before the
    // next one. SA_RESETHAND lets a second Ctrl-C end the program as usual; no SA_RESTART, so a
    // pending confirmation read is interrupted too.
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
  }

  std::filesystem::path ExecutablePath() const override { return executable_; }
  std::vector<std::filesystem::path> Parameters() const override { return parameters_; }

  bool FileExists(const std::filesystem::path& path) const override {
    std::error_code ec;
    auto status = std::filesystem::status(path, ec);
    return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
  }
  bool FolderExists(const std::filesystem::path& path) const override {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
  }
  std::optional<std::string> FileTimeText(const std::filesystem::path& path) const override {
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0) return std::nullopt;
    return LocalTimeText(st.st_mtime);
  }
  std::string NowText() const override { return LocalTimeText(std::time(nullptr)); }

  std::filesystem::path DesktopFolder() const override { return XdgUserDir("XDG_DESKTOP_DIR", "Desktop"); }
  std::filesystem::path DocumentsFolder() const override { return XdgUserDir("XDG_DOCUMENTS_DIR", "Documents"); }
  std::filesystem::path UserSettingsFolder() const override { return ConfigHome() / "kelvane"; }
  bool ExecutableInSystemFolder() const override {
    const std::string folder = executable_.parent_path().string() + "/";
    for (const char* system : {"/usr/", "/bin/", "/sbin/"})
      if (folder.rfind(system, 0) == 0) return true;
    return false;
  }

  // There is no registry: Jw_cad's executable falls back to its default path.
  std::string ClassesRootDefaultValue(std::string_view) const override { return std::string(); }

  // Asks on the terminal; without one (a script, a pipe) the answer is Yes so that batch use
  // never stalls. End of input or Ctrl-C at the prompt answers No.
  bool ConfirmYesNo(std::string_view sjisText) override {
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
  void Inform(std::string_view sjisText) override { std::fprintf(stderr, "%s\n", ForTerminal(sjisText).c_str()); }
  // A command line has no folder dialog: the folder comes from the options instead.
  std::optional<std::filesystem::path> ChooseFolder(const std::filesystem::path&) override { return std::nullopt; }

  void AcceptDroppedFiles() override {}
  bool EscapeDown() override { return interrupted != 0; }
  void ProcessMessages() override {}
  void SetStatusText(std::string_view sjisText) override {
    if (statusLines_) return statusLines_(ForTerminal(sjisText));
    std::fprintf(stdout, "%s\n", ForTerminal(sjisText).c_str());
    std::fflush(stdout);
  }

  void StartProgram(std::string_view sjisProgram, std::string_view sjisParameters) override {
    Spawn(sjisProgram, SplitArguments(SjisToUtf8(sjisParameters)));
  }
  // There is no Jw_cad to hand the sheet to: the command line prints through CUPS itself, from
  // the sheet's PDF (app/posix/sheet_printer.h).
  void PrintWithHost(std::string_view, const std::filesystem::path&) override {}

  std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) const override {
    return FileIdentityOf(path);
  }
  bool NamesIgnoreCase() const override { return false; }

  std::filesystem::path ToPath(std::string_view sjis) const override { return SjisToPath(sjis); }
  std::string ToSjis(const std::filesystem::path& path) const override { return PathToSjis(path); }

 private:
  static void Spawn(std::string_view sjisProgram, std::vector<std::string> parameters) {
    // Collect children started earlier so that printing many sheets leaves no zombies.
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    std::vector<std::string> args = SplitArguments(SjisToUtf8(sjisProgram));
    if (args.empty()) return;
    args.resize(1);  // the program alone; its quotes are gone
    for (std::string& a : parameters) args.push_back(std::move(a));
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
  }

  std::vector<std::filesystem::path> parameters_;
  std::filesystem::path executable_;
  std::function<void(const std::string&)> statusLines_;
};

}  // namespace

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

std::unique_ptr<Platform> MakePosixPlatform(std::vector<std::filesystem::path> parameters,
                                            std::filesystem::path executablePath,
                                            std::function<void(const std::string&)> statusLines) {
  return std::make_unique<PosixPlatform>(std::move(parameters), std::move(executablePath), std::move(statusLines));
}

}  // namespace kelvane
