// Batches on the command line: folders and trees, several jobs, the progress line and the report.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "jww/builder.h"
#include "jww/document.h"
#include "tests/fixtures.h"

using kelvane::testing::ReadBytes;
using kelvane::testing::TempDir;
namespace fs = std::filesystem;

namespace {

struct Result {
  int status = -1;
  std::string out, err;
};

std::string Q(const fs::path& p) { return "'" + p.string() + "'"; }

std::string ReadText(const fs::path& p) {
  const std::vector<uint8_t> bytes = ReadBytes(p);
  return std::string(bytes.begin(), bytes.end());
}

// Runs `command` through the shell; standard error is kept apart from standard output.
Result Shell(const std::string& command) {
  TempDir scratch;
  FILE* p = popen((command + " 2>" + Q(scratch / "err")).c_str(), "r");
  Result r;
  if (!p) return r;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  const int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.err = ReadText(scratch / "err");
  return r;
}

// kelvane with the arguments (quoted for the shell) and no user settings. As root, it runs as
// nobody, so that a folder without permissions is really unreadable to it.
Result Kelvane(const TempDir& dir, const std::string& args) {
  const std::string user = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  std::ofstream(dir / "none.dat").close();
  return Shell(user + KELVANE_EXE + " --settings " + Q(dir / "none.dat") + " " + args);
}

void MakeExample(const TempDir& dir) {
  ASSERT_EQ(Shell(std::string(KELVANE_EXE) + " --make-example " + Q(dir.path())).status, 0);
}

// Every regular file under `root` by its relative path, with its bytes; links are not followed.
std::map<std::string, std::vector<uint8_t>> FilesUnder(const fs::path& root) {
  std::map<std::string, std::vector<uint8_t>> files;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file() && !e.is_symlink()) files[fs::relative(e.path(), root).string()] = ReadBytes(e.path());
  return files;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

// A tree of drawings: nested folders, capitals, the sheets of an earlier run, a link that loops,
// a link to nothing and a folder nobody may read. Answers its drawings as a recursive listing
// must give them: sorted by path.
std::vector<fs::path> BuildTree(const TempDir& dir, const fs::path& root) {
  for (const char* folder : {"sub/deeper", "locked"}) fs::create_directories(root / folder);
  const fs::path example = dir / "example.jww";
  fs::copy_file(example, root / "a.jww");
  fs::copy_file(example, root / "sub" / "B.JWW");
  fs::copy_file(example, root / "sub" / "deeper" / "c.jww");
  fs::copy_file(example, root / "locked" / "d.jww");
  std::ofstream(root / "notes.txt") << "not a drawing";
  std::ofstream(dir / "none.dat").close();
  EXPECT_EQ(Shell(std::string(KELVANE_EXE) + " --settings " + Q(dir / "none.dat") + " --separator - " +
                  Q(root / "sub" / "B.JWW") + " >/dev/null")
                .status,
            0);
  fs::create_directory_symlink("..", root / "sub" / "loop");
  fs::create_directory_symlink("nowhere", root / "gone");
  for (const fs::path& folder : {root, root / "sub", root / "sub" / "deeper"}) fs::permissions(folder, fs::perms::all);
  fs::permissions(root / "locked", fs::perms::none);
  std::vector<fs::path> drawings{root / "a.jww"};
  std::vector<fs::path> sub;
  for (const fs::directory_entry& e : fs::directory_iterator(root / "sub"))
    if (e.is_regular_file()) sub.push_back(e.path());
  std::sort(sub.begin(), sub.end());
  drawings.insert(drawings.end(), sub.begin(), sub.end());
  drawings.push_back(root / "sub" / "deeper" / "c.jww");
  return drawings;
}

TEST(Batch, AFolderTreeSplitsExactlyAsItsDrawingsNamedOneByOne) {
  TempDir dir;
  MakeExample(dir);
  fs::permissions(dir.path(), fs::perms::all);
  const fs::path tree = dir / "tree", named = dir / "named";
  BuildTree(dir, tree);
  const std::vector<fs::path> drawings = BuildTree(dir, named);
  ASSERT_EQ(drawings.size(), 1u + 1u + 6u + 1u);  // B.JWW's six sheets are inputs now too

  // Without -r, the folder's own drawings only.
  const Result flat = Kelvane(dir, "--dry-run " + Q(tree));
  EXPECT_NE(flat.out.find((tree / "a.jww").string() + ": 6 frame(s)"), std::string::npos) << flat.out;
  EXPECT_EQ(flat.out.find("B.JWW"), std::string::npos) << flat.out;

  const Result walked = Kelvane(dir, "-r " + Q(tree));
  std::string list;
  for (const fs::path& d : drawings) list += " " + Q(d);
  const Result oneByOne = Kelvane(dir, list);
  EXPECT_EQ(oneByOne.status, 0) << oneByOne.err;
  EXPECT_EQ(walked.status, 1) << "the unreadable folder fails the run: " << walked.err;
  EXPECT_EQ(Replaced(walked.out, tree.string(), named.string()), oneByOne.out);
  fs::permissions(tree / "locked", fs::perms::all);
  fs::permissions(named / "locked", fs::perms::all);
  EXPECT_EQ(FilesUnder(tree), FilesUnder(named));
  // The notes, d.jww, the nine inputs and six sheets of each drawing that has frames: the
  // earlier run's sheets have none.
  EXPECT_EQ(FilesUnder(tree).size(), 2u + 9u + 3u * 6u);

  for (const char* reported : {"locked: cannot be read", "gone: cannot be read", "loop: listed already"})
    EXPECT_NE(walked.err.find(reported), std::string::npos) << reported << " in " << walked.err;
  EXPECT_NE(walked.err.find("warning: " + (tree / "sub" / "loop").string()), std::string::npos) << walked.err;
}

// Copies of the example drawing at the given places under `dir`, as arguments.
std::string ExampleCopies(const TempDir& dir, std::initializer_list<const char*> copies) {
  std::string inputs;
  for (const char* copy : copies) {
    fs::create_directories((dir / copy).parent_path());
    fs::copy_file(dir / "example.jww", dir / copy);
    inputs += " " + Q(dir / copy);
  }
  return inputs;
}

// A run with -j 1 into dir/out1 and one with -j 2 into dir/out2 ("OUT" in the options names
// each its own), and what each said and wrote.
struct SerialAndParallel {
  Result runs[2];
  std::map<std::string, std::vector<uint8_t>> files[2];
};
SerialAndParallel RunWithOneAndTwoJobs(const TempDir& dir, const std::string& options, const std::string& inputs) {
  SerialAndParallel r;
  // A PDF holds the time it was made unless the build's time is given: both runs get the same.
  setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
  for (int jobs : {1, 2}) {
    const fs::path out = dir / ("out" + std::to_string(jobs));
    fs::create_directories(out);
    fs::permissions(out, fs::perms::all);
    const std::string args = options + " -j " + std::to_string(jobs) + " -o " + Q(out);
    r.runs[jobs - 1] = Kelvane(dir, Replaced(args, "OUT", out.string()) + inputs);
    r.files[jobs - 1] = FilesUnder(out);
  }
  unsetenv("SOURCE_DATE_EPOCH");
  return r;
}

// Sheets of different drawings clash (pattern 6 names most sheets by their number alone);
// every rename must fall as in a serial run, whichever worker is faster.
TEST(Batch, TwoJobsWriteTheSerialRunsFilesNamesLinesAndReport) {
  TempDir dir;
  MakeExample(dir);
  std::string inputs;
  for (const fs::path& corpus : kelvane::testing::CorpusFiles()) inputs += " " + Q(corpus);
  inputs += ExampleCopies(dir, {"p/example.jww", "q/other.JWW", "r/a.jww", "s/b.jww", "t/c.jww", "u/d.jww"});
  SerialAndParallel r = RunWithOneAndTwoJobs(dir, "--pattern 6 --report 'OUT/report.json'", inputs);
  auto& files = r.files;
  EXPECT_EQ(r.runs[0].status, r.runs[1].status);
  EXPECT_EQ(r.runs[0].out, r.runs[1].out);
  const std::string serialReport(files[0]["report.json"].begin(), files[0]["report.json"].end());
  const std::string parallelReport(files[1]["report.json"].begin(), files[1]["report.json"].end());
  EXPECT_EQ(Replaced(serialReport, (dir / "out1").string(), (dir / "out2").string()), parallelReport);
  files[0].erase("report.json");
  files[1].erase("report.json");
  EXPECT_EQ(files[0], files[1]);
  EXPECT_TRUE(files[1].count("2~2.jww")) << "no clash between drawings";
}

// A one-sheet drawing whose picture leaves out an image it cannot find: a warning per picture.
std::string DrawingWithoutItsImage(const TempDir& dir, const char* place) {
  kelvane::JwwDocument doc;
  kelvane::InitDrawing(doc, 700, true);
  kelvane::Attr frame;
  frame.penColor = 9, frame.penStyle = 19, frame.penWidth = 200;
  kelvane::AddLine(doc, 0, 0, 297, 0, frame);
  kelvane::AddLine(doc, 297, 0, 297, 210, frame);
  kelvane::AddLine(doc, 297, 210, 0, 210, frame);
  kelvane::AddLine(doc, 0, 210, 0, 0, frame);
  kelvane::AddText(doc, 50, 50, kelvane::JwwString::Wide(u"^@BMmissing.bmp,40,30"));
  doc.NormaliseBlocks();
  fs::create_directories((dir / place).parent_path());
  EXPECT_TRUE(doc.SaveToFile(dir / place, 700));
  return " " + Q(dir / place);
}

// A drawing of `frames` empty-but-for-a-line A4 frames side by side.
std::string FramedDrawing(const TempDir& dir, const char* place, int frames) {
  kelvane::JwwDocument doc;
  kelvane::InitDrawing(doc, 700, true);
  kelvane::Attr frame;
  frame.penColor = 9, frame.penStyle = 19, frame.penWidth = 200;
  for (int f = 0; f < frames; ++f) {
    const double x = 400.0 * f;
    kelvane::AddLine(doc, x, 0, x + 297, 0, frame);
    kelvane::AddLine(doc, x + 297, 0, x + 297, 210, frame);
    kelvane::AddLine(doc, x + 297, 210, x, 210, frame);
    kelvane::AddLine(doc, x, 210, x, 0, frame);
    kelvane::AddLine(doc, x + 10, 10, x + 100 + f, 100);
  }
  doc.NormaliseBlocks();
  fs::create_directories((dir / place).parent_path());
  EXPECT_TRUE(doc.SaveToFile(dir / place, 700));
  return " " + Q(dir / place);
}

// A sheet name that is a link to a sheet an earlier drawing of the run wrote names that file:
// the run keeps a record of what it wrote, by identity, and renames the later sheet rather than
// write through the link. Two jobs: when the last drawing is placed, its worker has written its
// own earlier drawing, so one of its two links is known to lead to a sheet of this run.
TEST(Batch, ASheetNeverReplacesOneTheRunWroteThroughALink) {
  TempDir dir;
  const std::string inputs = FramedDrawing(dir, "in/a.jww", 1) + FramedDrawing(dir, "in/b.jww", 1) +
                             FramedDrawing(dir, "in/c.jww", 2);
  for (int jobs : {1, 2}) {
    const fs::path out = dir / ("out" + std::to_string(jobs));
    fs::create_directories(out);
    fs::permissions(out, fs::perms::all);
    fs::create_symlink("0a.jww", out / "0c.jww");
    fs::create_symlink("0b.jww", out / "1c.jww");
    const Result r = Kelvane(dir, "--pattern 0 -j " + std::to_string(jobs) + " -o " + Q(out) + inputs);
    EXPECT_EQ(r.status, 0) << r.err;
    size_t renamed = 0;
    std::string names;
    for (const auto& [name, bytes] : FilesUnder(out)) {
      renamed += name.find("c~") != std::string::npos;
      names += name + " ";
    }
    if (jobs == 1) {
      EXPECT_EQ(renamed, 2u) << names;
    }
    EXPECT_GE(renamed, 1u) << jobs << ": " << names;
    EXPECT_TRUE(fs::is_regular_file(out / "0a.jww") && fs::is_regular_file(out / "0b.jww")) << jobs;
  }
}

// The workers draw the pictures, DXF files, their images and the sets of several drawings at
// once, sharing the fonts: the same files, byte for byte (a PDF carries no date), and the same
// lines and warnings in the same order as a serial run.
TEST(Batch, TwoJobsDrawTheSerialRunsPicturesAndSets) {
  TempDir dir;
  MakeExample(dir);
  const std::string inputs = ExampleCopies(dir, {"p/a.jww", "p/b.jww"}) + DrawingWithoutItsImage(dir, "p/gap.jww") +
                             ExampleCopies(dir, {"q/c.jww", "q/d.jww"}) + DrawingWithoutItsImage(dir, "q/hole.jww") +
                             ExampleCopies(dir, {"q/e.jww"});
  const SerialAndParallel r = RunWithOneAndTwoJobs(dir, "--pattern 6 --pdf --dxf --pdf-set", inputs);
  EXPECT_EQ(r.runs[0].status, 0) << r.runs[0].err;
  EXPECT_EQ(r.runs[1].status, 0) << r.runs[1].err;
  EXPECT_EQ(r.runs[0].out, r.runs[1].out);
  EXPECT_EQ(Replaced(r.runs[0].err, (dir / "out1").string(), (dir / "out2").string()), r.runs[1].err);
  EXPECT_EQ(r.files[0], r.files[1]);
  EXPECT_TRUE(r.files[1].count("2~2.dxf") && r.files[1].count("2~2.pdf") && r.files[1].count("e.pdf"))
      << "no clash, or no picture";
  const size_t gap = r.runs[1].err.find("gap.pdf: 1 image left out"), hole = r.runs[1].err.find("hole.pdf: 1 image left out");
  EXPECT_TRUE(gap != std::string::npos && hole != std::string::npos && gap < hole) << r.runs[1].err;
}

TEST(Batch, TheReportValidatesListsEverySheetAndNeverReplacesAnInput) {
  TempDir dir;
  MakeExample(dir);
  fs::permissions(dir.path(), fs::perms::all);
  fs::copy_file(dir / "example.jww", dir / "second.jww");
  fs::copy_file(dir / "example.jww", dir / "not utf-8 \xFF.jww");  // the report stays valid UTF-8
  std::ofstream(dir / "broken.jww") << "not a drawing";
  const std::string drawings = Q(dir / "example.jww") + " " + Q(dir / "broken.jww") + " " + Q(dir / "second.jww") +
                               " " + Q(dir / "not utf-8 \xFF.jww");
  const Result r = Kelvane(dir, "--pattern 5 --report " + Q(dir / "report.json") + " " + drawings);
  EXPECT_EQ(r.status, 1) << r.err;  // the broken drawing
  const std::string report = ReadText(dir / "report.json");
  size_t entries = 0, written = 0;
  for (size_t at = 0; (at = report.find("{\"source\":", at)) != std::string::npos; ++at) ++entries;
  for (size_t at = 0; (at = report.find("\"outcome\":\"written\"", at)) != std::string::npos; ++at) ++written;
  EXPECT_EQ(entries, 3u * 7u + 1u);  // seven sheets of each drawing (one empty), the failed drawing
  EXPECT_EQ(written, 18u);
  EXPECT_NE(report.find("\"decision\":\"renamed\""), std::string::npos);
  EXPECT_NE(report.find("\"failedDrawings\":[{\"source\":\"" + (dir / "broken.jww").string()), std::string::npos);

  // Quiet: no status lines, the failed drawing and the closing count on standard error.
  const Result quiet = Kelvane(dir, "--quiet --pattern 5 " + drawings);
  EXPECT_EQ(quiet.status, 1);
  EXPECT_EQ(quiet.out, "");
  EXPECT_NE(quiet.err.find("kelvane: " + (dir / "broken.jww").string() + ": cannot read"), std::string::npos)
      << quiet.err;
  EXPECT_NE(quiet.err.find("could not be written"), std::string::npos) << quiet.err;

  const std::vector<uint8_t> input = ReadBytes(dir / "second.jww");
  const Result refused = Kelvane(dir, "--report " + Q(dir / "second.jww") + " " + drawings);
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("report not written"), std::string::npos) << refused.err;
  EXPECT_EQ(ReadBytes(dir / "second.jww"), input);

