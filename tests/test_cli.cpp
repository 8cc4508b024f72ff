// The command line as a user runs it: the example drawing, dry runs, real runs and bad options.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "jww/builder.h"
#include "jww/document.h"
#include "tests/fixtures.h"

using kelvane::testing::TempDir;

namespace {

struct Result {
  int status;
  std::string out;
};

// Runs kelvane with the arguments (already quoted for the shell); stderr joins stdout.
Result Kelvane(const std::string& args) {
  std::string command = std::string(KELVANE_EXE) + " " + args + " 2>&1";
  FILE* p = popen(command.c_str(), "r");
  Result r{-1, ""};
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::string Q(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

std::set<std::string> Files(const std::filesystem::path& dir) {
  std::set<std::string> names;
  for (auto& e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

TEST(CommandLine, DryRunNamesExactlyTheFilesTheRunWrites) {
  TempDir dir;
  ASSERT_EQ(Kelvane("--make-example " + Q(dir.path())).status, 0);
  const auto example = dir / "example.jww";
  std::filesystem::create_directories(dir / "out");
  const std::string options = "--settings " + Q(dir / "none.dat") + " -o " + Q(dir / "out") +
                              " --pattern 4 --separator - --leading-zeros --start 8 --compact --frame --margin 2.5 ";
  Result dry = Kelvane("--dry-run " + options + Q(example));
  ASSERT_EQ(dry.status, 0) << dry.out;
  EXPECT_TRUE(Files(dir / "out").empty());
  Result real = Kelvane(options + Q(example));
  ASSERT_EQ(real.status, 0) << real.out;
  std::set<std::string> announced;
  const std::string marker = ", file " + (dir / "out").string() + "/";
  for (size_t at = dry.out.find(marker); at != std::string::npos; at = dry.out.find(marker, at + 1)) {
    size_t end = dry.out.find('\n', at);
    announced.insert(dry.out.substr(at + marker.size(), end - at - marker.size()));
  }
  EXPECT_EQ(announced, Files(dir / "out"));
  EXPECT_EQ(announced.size(), 6u);  // six frames, one empty, one with two sheets
  EXPECT_TRUE(announced.count("example-08-1-1F\xE5\xB9\xB3\xE9\x9D\xA2\xE5\x9B\xB3.jww"));             // 1F平面図
  EXPECT_NE(real.out.find("\xE5\xA4\x89\xE6\x8F\x9B\xE5\xAE\x8C\xE4\xBA\x86(1)"), std::string::npos);  // 変換完了(1)
  for (const auto& name : announced) {
    kelvane::JwwDocument sheet;
    EXPECT_TRUE(sheet.LoadFromFile(dir / "out" / name)) << name;
    EXPECT_EQ(sheet.header.version, 700);
  }
}

TEST(CommandLine, PlainPathsSplitBesideTheSourceAndSucceed) {
  TempDir dir;
  ASSERT_EQ(Kelvane("--make-example " + Q(dir.path())).status, 0);
  // What a killed run left goes; a name of another pattern stays.
  std::ofstream(dir / ".kv-0123abcd.tmp") << "partial sheet";
  std::filesystem::last_write_time(dir / ".kv-0123abcd.tmp",
                                   std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  std::ofstream(dir / ".kv-notours.tmp") << "someone else's";
  Result r = Kelvane(Q(dir / "example.jww") + " " + Q(dir / "missing.jww"));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(Files(dir.path()).size(), 1u + 6u + 1u);  // the source, its six sheets, the other file
  EXPECT_EQ(Files(dir.path()).count(".kv-0123abcd.tmp"), 0u);
  Result none = Kelvane(Q(dir / "missing.jww"));
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.out.find("no drawing to convert"), std::string::npos);
}

// The version comes from the build's one version alone on the first line, then the libraries
// actually loaded, each with a dotted version.
TEST(CommandLine, VersionNamesItselfAndTheLibrariesItRunsWith) {
  Result r = Kelvane("--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "kelvane " KELVANE_VERSION);
  for (const char* library : {"cairo ", "pango ", "zlib "}) {
    const size_t at = r.out.find(library);
    ASSERT_NE(at, std::string::npos) << library << " in " << r.out;
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(r.out[at + std::strlen(library)]))) << r.out;
  }
  EXPECT_NE(r.out.find("MIT License"), std::string::npos);
}

TEST(CommandLine, UnusableOptionsAreRefusedWithAReason) {
  TempDir dir;
  ASSERT_EQ(Kelvane("--make-example " + Q(dir.path())).status, 0);
  const std::string file = Q(dir / "example.jww");
  for (const char* bad :
       {"--pattern 7", "--pattern x", "--start 10000", "--start -1", "--direction up", "--margin 101", "--margin abc",
        "--separator a.b", "--separator ' '", "--separator 123456789", "--no-such-option", "-o /nonexistent/folder"}) {
    Result r = Kelvane(std::string(bad) + " " + file);
    EXPECT_EQ(r.status, 2) << bad << ": " << r.out;
    EXPECT_NE(r.out.find("kelvane:"), std::string::npos) << bad;
  }
  EXPECT_EQ(Kelvane("").status, 2);
  EXPECT_EQ(Kelvane("--help").status, 0);
}

TEST(CommandLine, InfoDescribesTheDrawingAndItsFailure) {
  TempDir dir;
  ASSERT_EQ(Kelvane("--make-example " + Q(dir.path())).status, 0);
  Result info = Kelvane("--info " + Q(dir / "example.jww"));
  EXPECT_EQ(info.status, 0);
  for (const char* key : {"\"version\":700", "\"loaded\":true", "\"strings\":\"unicode\"", "\"blockDefs\":2",
                          "\"usedBlockDefs\":2", "{\"name\":\"logo.bmp\",\"size\":822}"})
    EXPECT_NE(info.out.find(key), std::string::npos) << key << " in " << info.out;
  auto bytes = kelvane::testing::ReadBytes(dir / "example.jww");
  bytes.resize(bytes.size() / 2);
  kelvane::testing::WriteBytes(dir / "cut.jww", bytes);
  Result cut = Kelvane("--info " + Q(dir / "cut.jww"));
  EXPECT_EQ(cut.status, 1);
  EXPECT_NE(cut.out.find("\"loaded\":false"), std::string::npos);
  EXPECT_NE(cut.out.find("\"error\":{\"offset\":"), std::string::npos);
  Result rt = Kelvane("--roundtrip " + Q(dir / "example.jww") + " " + Q(dir / "copy.jww"));
  EXPECT_EQ(rt.status, 0) << rt.out;
  EXPECT_EQ(kelvane::testing::ReadBytes(dir / "copy.jww"), kelvane::testing::ReadBytes(dir / "example.jww"));
  EXPECT_EQ(Kelvane("--roundtrip " + Q(dir / "cut.jww") + " " + Q(dir / "x.jww")).status, 1);
}

TEST(CommandLine, ThePrivateImageFolderIsGoneWhenTheProgramEnds) {
  TempDir dir, temp;
  ASSERT_EQ(Kelvane("--make-example " + Q(dir.path())).status, 0);
  std::filesystem::create_directories(dir / "out");
  // The example embeds an image, so the run makes its private folder under TMPDIR.
  const std::string env = "TMPDIR=" + Q(temp.path()) + " ";
  FILE* p = popen((env + KELVANE_EXE + " --settings " + Q(dir / "none.dat") + " -o " + Q(dir / "out") + " " +
                   Q(dir / "example.jww") + " >/dev/null 2>&1")
                      .c_str(),
                  "r");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(pclose(p), 0);
  EXPECT_TRUE(std::filesystem::is_empty(temp.path()));
  EXPECT_FALSE(Files(dir / "out").empty());
}

TEST(CommandLine, AFailedSheetIsReportedAndTheExitStatusSaysSo) {
  TempDir dir;
  ASSERT_EQ(Kelvane("--make-example " + Q(dir.path())).status, 0);
  // Pattern 5 names the first sheet "1F平面図"; a folder of that name is in the way.
  std::filesystem::create_directories(dir / "out" / "1F\xE5\xB9\xB3\xE9\x9D\xA2\xE5\x9B\xB3.jww");
  Result r =
      Kelvane("--settings " + Q(dir / "none.dat") + " -o " + Q(dir / "out") + " --pattern 5 " + Q(dir / "example.jww"));
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("could not be written"), std::string::npos) << r.out;
  EXPECT_GE(Files(dir / "out").size(), 5u);  // the other sheets were written
}

// Under a file-size limit a sheet too large fails with its reason, not by a signal: the run
// ends with exit 1 and a message, and the small report is still written.
TEST(CommandLine, AFileSizeLimitFailsTheSheetsAloudAndTheReportIsWritten) {
  TempDir dir;
  ASSERT_EQ(Kelvane("--make-example " + Q(dir.path())).status, 0);
  std::filesystem::create_directories(dir / "out");
  // The example's sheets are about 22 KB each, its report a few KB; 16 blocks are 8 KB (dash)
  // or 16 KB (bash).
  Result r = Kelvane("--help >/dev/null; ulimit -f 16; exec " + std::string(KELVANE_EXE) + " --settings " +
                     Q(dir / "none.dat") + " -o " + Q(dir / "out") + " --report " + Q(dir / "report.json") + " " +
                     Q(dir / "example.jww"));
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("File too large"), std::string::npos) << r.out;
  EXPECT_TRUE(Files(dir / "out").empty());
  std::ifstream report(dir / "report.json");
  const std::string json((std::istreambuf_iterator<char>(report)), {});
  EXPECT_NE(json.find("\"failed\""), std::string::npos) << json;
}

// The desktop folder comes from user-dirs.dirs only when that is a regular file of a sane size:
// a FIFO there must not hang the run, a link to an endless device must not grow its memory.
TEST(CommandLine, UserDirsIsReadOnlyWhenItIsARegularFileOfSaneSize) {
  TempDir dir;
  ASSERT_EQ(Kelvane("--make-example " + Q(dir.path())).status, 0);
  const std::filesystem::path home = dir / "home", config = dir / "config", dirs = config / "user-dirs.dirs";
  std::filesystem::create_directories(home / "Desktop");
  std::filesystem::create_directories(home / "Schreibtisch");
  std::filesystem::create_directories(config);
  std::ofstream(dir / "desktop.dat") << "0\n0\n1\n0\n0\n0\n\n-\n0\n0\n1\n0\n";
#if defined(__SANITIZE_ADDRESS__)
  const std::string limit;  // AddressSanitizer reserves terabytes of address space up front
#else
  const std::string limit = "ulimit -v 1000000; ";
#endif
  const std::string run = "--help >/dev/null; export HOME=" + Q(home) + " XDG_CONFIG_HOME=" + Q(config) + "; " + limit +
                          "timeout 20 " +
                          KELVANE_EXE + " --settings " + Q(dir / "desktop.dat") + " " + Q(dir / "example.jww");
  auto sheetsIn = [&](const std::filesystem::path& folder) {
    size_t n = 0;
    for (const std::string& name : Files(folder)) n += name.size() > 4 && name.compare(name.size() - 4, 4, ".jww") == 0;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return n;
  };

  std::ofstream(dirs) << "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n";
  Result r = Kelvane(run);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(sheetsIn(home / "Schreibtisch"), 6u);

  std::filesystem::remove(dirs);
  ASSERT_EQ(mkfifo(dirs.c_str(), 0600), 0);
  r = Kelvane(run);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(sheetsIn(home / "Desktop"), 6u);

  std::filesystem::remove(dirs);
  std::filesystem::create_symlink("/dev/zero", dirs);
  r = Kelvane(run);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(sheetsIn(home / "Desktop"), 6u);
  // Read as lines, the zeros grew one line until the 1 GB address limit refused it.
  rusage children{};
  ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &children), 0);
  EXPECT_LT(children.ru_maxrss, 256 * 1024) << "kB at the most of a run";
}

}  // namespace

