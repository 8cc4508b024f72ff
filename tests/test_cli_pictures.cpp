// Pictures from the command line as an unlucky user or an attacker meets them: names that are
// links to the input, a full disk, a run killed while it writes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "jww/builder.h"
#include "jww/document.h"
#include "tests/fixtures.h"

using kelvane::testing::CommandOutput;
using kelvane::testing::ReadBytes;
using kelvane::testing::TempDir;

namespace {

struct Result {
  int status = -1;
  std::string out;  // standard output and standard error
};

// Runs kelvane in a child. A file size limit, when given, makes every write beyond it fail
// with EFBIG, as a full disk would (SIGXFSZ is ignored so that the write reports it).
Result Kelvane(const std::vector<std::string>& args, rlim_t fileSizeLimit = RLIM_INFINITY,
               const std::string& program = KELVANE_EXE) {
  int pipeFds[2];
  Result r;
  if (pipe(pipeFds) != 0) return r;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFds[1], 1);
    dup2(pipeFds[1], 2);
    close(pipeFds[0]);
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{fileSizeLimit, fileSizeLimit};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  char buf[4096];
  for (ssize_t n; (n = read(pipeFds[0], buf, sizeof buf)) > 0;) r.out.append(buf, size_t(n));
  close(pipeFds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// The temporary files of kelvane's own naming in a folder.
std::set<std::string> Temporaries(const std::filesystem::path& dir) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().filename().string().rfind(".kv-", 0) == 0) names.insert(e.path().filename().string());
  return names;
}

std::filesystem::path Example(const TempDir& dir) {
  EXPECT_EQ(Kelvane({"--make-example", dir.path().string()}).status, 0);
  return dir / "example.jww";
}

bool Says(const Result& r, const std::string& text) { return r.out.find(text) != std::string::npos; }

}  // namespace

// --render and --plan to a symbolic or hard link to the drawing, and a split whose sheet PDF
// name is a link to the drawing: each picture is refused, the run fails, the drawing is intact.
TEST(CommandLinePictures, NoPictureReplacesTheInputThroughALink) {
  TempDir dir;
  const auto example = Example(dir);
  const auto before = ReadBytes(example);
  std::filesystem::create_symlink(example, dir / "soft.png");
  std::filesystem::create_hard_link(example, dir / "hard.pdf");
  const std::string settings = (dir / "none.dat").string();
  for (const char* name : {"soft.png", "hard.pdf"}) {
    const std::string picture = (dir / name).string();
    const Result render = Kelvane({"--render", example.string(), picture});
    EXPECT_EQ(render.status, 1) << render.out;
    EXPECT_TRUE(Says(render, "picture not written: it would replace an input")) << render.out;
    const Result plan = Kelvane({"--plan", picture, example.string(), "--settings", settings});
    EXPECT_EQ(plan.status, 1) << plan.out;
    EXPECT_TRUE(Says(plan, "picture not written: it would replace an input")) << plan.out;
    EXPECT_EQ(ReadBytes(example), before) << name;
  }
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "soft.png"));

  // Pattern 5 names the first sheet 1F平面図.
  std::filesystem::create_directories(dir / "out");
  const auto sheetPdf = dir / "out" / "1F\xE5\xB9\xB3\xE9\x9D\xA2\xE5\x9B\xB3.pdf";
  std::filesystem::create_symlink(example, sheetPdf);
  const Result split = Kelvane({"--pdf", "--pattern", "5", "--settings", settings, "-o", (dir / "out").string(),
                                example.string()});
  EXPECT_EQ(split.status, 1) << split.out;
  EXPECT_TRUE(Says(split, sheetPdf.string() + ": picture not written")) << split.out;
  EXPECT_EQ(ReadBytes(example), before);
  EXPECT_TRUE(std::filesystem::is_symlink(sheetPdf));
  EXPECT_TRUE(std::filesystem::exists(dir / "out" / "1F\xE5\xB9\xB3\xE9\x9D\xA2\xE5\x9B\xB3.jww"));
  EXPECT_TRUE(Temporaries(dir / "out").empty());
}

