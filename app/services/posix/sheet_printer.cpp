// Printing written sheets through the print service, from their PDFs.
#include "app/services/posix/sheet_printer.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <system_error>

#include "render/render.h"

namespace kelvane {

namespace {

void NameTheSheet(std::string& text, const std::filesystem::path& temporary, const std::filesystem::path& sheet) {
  const std::string from = temporary.string(), to = sheet.string();
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
}

constexpr char kFolderPrefix[] = "kelvane-print-";

// mkdtemp's names for the pattern "kelvane-print-XXXXXX".
bool IsTemporaryFolderName(const std::string& name) {
  const size_t prefix = sizeof kFolderPrefix - 1;
  return name.size() == prefix + 6 && name.compare(0, prefix, kFolderPrefix) == 0 &&
         std::all_of(name.begin() + prefix, name.end(), [](unsigned char c) { return std::isalnum(c) != 0; });
}

// The folder's descriptor, locked exclusively; -1 when it cannot be opened or another process
// holds the lock. A run holds its folder's lock until it is removed, so a killed run's folder is
// the only one whose lock is free.
int LockFolder(const std::filesystem::path& folder, bool wait) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return -1;
  if (::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB)) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Removes the temporary folders that killed print runs left in `temporary`: only names of this
// printer's own pattern, only folders (never a link), only the user's own, only those last
// changed before `started`, and only when no running print holds them.
void RemoveStaleFolders(const std::filesystem::path& temporary, std::filesystem::file_time_type started) {
  std::error_code ec;
  for (std::filesystem::directory_iterator it(temporary, ec), end; !ec && it != end; it.increment(ec)) {
    const std::filesystem::path& path = it->path();
    if (!IsTemporaryFolderName(path.filename().string())) continue;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) continue;
    std::error_code timeError;
    const std::filesystem::file_time_type changed = std::filesystem::last_write_time(path, timeError);
    if (timeError || changed >= started) continue;
    const int lock = LockFolder(path, false);
    if (lock < 0) continue;
    std::error_code removeError;
    std::filesystem::remove_all(path, removeError);
    ::close(lock);
  }
}

}  // namespace

SheetPrinter::SheetPrinter(PrintService& service, std::string printer, PictureLoader pictures)
    : service_(service),
      printer_(std::move(printer)),
      pictures_(pictures),
      started_(std::filesystem::file_time_type::clock::now()) {}

SheetPrinter::~SheetPrinter() {
  std::error_code ec;
  if (!temporaryFolder_.empty()) std::filesystem::remove_all(temporaryFolder_, ec);
  if (temporaryFolderLock_ >= 0) ::close(temporaryFolderLock_);
}

std::filesystem::path SheetPrinter::TemporaryFolder(std::string& error) {
  if (!temporaryFolder_.empty()) return temporaryFolder_;
  std::error_code ec;
  std::string pattern = (std::filesystem::temp_directory_path(ec) / (std::string(kFolderPrefix) + "XXXXXX")).string();
  if (ec || !mkdtemp(pattern.data())) {
    error = "no temporary folder for the sheet's PDF";
    return {};
  }
  temporaryFolderLock_ = LockFolder(pattern, true);
  return temporaryFolder_ = pattern;
}

std::string SheetPrinter::Print(const JwwDocument& doc, const SheetPlan& plan, const PlannedSheet& sheet,
                                const PictureOptions& pictures, const std::filesystem::path& besidePdf,
                                std::string& error, std::string* warnings) {
  if (!tidied_) {
    tidied_ = true;
    std::error_code ec;
    const std::filesystem::path temporary = std::filesystem::temp_directory_path(ec);
    if (!ec) RemoveStaleFolders(temporary, started_);
  }
  PrintRequest request;
  request.title = sheet.file.filename().string();
  request.printer = printer_;
  SheetPageSize(plan.frames[sheet.frame], sheet.paperSize, request.widthMm, request.heightMm);
  request.document = besidePdf;
  if (request.document.empty()) {
    // Drawn as the PDF beside the sheet would be, into a private folder, never beside it.
    const std::filesystem::path folder = TemporaryFolder(error);
    if (folder.empty()) return {};
    const PictureLibrary* library = pictures_(error);
    if (!library) return {};
    PlannedSheet temporary = sheet;
    temporary.file = folder / sheet.file.filename();
    PictureOptions pdf = pictures;
    pdf.formats = {PictureFormat::kPdf};
    std::string drawn;
    const bool written = library->writeSheetPictures(doc, plan, temporary, pdf, error, &drawn);
    request.document = temporary.file.replace_extension(".pdf");
    // The user knows the sheet, not the temporary file: what is said of it names the sheet.
    NameTheSheet(error, request.document, sheet.file);
    NameTheSheet(drawn, request.document, sheet.file);
    if (warnings) *warnings += drawn;
    if (!written) return {};
  }
  const PrintOutcome outcome = service_.Print(request);
  if (besidePdf.empty()) {
    std::error_code ec;
    std::filesystem::remove(request.document, ec);
  }
  if (!outcome.sent) error = outcome.error;
  return outcome.sent ? outcome.job : std::string();
}

}  // namespace kelvane
