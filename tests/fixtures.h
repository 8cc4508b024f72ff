// Shared helpers of the tests: temporary folders, file bytes, the corpus of real drawings.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kelvane::testing {

// A fresh folder removed with its contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::vector<uint8_t> ReadBytes(const std::filesystem::path& p);
// What a shell command writes to standard output (pdfinfo, pdftotext, qpdf and the like).
std::string CommandOutput(const std::string& command);
void WriteBytes(const std::filesystem::path& p, const std::vector<uint8_t>& bytes);

// The real drawings saved by Jw_cad, empty when the corpus folder is absent.
std::filesystem::path CorpusFolder();
std::vector<std::filesystem::path> CorpusFiles();

}  // namespace kelvane::testing