// Writes that fail as on a full disk: exit 1 with the system's reason, the earlier picture kept
// whole, no temporary file left, in every format.
TEST(CommandLinePictures, AFullDiskFailsAloudAndKeepsTheEarlierPicture) {
  TempDir dir;
  const auto example = Example(dir);
  for (const char* name : {"full.png", "full.pdf", "full.svg"}) {
    const std::string picture = (dir / name).string();
    ASSERT_EQ(Kelvane({"--render", example.string(), picture}).status, 0) << name;
    const auto before = ReadBytes(picture);
    ASSERT_GT(before.size(), 2000u) << name;
    const Result full = Kelvane({"--render", example.string(), picture, "--color"}, 1000);
    EXPECT_EQ(full.status, 1) << name << full.out;
    EXPECT_TRUE(Says(full, "picture not written: write failed: File too large")) << full.out;
    EXPECT_EQ(ReadBytes(picture), before) << name;
  }
  EXPECT_TRUE(Temporaries(dir.path()).empty());
}

// A picture's bytes without the time a PDF was made, which a run that finished before the kill
// wrote anew.
std::vector<uint8_t> Undated(std::vector<uint8_t> bytes) {
  std::string text(bytes.begin(), bytes.end());
  const std::regex date("/(CreationDate|ModDate) ?\\(D:[^)]*\\)");
  text = std::regex_replace(text, date, "/$1 ()");
  return std::vector<uint8_t>(text.begin(), text.end());
}

// Killed at random points while writing, a run leaves the complete earlier picture at the name
// and at most its temporary file, which the next run writing there removes; a name of the same
// pattern that is a link, or one of another pattern, is not kelvane's to remove.
TEST(CommandLinePictures, AKilledRunNeverLeavesAPartialPicture) {
  TempDir dir;
  const auto example = Example(dir);
  std::mt19937 random(17);
  for (const char* name : {"killed.png", "killed.pdf"}) {
    const std::string picture = (dir / name).string();
    const std::vector<std::string> args{"--render", example.string(), picture};
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Kelvane(args).status, 0);
    const auto runTime = std::chrono::steady_clock::now() - start;
    const auto whole = Undated(ReadBytes(picture));
    for (int kill = 0; kill < 6; ++kill) {
      const pid_t pid = fork();
      if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execv(KELVANE_EXE, std::vector<char*>{const_cast<char*>(KELVANE_EXE), const_cast<char*>(args[0].c_str()),
                                              const_cast<char*>(args[1].c_str()), const_cast<char*>(args[2].c_str()),
                                              nullptr}
                               .data());
        _exit(127);
      }
      std::this_thread::sleep_for(runTime * std::uniform_real_distribution<double>(0.2, 1.0)(random));
      ::kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      EXPECT_EQ(Undated(ReadBytes(picture)), whole) << name << " after kill " << kill;
    }
  }
  std::filesystem::create_symlink(example, dir / ".kv-0000abcd.tmp");
  std::ofstream(dir / ".kv-other.tmp") << "not kelvane's";
  ASSERT_EQ(Kelvane({"--render", example.string(), (dir / "after.png").string()}).status, 0);
  EXPECT_EQ(Temporaries(dir.path()), (std::set<std::string>{".kv-0000abcd.tmp", ".kv-other.tmp"}));
}

