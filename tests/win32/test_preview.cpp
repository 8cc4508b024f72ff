// The split preview: its place in the program, its list against the plan, its picture against
// the frames, its view, its split against a drop on the main window, and hostile drawings.
#include "tests/win32/window_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>

#include "jww/builder.h"
#include "render/render.h"

namespace kelvane::test {
namespace {

const std::wstring kPreviewCaption = L"Kelvane - 分割プレビュー";

using Rows = std::vector<std::vector<std::wstring>>;

Rows ListRows(HWND list) {
  Rows rows(size_t(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)));
  for (size_t r = 0; r < rows.size(); ++r) {
    for (int c = 0; c < 5; ++c) {
      wchar_t text[512] = L"";
      LVITEMW item{};
      item.iSubItem = c;
      item.pszText = text;
      item.cchTextMax = 512;
      SendMessageW(list, LVM_GETITEMTEXTW, r, reinterpret_cast<LPARAM>(&item));
      rows[r].push_back(text);
    }
  }
  return rows;
}

// Handles messages until `done` holds, for at most two seconds.
bool PumpUntil(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(20);
  }
  return true;
}

// The client area of a window as shown, read back from its device context.
struct Capture {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, rows top down
  uint32_t At(int x, int y) const { return pixels[size_t(y) * width + x]; }
};

Capture CaptureClient(HWND window) {
  Capture c;
  RECT r{};
  GetClientRect(window, &r);
  c.width = r.right;
  c.height = r.bottom;
  c.pixels.resize(size_t(c.width) * c.height);
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof bi.bmiHeader, c.width, -c.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  HDC dc = GetDC(window);
  HDC memory = CreateCompatibleDC(dc);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, c.width, c.height, dc, 0, 0, SRCCOPY);
  GdiFlush();
  std::copy_n(static_cast<uint32_t*>(bits), c.pixels.size(), c.pixels.begin());
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(window, dc);
  return c;
}

int Red(uint32_t p) { return int(p >> 16 & 0xFF); }
int Green(uint32_t p) { return int(p >> 8 & 0xFF); }
int Blue(uint32_t p) { return int(p & 0xFF); }
// The orange of a written sheet's outline (200, 90, 0), which no pen's default colour is near.
bool IsOutline(uint32_t p) { return Red(p) > 150 && Green(p) > 40 && Green(p) < 140 && Blue(p) < 60; }

TEST(Preview, SystemMenuItemOpensThePreviewAndTheMainWindowKeepsItsClientArea) {
  const auto folder = FreshFolder("preview-menu");
  LiveWindow live(folder);
  live.Start();
  HWND window = live.window.Handle();
  wchar_t item[64] = L"";
  GetMenuStringW(GetSystemMenu(window, FALSE), kPreviewMenuCommand, item, 64, MF_BYCOMMAND);
  EXPECT_EQ(std::wstring(item), L"分割プレビュー(&V)...");
  EXPECT_FALSE(live.window.Preview().IsOpen());

  SendMessageW(window, WM_SYSCOMMAND, kPreviewMenuCommand, 0);
  PreviewWindow& preview = live.window.Preview();
  ASSERT_TRUE(preview.IsOpen());
  EXPECT_EQ(WindowText(preview.Handle()), kPreviewCaption);
  EXPECT_TRUE(IsWindowVisible(preview.Handle()));
  EXPECT_TRUE(GetWindowLongPtrW(preview.Handle(), GWL_STYLE) & WS_THICKFRAME);  // resizable
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 484);
  EXPECT_EQ(client.bottom, 352);
}

