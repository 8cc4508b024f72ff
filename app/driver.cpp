// The sheet driver: frames, name texts, numbering, file names, saving and printing.
#include "app/driver.h"

#include <system_error>

#include "split/extract.h"
#include "split/sheetnames.h"

namespace kelvane {

namespace {

// Status texts (Shift_JIS).
const char kSkippedInput[] = "\x93\xfc\x97\xcd\x90\x7d\x96\xca\x82\xc6\x93\xaf\x82\xb6\x83\x74\x83\x40\x83\x43\x83"
                             "\x8b\x82\xc9\x82\xcd\x8f\x91\x82\xab\x8d\x9e\x82\xdf\x82\xdc\x82\xb9\x82\xf1\x81\x46";
// 入力図面と同じファイルには書き込めません：
const char kRenamed[] = "\x93\xaf\x82\xb6\x96\xbc\x91\x4f\x82\xcc\x90\x7d\x96\xca\x82\xf0\x8a\xf9\x82\xc9\x8f\x91"
                        "\x82\xab\x8f\x6f\x82\xb5\x82\xbd\x82\xcc\x82\xc5\x95\xca\x96\xbc\x82\xc5\x95\xdb\x91\xb6"
                        "\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x46";
// 同じ名前の図面を既に書き出したので別名で保存しました：
const char kSaveFailed[] = "\x95\xdb\x91\xb6\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81\x46";
// 保存できませんでした：

std::filesystem::path NameTextPath(Platform& platform, const JwwString& name) {
  if (name.unicode) return std::filesystem::path(name.wide);
  return platform.ToPath(name.sjis);
}

// The source name without its extension: everything from its last "." is removed.
std::filesystem::path BaseName(const std::filesystem::path& source) {
  const auto name = source.filename().native();
  const auto dot = name.rfind('.');
  return std::filesystem::path(dot == decltype(name)::npos ? name : name.substr(0, dot));
}

// A composed name must stay a plain file name inside the output folder.
bool IsPlainFileName(const std::filesystem::path& name) {
  const auto& n = name.native();
  if (n.empty()) return false;
  for (auto c : n)
    if (c == '/' || c == '\\' || c == 0) return false;
  return name != "." && name != "..";
}

}  // namespace

std::filesystem::path ComposeSheetName(int32_t pattern, const std::string& number, const std::filesystem::path& base,
                                       const std::filesystem::path& separator,
                                       const std::filesystem::path& nameText) {
  const std::filesystem::path n(number);
  const bool hasName = !nameText.empty();
  std::filesystem::path out;
  auto join = [&](std::initializer_list<const std::filesystem::path*> parts) {
    for (const auto* p : parts) out += *p;
  };
  switch (pattern) {
    case 0:
      join({&n, &separator, &base});
      break;
    case 1:
      join({&base, &separator, &n});
      break;
    case 2:
      if (hasName)
        join({&base, &separator, &nameText});
      else
        join({&base, &separator, &n});
      break;
    case 3:
      join({&n, &separator, &base});
      if (hasName) join({&separator, &nameText});
      break;
    case 4:
      join({&base, &separator, &n});
      if (hasName) join({&separator, &nameText});
      break;
    case 5:
      if (hasName)
        join({&nameText});
      else
        join({&base, &separator, &n});
      break;
    default:
      join({&n});
      if (hasName) join({&separator, &nameText});
      break;
  }
  return out;
}

std::string NumberText(int32_t k, int32_t frameCount, int32_t startNumber, bool leadingZero) {
  std::string digits = std::to_string(k);
  if (!leadingZero) return digits;
  const int64_t t = int64_t(frameCount) + startNumber;
  size_t width = std::to_string(t).size();
  if (width > 6) width = 6;
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return digits;
}

std::string SheetDriver::FailureSummary() const {
  if (failed_ == 0) return std::string();
  // 書き込めなかった図面：N枚（最初の理由：...）
  return "\x8f\x91\x82\xab\x8d\x9e\x82\xdf\x82\xc8\x82\xa9\x82\xc1\x82\xbd\x90\x7d\x96\xca\x81\x46" +
         std::to_string(failed_) + "\x96\x87\x81\x69\x8d\xc5\x8f\x89\x82\xcc\x97\x9d\x97\x52\x81\x46" +
         firstFailure_ + "\x81\x6a";
}

SheetDriver::SheetDriver(Platform& platform, const SplitOptions& options, const std::string& hostExePath)
    : platform_(platform), options_(options), hostExePath_(hostExePath) {}

void SheetDriver::RunStarting() {
  writtenThisRun_.clear();
  failed_ = 0;
  firstFailure_.clear();
}

void SheetDriver::NoteFailure(const std::string& reason) {
  ++failed_;
  if (firstFailure_.empty()) firstFailure_ = reason;
}

std::filesystem::path SheetDriver::Key(const std::filesystem::path& p) const {
  std::error_code ec;
  std::filesystem::path k = std::filesystem::weakly_canonical(p, ec);
  return ec ? p.lexically_normal() : k;
}

std::vector<SheetRecord> SheetDriver::SplitDrawing(JwwDocument& doc, const std::filesystem::path& outputFolder,
                                                   const std::filesystem::path& source,
                                                   const std::vector<std::filesystem::path>& pending, bool dryRun) {
  std::vector<SheetRecord> records;
  const int32_t keptPaper = doc.header.paperSize;
  const double keptOriginX = doc.header.printOriginX, keptOriginY = doc.header.printOriginY;

  frames_ = DetectPaperFrames(doc.lines, doc.LineCount(), options_.numberingDirection);
  CollectSheetNames(frames_, doc);
  SheetExtractor extractor(doc, frames_);
  SheetOptions sheetOptions{options_.drawFrameOnFF, options_.margin};

  std::set<std::filesystem::path> inputs;
  for (const auto& p : pending) inputs.insert(Key(p));
  inputs.insert(Key(source));

  // Every sheet goes into one folder: resolve it once and key the sheets by their names in it.
  const std::filesystem::path folderKey = Key(outputFolder);
  auto sheetKey = [&](const std::filesystem::path& p) { return folderKey / p.filename(); };
  const std::filesystem::path base = BaseName(source);
  const std::filesystem::path separator = platform_.ToPath(options_.separator);
  int32_t k = options_.startNumber;
  for (size_t j = 0; j < frames_.size(); ++j) {
    const PaperFrame& frame = frames_[j];
    int saved = 0;
    for (int s = 0; s < frame.sheetCount; ++s) {
      SheetRecord rec;
      rec.frame = j;
      rec.sheet = s;
      rec.rect = frame;
      rec.number = NumberText(k, int32_t(frames_.size()), options_.startNumber, options_.leadingZero == 1);
      if (frame.sheetCount > 1) rec.number += "-" + std::to_string(s + 1);
      rec.paperSize = PaperSizeFor(frame);
      const SheetView view = extractor.Extract(j, s, sheetOptions);
      rec.empty = view.order.empty();
      if (rec.empty) {
        records.push_back(rec);
        continue;
      }
      ++saved;  // counts for the numbering also when the save fails
      const std::filesystem::path name =
          ComposeSheetName(options_.namingPattern, rec.number, base, separator, NameTextPath(platform_, frame.sheetNames[s]));
      if (!IsPlainFileName(name)) {
        rec.note = kSaveFailed + platform_.ToSjis(name);
        NoteFailure(rec.note);
        records.push_back(rec);
        continue;
      }
      std::filesystem::path path = outputFolder / name;
      path += ".jww";
      if (inputs.count(sheetKey(path))) {
        // Never over the drawing being split, nor over an input that still waits its turn.
        rec.note = kSkippedInput + platform_.ToSjis(path);
        platform_.SetStatusText(rec.note);
        NoteFailure(rec.note);
        records.push_back(rec);
        continue;
      }
      if (writtenThisRun_.count(sheetKey(path))) {
        // Never silently replace a sheet of this run: the later one gets "~2", "~3", ...
        std::filesystem::path stem = outputFolder / name;
        for (int n = 2;; ++n) {
          std::filesystem::path candidate = stem;
          candidate += "~" + std::to_string(n) + ".jww";
          if (!writtenThisRun_.count(sheetKey(candidate)) && !inputs.count(sheetKey(candidate))) {
            path = candidate;
            break;
          }
        }
        rec.note = kRenamed + platform_.ToSjis(path.filename());
        platform_.SetStatusText(rec.note);
      }
      rec.file = path;
      writtenThisRun_.insert(sheetKey(path));
      if (!dryRun) {
        doc.header.paperSize = rec.paperSize;
        doc.header.printOriginX = 0;
        doc.header.printOriginY = 0;
        rec.written = doc.SaveSheet(path, doc.header.version, view);
        if (!rec.written) {
          NoteFailure(kSaveFailed + platform_.ToSjis(path) + " (" + doc.diagnostics.reason + ")");
        } else if (options_.printAfterSplit) {
          // Printed only when this save succeeded: never an older file of the same name.
          platform_.StartProgram(hostExePath_, "/p \"" + platform_.ToSjis(path) + "\"");
        }
      }
      records.push_back(rec);
    }
    if (!options_.compactEmptyNumbers || saved > 0) ++k;
  }
  doc.header.paperSize = keptPaper;
  doc.header.printOriginX = keptOriginX;
  doc.header.printOriginY = keptOriginY;
  return records;
}

}  // namespace kelvane