namespace {

// Every "Page N size: W x H" of pdfinfo, in page order; a one-page file's "Page size:" too.
std::vector<std::string> PageSizes(const std::filesystem::path& pdf) {
  const std::string info = CommandOutput("pdfinfo -f 1 -l 999 '" + pdf.string() + "' 2>&1");
  std::vector<std::string> sizes;
  const std::regex size(R"(Page +(\d+ +)?size: +([0-9.]+ x [0-9.]+))");
  for (auto it = std::sregex_iterator(info.begin(), info.end(), size); it != std::sregex_iterator(); ++it)
    sizes.push_back((*it)[2]);
  return sizes;
}

// The outline's titles in order, as qpdf reads them.
std::vector<std::string> Outline(const std::filesystem::path& pdf) {
  const std::string json = CommandOutput("qpdf --json=2 --json-key=outlines '" + pdf.string() + "' 2>&1");
  std::vector<std::string> titles;
  const std::regex title(R"re("title": "([^"]*)")re");
  for (auto it = std::sregex_iterator(json.begin(), json.end(), title); it != std::sregex_iterator(); ++it)
    titles.push_back((*it)[1]);
  return titles;
}

}  // namespace

// The example's set: a page per written sheet in sheet order, each the size of the sheet's own
// PDF and holding its texts, one outline entry per page; the plan first when asked for.
TEST(CommandLinePictures, APdfSetHoldsEverySheetOnItsOwnPaper) {
  TempDir dir;
  const auto example = Example(dir);
  const std::string settings = (dir / "none.dat").string();
  const auto out = dir / "out";
  std::filesystem::create_directories(out);
  const Result split = Kelvane({"--pdf", "--pdf-set", "--settings", settings, "-o", out.string(), example.string()});
  ASSERT_EQ(split.status, 0) << split.out;
  const std::vector<std::string> sheets{"0-1_example", "0-2_example", "1_example",
                                        "2_example",   "3_example",   "5_example"};
  const auto set = out / "example.pdf";
  const std::vector<std::string> sizes = PageSizes(set);
  ASSERT_EQ(sizes.size(), sheets.size()) << CommandOutput("pdfinfo '" + set.string() + "'");
  for (size_t i = 0; i < sheets.size(); ++i)
    EXPECT_EQ(sizes[i], PageSizes(out / (sheets[i] + ".pdf")).at(0)) << sheets[i];
  EXPECT_NE(sizes[2], sizes[3]);
  const auto pageText = [&](size_t page) {
    return CommandOutput("pdftotext -f " + std::to_string(page) + " -l " + std::to_string(page) + " '" + set.string() + "' -");
  };
  for (size_t i = 0; i < sheets.size(); ++i)
    EXPECT_EQ(pageText(i + 1), CommandOutput("pdftotext '" + (out / (sheets[i] + ".pdf")).string() + "' -")) << sheets[i];
  const std::vector<std::string> outline = Outline(set);
  ASSERT_EQ(outline.size(), sheets.size());
  EXPECT_EQ(outline[0], "0-1 1F\xE5\xB9\xB3\xE9\x9D\xA2\xE5\x9B\xB3");  // 0-1 1F平面図
  EXPECT_EQ(outline[5], "5 5_example");

  const Result withPlan = Kelvane({"--pdf-set-plan", "--settings", settings, "-o", out.string(), example.string()});
  ASSERT_EQ(withPlan.status, 0) << withPlan.out;
  const std::vector<std::string> planned = PageSizes(set);
  ASSERT_EQ(planned.size(), sheets.size() + 1);
  EXPECT_NE(planned[0], sizes[0]);
  EXPECT_EQ(std::vector<std::string>(planned.begin() + 1, planned.end()), sizes);
  EXPECT_EQ(Outline(set).size(), sheets.size() + 1);
}

// A set whose name is an input of the run (here a link to the drawing) or a PDF the run wrote
// is refused: exit 1, the sheets written, the input and that PDF intact. A dry run writes none.
TEST(CommandLinePictures, APdfSetNeverReplacesAnInput) {
  TempDir dir;
  const auto example = Example(dir);
  const auto before = ReadBytes(example);
  const std::string settings = (dir / "none.dat").string();
  std::filesystem::create_directories(dir / "out");
  std::filesystem::create_symlink(example, dir / "out" / "example.pdf");
  const Result split = Kelvane({"--pdf-set", "--settings", settings, "-o", (dir / "out").string(), example.string()});
  EXPECT_EQ(split.status, 1) << split.out;
  EXPECT_TRUE(Says(split, (dir / "out" / "example.pdf").string() + ": picture not written: it would replace an input"))
      << split.out;
  EXPECT_EQ(ReadBytes(example), before);
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "out" / "example.pdf"));
  EXPECT_TRUE(std::filesystem::exists(dir / "out" / "1_example.jww"));
  EXPECT_TRUE(Temporaries(dir / "out").empty());

