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

#include "tests/fixtures.h"

using kelvane::testing::ReadBytes;
using kelvane::testing::TempDir;

namespace {

struct Result {
  int status = -1;
  std::string out;  // standard output and standard error
};

// Runs kelvane in a child. A file size limit, when given, makes every write beyond it fail
// with EFBIG, as a full disk would (SIGXFSZ is ignored so that the write reports it).
Result Kelvane(const std::vector<std::string>& args, rlim_t fileSizeLimit = RLIM_INFINITY) {
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
    std::vector<char*> argv{const_cast<char*>(KELVANE_EXE)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(KELVANE_EXE, argv.data());
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
  const std::regex date("/(CreationDate|ModDate) \\(D:[^)]*\\)");
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
