// Printing for real: a private CUPS server of the suite's own (its configuration in a temporary
// folder, a free port on 127.0.0.1, a queue that writes to /dev/null and keeps every job's
// document) receives `kelvane --print`; the jobs it kept are the evidence. The system's printer
// configuration is never read or touched.
#include <cups/cups.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/services/posix/cups_print_service.h"
#include "tests/fixtures.h"

using kelvane::testing::ReadBytes;
using kelvane::testing::TempDir;

namespace {

const char kCupsd[] = "/usr/sbin/cupsd";
const char kLpadmin[] = "/usr/sbin/lpadmin";

struct Result {
  int status = -1;
  std::string out;  // standard output and standard error
};

// Runs a program with extra environment variables, waiting for it.
Result RunProgram(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {}) {
  int fds[2];
  Result r;
  if (pipe(fds) != 0) return r;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    dup2(fds[1], 2);
    close(fds[0]);
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(fds[1]);
  char buf[4096];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) r.out.append(buf, size_t(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// A port on 127.0.0.1 that nobody listens on right now.
int FreePort() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  close(s);
  return port;
}

bool Answers(int port) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(uint16_t(port));
  const bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(s);
  return ok;
}

void WriteText(const std::filesystem::path& file, const std::string& text) { std::ofstream(file) << text; }

// One job as the server kept it.
struct Job {
  int id = 0;
  std::string title, media, scaling;
  int orientation = 0;
  std::filesystem::path document;
};

// The private server, started once for the whole suite and stopped after it (also when a test
// fails; and with the suite's process, should that die).
class CupsServer {
 public:
  bool Start(std::string& why) {
    if (access(kCupsd, X_OK) != 0 || access(kLpadmin, X_OK) != 0) {
      why = "cupsd or lpadmin is not installed (packages cups, cups-client)";
      return false;
    }
    root_ = std::filesystem::temp_directory_path() / ("kelvane-cupsd-" + std::to_string(getpid()));
    std::filesystem::create_directories(root_);
    for (const char* sub : {"spool", "cache", "state", "tmp", "log"}) std::filesystem::create_directory(root_ / sub);
    // cupsd drops to its own user for some work: the folders must stay reachable.
    using std::filesystem::perms;
    std::filesystem::permissions(
        root_, perms::owner_all | perms::group_read | perms::group_exec | perms::others_read | perms::others_exec);
    std::filesystem::permissions(root_ / "tmp", perms::all | perms::sticky_bit);
    port_ = FreePort();
    WriteText(root_ / "cupsd.conf", "Listen 127.0.0.1:" + std::to_string(port_) +
                                        "\nLogLevel warn\nBrowsing No\nPreserveJobFiles Yes\nMaxJobs 0\n"
                                        "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                        "<Policy default>\n  <Limit All>\n    Order allow,deny\n    Allow all\n"
                                        "  </Limit>\n</Policy>\n");
    const std::string r = root_.string();
    WriteText(root_ / "cups-files.conf", "ServerRoot " + r + "\nRequestRoot " + r + "/spool\nCacheDir " + r +
                                             "/cache\nStateDir " + r + "/state\nTempDir " + r + "/tmp\nErrorLog " + r +
                                             "/log/error_log\nAccessLog " + r + "/log/access_log\nPageLog " + r +
                                             "/log/page_log\nFileDevice Yes\n");
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      execl(kCupsd, kCupsd, "-f", "-c", (r + "/cupsd.conf").c_str(), "-s", (r + "/cups-files.conf").c_str(), nullptr);
      _exit(127);
    }
    for (int i = 0; i < 200 && !Answers(port_); ++i) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = 0;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const std::string host = Server();
    const Result add = RunProgram({kLpadmin, "-h", host, "-p", "Sheets", "-E", "-v", "file:///dev/null"});
    const Result def = RunProgram({kLpadmin, "-h", host, "-d", "Sheets"});
    // Added without -E: a queue that exists but accepts no job.
    const Result refusing = RunProgram({kLpadmin, "-h", host, "-p", "Refusing", "-v", "file:///dev/null"});
    if (add.status != 0 || def.status != 0 || refusing.status != 0) {
      std::ifstream log(root_ / "log" / "error_log");
      const std::string logged((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
      error_ = "the private CUPS server did not take its queues: " + add.out + def.out + refusing.out + logged;
    }
    return true;
  }
  // Why the server installed could not be used, or empty.
  const std::string& Error() const { return error_; }

  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      pid_ = 0;
    }
    std::error_code ec;
    if (!root_.empty()) std::filesystem::remove_all(root_, ec);
  }

  std::string Server() const { return "127.0.0.1:" + std::to_string(port_); }

