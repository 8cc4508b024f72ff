// The preview's sheet list: a row for every planned sheet and every file beside the sheets, in
// the words of the window, from the rows every listing of a plan shows (app/sheet_rows.h).
#include "app/win32/preview_window.h"

#include <commctrl.h>

#include <algorithm>

#include "app/messages.h"
#include "app/sheet_rows.h"
#include "platform/text_conversion.h"
#include "platform/win32/wide_text.h"

namespace kelvane {

namespace {

// The sheet list's columns and their narrowest widths.
const struct {
  const wchar_t* title;
  int width;
} kColumns[] = {{L"番号", 44}, {L"名前", 90}, {L"用紙", 44}, {L"ファイル名", 130}, {L"処理", 200}};

std::wstring ToWide(const JwwString& s) {
  return s.unicode ? std::wstring(s.wide.begin(), s.wide.end()) : SjisToWide(s.sjis);
}

std::wstring WideOfAscii(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::wstring WideOfUtf8(const std::string& utf8) {
  const std::u16string units = Utf8ToUtf16(utf8);
  return std::wstring(units.begin(), units.end());
}

// The list's words for a sheet's state; a sheet not written is followed by the reason.
std::wstring StateText(SheetRowState state) {
  switch (state) {
    case SheetRowState::kToWrite: return kSheetToWrite;
    case SheetRowState::kToWriteRenamed: return kSheetToWriteRenamed;
    case SheetRowState::kEmpty: return kSheetEmpty;
    case SheetRowState::kWouldReplaceInput: return kSheetWouldReplaceInput;
    case SheetRowState::kNameNotUsable: return kSheetNameNotUsable;
    case SheetRowState::kWritten: return kSheetWritten;
    case SheetRowState::kNotWritten: return kSheetNotWritten;
  }
  return L"";
}

// The list's words for a file beside the sheets: what it is, and what became of it.
std::wstring OutputText(const PlannedOutput& out) {
  std::wstring action = out.kind == OutputKind::kPdfSet   ? kOutputPdfSet
                        : out.kind == OutputKind::kDxf      ? kOutputDxf
                        : out.kind == OutputKind::kDxfImage ? kOutputDxfImage
                                                            : kOutputPdf;
  switch (out.state) {
    case OutputState::kWritten: action += L"：" + std::wstring(kSheetWritten); break;
    case OutputState::kFailed: action += L"：" + std::wstring(kSheetNotWritten) + WideOfUtf8(out.reason); break;
    case OutputState::kRefused: action += kOutputNotToWrite + WideOfUtf8(out.reason) + L"）"; break;
    case OutputState::kPlanned: action += L"：" + std::wstring(kSheetToWrite); break;
    case OutputState::kNotNeeded: break;
  }
  return action;
}

void InsertRow(HWND list, int index, const std::wstring (&cells)[5]) {
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = index;
  item.pszText = const_cast<wchar_t*>(cells[0].c_str());
  SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  for (int c = 1; c < 5; ++c) {
    item.iSubItem = c;
    item.pszText = const_cast<wchar_t*>(cells[c].c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, WPARAM(index), reinterpret_cast<LPARAM>(&item));
  }
}

// Rows as tall as the font's lowest ink needs, above the grid line: the list view sizes them
// from the font's cell alone, which cuts the underscore ("0-1_example.jww" read "0-1 example.jww").
// The height comes in as the height of a small-image list, which the list view takes for rows.
void SizeRowsToFont(HWND list, HFONT font) {
  HDC dc = GetDC(list);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  GLYPHMETRICS gm{};
  const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  int inkBottom = tm.tmHeight;
  if (GetGlyphOutlineW(dc, L'_', GGO_METRICS, &gm, 0, nullptr, &identity) != GDI_ERROR)
    inkBottom = std::max(inkBottom, int(tm.tmAscent - gm.gmptGlyphOrigin.y + int(gm.gmBlackBoxY)));
  SelectObject(dc, old);
  ReleaseDC(list, dc);
  // The text is centred: what reaches below the cell needs as much again above it.
  const int height = tm.tmHeight + 2 * (inkBottom - tm.tmHeight) + 4;
  if (HIMAGELIST rows = ImageList_Create(1, height, ILC_COLOR, 1, 0))
    SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(rows));
}

}  // namespace

void PreviewWindow::SetUpList(HWND list) {
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  SizeRowsToFont(list, font_);
  for (int i = 0; i < 5; ++i) {
    LVCOLUMNW c{};
    c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    c.pszText = const_cast<wchar_t*>(kColumns[i].title);
    c.cx = kColumns[i].width;
    c.iSubItem = i;
    SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&c));
  }
}

void PreviewWindow::FillRows() {
  HWND list = Control(kPreviewList);
  if (!list) return;
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
  int index = 0;
  for (const SheetRow& row : SheetRowsOf(plan_, outcomes_)) {
    const PlannedSheet& s = *row.sheet;
    std::wstring action = StateText(row.state);
    if (row.state == SheetRowState::kNotWritten) action += SjisToWide(row.failure);
    const std::wstring cells[] = {
        SjisToWide(s.number),
        row.name ? ToWide(*row.name) : L"",
        WideOfAscii(PaperName(s.paperSize)),
        s.file.empty() ? L"" : s.file.filename().wstring(),
        action,
    };
    InsertRow(list, index++, cells);
  }
  // The files beside the sheets, each under its sheet's number, as the run names them.
  for (const OutputRow& row : OutputRowsOf(plan_)) {
    const std::wstring cells[] = {row.sheet ? SjisToWide(row.sheet->number) : L"", L"", L"",
                                  row.output->file.filename().wstring(), OutputText(*row.output)};
    InsertRow(list, index++, cells);
  }
  // Every cell readable: a column as wide as its widest text (the list scrolls sideways).
  for (int c = 0; c < 5; ++c) {
    SendMessageW(list, LVM_SETCOLUMNWIDTH, c, LVSCW_AUTOSIZE);
    const int width = int(SendMessageW(list, LVM_GETCOLUMNWIDTH, c, 0));
    SendMessageW(list, LVM_SETCOLUMNWIDTH, c, std::max(width + 8, kColumns[c].width));
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
  EnableWindow(Control(kPreviewSplitButton), doc_ && !plan_.sheets.empty());
}

}  // namespace kelvane