bool MenuChecked(HWND window, UINT command) {
  return (GetMenuState(GetSystemMenu(window, FALSE), command, MF_BYCOMMAND) & MF_CHECKED) != 0;
}
bool BoxChecked(HWND box) { return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

TEST(Preview, SavePdfItemAndCheckBoxFollowEachOtherAndLiveInTheSideFileOnly) {
  const auto folder = FreshFolder("preview-pdf");
  std::string datWithout;
  for (bool on : {true, false}) {
    LiveWindow live(folder);
    live.Start();
    HWND window = live.window.Handle();
    wchar_t item[64] = L"";
    GetMenuStringW(GetSystemMenu(window, FALSE), kPdfMenuCommand, item, 64, MF_BYCOMMAND);
    EXPECT_EQ(std::wstring(item), L"PDFも保存(&P)");
    EXPECT_EQ(MenuChecked(window, kPdfMenuCommand), !on);  // as the side file left it
    live.window.SetSavesPdf(false);
    live.window.OpenPreview();
    HWND box = live.window.Preview().Control(kPreviewSavePdfCheck);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WindowText(box), L"PDFも保存(&P)");
    EXPECT_FALSE(BoxChecked(box));
    SendMessageW(window, WM_SYSCOMMAND, kPdfMenuCommand, 0);  // the menu sets the box
    EXPECT_TRUE(MenuChecked(window, kPdfMenuCommand));
    EXPECT_TRUE(BoxChecked(box));
    SendMessageW(box, BM_CLICK, 0, 0);  // and the box the menu
    EXPECT_FALSE(MenuChecked(window, kPdfMenuCommand));
    EXPECT_FALSE(live.window.SavesPdf());
    if (on) SendMessageW(box, BM_CLICK, 0, 0);
    EXPECT_EQ(live.window.SavesPdf(), on);
    live.window.Close();
    EXPECT_EQ(ReadFile(folder / L"kelvane.ini"), on ? "pdf=1\r\n" : "pdf=0\r\n");
    if (on) datWithout = ReadFile(folder / L"kelvane.dat");
    else EXPECT_EQ(ReadFile(folder / L"kelvane.dat"), datWithout);  // the settings file whatever the option
  }
}

TEST(Preview, PdfSwitchAsksForPdfsOfThisRunOnlyAlsoWithTheHandOverSwitch) {
  const auto folder = FreshFolder("preview-pdf-switch");
  Win32Services platform({L"/G", L"/PDF"}, folder / L"kelvane.exe");
  EXPECT_TRUE(platform.TakeSwitch(L"/pdf"));
  EXPECT_EQ(platform.Parameters(), std::vector<std::filesystem::path>{L"/G"});
  EXPECT_FALSE(platform.TakeSwitch(L"/pdf"));
}

// "PDFセットも保存(&S)" sits between the DXF item and the about item, toggles, and is kept in the
// side file as its own key.
TEST(Preview, PdfSetItemFollowsTheDxfItemAndLivesInTheSideFileOnly) {
  const auto folder = FreshFolder("preview-pdf-set");
  LiveWindow live(folder);
  live.Start();
  HWND window = live.window.Handle();
  HMENU menu = GetSystemMenu(window, FALSE);
  wchar_t item[64] = L"";
  GetMenuStringW(menu, kPdfSetMenuCommand, item, 64, MF_BYCOMMAND);
  EXPECT_EQ(std::wstring(item), L"PDFセットも保存(&S)");
  std::vector<UINT> order;
  for (int i = 0; i < GetMenuItemCount(menu); ++i)
    if (UINT id = GetMenuItemID(menu, i); id == kDxfMenuCommand || id == kPdfSetMenuCommand || id == kAboutMenuCommand)
      order.push_back(id);
  EXPECT_EQ(order, (std::vector<UINT>{kDxfMenuCommand, kPdfSetMenuCommand, kAboutMenuCommand}));
  EXPECT_FALSE(MenuChecked(window, kPdfSetMenuCommand));
  SendMessageW(window, WM_SYSCOMMAND, kPdfSetMenuCommand, 0);
  EXPECT_TRUE(MenuChecked(window, kPdfSetMenuCommand));
  EXPECT_TRUE(live.window.SavesPdfSet());
  EXPECT_FALSE(live.window.SavesPdf());
  live.window.Close();
  EXPECT_EQ(ReadFile(folder / L"kelvane.ini"), "pdf=0\r\npdfset=1\r\n");
}