  if (!fs::exists("/usr/bin/python3")) GTEST_SKIP() << "the report's checker needs /usr/bin/python3";
  const Result valid = Shell(std::string("/usr/bin/python3 ") + Q(KELVANE_SOURCE "/tests/check_report.py") + " " +
                             Q(KELVANE_SOURCE "/docs/report.schema.json") + " " + Q(dir / "report.json"));
  EXPECT_EQ(valid.status, 0) << valid.out << valid.err;
}

// Every failure of a run is in the report, each as what it is: a folder among the inputs that
// could not be read, a drawing denied by permissions. Names that are not UTF-8 keep their bytes,
// so two of them never give the same entry, and the report and --info stay strict JSON.
TEST(Batch, TheReportNamesEveryFailureAndKeepsNamesThatAreNotUtf8Apart) {
  if (!fs::exists("/usr/bin/python3")) GTEST_SKIP() << "the report's checker needs /usr/bin/python3";
  TempDir dir;
  MakeExample(dir);
  fs::permissions(dir.path(), fs::perms::all);
  const char* const names[] = {"\xFF\xFE.jww", "\xE3\x81.jww", "over\xE0\x80\xAF.jww", "denied.jww"};
  std::string drawings;
  for (const char* name : names) {
    fs::copy_file(dir / "example.jww", dir / name);
    drawings += Q(dir / name) + " ";
  }
  fs::permissions(dir / "denied.jww", fs::perms::none);
  fs::create_directories(dir / "locked");
  fs::copy_file(dir / "example.jww", dir / "locked" / "d.jww");
  fs::permissions(dir / "locked", fs::perms::none);
  drawings += Q(dir / "locked");

  const Result r = Kelvane(dir, "--pattern 5 --report " + Q(dir / "report.json") + " " + drawings);
  EXPECT_EQ(r.status, 1) << r.err;
  std::ofstream(dir / "check.py") << R"(
import json, os, sys
folder = os.fsencode(sys.argv[1])
with open(sys.argv[2], encoding="utf-8") as f:  # strict: no overlong form, no surrogate
    report = json.load(f)
def raw(entry, key):
    return bytes.fromhex(entry[key + "Bytes"]) if key + "Bytes" in entry else entry[key].encode()
failed = {raw(f, "source"): f["reason"] for f in report["failedDrawings"]}
assert failed == {folder + b"/denied.jww": "cannot read: permission denied",
                  folder + b"/locked": "cannot be read: Permission denied"}, failed
sources = {raw(s, "source") for s in report["sheets"]}
expected = {folder + b"/" + n for n in (b"\xff\xfe.jww", b"\xe3\x81.jww", b"over\xe0\x80\xaf.jww")}
assert sources == expected, sources
entries = [json.dumps(s, sort_keys=True) for s in report["sheets"]]
assert len(set(entries)) == len(entries) == 21, entries
with open(sys.argv[3], encoding="utf-8") as f:
    info = json.load(f)
assert bytes.fromhex(info["fileBytes"]) == folder + b"/over\xe0\x80\xaf.jww", info["file"]
)";
  const Result info = Shell(std::string(KELVANE_EXE) + " --info " + Q(dir / names[2]) + " >" + Q(dir / "info.json"));
  EXPECT_EQ(info.status, 0) << info.err;
  const Result checked = Shell("/usr/bin/python3 " + Q(dir / "check.py") + " " + Q(dir.path()) + " " +
                               Q(dir / "report.json") + " " + Q(dir / "info.json"));
  EXPECT_EQ(checked.status, 0) << checked.out << checked.err;
  const Result valid = Shell(std::string("/usr/bin/python3 ") + Q(KELVANE_SOURCE "/tests/check_report.py") + " " +
                             Q(KELVANE_SOURCE "/docs/report.schema.json") + " " + Q(dir / "report.json"));
  EXPECT_EQ(valid.status, 0) << valid.out << valid.err;

  // Quiet, the unreadable folder is said once, when the listing meets it.
  const Result quiet = Kelvane(dir, "--quiet --pattern 5 " + drawings);
  EXPECT_EQ(quiet.status, 1);
  const std::string locked = (dir / "locked").string() + ":";
  EXPECT_NE(quiet.err.find(locked), std::string::npos) << quiet.err;
  EXPECT_EQ(quiet.err.find(locked), quiet.err.rfind(locked)) << quiet.err;
  EXPECT_NE(quiet.err.find("denied.jww: cannot read: permission denied"), std::string::npos) << quiet.err;
  fs::permissions(dir / "locked", fs::perms::all);
}