  // Every job of the queue so far, with what it asked for and the document it sent.
  std::vector<Job> Jobs() const {
    std::vector<Job> jobs;
    http_t* http = httpConnect2("127.0.0.1", port_, nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1, 5000, nullptr);
    if (!http) return jobs;
    cups_job_t* list = nullptr;
    const int n = cupsGetJobs2(http, &list, "Sheets", 0, CUPS_WHICHJOBS_ALL);
    for (int i = 0; i < n; ++i) {
      Job job;
      job.id = list[i].id;
      job.title = list[i].title;
      char spooled[32];
      std::snprintf(spooled, sizeof spooled, "d%05d-001", job.id);
      job.document = root_ / "spool" / spooled;
      ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
      const std::string uri = "ipp://localhost/jobs/" + std::to_string(job.id);
      ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
      if (ipp_t* answer = cupsDoRequest(http, request, "/jobs")) {
        if (ipp_attribute_t* a = ippFindAttribute(answer, "media", IPP_TAG_ZERO))
          job.media = ippGetString(a, 0, nullptr);
        if (ipp_attribute_t* a = ippFindAttribute(answer, "print-scaling", IPP_TAG_ZERO))
          job.scaling = ippGetString(a, 0, nullptr);
        if (ipp_attribute_t* a = ippFindAttribute(answer, "orientation-requested", IPP_TAG_ENUM))
          job.orientation = ippGetInteger(a, 0);
        ippDelete(answer);
      }
      jobs.push_back(job);
    }
    cupsFreeJobs(n, list);
    httpClose(http);
    return jobs;
  }

 private:
  std::filesystem::path root_;
  std::string error_;
  int port_ = 0;
  pid_t pid_ = 0;
};

// The page of a one-page PDF in whole millimetres, and its text.
struct Page {
  int pages = 0;
  long widthMm = 0, heightMm = 0;
  std::string text;
};

Page PageOf(const std::filesystem::path& pdf) {
  Page p;
  const Result info = RunProgram({"/usr/bin/pdfinfo", pdf.string()});
  double w = 0, h = 0;
  if (size_t at = info.out.find("Page size:"); at != std::string::npos)
    std::sscanf(info.out.c_str() + at, "Page size: %lf x %lf", &w, &h);
  if (size_t at = info.out.find("Pages:"); at != std::string::npos)
    std::sscanf(info.out.c_str() + at, "Pages: %d", &p.pages);
  p.widthMm = std::lround(w * 25.4 / 72);
  p.heightMm = std::lround(h * 25.4 / 72);
  p.text = RunProgram({"/usr/bin/pdftotext", pdf.string(), "-"}).out;
  return p;
}

std::set<std::filesystem::path> Files(const std::filesystem::path& dir, const std::string& extension) {
  std::set<std::filesystem::path> files;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().extension() == extension) files.insert(e.path());
  return files;
}

bool Says(const Result& r, const std::string& text) { return r.out.find(text) != std::string::npos; }

class CupsPrinting : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new CupsServer;
    if (!server_->Start(skipReason_)) server_->Stop();
  }
  static void TearDownTestSuite() {
    server_->Stop();
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    if (!skipReason_.empty()) GTEST_SKIP() << skipReason_;
    ASSERT_EQ(server_->Error(), "");
    ASSERT_EQ(RunProgram({KELVANE_EXE, "--make-example", dir_.path().string()}).status, 0);
    std::filesystem::create_directory(out_);
    std::filesystem::create_directory(temporary_);
  }
  // kelvane --print with the private server and a private temporary folder.
  Result Print(std::vector<std::string> options, const std::string& server = "") {
    std::vector<std::string> args{KELVANE_EXE, "--settings", settings_.string(), "-o", out_.string()};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back((dir_ / "example.jww").string());
    return RunProgram(args,
                      {{"CUPS_SERVER", server.empty() ? server_->Server() : server}, {"TMPDIR", temporary_.string()}});
  }
  // The jobs sent since `before` jobs were there.
  static std::vector<Job> NewJobs(size_t before) {
    std::vector<Job> jobs = server_->Jobs();
    jobs.erase(jobs.begin(), jobs.begin() + std::ptrdiff_t(std::min(before, jobs.size())));
    return jobs;
  }

  static CupsServer* server_;
  static std::string skipReason_;
  TempDir dir_;
  std::filesystem::path out_ = dir_ / "out", temporary_ = dir_ / "tmp", settings_ = dir_ / "none.dat";  // the defaults
};

CupsServer* CupsPrinting::server_ = nullptr;
std::string CupsPrinting::skipReason_;