// Every row of the sheet list is tall enough for the font's lowest ink, so that the underscore
// of "0-1_example.jww" shows above the grid line below it.
TEST(Preview, ListRowsHoldTheUnderscoresOfFileNames) {
  const auto folder = FreshFolder("preview-rows");
  MakeDrawing(folder / L"example.jww");
  LiveWindow live(folder);
  live.Start();
  live.window.OpenPreview();
  PreviewWindow& preview = live.window.Preview();
  preview.Load(folder / L"example.jww");
  HWND list = preview.Control(kPreviewList);
  ASSERT_GT(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 0);
  RECT row{LVIR_LABEL, 0, 0, 0};
  ASSERT_TRUE(SendMessageW(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row)));
  HDC dc = GetDC(list);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  GLYPHMETRICS gm{};
  const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  ASSERT_NE(GetGlyphOutlineW(dc, L'_', GGO_METRICS, &gm, 0, nullptr, &identity), GDI_ERROR);
  SelectObject(dc, old);
  ReleaseDC(list, dc);
  // The text is centred in its row; its underscore ends this far below the text's top.
  const int inkBottom = tm.tmAscent - gm.gmptGlyphOrigin.y + int(gm.gmBlackBoxY);
  const int textTop = row.top + ((row.bottom - row.top) - tm.tmHeight) / 2;
  EXPECT_LT(textTop + inkBottom, row.bottom - 1) << "row " << row.top << ".." << row.bottom << ", font height "
                                                 << tm.tmHeight << ", underscore ink to " << inkBottom;
}

TEST(Preview, FramesAreOutlinedWhereThePlanPutsThemAndTheDrawingIsDrawn) {
  const auto folder = FreshFolder("preview-picture");
  const auto drawing = folder / L"plan.jww";
  MakeDrawing(drawing);
  LiveWindow live(folder, {L"/preview", drawing});
  live.Start();
  PreviewWindow& preview = live.window.Preview();
  ASSERT_TRUE(preview.IsOpen());
  EXPECT_EQ(FilesStartingWith(folder, L""), (std::vector<std::wstring>{L"appdata", L"plan.jww"}));  // nothing written
  HWND canvas = preview.Control(kPreviewCanvas);
  UpdateWindow(canvas);
  const Capture shot = CaptureClient(canvas);

  // Where the plan's page goes: fitted inside an 8-pixel margin, centred.
  JwwDocument doc;
  ASSERT_TRUE(doc.LoadFromFile(drawing));
  Affine toPage;
  const DisplayList page = RenderWhole(doc, PictureStyle::kPlan, 20.0, &toPage);
  const double s = std::min((shot.width - 16.0) / page.width, (shot.height - 16.0) / page.height);
  const double left = (shot.width - page.width * s) / 2, top = (shot.height - page.height * s) / 2;

  const SheetPlan& plan = preview.Plan();
  ASSERT_EQ(plan.frames.size(), 6u);
  int framesProbed = 0;
  for (size_t f = 0; f < plan.frames.size(); ++f) {
    bool written = false;
    for (const PlannedSheet& sheet : plan.sheets) written |= sheet.frame == f && sheet.ToBeWritten();
    if (!written) continue;  // a dashed outline has gaps
    ++framesProbed;
    const Vec2 lo = toPage({plan.frames[f].minX, plan.frames[f].minY});
    const Vec2 hi = toPage({plan.frames[f].maxX, plan.frames[f].maxY});
    // Along the bottom edge, the outline's orange within a pixel of where it belongs.
    const int y = int(std::lround(top + s * (page.height - lo.y)));
    for (int k = 1; k < 10; ++k) {
      const int x = int(std::lround(left + s * (lo.x + (hi.x - lo.x) * k / 10)));
      bool found = false;
      for (int dy = -1; dy <= 1; ++dy) {
        const uint32_t p = shot.At(x, y + dy);
        found |= IsOutline(p);
      }
      EXPECT_TRUE(found) << "frame " << f + 1 << " at (" << x << ", " << y << ")";
    }
    // Inside the frame, well away from the edge, no outline.
    const uint32_t inside = shot.At(int(std::lround(left + s * (lo.x + hi.x) / 2)), y - 4);
    EXPECT_FALSE(IsOutline(inside)) << "frame " << f + 1;
  }
  EXPECT_EQ(framesProbed, 5);
  int dark = 0;  // the drawing's own black lines
  for (uint32_t p : shot.pixels) dark += Red(p) < 90 && Green(p) < 90 && Blue(p) < 90;
  EXPECT_GT(dark, 150);
}

