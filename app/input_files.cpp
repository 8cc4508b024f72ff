// Finding the drawings of a run, through std::filesystem and the file identities the system gives.
#include "app/input_files.h"

#include <algorithm>
#include <set>
#include <system_error>

namespace kelvane {

namespace {

class FolderWalker {
 public:
  FolderWalker(const FileQueries& files, bool recursive, InputListing& listing)
      : files_(files), recursive_(recursive), listing_(listing) {}

  bool IsDrawing(const std::filesystem::path& file) const {
    return HasJwwExtension(files_.ToSjis(file.filename())) && files_.FileExists(file);
  }

  void Walk(const std::filesystem::path& folder) {
    if (const std::optional<FileIdentity> id = files_.IdentityOf(folder); id && !visited_.insert(*id).second)
      return listing_.problems.push_back({folder, "listed already (a link that loops, or named twice): skipped", true});
    std::vector<std::filesystem::path> entries;
    if (!Read(folder, entries)) return;
    // Entries in name order: the whole listing then comes out sorted by path.
    std::sort(entries.begin(), entries.end(), [](const std::filesystem::path& a, const std::filesystem::path& b) {
      return a.filename() < b.filename();
    });
    for (const std::filesystem::path& entry : entries) {
      std::error_code ec;
      const std::filesystem::file_status status = std::filesystem::status(entry, ec);
      if (ec || !std::filesystem::exists(status)) {
        Unreadable(entry, ec ? ec : std::make_error_code(std::errc::no_such_file_or_directory));
      } else if (std::filesystem::is_directory(status)) {
        if (recursive_) Walk(entry);
      } else if (IsDrawing(entry)) {
        listing_.files.push_back(entry);
      }
    }
  }

 private:
  bool Read(const std::filesystem::path& folder, std::vector<std::filesystem::path>& entries) {
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) entries.push_back(it->path());
    if (ec) Unreadable(folder, ec);
    return !ec;
  }
  void Unreadable(const std::filesystem::path& path, std::error_code ec) {
    listing_.problems.push_back({path, "cannot be read: " + ec.message(), false});
  }

  const FileQueries& files_;
  const bool recursive_;
  InputListing& listing_;
  std::set<FileIdentity> visited_;
};

}  // namespace

bool HasJwwExtension(std::string_view sjisFileName) {
  size_t dot = sjisFileName.rfind('.');  // never a second byte: those are 0x40 and above
  if (dot == std::string_view::npos) return false;
  std::string_view ext = sjisFileName.substr(dot);
  static constexpr std::string_view kJww = ".JWW";
  if (ext.size() != kJww.size()) return false;
  for (size_t i = 0; i < ext.size(); ++i) {
    char c = ext[i];
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    if (c != kJww[i]) return false;
  }
  return true;
}

InputListing ListInputFiles(const FileQueries& files, const std::vector<std::filesystem::path>& parameters,
                            bool recursive) {
  InputListing listing;
  FolderWalker walker(files, recursive, listing);
  for (const std::filesystem::path& p : parameters) {
    if (p.empty()) continue;
    if (files.FolderExists(p))
      walker.Walk(p);
    else if (walker.IsDrawing(p))
      listing.files.push_back(p);
  }
  return listing;
}

}  // namespace kelvane