// Every written sheet is one job on the default destination: one page of its frame's paper, the
// media and orientation asked for to match, scaling off, the sheet's texts in it. The PDF was a
// temporary one: none is left beside the sheets or in the temporary folder.
TEST_F(CupsPrinting, EverySheetIsOneJobOnItsOwnPaper) {
  const size_t before = server_->Jobs().size();
  const Result r = Print({"--print"});
  ASSERT_EQ(r.status, 0) << r.out;
  const std::set<std::filesystem::path> sheets = Files(out_, ".jww");
  const std::vector<Job> jobs = NewJobs(before);
  ASSERT_EQ(jobs.size(), sheets.size()) << r.out;
  ASSERT_EQ(sheets.size(), 6u);
  EXPECT_TRUE(Files(out_, ".pdf").empty());
  EXPECT_TRUE(std::filesystem::is_empty(temporary_));

  std::multiset<std::pair<long, long>> papers;
  std::string texts;
  for (const Job& job : jobs) {
    EXPECT_EQ(sheets.count(out_ / job.title), 1u) << job.title;
    const Page page = PageOf(job.document);
    EXPECT_EQ(page.pages, 1) << job.title;
    papers.insert({page.widthMm, page.heightMm});
    const bool landscape = page.widthMm > page.heightMm;
    EXPECT_EQ(job.media, kelvane::MediaNameFor(double(page.widthMm), double(page.heightMm))) << job.title;
    EXPECT_EQ(job.orientation, landscape ? 4 : 3) << job.title;
    EXPECT_EQ(job.scaling, "none") << job.title;
    texts += page.text;
  }
  const std::multiset<std::pair<long, long>> expected{{297, 210}, {297, 210}, {420, 297},
                                                      {210, 297}, {594, 420}, {841, 594}};
  EXPECT_EQ(papers, expected);
  for (const char* text : {"給湯器", "Kelvane", "配置図"}) EXPECT_NE(texts.find(text), std::string::npos) << text;
}

// With --pdf the job is the PDF written beside the sheet, byte for byte, and it stays there.
TEST_F(CupsPrinting, TheSheetsOwnPdfIsWhatPrints) {
  const size_t before = server_->Jobs().size();
  const Result r = Print({"--pdf", "--printer", "Sheets"});
  ASSERT_EQ(r.status, 0) << r.out;
  const std::vector<Job> jobs = NewJobs(before);
  ASSERT_EQ(jobs.size(), Files(out_, ".pdf").size());
  for (const Job& job : jobs) {
    const std::filesystem::path pdf = (out_ / job.title).replace_extension(".pdf");
    EXPECT_EQ(ReadBytes(job.document), ReadBytes(pdf)) << job.title;
  }
}

// A printer that does not exist, one that refuses jobs, or no server at all: the reason, exit 1,
// no job, and the sheets are written all the same.
TEST_F(CupsPrinting, RefusalsFailTheRunAndKeepTheSheets) {
  const size_t before = server_->Jobs().size();
  const Result missing = Print({"--printer", "NoSuchPrinter"});
  EXPECT_EQ(missing.status, 1) << missing.out;
  EXPECT_TRUE(Says(missing, "the printer NoSuchPrinter does not exist")) << missing.out;
  EXPECT_TRUE(Says(missing, "6 written sheet(s) not printed")) << missing.out;
  EXPECT_EQ(Files(out_, ".jww").size(), 6u);
  EXPECT_EQ(server_->Jobs().size(), before);

  std::filesystem::remove_all(out_);
  std::filesystem::create_directory(out_);
  const Result refused = Print({"--printer", "Refusing"});
  EXPECT_EQ(refused.status, 1) << refused.out;
  EXPECT_TRUE(Says(refused, "the printer Refusing refused the job: ")) << refused.out;
  EXPECT_EQ(Files(out_, ".jww").size(), 6u);

  std::filesystem::remove_all(out_);
  std::filesystem::create_directory(out_);
  const std::string nobody = "127.0.0.1:" + std::to_string(FreePort());
  const Result noServer = Print({"--print"}, nobody);
  EXPECT_EQ(noServer.status, 1) << noServer.out;
  EXPECT_TRUE(Says(noServer, "no CUPS server answers at " + nobody)) << noServer.out;
  EXPECT_EQ(Files(out_, ".jww").size(), 6u);
  EXPECT_TRUE(std::filesystem::is_empty(temporary_));
}

// Media names: the standard sizes by PWG's names in either orientation, anything else a custom
// size that reads back as the same millimetres.
TEST(CupsMedia, StandardSizesByNameOthersExactly) {
  EXPECT_EQ(kelvane::MediaNameFor(420, 297), "iso_a3_297x420mm");
  EXPECT_EQ(kelvane::MediaNameFor(297, 420), "iso_a3_297x420mm");
  EXPECT_EQ(kelvane::MediaNameFor(1189, 841), "iso_a0_841x1189mm");
  const std::string custom = kelvane::MediaNameFor(1000, 700);
  EXPECT_EQ(custom.rfind("custom_", 0), 0u) << custom;
  const pwg_media_t* back = pwgMediaForPWG(custom.c_str());
  ASSERT_NE(back, nullptr) << custom;
  EXPECT_EQ(back->width, 70000);
  EXPECT_EQ(back->length, 100000);
}

}  // namespace