  // The set of 1_example.jww would replace the PDF of example.jww's sheet 1_example.
  std::filesystem::remove(dir / "out" / "example.pdf");
  std::filesystem::copy_file(example, dir / "1_example.jww");
  const Result two = Kelvane({"--pdf", "--pdf-set", "--settings", settings, "-o", (dir / "out").string(),
                              example.string(), (dir / "1_example.jww").string()});
  EXPECT_EQ(two.status, 1) << two.out;
  EXPECT_TRUE(Says(two, "1_example.pdf: picture not written: it would replace a file written by this run")) << two.out;
  EXPECT_EQ(PageSizes(dir / "out" / "1_example.pdf").size(), 1u);
  EXPECT_EQ(PageSizes(dir / "out" / "example.pdf").size(), 6u);
  EXPECT_TRUE(std::filesystem::exists(dir / "out" / "1_1_example.jww"));

  // The other way round: 1_example.jww's set comes first, and example.jww's sheet 1_example
  // gets its PNG but not its PDF.
  const Result reversed = Kelvane({"--pdf", "--png", "--pdf-set", "--settings", settings, "-o", (dir / "out").string(),
                                   (dir / "1_example.jww").string(), example.string()});
  EXPECT_EQ(reversed.status, 1) << reversed.out;
  EXPECT_TRUE(Says(reversed, "1_example.pdf: picture not written: it would replace a file written by this run"))
      << reversed.out;
  EXPECT_EQ(PageSizes(dir / "out" / "1_example.pdf").size(), 6u);
  EXPECT_TRUE(std::filesystem::exists(dir / "out" / "1_example.png"));

  const Result dry = Kelvane({"--pdf-set", "--dry-run", "--settings", settings, example.string()});
  EXPECT_EQ(dry.status, 0) << dry.out;
  EXPECT_FALSE(std::filesystem::exists(dir / "example.pdf"));
}

// A program whose picture module is missing still splits; every picture it was asked for fails
// aloud (exit 1) instead of being skipped, and --version says why there are none.
TEST(CommandLinePictures, WithoutItsPictureModuleTheProgramSplitsAndSaysWhyNoPictureIsDrawn) {
  TempDir dir;
  const auto example = Example(dir);
  const auto program = dir / "bin" / "kelvane";
  std::filesystem::create_directories(program.parent_path());
  std::filesystem::copy_file(KELVANE_EXE, program);
  const std::string settings = (dir / "none.dat").string();
  const auto out = dir / "out";
  std::filesystem::create_directories(out);
  const std::string folders = " is neither in " + program.parent_path().string() + " nor in " +
                              (dir / KELVANE_PICTURE_MODULE_DIR).string();
  const std::string missing = "picture not written: the picture module kelvane-pictures.so" + folders;
  const std::string missingPdf = "picture not written: the picture module kelvane-pdf.so" + folders;

  const Result split = Kelvane({"--settings", settings, "-o", out.string(), example.string()}, RLIM_INFINITY, program);
  EXPECT_EQ(split.status, 0) << split.out;
  EXPECT_TRUE(std::filesystem::exists(out / "1_example.jww"));

  const Result pictures = Kelvane({"--png", "--pdf-set", "--settings", settings, "-o", out.string(), example.string()},
                                  RLIM_INFINITY, program);
  EXPECT_EQ(pictures.status, 1) << pictures.out;
  EXPECT_TRUE(Says(pictures, "kelvane: " + (out / "1_example.png").string() + ": " + missing)) << pictures.out;
  EXPECT_TRUE(Says(pictures, "kelvane: " + (out / "example.pdf").string() + ": " + missingPdf)) << pictures.out;
  EXPECT_TRUE(std::filesystem::exists(out / "1_example.jww"));
  EXPECT_FALSE(std::filesystem::exists(out / "1_example.png"));
  EXPECT_FALSE(std::filesystem::exists(out / "example.pdf"));

  const Result render = Kelvane({"--render", example.string(), (dir / "whole.png").string()}, RLIM_INFINITY, program);
  EXPECT_EQ(render.status, 1) << render.out;
  EXPECT_TRUE(Says(render, (dir / "whole.png").string() + ": " + missing)) << render.out;
  const Result plan = Kelvane({"--plan", (dir / "plan.png").string(), "--settings", settings, example.string()},
                              RLIM_INFINITY, program);
  EXPECT_EQ(plan.status, 1) << plan.out;
  EXPECT_TRUE(Says(plan, "kelvane: " + (dir / "plan.png").string() + ": " + missing)) << plan.out;
  for (const Result* r : {&pictures, &render, &plan})  // said once each, never as an empty error
    EXPECT_FALSE(Says(*r, "kelvane: \n")) << r->out;

  const Result version = Kelvane({"--version"}, RLIM_INFINITY, program);
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(Says(version, "\nno pictures: the picture module kelvane-pictures.so is neither in ")) << version.out;
}

