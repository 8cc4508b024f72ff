// Hostile drawings in the preview, one per process (wine_tests.sh runs each test alone, so that
// the peak memory measured is that drawing's): the preview shows or refuses each within 1 GB,
// and then shows an ordinary drawing dropped on it.
#include "tests/win32/window_fixture.h"

#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>

#include "jww/builder.h"
#include "render/gdi/gdi_output.h"
#include "split/frames.h"

namespace kelvane::test {
namespace {

constexpr double kGigabyte = 1024.0 * 1024 * 1024;

double PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS counters{};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return double(counters.PeakWorkingSetSize);
}

int ListRowCount(HWND list) { return int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

// A 10,000 x 10,000 BMP of one colour, run-length encoded: small on disk, 400 MB decoded.
std::vector<uint8_t> HugeRleBmp() {
  const int side = 10000;
  std::vector<uint8_t> pixels;
  for (int row = 0; row < side; ++row) {
    for (int left = side; left > 0; left -= 250) pixels.insert(pixels.end(), {uint8_t(std::min(left, 250)), 0});
    pixels.insert(pixels.end(), {0, 0});  // end of line
  }
  pixels.insert(pixels.end(), {0, 1});  // end of bitmap
  const uint32_t offset = 14 + 40 + 4;
  std::vector<uint8_t> bmp(offset + pixels.size());
  auto put = [&bmp](size_t at, uint32_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) bmp[at + k] = uint8_t(v >> (8 * k));
  };
  bmp[0] = 'B', bmp[1] = 'M';
  put(2, uint32_t(offset + pixels.size()), 4);
  put(10, offset, 4);
  put(14, 40, 4), put(18, side, 4), put(22, side, 4), put(26, 1, 2), put(28, 8, 2), put(30, 1, 4);
  put(34, uint32_t(pixels.size()), 4), put(46, 1, 4);
  put(54, 0x00C85020, 4);  // the one palette colour
  std::copy(pixels.begin(), pixels.end(), bmp.begin() + offset);
  return bmp;
}

// Saves the drawing that `fill` builds, opens it in the preview, paints it, and checks that the
// preview stays open within 1 GB and then shows an ordinary drawing dropped on it.
void OpenInPreview(const std::string& name, const std::function<void(JwwDocument&)>& fill,
                   const std::wstring& statusEnd = L"") {
  const auto folder = FreshFolder("preview-memory-" + name);
  const auto drawing = folder / L"hostile.jww";
  {
    JwwDocument doc;
    InitDrawing(doc, 700, true);
    doc.header.paperSize = 4;
    fill(doc);
    doc.entityCount = int32_t(doc.order.size());
    doc.NormaliseBlocks();
    ASSERT_TRUE(doc.SaveToFile(drawing, doc.header.version));
  }
  LiveWindow live(folder, {L"/preview", drawing});
  live.Start();
  PreviewWindow& preview = live.window.Preview();
  ASSERT_TRUE(preview.IsOpen());
  UpdateWindow(preview.Control(kPreviewCanvas));
  const std::wstring status = WindowText(preview.Control(kPreviewStatus));
  EXPECT_TRUE(status.ends_with(statusEnd)) << status;
  std::printf("peak working set %.0f MB\n", PeakWorkingSet() / (1 << 20));
  EXPECT_LT(PeakWorkingSet(), kGigabyte);

  MakeDrawing(folder / L"plan.jww");
  SendMessageW(preview.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({folder / L"plan.jww"})), 0);
  EXPECT_TRUE(preview.IsOpen());
  EXPECT_EQ(ListRowCount(preview.Control(kPreviewList)), 7);
  EXPECT_EQ(WindowText(preview.Control(kPreviewStatus)), (folder / L"plan.jww").wstring() + L"：用紙枠 6、書き出すファイル 6");
}

TEST(PreviewMemory, BlocksThatMultiply) {
  OpenInPreview("blocks", [](JwwDocument& doc) {
    for (int n = 1; n <= 24; ++n) {  // each inserts the next twice: 2^24 lines
      EntityLists& def = AddBlockDef(doc, n, JwwString::Sjis("b" + std::to_string(n)));
      if (n == 24) {
        AddLine(def, 0, 0, 1, 0);
      } else {
        AddBlockInsert(def, n + 1, 0, 0);
        AddBlockInsert(def, n + 1, 0.5, 0);
      }
    }
    AddBlockInsert(doc, 1, 0, 0);
  });
}

TEST(PreviewMemory, OneHugeImageReferencedTwentyTimes) {
  OpenInPreview("image", [](JwwDocument& doc) {
    const std::vector<uint8_t> bmp = HugeRleBmp();
    doc.images.Add(JwwString::Wide(u"huge.bmp"), bmp.data(), int32_t(bmp.size()));
    for (int k = 0; k < 20; ++k) AddText(doc, -140 + 7 * k, -100, JwwString::Wide(u"^@BM%temp%huge.bmp,50,50"));
  });
}

// Decoded whole, it would take 400 MB, and twice that again inside the decoder.
TEST(PreviewMemory, AHugeImageIsDecodedScaledDownInItsOwnColours) {
  GdiImage image;
  ASSERT_TRUE(DecodeGdiImage(HugeRleBmp(), image));
  EXPECT_EQ(image.width, 5000);
  EXPECT_EQ(image.height, 5000);
  for (size_t at : {size_t(0), image.pixels.size() / 2, image.pixels.size() - 1})
    EXPECT_EQ(image.pixels[at] & 0xFFFFFF, 0xC85020u) << at;
  std::printf("peak working set %.0f MB\n", PeakWorkingSet() / (1 << 20));
  EXPECT_LT(PeakWorkingSet(), 0.6 * kGigabyte);
}

TEST(PreviewMemory, GeometryWhoseCostLiesInItsNumbers) {
  OpenInPreview("geometry", [](JwwDocument& doc) {
    for (int k = 0; k < 1000; ++k) AddArc(doc, 0, 0, 50, 0, 1e300);
    for (int k = 0; k < 100; ++k) AddArc(doc, 0, 0, 10, 0, 6.283185307179586, {}, 1e12);
    for (int k = 0; k < 5000; ++k) AddCircle(doc, 0, 0, 1e6);
    doc.lineTypes[0] = {int32_t(0xAAAAAAAAu), 32, 1, 1};
    Attr dashed;
    dashed.penStyle = 2;
    AddLine(doc, -5e6, 0, 5e6, 0, dashed);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    AddText(doc, 0, 0, JwwString::Wide(u"NaN"), {}, nan);
    AddLine(doc, nan, 0, 10, 10);
  }, L"、表示できない要素 2");
}

TEST(PreviewMemory, AnEmptyFrameATrillionMillimetresWide) {
  OpenInPreview("frame", [](JwwDocument& doc) {
    Attr frame;
    frame.penColor = kFramePenColor, frame.penStyle = kFramePenStyle, frame.penWidth = kFramePenWidth;
    const double w = 1e12, h = 0.7e12;
    AddLine(doc, 0, 0, w, 0, frame), AddLine(doc, w, 0, w, h, frame);
    AddLine(doc, w, h, 0, h, frame), AddLine(doc, 0, h, 0, 0, frame);
  });
}

}  // namespace
}  // namespace kelvane::test