// What a terminal shows at the end: carriage returns, line erasures and line ends played out.
std::vector<std::string> FinalScreen(const std::string& typescript) {
  std::vector<std::string> lines(1);
  size_t column = 0;
  for (size_t i = 0; i < typescript.size(); ++i) {
    const char c = typescript[i];
    if (c == '\r') {
      column = 0;
    } else if (c == '\n') {
      lines.emplace_back();
      column = 0;
    } else if (typescript.compare(i, 3, "\x1b[K") == 0) {
      lines.back().resize(std::min(column, lines.back().size()));
      i += 2;
    } else {
      if (column < lines.back().size())
        lines.back()[column] = c;
      else
        lines.back().push_back(c);
      ++column;
    }
  }
  return lines;
}

TEST(Batch, TheProgressLineIsOnlyOnATerminalAndGivesWayToTheSummary) {
  TempDir dir;
  MakeExample(dir);
  fs::permissions(dir.path(), fs::perms::all);
  fs::create_directories(dir / "in");
  constexpr int kDrawings = 150;
  for (int i = 0; i < kDrawings; ++i)
    fs::create_hard_link(dir / "example.jww", dir / "in" / (std::to_string(i) + ".jww"));
  for (const char* out : {"tty", "pipe"}) {
    fs::create_directories(dir / out);
    fs::permissions(dir / out, fs::perms::all);
  }
  const std::string command = std::string(KELVANE_EXE) + " --settings " + Q(dir / "none.dat") + " -j 1 -o ";
  std::ofstream(dir / "none.dat").close();

  const auto start = std::chrono::steady_clock::now();
  const Result tty = Shell("script -qec \"" + command + Q(dir / "tty") + " " + Q(dir / "in") + "\" /dev/null");
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::vector<std::string> screen = FinalScreen(tty.out);
  std::string shown;
  for (const std::string& line : screen) shown += line + "\n";
  EXPECT_EQ(shown.find("elapsed"), std::string::npos) << "stale progress text:\n" << shown;
  EXPECT_NE(shown.find("150 of 150 drawing(s) read, 900 sheet(s) written, 0 renamed, 150 empty"), std::string::npos)
      << shown;
  // The line appears for a batch longer than about a second, never for a short one.
  if (seconds > 1.5) {
    EXPECT_NE(tty.out.find(" elapsed"), std::string::npos) << seconds << " s";
  } else if (seconds < 0.9) {
    EXPECT_EQ(tty.out.find(" elapsed"), std::string::npos) << seconds << " s";
  }

  const Result pipe = Shell(command + Q(dir / "pipe") + " " + Q(dir / "in"));
  EXPECT_EQ(pipe.status, 0);
  EXPECT_EQ(pipe.err, "");
  EXPECT_EQ(Replaced(Replaced(shown, "\r", ""), (dir / "tty").string(), (dir / "pipe").string())
                .find(pipe.out.substr(0, pipe.out.find('\n'))),
            0u);
  size_t lines = 0;
  for (char c : pipe.out) lines += c == '\n';
  EXPECT_EQ(lines, kDrawings + 1u);
  EXPECT_NE(pipe.out.find("\xE5\xA4\x89\xE6\x8F\x9B\xE5\xAE\x8C\xE4\xBA\x86(150)\n"),
            std::string::npos);  // 変換完了(150)
}

}  // namespace