TEST(Preview, PlansAgainWhenTheMainWindowsOptionsChange) {
  const auto folder = FreshFolder("preview-options");
  const auto drawing = folder / L"plan.jww";
  MakeDrawing(drawing);
  LiveWindow live(folder, {L"/preview", drawing});
  live.Start();
  HWND list = live.window.Preview().Control(kPreviewList);
  ASSERT_EQ(ListRows(list).size(), 7u);
  EXPECT_EQ(ListRows(list)[0][0], L"0-1");
  live.SetText(kStartNumberEdit, L"7");
  EXPECT_TRUE(PumpUntil([&] { return ListRows(list)[0][0] == L"7-1"; }));
  SendMessageW(live.Control(kNamingPatternCombo), CB_SETCURSEL, 5, 0);  // the sheet's name alone
  SendMessageW(live.window.Handle(), WM_COMMAND, MAKEWPARAM(kNamingPatternCombo, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(live.Control(kNamingPatternCombo)));
  EXPECT_TRUE(PumpUntil([&] { return ListRows(list)[0][3] == L"1F平面図.jww"; }));
}

TEST(Preview, WheelZoomsAboutTheCursorDragPansFromTheBitmapDoubleClickFits) {
  const auto folder = FreshFolder("preview-view");
  const auto drawing = folder / L"plan.jww";
  MakeDrawing(drawing);
  LiveWindow live(folder, {L"/preview", drawing});
  live.Start();
  PreviewWindow& preview = live.window.Preview();
  HWND canvas = preview.Control(kPreviewCanvas);
  UpdateWindow(canvas);
  const GdiView fit = preview.View();

  POINT cursor{100, 120};
  ClientToScreen(canvas, &cursor);
  SendMessageW(canvas, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(cursor.x, cursor.y));
  const GdiView zoomed = preview.View();
  EXPECT_NEAR(zoomed.pixelsPerMm, fit.pixelsPerMm * 1.25, 1e-9);
  EXPECT_NEAR((100 - zoomed.left) / zoomed.pixelsPerMm, (100 - fit.left) / fit.pixelsPerMm, 1e-9);
  EXPECT_NEAR((120 - zoomed.top) / zoomed.pixelsPerMm, (120 - fit.top) / fit.pixelsPerMm, 1e-9);
  const int beforeWheelRests = preview.BitmapRebuilds();
  UpdateWindow(canvas);
  EXPECT_EQ(preview.BitmapRebuilds(), beforeWheelRests);  // the turning wheel scales the picture at hand
  EXPECT_TRUE(PumpUntil([&] { return preview.BitmapRebuilds() == beforeWheelRests + 1; }));

  const int rebuilds = preview.BitmapRebuilds();
  SendMessageW(canvas, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 50));
  SendMessageW(canvas, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(70, 45));
  UpdateWindow(canvas);
  SendMessageW(canvas, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(80, 40));
  UpdateWindow(canvas);
  EXPECT_EQ(preview.BitmapRebuilds(), rebuilds);  // panning moves the picture as it is
  SendMessageW(canvas, WM_LBUTTONUP, 0, MAKELPARAM(80, 40));
  UpdateWindow(canvas);
  EXPECT_EQ(preview.BitmapRebuilds(), rebuilds + 1);
  EXPECT_NEAR(preview.View().left, zoomed.left + 30, 1e-9);
  EXPECT_NEAR(preview.View().top, zoomed.top - 10, 1e-9);

  SendMessageW(canvas, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 10));
  EXPECT_NEAR(preview.View().pixelsPerMm, fit.pixelsPerMm, 1e-9);
  EXPECT_NEAR(preview.View().left, fit.left, 1e-9);
  EXPECT_NEAR(preview.View().top, fit.top, 1e-9);
}

