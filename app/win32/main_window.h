// The main window of the Windows program: its controls, and their events forwarded to Session.
#pragma once

#include "app/session.h"
#include "app/services/win32/win32_services.h"
#include "app/win32/main_window_ids.h"
#include "app/win32/preview_window.h"
#include "app/win32/sheet_pdfs.h"

namespace kelvane {

// The system menu's item that opens the split preview (below 0xF000, the low four bits clear).
constexpr UINT kPreviewMenuCommand = 0x0100;
// The system menu's checkable item "PDFも保存(&P)": a PDF beside every written sheet.
constexpr UINT kPdfMenuCommand = 0x0110;
// The system menu's checkable item "DXFも保存(&D)": a DXF beside every written sheet.
constexpr UINT kDxfMenuCommand = 0x0130;
// The system menu's checkable item "PDFセットも保存(&S)": one PDF of every drawing's written sheets.
constexpr UINT kPdfSetMenuCommand = 0x0140;
// The system menu's item that shows the version and the licence.
constexpr UINT kAboutMenuCommand = 0x0120;
// The program's icon in its resources (app/win32/kelvane.rc.in).
constexpr int kProgramIcon = 1;

// The about box's text: the program and its version, what it does, its copyright and licence.
std::wstring AboutText();

// The window of a Session. It only moves values between its controls and the session's options
// and forwards the events; start-up, runs and closing are Session's.
class MainWindow final : public SessionFrontEnd, private PreviewHost {
 public:
  explicit MainWindow(Win32Services& services);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Creates the window and its controls, not yet shown.
  bool Create(HINSTANCE instance);
  // The first showing: loads the settings, shows the window at its place, converts the command line's
  // drawings and, when started with parameters, closes the window.
  void Start(int showCommand);
  // A close request (close box, close button, Enter, Escape): refused during a run, which then stops
  // before its next drawing.
  void Close();

  HWND Handle() const { return window_; }
  HWND ApplicationWindow() const { return application_; }
  HWND Control(int id) const { return GetDlgItem(window_, id); }
  bool IsOpen() const { return window_ && IsWindow(window_); }
  Session& GetSession() { return session_; }
  PreviewWindow& Preview() { return preview_; }
  // Opens the split preview, of the given drawing or of the one it shows already.
  void OpenPreview(const std::filesystem::path* drawing = nullptr);

  // Whether a run writes a PDF beside every sheet: the remembered choice, or "/pdf" for this run.
  bool SavesPdf() const { return session_.side.options.pdf || pdfSwitch_; }
  // Sets the remembered choice, and shows it in the system menu and the preview.
  void SetSavesPdf(bool on);
  // The same for a DXF beside every sheet ("/dxf").
  bool SavesDxf() const { return session_.side.options.dxf || dxfSwitch_; }
  void SetSavesDxf(bool on);
  // The same for one PDF of each drawing's sheets ("/pdfset").
  bool SavesPdfSet() const { return session_.side.options.pdfSet || pdfSetSwitch_; }
  void SetSavesPdfSet(bool on);

  // Runs the message loop until the window is gone.
  void RunMessageLoop();

 private:
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnApplicationMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  void Command(int id, int code, HWND control);
  void DropFiles(HDROP drop);
  void ShowWindowNow();
  void PullControls();
  void PushControls(bool position);
  void UpdateRadioTabStops();
  void LimitBytes(int id, size_t bytes);

  // The session's questions to its front end: show the loaded settings and the window; show what
  // a run's capture corrected.
  void SettingsLoaded(SplitOptions& options) override;
  void RunStarted(const SplitOptions& options) override;
  void DrawingDone(const JwwDocument& doc, const SheetPlan& plan, const std::vector<SheetOutcome>& outcomes) override;

  // The preview's questions: the options a drop would use now, and a drop of its drawing.
  void CurrentOptions(SplitOptions& options, std::optional<std::filesystem::path>& outputFolder) override;
  bool Running() const override { return session_.running; }
  void Split(const std::filesystem::path& drawing) override;
  std::wstring StatusText() const override;
  const FileQueries& HostFiles() override { return services_; }
  bool SavePdfChecked() const override { return SavesPdf(); }
  void SavePdfClicked(bool on) override { SetSavesPdf(on); }
  void ShowSavesPdf();
  CompanionRequest CurrentCompanions() override { return Companions(); }
  // What a run writes beside the sheets, drawn by the system's fonts and images; each file not
  // written is a failure of the run, told in the status bar and the preview's list.
  CompanionRequest Companions() override;
  PictureWriter* Pictures() override { return &pictures_; }
  void OutputFailed(const OutputFailure& failure) override;

  Win32Services& services_;
  Session session_;
  PreviewWindow preview_{*this};
  SheetPdfPictures pictures_;
  HINSTANCE instance_ = nullptr;
  HWND application_ = nullptr;
  HWND window_ = nullptr;
  HWND focus_ = nullptr;
  HFONT font_ = nullptr;
  HFONT smallFont_ = nullptr;
  int showCommand_ = SW_SHOWNORMAL;
  bool started_ = false;
  bool limiting_ = false;
  bool pdfSwitch_ = false;  // "/pdf" on the command line: PDFs for this run, not remembered
  bool dxfSwitch_ = false;  // "/dxf" on the command line: DXF files for this run, not remembered
  bool pdfSetSwitch_ = false;  // "/pdfset" on the command line: PDF sets for this run, not remembered
};

}  // namespace kelvane