namespace {

// The files a dry run announces under a folder, and the lines it says are not written.
std::set<std::string> Announced(const std::string& out, const std::filesystem::path& folder) {
  std::set<std::string> names;
  const std::string marker = ", file " + folder.string() + "/";
  for (size_t at = out.find(marker); at != std::string::npos; at = out.find(marker, at + 1)) {
    size_t end = out.find('\n', at);
    names.insert(out.substr(at + marker.size(), end - at - marker.size()));
  }
  return names;
}

}  // namespace

// An input split earlier in the run, and the output folder reached through a link to the
// inputs' folder: the sheet named 設備 would replace 設備.jww. Neither input changes; the dry run
// says exactly what the real run then does, and both end with status 1.
TEST(CommandLine, NoSheetReplacesAnInputOfTheRunAndTheDryRunSaysSo) {
  TempDir dir;
  ASSERT_EQ(Kelvane("--make-example " + Q(dir.path())).status, 0);
  const auto example = dir / "example.jww";
  const std::string equipment = "\xE8\xA8\xAD\xE5\x82\x99";  // 設備
  const auto first = dir / (equipment + ".jww");
  std::filesystem::copy_file(example, first);
  std::filesystem::create_directory_symlink(dir.path(), dir / "link");
  const auto before = kelvane::testing::ReadBytes(example);
  const std::string options = "--settings " + Q(dir / "none.dat") + " --pattern 5 -o " + Q(dir / "link") + " ";

  Result dry = Kelvane("--dry-run " + options + Q(first) + " " + Q(example));
  EXPECT_EQ(dry.status, 1) << dry.out;
  const std::set<std::string> files = Files(dir.path());
  Result real = Kelvane(options + Q(first) + " " + Q(example));
  EXPECT_EQ(real.status, 1) << real.out;
  EXPECT_EQ(kelvane::testing::ReadBytes(first), before);
  EXPECT_EQ(kelvane::testing::ReadBytes(example), before);

  const std::string skipped = "\xE5\x85\xA5\xE5\x8A\x9B\xE5\x9B\xB3\xE9\x9D\xA2";  // 入力図面 (と同じファイルには…)
  EXPECT_NE(real.out.find(skipped), std::string::npos) << real.out;
  EXPECT_NE(dry.out.find(skipped), std::string::npos) << dry.out;
  std::set<std::string> written;
  for (const auto& name : Files(dir.path()))
    if (!files.count(name)) written.insert(name);
  EXPECT_EQ(Announced(dry.out, dir / "link"), written);
  EXPECT_FALSE(written.empty());
  // The second drawing's sheets meet the first's names: renamed, never replaced.
  EXPECT_TRUE(written.count("1F\xE5\xB9\xB3\xE9\x9D\xA2\xE5\x9B\xB3~2.jww")) << dry.out;
}