TEST(Preview, DropThenSplitWritesWhatADropOnTheMainWindowWrites) {
  const auto folder = FreshFolder("preview-split");
  const auto mainFolder = folder / L"main", previewFolder = folder / L"preview";
  std::filesystem::create_directories(mainFolder);
  std::filesystem::create_directories(previewFolder);
  MakeDrawing(mainFolder / L"plan.jww");
  MakeDrawing(previewFolder / L"plan.jww");
  LiveWindow live(folder);
  live.Start();
  SendMessageW(live.window.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({mainFolder / L"plan.jww"})), 0);
  const std::vector<std::string> mainTexts = live.platform.statusTexts;
  live.platform.statusTexts.clear();

  live.window.OpenPreview();
  PreviewWindow& preview = live.window.Preview();
  SendMessageW(preview.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({previewFolder / L"plan.jww"})), 0);
  EXPECT_EQ(FilesStartingWith(previewFolder, L""), std::vector<std::wstring>{L"plan.jww"});  // a drop only shows
  ASSERT_EQ(ListRows(preview.Control(kPreviewList)).size(), 7u);
  EXPECT_TRUE(live.platform.statusTexts.empty());
  SendMessageW(preview.Control(kPreviewSplitButton), BM_CLICK, 0, 0);

  // The same status texts, but for the folder, and the same files with the same bytes.
  std::vector<std::string> expected = mainTexts;
  for (std::string& text : expected)
    if (size_t at = text.find(Sjis(mainFolder.wstring())); at != std::string::npos)
      text.replace(at, Sjis(mainFolder.wstring()).size(), Sjis(previewFolder.wstring()));
  EXPECT_EQ(live.platform.statusTexts, expected);
  const std::vector<std::wstring> written = FilesStartingWith(mainFolder, L"");
  ASSERT_EQ(written.size(), 7u);  // the drawing and its six sheets
  ASSERT_EQ(FilesStartingWith(previewFolder, L""), written);
  for (const std::wstring& name : written)
    EXPECT_EQ(ReadFile(previewFolder / name), ReadFile(mainFolder / name)) << Sjis(name);

  // The rows show what became of each sheet.
  for (const auto& row : ListRows(preview.Control(kPreviewList)))
    EXPECT_EQ(row[4], row[3].empty() ? L"空の用紙枠：書き出さない" : L"書き出しました") << Sjis(row[0]);
}

// With PDFs on, the list holds every sheet's PDF under its number; one whose name a folder holds
// is refused before the run, and the run tells it in the list and the status bar.
TEST(Preview, ListsThePdfsBesideTheSheetsAndTheOneThatCannotBeWritten) {
  const auto folder = FreshFolder("preview-pdfs");
  MakeDrawing(folder / L"plan.jww");
  LiveWindow live(folder);
  live.Start();
  live.window.SetSavesPdf(true);
  live.window.OpenPreview();
  PreviewWindow& preview = live.window.Preview();
  SendMessageW(preview.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({folder / L"plan.jww"})), 0);
  Rows rows = ListRows(preview.Control(kPreviewList));
  ASSERT_EQ(rows.size(), 7u + 6u);  // seven sheets (one empty), six PDFs
  size_t first = 0;
  while (first < 7 && rows[first][3].empty()) ++first;
  ASSERT_LT(first, 7u);
  const std::wstring blocked = std::filesystem::path(rows[first][3]).replace_extension(L".pdf").wstring();
  std::filesystem::create_directory(folder / blocked);
  SendMessageW(preview.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({folder / L"plan.jww"})), 0);
  rows = ListRows(preview.Control(kPreviewList));
  ASSERT_EQ(rows.size(), 13u);
  EXPECT_EQ(rows[7][3], blocked);
  EXPECT_EQ(rows[7][0], rows[first][0]) << "a PDF is listed under its sheet's number";
  EXPECT_NE(rows[7][4].find(L"書き出さない"), std::wstring::npos) << Sjis(rows[7][4]);
  EXPECT_EQ(rows[8][4], L"PDF：書き出す");

  SendMessageW(preview.Control(kPreviewSplitButton), BM_CLICK, 0, 0);
  rows = ListRows(preview.Control(kPreviewList));
  ASSERT_EQ(rows.size(), 13u);
  EXPECT_NE(rows[7][4].find(L"書き出さない"), std::wstring::npos) << Sjis(rows[7][4]);
  for (size_t r = 8; r < rows.size(); ++r) EXPECT_EQ(rows[r][4], L"PDF：書き出しました") << Sjis(rows[r][3]);
  EXPECT_TRUE(std::filesystem::is_directory(folder / blocked));
  const std::string failure = Sjis(L"PDFを保存できませんでした：") + Sjis((folder / blocked).wstring());
  EXPECT_TRUE(std::any_of(live.platform.statusTexts.begin(), live.platform.statusTexts.end(),
                          [&](const std::string& t) { return t.rfind(failure, 0) == 0; }));
}