// A picture written without something of its drawing is a success whose warning must still be
// seen: --quiet keeps it, as the exit status alone does not tell it.
TEST(CommandLinePictures, AWarningThatSomethingWasLeftOutIsShownEvenWhenQuiet) {
  TempDir dir;
  kelvane::JwwDocument doc;
  kelvane::InitDrawing(doc, 700, true);
  kelvane::Attr frame;
  frame.penColor = 9, frame.penStyle = 19, frame.penWidth = 200;
  kelvane::AddLine(doc, 0, 0, 297, 0, frame);
  kelvane::AddLine(doc, 297, 0, 297, 210, frame);
  kelvane::AddLine(doc, 297, 210, 0, 210, frame);
  kelvane::AddLine(doc, 0, 210, 0, 0, frame);
  kelvane::AddLine(doc, 10, 10, 20, 20);
  kelvane::AddText(doc, 50, 50, kelvane::JwwString::Wide(u"^@BMmissing.bmp,40,30"));
  doc.NormaliseBlocks();
  ASSERT_TRUE(doc.SaveToFile(dir / "missing.jww", 700));
  std::filesystem::create_directories(dir / "out");
  for (const bool quiet : {false, true}) {
    std::vector<std::string> args{"--png", "--settings", (dir / "none.dat").string(), "-o", (dir / "out").string(),
                                  (dir / "missing.jww").string()};
    if (quiet) args.insert(args.begin(), "--quiet");
    const Result r = Kelvane(args);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Says(r, "0_missing.png: 1 image left out (1 not found or not readable)")) << quiet << "\n" << r.out;
  }
}

// A sheet's PDF is titled with the sheet's file name and a set with the drawing's; the drawing's
// layers are in both unless --no-pdf-layers.
TEST(CommandLinePictures, PdfsAreTitledAndCarryLayersUnlessAskedNot) {
  TempDir dir;
  const auto example = Example(dir);
  const std::string settings = (dir / "none.dat").string();
  const Result split = Kelvane({"--pdf", "--pdf-set", "--settings", settings, example.string()});
  ASSERT_EQ(split.status, 0) << split.out;
  const auto title = [](const std::filesystem::path& pdf) {
    const std::string info = CommandOutput("pdfinfo '" + pdf.string() + "'");
    std::smatch m;
    return std::regex_search(info, m, std::regex("Title: +([^\n]*)")) ? m[1].str() : std::string();
  };
  EXPECT_EQ(title(dir / "1_example.pdf"), "1_example.jww");
  EXPECT_EQ(title(dir / "example.pdf"), "example.jww");
  const auto hasLayers = [](const std::filesystem::path& pdf) {
    const std::vector<uint8_t> b = ReadBytes(pdf);
    return std::string(b.begin(), b.end()).find("/OCProperties") != std::string::npos;
  };
  EXPECT_TRUE(hasLayers(dir / "1_example.pdf"));
  const Result plain = Kelvane({"--pdf", "--no-pdf-layers", "--settings", settings, example.string()});
  ASSERT_EQ(plain.status, 0) << plain.out;
  EXPECT_FALSE(hasLayers(dir / "1_example.pdf"));
}