// A FIFO named like a drawing is not opened (it would stall the run); the drawings after it split.
TEST(CommandLine, AFifoAmongTheInputsFailsWithoutStalling) {
  TempDir dir;
  ASSERT_EQ(Kelvane("--make-example " + Q(dir.path())).status, 0);
  const auto fifo = dir / "fifo.jww";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directories(dir / "out");
  Result r = Kelvane("--settings " + Q(dir / "none.dat") + " -o " + Q(dir / "out") + " " + Q(fifo) + " " +
                     Q(dir / "example.jww"));
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("not a regular file"), std::string::npos) << r.out;
  EXPECT_EQ(Files(dir / "out").size(), 6u);
}

namespace {

// A Jw_cad 8 drawing of four frames named by hostile name texts, each frame holding a line.
void WriteHostileDrawing(const std::filesystem::path& file) {
  kelvane::JwwDocument doc;
  kelvane::InitDrawing(doc, 700, true);
  kelvane::Attr frame;
  frame.penColor = 9, frame.penStyle = 19, frame.penWidth = 200;
  std::u16string longName;
  for (int i = 0; i < 80; ++i) longName += u"\u3042";  // 240 bytes in UTF-8
  const std::u16string names[] = {u"a\xD800", u"CON", longName, u"a\x01" u"b"};
  for (int k = 0; k < 4; ++k) {
    const double x = k * 300;
    kelvane::AddLine(doc, x, 0, x + 297, 0, frame);
    kelvane::AddLine(doc, x + 297, 0, x + 297, 210, frame);
    kelvane::AddLine(doc, x + 297, 210, x, 210, frame);
    kelvane::AddLine(doc, x, 210, x, 0, frame);
    kelvane::AddLine(doc, x + 10, 10, x + 20, 20);
    kelvane::Attr name;
    name.penColor = 9;
    const int32_t t = kelvane::AddText(doc, x + 10, 100, kelvane::JwwString::Wide(u"【名】" + names[k]), name);
    doc.texts[size_t(t)].textType = 0;
  }
  doc.NormaliseBlocks();
  ASSERT_TRUE(doc.SaveToFile(file, 700));
}

}  // namespace

