// The run's summary and its JSON: strict UTF-8, and file names whose bytes are kept.
#include <gtest/gtest.h>

#include "app/run_summary.h"

namespace kelvane {
namespace {

// Only well-formed UTF-8 passes: overlong forms, surrogates, code points above U+10FFFF and the
// lead bytes that can only start those become U+FFFD, one per byte.
TEST(RunSummary, JsonStringsTakeOnlyWellFormedUtf8) {
  for (const char* good : {"a", "\xC2\x80", "\xDF\xBF", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xEE\x80\x80", "\xEF\xBF\xBF",
                           "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF", "\xE5\x9B\xB3"}) {
    EXPECT_TRUE(IsUtf8(good)) << good;
    EXPECT_EQ(JsonString(good), std::string("\"") + good + "\"");
  }
  const std::string kBad = "\xEF\xBF\xBD";
  const struct {
    const char* bytes;
    size_t replaced;
  } bad[] = {{"\xC0\xAF", 2},
             {"\xC1\xBF", 2},
             {"\xE0\x80\xAF", 3},
             {"\xE0\x9F\xBF", 3},
             {"\xED\xA0\x80", 3},
             {"\xED\xBF\xBF", 3},
             {"\xF0\x80\x80\xAF", 4},
             {"\xF0\x8F\xBF\xBF", 4},
             {"\xF4\x90\x80\x80", 4},
             {"\xF5\x80\x80\x80", 4},
             {"\xF7\xBF\xBF\xBF", 4},
             {"\xF8\x88\x80\x80\x80", 5},
             {"\xFF", 1},
             {"\xFE", 1},
             {"\x80", 1},
             {"\xE3\x81", 2}};
  for (const auto& b : bad) {
    EXPECT_FALSE(IsUtf8(b.bytes)) << b.bytes;
    std::string replaced;
    for (size_t k = 0; k < b.replaced; ++k) replaced += kBad;
    EXPECT_EQ(JsonString(std::string("x") + b.bytes), "\"x" + replaced + "\"") << b.bytes;
  }
}

// A name that is not UTF-8 keeps its bytes beside it, so two such names never look the same.
TEST(RunSummary, FileNamesThatAreNotUtf8KeepTheirBytes) {
  EXPECT_EQ(JsonFileName("file", "a/\xE5\x9B\xB3.jww"), "\"file\":\"a/\xE5\x9B\xB3.jww\"");
  const std::string first = JsonFileName("source", "\xFF\xFE.jww"), second = JsonFileName("source", "\xE3\x81.jww");
  EXPECT_EQ(first, "\"source\":\"\xEF\xBF\xBD\xEF\xBF\xBD.jww\",\"sourceBytes\":\"fffe2e6a7777\"");
  EXPECT_EQ(second, "\"source\":\"\xEF\xBF\xBD\xEF\xBF\xBD.jww\",\"sourceBytes\":\"e3812e6a7777\"");
  EXPECT_EQ(JsonFileName("file", "over\xE0\x80\xAF.jww"),
            "\"file\":\"over\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD.jww\",\"fileBytes\":\"6f766572e080af2e6a7777\"");
}

// Backslashes (every Windows path has them) and quotes in names, file names and reasons are
// escaped in the report, which stays JSON and reads back as they were; the closing summary a
// terminal shows gives them as they are.
TEST(RunSummary, BackslashesAndQuotesAreEscapedInTheReportOnly) {
  RunSummary s;
  SheetRecord r;
  r.source = "in\\plan \"A\".jww";
  r.frame = 1, r.sheet = 1, r.number = "1", r.name = "1F\\2F \"east\"";
  r.file = "out\\1F.jww";
  r.decision = SheetDecision::kWrite, r.outcome = "failed", r.failure = "C:\\out is full";
  s.sheets.push_back(r);
  s.failedDrawings.push_back({"bad\\one.jww", "at C:\\x", false});
  const std::string json = ReportJson(s);
  for (const char* escaped : {R"("source":"in\\plan \"A\".jww")", R"("name":"1F\\2F \"east\"")",
                              R"("file":"out\\1F.jww")", R"("failure":"C:\\out is full")",
                              R"("source":"bad\\one.jww","reason":"at C:\\x")"})
    EXPECT_NE(json.find(escaped), std::string::npos) << escaped << "\n" << json;
  EXPECT_NE(SummaryText(s).find("failed: bad\\one.jww: at C:\\x\n"), std::string::npos) << SummaryText(s);
}

}  // namespace
}  // namespace kelvane
