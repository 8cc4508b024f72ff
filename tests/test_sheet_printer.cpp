// Printing a sheet through a recording print service: what each job asks for, and where its
// PDF comes from and goes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <vector>

#include "app/example.h"
#include "app/services/posix/sheet_printer.h"
#include "render/render.h"
#include "tests/fake_services.h"
#include "tests/fixtures.h"

using namespace kelvane;
using kelvane::testing::ReadBytes;
using kelvane::testing::TempDir;

namespace {

class RecordingService final : public PrintService {
 public:
  PrintOutcome Print(const PrintRequest& request) override {
    requests.push_back(request);
    const std::vector<uint8_t> bytes = ReadBytes(request.document);
    documents.emplace_back(bytes.begin(), bytes.end());
    return answer;
  }
  PrintOutcome answer{true, "Office-1", ""};
  std::vector<PrintRequest> requests;
  std::vector<std::string> documents;  // each job's document as it was when sent
};

// Every sheet asks for its own page and printer, from a PDF drawn in a private folder that is
// gone once the job is sent (or refused); a PDF the run wrote is sent as it is and stays.
TEST(SheetPrinter, SendsEachSheetsPdfAndLeavesNoTemporaryOne) {
  TempDir dir;
  const std::filesystem::path temporary = dir / "tmp", drawing = dir / "example.jww";
  std::filesystem::create_directory(temporary);
  const char* const keptTmpdir = std::getenv("TMPDIR");
  setenv("TMPDIR", temporary.c_str(), 1);
  ASSERT_TRUE(WriteExampleDrawing(drawing));
  JwwDocument doc;
  ASSERT_TRUE(doc.LoadFromFile(drawing));
  FakeServices platform;
  RunContext run;
  AddRunInput(run, platform, drawing);
  const SheetPlan plan = PlanSheets(doc, SplitOptions{}, drawing, dir.path(), run, platform);

  RecordingService service;
  {
    SheetPrinter printer(service, "Office", [](std::string&) { return &LinkedPictureLibrary(); });
    std::string error;
    size_t portrait = 0;
    for (const PlannedSheet& sheet : plan.sheets) {
      if (!sheet.ToBeWritten()) continue;
      EXPECT_EQ(printer.Print(doc, plan, sheet, PictureOptions{}, {}, error), "Office-1") << error;
      const PrintRequest& r = service.requests.back();
      double w = 0, h = 0;
      SheetPageSize(plan.frames[sheet.frame], sheet.paperSize, w, h);
      EXPECT_EQ(r.widthMm, w);
      EXPECT_EQ(r.heightMm, h);
      portrait += h > w;
      EXPECT_EQ(r.printer, "Office");
      EXPECT_EQ(r.title, sheet.file.filename().string());
      EXPECT_EQ(r.document.parent_path().parent_path(), temporary);
      EXPECT_EQ(service.documents.back().rfind("%PDF-", 0), 0u);
      EXPECT_FALSE(std::filesystem::exists(r.document));
    }
    EXPECT_EQ(service.requests.size(), 6u);
    EXPECT_EQ(portrait, 1u);

    service.answer = {false, "", "the printer Office refused the job: stopped"};
    const PlannedSheet& first = plan.sheets.front();
    EXPECT_EQ(printer.Print(doc, plan, first, PictureOptions{}, {}, error), "");
    EXPECT_EQ(error, "the printer Office refused the job: stopped");
    EXPECT_FALSE(std::filesystem::exists(service.requests.back().document));

    const std::filesystem::path beside = dir / "beside.pdf";
    kelvane::testing::WriteBytes(beside, {'%', 'P', 'D', 'F', '-'});
    service.answer = {true, "Office-2", ""};
    EXPECT_EQ(printer.Print(doc, plan, first, PictureOptions{}, beside, error), "Office-2");
    EXPECT_EQ(service.requests.back().document, beside);
    EXPECT_TRUE(std::filesystem::exists(beside));

    // Without the picture functions a sheet with no PDF of its own is not printed; one with its
    // PDF still is.
    SheetPrinter without(service, "Office", [](std::string& e) -> const PictureLibrary* {
      e = "pictures cannot be drawn: no module";
      return nullptr;
    });
    const size_t sent = service.requests.size();
    EXPECT_EQ(without.Print(doc, plan, first, PictureOptions{}, {}, error), "");
    EXPECT_EQ(error, "pictures cannot be drawn: no module");
    EXPECT_EQ(service.requests.size(), sent);
    EXPECT_EQ(without.Print(doc, plan, first, PictureOptions{}, beside, error), "Office-2");
  }
  EXPECT_TRUE(std::filesystem::is_empty(temporary));
  for (const auto& e : std::filesystem::directory_iterator(dir.path()))  // nothing beside the sheets
    EXPECT_TRUE(e.path().extension() != ".pdf" || e.path().filename() == "beside.pdf") << e.path();
  if (keptTmpdir)
    setenv("TMPDIR", keptTmpdir, 1);
  else
    unsetenv("TMPDIR");
}

// A print run killed while sending leaves its folder with a sheet's PDF: the next run that
// prints removes it, and nothing else of the temporary folder: not other names, not links, not
// a folder changed after the run started, not one a running print holds.
TEST(SheetPrinter, RemovesTheFoldersOfKilledPrintRunsAndNothingElse) {
  TempDir dir;
  const std::filesystem::path temporary = dir / "tmp", elsewhere = dir / "elsewhere";
  const auto past = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
  const auto future = std::filesystem::file_time_type::clock::now() + std::chrono::hours(1);
  auto folder = [&](const std::string& name, std::filesystem::file_time_type changed) {
    const std::filesystem::path path = temporary / name;
    std::filesystem::create_directories(path);
    kelvane::testing::WriteBytes(path / "1example.pdf", {'%', 'P', 'D', 'F', '-'});
    std::filesystem::last_write_time(path, changed);
    return path;
  };
  const std::filesystem::path stale = folder("kelvane-print-Ab12Cd", past);
  const std::filesystem::path staleToo = folder("kelvane-print-zzzzzz", past);
  const std::filesystem::path held = folder("kelvane-print-Held01", past);
  const std::filesystem::path recent = folder("kelvane-print-New001", future);
  const std::filesystem::path otherName = folder("kelvane-print-Ab12Cde", past);
  const std::filesystem::path otherPrefix = folder("kelvane-prinx-Ab12Cd", past);
  std::filesystem::create_directories(elsewhere);
  kelvane::testing::WriteBytes(elsewhere / "keep.pdf", {'%'});
  std::filesystem::create_directory_symlink(elsewhere, temporary / "kelvane-print-Link01");
  const int lock = ::open(held.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);

  const char* const keptTmpdir = std::getenv("TMPDIR");
  setenv("TMPDIR", temporary.c_str(), 1);
  const std::filesystem::path drawing = dir / "example.jww";
  ASSERT_TRUE(WriteExampleDrawing(drawing));
  JwwDocument doc;
  ASSERT_TRUE(doc.LoadFromFile(drawing));
  FakeServices platform;
  RunContext run;
  AddRunInput(run, platform, drawing);
  const SheetPlan plan = PlanSheets(doc, SplitOptions{}, drawing, dir.path(), run, platform);
  RecordingService service;
  {
    SheetPrinter printer(service, "Office", [](std::string&) { return &LinkedPictureLibrary(); });
    const std::filesystem::path beside = dir / "beside.pdf";
    kelvane::testing::WriteBytes(beside, {'%', 'P', 'D', 'F', '-'});
    std::string error;
    EXPECT_EQ(printer.Print(doc, plan, plan.sheets.front(), PictureOptions{}, beside, error), "Office-1") << error;
  }
  EXPECT_FALSE(std::filesystem::exists(stale));
  EXPECT_FALSE(std::filesystem::exists(staleToo));
  EXPECT_TRUE(std::filesystem::exists(held / "1example.pdf"));
  EXPECT_TRUE(std::filesystem::exists(recent / "1example.pdf"));
  EXPECT_TRUE(std::filesystem::exists(otherName / "1example.pdf"));
  EXPECT_TRUE(std::filesystem::exists(otherPrefix / "1example.pdf"));
  EXPECT_TRUE(std::filesystem::is_symlink(temporary / "kelvane-print-Link01"));
  EXPECT_TRUE(std::filesystem::exists(elsewhere / "keep.pdf"));
  ::close(lock);
  if (keptTmpdir)
    setenv("TMPDIR", keptTmpdir, 1);
  else
    unsetenv("TMPDIR");
}

}  // namespace
