// The services of the app layer on POSIX systems, as the command line hands them to its session:
// files, the program's environment, the terminal's dialogs and its run feedback. The command line
// has no window and no registry, so it gives none.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/services.h"
#include "app/services/portable_services.h"

namespace kelvane {

// The standard queries, and file times in local time as "YYYY/MM/DD hh:mm:ss".
class PosixFileQueries final : public StandardFileQueries {
 public:
  std::optional<std::string> FileTimeText(const std::filesystem::path& path) const override;
};

// The executable, the parameters, and the user's folders by the XDG base-directory rules.
class PosixEnvironment final : public ProgramEnvironment {
 public:
  // An empty executable path means the running executable's own.
  PosixEnvironment(std::vector<std::filesystem::path> parameters, std::filesystem::path executablePath = {});
  std::filesystem::path ExecutablePath() const override { return executable_; }
  std::vector<std::filesystem::path> Parameters() const override { return parameters_; }
  std::filesystem::path DesktopFolder() const override;
  std::filesystem::path DocumentsFolder() const override;
  std::filesystem::path UserSettingsFolder() const override;
  bool ExecutableInSystemFolder() const override;
  std::string NowText() const override;

 private:
  std::vector<std::filesystem::path> parameters_;
  std::filesystem::path executable_;
};

// Questions asked and notices shown on the terminal (standard error).
class TerminalDialogs final : public UserDialogs {
 public:
  // Without a terminal (a script, a pipe) the answer is Yes so that batch use never stalls. End
  // of input or Ctrl-C at the prompt answers No.
  bool ConfirmYesNo(std::string_view sjisText) override;
  void Inform(std::string_view sjisText) override;
};

// Status texts to standard output a line each, or, when given, to `statusLines` (printable UTF-8
// without the line end). Ctrl-C asks the run to stop from the moment it is pressed (a second
// Ctrl-C ends the program).
class TerminalFeedback final : public RunFeedback {
 public:
  explicit TerminalFeedback(std::function<void(const std::string&)> statusLines = {});
  void SetStatusText(std::string_view sjisText) override;
  bool StopRequested() override;

 private:
  std::function<void(const std::string&)> statusLines_;
};

// UTF-8 for a terminal: CR dropped, other control characters but LF shown as "\xNN".
std::string PrintableText(std::string_view utf8);

}  // namespace kelvane