// Crafted names, a truncated drawing and a drawing given as the settings file: no crash, each
// fault said aloud with exit status 1 (2 for the settings file), and the rest of the run split.
TEST(CommandLine, HostileInputsFailAloudAndTheRestOfTheRunSplits) {
  TempDir dir;
  ASSERT_EQ(Kelvane("--make-example " + Q(dir.path())).status, 0);
  const auto hostile = dir / "hostile.jww";
  WriteHostileDrawing(hostile);
  auto bytes = kelvane::testing::ReadBytes(dir / "example.jww");
  bytes.resize(bytes.size() / 2);
  kelvane::testing::WriteBytes(dir / "half.jww", bytes);
  std::filesystem::create_directories(dir / "out");
  const std::string options = "--settings " + Q(dir / "none.dat") + " --pattern 5 -o " + Q(dir / "out") + " ";

  // The lone surrogate decides nothing where the name is not used.
  Result plain = Kelvane("--dry-run --settings " + Q(dir / "none.dat") + " --pattern 0 -o " + Q(dir / "out") + " " +
                         Q(hostile));
  EXPECT_EQ(plain.status, 0) << plain.out;

  // A file name with a control character is shown escaped, never raw.
  const auto control = dir / "c\x01.jww";
  std::filesystem::copy_file(hostile, control);
  Result r = Kelvane(options + Q(dir / "half.jww") + " " + Q(control) + " " + Q(dir / "example.jww"));
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("half.jww ("), std::string::npos) << r.out;  // the drawing and its reason
  EXPECT_EQ(r.out.find('\x01'), std::string::npos) << "a control character reached the terminal";
  EXPECT_NE(r.out.find("c\\x01.jww"), std::string::npos) << r.out;
  const std::set<std::string> written = Files(dir / "out");
  std::string longName;
  for (int i = 0; i < 80; ++i) longName += "\xE3\x81\x82";
  EXPECT_TRUE(written.count(longName + ".jww")) << "a 240-byte name must be saved";
  EXPECT_TRUE(written.count("ab.jww"));  // the name text's control character is filtered out
  EXPECT_EQ(written.size(), 2u + 6u);   // and the example's six sheets; no CON, no lone surrogate
  for (const auto& name : written) EXPECT_EQ(name.find(".kv-"), std::string::npos) << name;

  // A drawing named as the settings file is refused before anything is split, and stays as it was.
  const auto before = kelvane::testing::ReadBytes(hostile);
  Result s = Kelvane("--settings " + Q(hostile) + " -o " + Q(dir / "out") + " " + Q(dir / "example.jww"));
  EXPECT_EQ(s.status, 2) << s.out;
  EXPECT_NE(s.out.find("not a settings file"), std::string::npos) << s.out;
  EXPECT_EQ(kelvane::testing::ReadBytes(hostile), before);
}