void SaveDrawing(JwwDocument& doc, const std::filesystem::path& path) {
  doc.entityCount = int32_t(doc.order.size());
  doc.NormaliseBlocks();
  ASSERT_TRUE(doc.SaveToFile(path, doc.header.version));
}

TEST(Preview, ABlockInsertingItselfTwiceIsRefusedAndThePreviewGoesOn) {
  const auto folder = FreshFolder("preview-self");
  const auto drawing = folder / L"self.jww";
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  EntityLists& def = AddBlockDef(doc, 1, JwwString::Sjis("self"));
  AddLine(def, 0, 0, 1, 0);
  AddBlockInsert(def, 1, 1, 0);
  AddBlockInsert(def, 1, 0, 1);
  AddBlockInsert(doc, 1, 0, 0);
  AddLine(doc, -50, -50, 50, 50);
  SaveDrawing(doc, drawing);
  LiveWindow live(folder, {L"/preview", drawing});
  live.Start();
  PreviewWindow& preview = live.window.Preview();
  ASSERT_TRUE(preview.IsOpen());
  EXPECT_EQ(WindowText(preview.Control(kPreviewStatus)),
            drawing.wstring() + L"：ブロックの展開が多すぎるため表示できません");
  HWND canvas = preview.Control(kPreviewCanvas);
  UpdateWindow(canvas);
  const Capture shot = CaptureClient(canvas);
  EXPECT_EQ(std::count(shot.pixels.begin(), shot.pixels.end(), shot.pixels[0]), std::ptrdiff_t(shot.pixels.size()))
      << "no half-drawn plan";

  // The window goes on: the next drawing shows its plan.
  MakeDrawing(folder / L"plan.jww");
  SendMessageW(preview.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({folder / L"plan.jww"})), 0);
  EXPECT_EQ(ListRows(preview.Control(kPreviewList)).size(), 7u);
  EXPECT_EQ(WindowText(preview.Control(kPreviewStatus)), (folder / L"plan.jww").wstring() + L"：用紙枠 6、書き出すファイル 6");
}

TEST(Preview, TwentyReferencesToOneImageShareOneDecodingAndAnUnnamableOneIsLeftOut) {
  const auto folder = FreshFolder("preview-images");
  const auto drawing = folder / L"images.jww";
  JwwDocument doc;
  InitDrawing(doc, 700, true);
  doc.header.paperSize = 4;
  const std::vector<uint8_t> bmp = SolidBmp(100, 100, 30, 80, 200);
  doc.images.Add(JwwString::Wide(u"photo.bmp"), bmp.data(), int32_t(bmp.size()));
  for (int k = 0; k < 20; ++k) AddText(doc, -140 + 7 * k, -100, JwwString::Wide(u"^@BM%temp%photo.bmp,5,5"));
  AddText(doc, 0, 50, JwwString::Wide(u"^@BMa\xD800.bmp,10,10"));
  AddLine(doc, -140, -100, 140, 100);
  SaveDrawing(doc, drawing);
  LiveWindow live(folder, {L"/preview", drawing});
  live.Start();
  PreviewWindow& preview = live.window.Preview();
  ASSERT_TRUE(preview.IsOpen());
  const std::wstring status = WindowText(preview.Control(kPreviewStatus));
  EXPECT_EQ(status.rfind(drawing.wstring() + L"：用紙枠 ", 0), 0u);
  EXPECT_TRUE(status.ends_with(L"、表示できない画像 1")) << status;
  const GdiImages& images = preview.Images();
  ASSERT_EQ(images.size(), 20u);
  for (const auto& [source, image] : images) EXPECT_EQ(image.get(), images.begin()->second.get()) << source;
  HWND canvas = preview.Control(kPreviewCanvas);
  UpdateWindow(canvas);
  const Capture shot = CaptureClient(canvas);
  int shown = 0;  // the image's own colour
  for (uint32_t p : shot.pixels) shown += Red(p) == 30 && Green(p) == 80 && Blue(p) == 200;
  EXPECT_GT(shown, 20);
}

}  // namespace
}  // namespace kelvane::test
