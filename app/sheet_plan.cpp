// Deciding every sheet of one drawing: frames, name texts, numbering, file names and protections.
#include "app/sheet_plan.h"

#include <cstdint>
#include <system_error>
#include <type_traits>

#include "app/messages.h"
#include "platform/text_conversion.h"
#include "split/extract.h"
#include "split/sheetnames.h"

namespace kelvane {

namespace {

bool HasLoneSurrogate(const std::u16string& units) {
  for (size_t i = 0; i < units.size(); ++i) {
    const char16_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

// The name text as a path piece. A text no file system can hold (a lone UTF-16 surrogate)
// gives nothing; `shown` then gets a printable stand-in for the status text.
std::optional<std::filesystem::path> NameTextPath(const FileQueries& files, const JwwString& name,
                                                  std::filesystem::path& shown) {
  if (!name.unicode) return shown = files.ToPath(name.sjis);
  const std::string utf8 = Utf16ToUtf8(name.wide);  // lone surrogates become U+FFFD here
  shown = std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
  if (HasLoneSurrogate(name.wide)) return std::nullopt;
  return shown;
}

std::filesystem::path CanonicalFolder(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(folder, ec);
  return ec ? folder.lexically_normal() : canonical;
}

std::filesystem::path FoldedName(const FileQueries& files, const std::filesystem::path& name) {
  if (!files.NamesIgnoreCase()) return name;
  auto folded = name.native();
  for (auto& c : folded)
    if (c >= 'a' && c <= 'z') c = static_cast<std::remove_reference_t<decltype(c)>>(c - 'a' + 'A');
  return std::filesystem::path(folded);
}

// The planning state of one drawing: the run's context plus the sheets planned so far.
class Planner {
 public:
  Planner(const RunContext& run, const FileQueries& files, const std::filesystem::path& folderKey)
      : run_(run), files_(files), folderKey_(folderKey) {}

  std::filesystem::path::string_type Key(const std::filesystem::path& sheetFile) const {
    return (folderKey_ / FoldedName(files_, sheetFile.filename())).native();
  }
  bool IsInput(const std::filesystem::path& file, const std::optional<FileIdentity>& id) const {
    const auto key = Key(file);
    return run_.inputKeys.count(key) || (id && run_.inputIdentities.count(*id)) || run_.protectedKeys.count(key) ||
           (id && run_.protectedIdentities.count(*id));
  }
  bool IsTaken(const std::filesystem::path& file, const std::optional<FileIdentity>& id) const {
    const std::filesystem::path::string_type key = Key(file);
    return run_.plannedKeys.count(key) || planned_.count(key) || (id && run_.writtenIdentities.count(*id));
  }
  void Take(const std::filesystem::path& file) { planned_.insert(Key(file)); }

  // Where a sheet named `name` goes, or why it does not.
  void Place(PlannedSheet& sheet, const std::filesystem::path& outputFolder, const std::filesystem::path& name) {
    std::filesystem::path file = outputFolder / name;
    file += ".jww";
    if (IsInput(file, sheet.foundIdentity)) {
      sheet.decision = SheetDecision::kProtectedInput;
      sheet.file = file;
      sheet.note = kInputNotOverwritten + files_.ToSjis(file);
      return;
    }
    sheet.decision = SheetDecision::kWrite;
    if (IsTaken(file, sheet.foundIdentity)) {
      // Never silently replace a sheet of this run: the later one gets "~2", "~3", ...
      for (int n = 2;; ++n) {
        std::filesystem::path candidate = outputFolder / name;
        candidate += "~" + std::to_string(n) + ".jww";
        const std::optional<FileIdentity> id = files_.IdentityOf(candidate);
        if (!IsTaken(candidate, id) && !IsInput(candidate, id)) {
          file = candidate;
          break;
        }
      }
      sheet.decision = SheetDecision::kRenamed;
      sheet.note = kSavedUnderOtherName + files_.ToSjis(file.filename());
    }
    sheet.file = file;
    Take(file);
  }

 private:
  const RunContext& run_;
  const FileQueries& files_;
  const std::filesystem::path folderKey_;
  std::set<std::filesystem::path::string_type> planned_;
};

}  // namespace

std::filesystem::path NameKey(const FileQueries& files, const std::filesystem::path& path) {
  return CanonicalFolder(path.parent_path()) / FoldedName(files, path.filename());
}

std::filesystem::path::string_type NameKeyIn(const FileQueries& files, const std::filesystem::path& resolvedFolder,
                                             const std::filesystem::path& name) {
  return (resolvedFolder / FoldedName(files, name)).native();
}

void AddRunInput(RunContext& run, const FileQueries& files, const std::filesystem::path& input) {
  const std::filesystem::path folder = input.parent_path();
  auto resolved = run.resolvedFolders.find(folder);
  if (resolved == run.resolvedFolders.end()) resolved = run.resolvedFolders.emplace(folder, CanonicalFolder(folder)).first;
  run.inputKeys.insert((resolved->second / FoldedName(files, input.filename())).native());
  if (std::optional<FileIdentity> id = files.IdentityOf(input)) run.inputIdentities.insert(*id);
}

void AddProtectedFile(RunContext& run, const FileQueries& files, const std::filesystem::path& file) {
  run.protectedKeys.insert(NameKey(files, file).native());
  if (std::optional<FileIdentity> id = files.IdentityOf(file)) run.protectedIdentities.insert(*id);
}

void RecordPlannedSheets(RunContext& run, const FileQueries& files, const SheetPlan& plan) {
  for (const PlannedSheet& sheet : plan.sheets)
    if (sheet.ToBeWritten()) run.plannedKeys.insert((plan.folderKey / FoldedName(files, sheet.file.filename())).native());
}

std::filesystem::path ComposeSheetName(NamingPattern pattern, const std::string& number, const std::filesystem::path& base,
                                       const std::filesystem::path& separator, const std::filesystem::path& nameText) {
  const std::filesystem::path n(number);
  const bool hasName = !nameText.empty();
  std::filesystem::path out;
  auto join = [&](std::initializer_list<const std::filesystem::path*> parts) {
    for (const auto* p : parts) out += *p;
  };
  switch (pattern) {
    case NamingPattern::kNumberSource:
      join({&n, &separator, &base});
      break;
    case NamingPattern::kSourceNumber:
      join({&base, &separator, &n});
      break;
    case NamingPattern::kSourceName:
      if (hasName)
        join({&base, &separator, &nameText});
      else
        join({&base, &separator, &n});
      break;
    case NamingPattern::kNumberSourceName:
      join({&n, &separator, &base});
      if (hasName) join({&separator, &nameText});
      break;
    case NamingPattern::kSourceNumberName:
      join({&base, &separator, &n});
      if (hasName) join({&separator, &nameText});
      break;
    case NamingPattern::kName:
      if (hasName)
        join({&nameText});
      else
        join({&base, &separator, &n});
      break;
    case NamingPattern::kNumberName:
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

std::filesystem::path SourceBaseName(const std::filesystem::path& source) {
  const auto name = source.filename().native();
  const auto dot = name.rfind('.');
  return std::filesystem::path(dot == decltype(name)::npos ? name : name.substr(0, dot));
}

bool IsUsableFileName(const std::filesystem::path& name) {
  const auto& n = name.native();
  if (n.empty() || name == "." || name == "..") return false;
  // A code unit as a number: a UTF-8 byte (char is signed here) or a UTF-16 unit (Windows).
  const auto unit = [](auto c) { return uint32_t(std::make_unsigned_t<decltype(c)>(c)); };
  for (auto c : n)
    if (const uint32_t u = unit(c); u == '/' || u == '\\' || u == ':' || u < 0x20 || u == 0x7F) return false;
  if (n.back() == '.' || n.back() == ' ') return false;
  // Windows opens a device for these names whatever follows the first dot.
  std::string stem;
  for (auto c : n) {
    const uint32_t u = unit(c);
    if (u == '.') break;
    if (u > 0x7E) return true;  // no device name holds anything but ASCII
    stem.push_back(char(u >= 'a' && u <= 'z' ? u - 'a' + 'A' : u));
  }
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return false;
  if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '1' &&
      stem[3] <= '9')
    return false;
  return true;
}

SheetPlan PrepareSheets(const JwwDocument& doc, const SplitOptions& options, const std::filesystem::path& source,
                        const std::filesystem::path& outputFolder, const FileQueries& files) {
  SheetPlan plan;
  plan.source = source;
  plan.outputFolder = outputFolder;
  plan.folderKey = CanonicalFolder(outputFolder);
  plan.frames = DetectPaperFrames(doc.lines, doc.LineCount(), int(options.numberingDirection), &plan.rejectedFrames);
  CollectSheetNames(plan.frames, doc);
  const SheetExtractor extractor(doc, plan.frames);
  const SheetOptions sheetOptions{options.drawFrameOnFF, options.margin};

  const std::filesystem::path base = SourceBaseName(source);
  const std::filesystem::path separator = files.ToPath(options.separator);
  const int32_t frameCount = int32_t(plan.frames.size());
  int32_t k = options.startNumber;
  for (size_t j = 0; j < plan.frames.size(); ++j) {
    const PaperFrame& frame = plan.frames[j];
    int nonEmpty = 0;  // a sheet that then fails to save still uses its number
    for (int s = 0; s < frame.sheetCount; ++s) {
      PlannedSheet& sheet = plan.sheets.emplace_back();
      sheet.frame = j;
      sheet.sheet = s;
      sheet.number = NumberText(k, frameCount, options.startNumber, options.leadingZeros);
      if (frame.sheetCount > 1) sheet.number += "-" + std::to_string(s + 1);
      sheet.paperSize = PaperSizeFor(frame);
      sheet.view = extractor.Extract(j, s, sheetOptions);
      if (sheet.view.order.empty()) continue;  // kEmpty
      ++nonEmpty;
      std::filesystem::path shownName;
      const std::optional<std::filesystem::path> nameText = NameTextPath(files, frame.sheetNames[s], shownName);
      const std::filesystem::path name =
          ComposeSheetName(options.namingPattern, sheet.number, base, separator, nameText ? *nameText : shownName);
      // A name text no file system can hold matters only where the pattern uses the name.
      const bool nameUsed = name != ComposeSheetName(options.namingPattern, sheet.number, base, separator, {});
      if ((!nameText && nameUsed) || !IsUsableFileName(name)) {
        sheet.decision = SheetDecision::kNameNotUsable;
        sheet.note = kCannotSave + files.ToSjis(name);
        continue;
      }
      sheet.decision = SheetDecision::kWrite;
      sheet.name = name;
      std::filesystem::path file = outputFolder / name;
      file += ".jww";
      sheet.foundIdentity = files.IdentityOf(file);
    }
    if (!options.compactEmptyNumbers || nonEmpty > 0) ++k;
  }
  return plan;
}

void PlaceSheets(SheetPlan& plan, const RunContext& run, const FileQueries& files) {
  Planner planner(run, files, plan.folderKey);
  for (PlannedSheet& sheet : plan.sheets)
    if (sheet.decision == SheetDecision::kWrite && sheet.file.empty())
      planner.Place(sheet, plan.outputFolder, sheet.name);
}

SheetPlan PlanSheets(const JwwDocument& doc, const SplitOptions& options, const std::filesystem::path& source,
                     const std::filesystem::path& outputFolder, const RunContext& run, const FileQueries& files) {
  SheetPlan plan = PrepareSheets(doc, options, source, outputFolder, files);
  PlaceSheets(plan, run, files);
  return plan;
}

}  // namespace kelvane
