// Every text the program shows, each defined once and named by what it says.
//
// The portable texts are Shift_JIS bytes, as the status bar, the message boxes and the failure
// notes carry them; kReadableTexts gives each in readable Japanese, checked by a test. The
// texts only the Windows program shows come last, as UTF-16. The captions of controls stay in the layout
// table of their window (app/win32/main_window.cpp, app/win32/preview_window.cpp), beside the
// position and style a reader looks up with them.
#pragma once

namespace kelvane {

// --- The run's status texts --------------------------------------------------------------

inline constexpr char kConvertingStatus[] = "\x95\xCF\x8A\xB7\x92\x86(";
inline constexpr char kConvertedStatus[] = "\x95\xCF\x8A\xB7\x8A\xAE\x97\xB9(";
inline constexpr char kCancelledStatus[] =
    "\x95\xCF\x8A\xB7\x82\xF0\x92\x86\x92\x66\x82\xB5\x82\xDC\x82\xB5\x82\xBD(ESC)";
inline constexpr char kCannotRead[] =
    "\x93\xC7\x82\xDD\x8D\x9E\x82\xDF\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD\x81\x46";
inline constexpr char kCannotSave[] =
    "\x95\xdb\x91\xb6\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81\x46";
inline constexpr char kInputNotOverwritten[] =
    "\x93\xfc\x97\xcd\x90\x7d\x96\xca\x82\xc6\x93\xaf\x82\xb6\x83\x74\x83\x40\x83\x43\x83"
    "\x8b\x82\xc9\x82\xcd\x8f\x91\x82\xab\x8d\x9e\x82\xdf\x82\xdc\x82\xb9\x82\xf1\x81\x46";
inline constexpr char kSavedUnderOtherName[] =
    "\x93\xaf\x82\xb6\x96\xbc\x91\x4f\x82\xcc\x90\x7d\x96\xca\x82\xf0\x8a\xf9\x82\xc9\x8f\x91"
    "\x82\xab\x8f\x6f\x82\xb5\x82\xbd\x82\xcc\x82\xc5\x95\xca\x96\xbc\x82\xc5\x95\xdb\x91\xb6"
    "\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x46";
inline constexpr char kPdfNotSaved[] =
    "\x50\x44\x46\x82\xf0\x95\xdb\x91\xb6\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81\x46";
inline constexpr char kDxfNotSaved[] =
    "\x44\x58\x46\x82\xf0\x95\xdb\x91\xb6\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81\x46";
inline constexpr char kPdfSetNotSaved[] =
    "\x50\x44\x46\x83\x5a\x83\x62\x83\x67\x82\xf0\x95\xdb\x91\xb6\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5"
    "\x82\xb5\x82\xbd\x81\x46";
inline constexpr char kRejectedFramesNote[] =
    "\x91\xe5\x82\xab\x82\xb3\x82\xa9\x92\x86\x90\x53\x82\xaa\x97\x4c\x8c\xc0\x82\xc5\x82\xc8\x82\xa2"
    "\x97\x70\x8e\x86\x98\x67\x82\xf0\x96\xb3\x8e\x8b\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x46";

// The run's closing summary: 書き込めなかった図面：N枚（最初の理由：...）
inline constexpr char kUnwrittenSheetsLead[] =
    "\x8f\x91\x82\xab\x8d\x9e\x82\xdf\x82\xc8\x82\xa9\x82\xc1\x82\xbd\x90\x7d\x96\xca\x81\x46";
inline constexpr char kUnwrittenSheetsFirstReason[] =
    "\x96\x87\x81\x69\x8d\xc5\x8f\x89\x82\xcc\x97\x9d\x97\x52\x81\x46";
inline constexpr char kUnwrittenSheetsEnd[] = "\x81\x6a";

// --- Message boxes ---------------------------------------------------------------------------

inline constexpr char kRunAborted[] =
    "\x8E\xC0\x8D\x73\x82\xF0\x92\x86\x8E\x7E\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42";

// The overwrite confirmation, one line each:
//   上書き保存を行いましたか？
//   　ファイル名：FILE
//   　タイムスタンプ：TIME or （ファイルが見つかりません）
//   　現在の日時 ：NOW
inline constexpr char kSavedQuestion[] =
    "\x8F\xE3\x8F\x91\x82\xAB\x95\xDB\x91\xB6\x82\xF0\x8D\x73\x82\xA2\x82\xDC\x82\xB5\x82\xBD\x82\xA9\x81\x48";
inline constexpr char kFileNameLabel[] = "\x81\x40\x83\x74\x83\x40\x83\x43\x83\x8B\x96\xBC\x81\x46";
inline constexpr char kTimeStampLabel[] =
    "\x81\x40\x83\x5E\x83\x43\x83\x80\x83\x58\x83\x5E\x83\x93\x83\x76\x81\x46";
inline constexpr char kFileNotFound[] =
    "\x81\x69\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81\x6A";
inline constexpr char kNowLabel[] = "\x81\x40\x8C\xBB\x8D\xDD\x82\xCC\x93\xFA\x8E\x9E \x81\x46";

// The readable form of each text above, in UTF-8. A test converts each to Shift_JIS and holds it
// equal to the bytes, so that a text is read, and changed, here.
struct ReadableText {
  const char* sjis;
  const char* utf8;
};
inline constexpr ReadableText kReadableTexts[] = {
    {kConvertingStatus, "変換中("},
    {kConvertedStatus, "変換完了("},
    {kCancelledStatus, "変換を中断しました(ESC)"},
    {kCannotRead, "読み込めませんでした："},
    {kCannotSave, "保存できませんでした："},
    {kInputNotOverwritten, "入力図面と同じファイルには書き込めません："},
    {kSavedUnderOtherName, "同じ名前の図面を既に書き出したので別名で保存しました："},
    {kPdfNotSaved, "PDFを保存できませんでした："},
    {kDxfNotSaved, "DXFを保存できませんでした："},
    {kPdfSetNotSaved, "PDFセットを保存できませんでした："},
    {kRejectedFramesNote, "大きさか中心が有限でない用紙枠を無視しました："},
    {kUnwrittenSheetsLead, "書き込めなかった図面："},
    {kUnwrittenSheetsFirstReason, "枚（最初の理由："},
    {kUnwrittenSheetsEnd, "）"},
    {kRunAborted, "実行を中止しました。"},
    {kSavedQuestion, "上書き保存を行いましたか？"},
    {kFileNameLabel, "　ファイル名："},
    {kTimeStampLabel, "　タイムスタンプ："},
    {kFileNotFound, "（ファイルが見つかりません）"},
    {kNowLabel, "　現在の日時 ："},
};

// --- Texts only the Windows program shows ----------------------------------------------------

// Message box captions and the buttons they show on every system.
inline constexpr wchar_t kConfirmTitle[] = L"確認";
inline constexpr wchar_t kInformTitle[] = L"情報";
inline constexpr wchar_t kYesButton[] = L"はい(&Y)";
inline constexpr wchar_t kNoButton[] = L"いいえ(&N)";
inline constexpr wchar_t kOkButton[] = L"OK";
inline constexpr wchar_t kChooseFolderTitle[] = L"保存先フォルダを指定";

// The preview's status line: FILE：用紙枠 N、書き出すファイル M, or why the drawing was not read
// (kCannotRead FILE (REASON)).
inline constexpr wchar_t kPreviewFramesLabel[] = L"：用紙枠 ";
inline constexpr wchar_t kPreviewSheetsLabel[] = L"、書き出すファイル ";
inline constexpr wchar_t kNotJwwFile[] = L"JWW ファイルではありません";
// A drawing read but not drawn: FILE：REASON; its sheet list is still shown.
inline constexpr wchar_t kPreviewNotShownLabel[] = L"：";
inline constexpr wchar_t kPreviewTooManyBlocks[] = L"ブロックの展開が多すぎるため表示できません";
inline constexpr wchar_t kPreviewOutOfMemory[] = L"メモリが足りないため表示できません";
inline constexpr wchar_t kPreviewNotDrawn[] = L"図面を表示できませんでした";
// Appended to the status line with their counts when the picture leaves something out.
inline constexpr wchar_t kPreviewEntitiesLeftOut[] = L"、表示できない要素 ";
inline constexpr wchar_t kPreviewImagesLeftOut[] = L"、表示できない画像 ";

// The preview's sheet list: what becomes of each sheet, before and after the run.
inline constexpr wchar_t kSheetToWrite[] = L"書き出す";
inline constexpr wchar_t kSheetToWriteRenamed[] = L"書き出す（同名があるため改名）";
inline constexpr wchar_t kSheetEmpty[] = L"空の用紙枠：書き出さない";
inline constexpr wchar_t kSheetWouldReplaceInput[] = L"元ファイルを上書きするため書き出さない";
inline constexpr wchar_t kSheetNameNotUsable[] = L"ファイル名に使えないため書き出さない";
inline constexpr wchar_t kSheetWritten[] = L"書き出しました";
inline constexpr wchar_t kSheetNotWritten[] = L"書き出せませんでした：";
// Rows of the files beside the sheets: the file's kind, then what becomes of it.
inline constexpr wchar_t kOutputPdf[] = L"PDF";
inline constexpr wchar_t kOutputDxf[] = L"DXF";
inline constexpr wchar_t kOutputDxfImage[] = L"DXFの画像";
inline constexpr wchar_t kOutputPdfSet[] = L"PDFセット";
inline constexpr wchar_t kOutputNotToWrite[] = L"：書き出さない（";

// The about box of the system menu: Kelvane VERSION, what it does, the copyright and the licence.
inline constexpr wchar_t kAboutTitle[] = L"バージョン情報";
inline constexpr wchar_t kAboutDescription[] = L"Jw_cad の図面を用紙枠ごとの図面に分割します。";
inline constexpr wchar_t kAboutCopyright[] = L"Copyright (c) 2026 the Kelvane developers";
inline constexpr wchar_t kAboutLicence[] =
    L"MIT License（LICENSE）のもとで配布しています。使用しているライブラリの表示は THIRD_PARTY.md にあります。";

}  // namespace kelvane
