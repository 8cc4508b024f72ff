// The split preview: the plan of one drawing, fitted to a window of its own, and a list of its
// sheets, planned with the main window's current options. It writes nothing itself; its button
// hands the drawing to the main window's run.
#pragma once

#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/options.h"
#include "app/output_plan.h"
#include "app/services.h"
#include "app/sheet_plan.h"
#include "app/sheet_writer.h"
#include "jww/document.h"
#include "render/display_list.h"
#include "render/gdi/gdi_output.h"

namespace kelvane {

// What the preview asks of the main window.
class PreviewHost {
 public:
  virtual ~PreviewHost() = default;
  // The options a drop on the main window would run with now, and that run's output folder
  // (none: each drawing's own folder).
  virtual void CurrentOptions(SplitOptions& options, std::optional<std::filesystem::path>& outputFolder) = 0;
  virtual bool Running() const = 0;
  // Splits the drawing exactly as a drop of it on the main window does.
  virtual void Split(const std::filesystem::path& drawing) = 0;
  // The main window's status text after a run.
  virtual std::wstring StatusText() const = 0;
  virtual const FileQueries& HostFiles() = 0;
  // The main window's "PDFも保存" choice, which the preview's check box shows and sets.
  virtual bool SavePdfChecked() const = 0;
  virtual void SavePdfClicked(bool on) = 0;
  // The files a drop would write beside the sheets now (PDFs, DXFs, sets).
  virtual CompanionRequest CurrentCompanions() = 0;
};

enum PreviewControl : int {
  kPreviewCanvas = 201,
  kPreviewList,
  kPreviewSplitButton,
  kPreviewStatus,
  kPreviewSavePdfCheck,
};

class PreviewWindow {
 public:
  PreviewWindow(PreviewHost& host);
  ~PreviewWindow();
  PreviewWindow(const PreviewWindow&) = delete;
  PreviewWindow& operator=(const PreviewWindow&) = delete;

  // Creates the window when needed, shows and activates it, and plans again with the current
  // options.
  bool Open(HINSTANCE instance, HWND owner);
  // Reads a drawing and shows its plan; a drawing that cannot be read leaves the view empty.
  void Load(const std::filesystem::path& drawing);
  // The main window's options may have changed: plan again if they did.
  void OptionsChanged();
  // An option control was edited: plan again once the edits settle.
  void OptionControlEdited();
  // The main window's "PDFも保存" choice changed: the check box follows it.
  void SavePdfChanged();
  // A run has split a drawing: when it is the one shown, show its plan with the outcomes.
  void RunDone(const JwwDocument& doc, const SheetPlan& plan, const std::vector<SheetOutcome>& outcomes);

  bool IsOpen() const { return window_ && IsWindow(window_); }
  HWND Handle() const { return window_; }
  HWND Control(int id) const { return GetDlgItem(window_, id); }
  // What the window shows: the view, the plan, and how often the off-screen picture was painted
  // anew (the tests hold the window to painting only when the view or the drawing changes).
  const GdiView& View() const { return view_; }
  const SheetPlan& Plan() const { return plan_; }
  int BitmapRebuilds() const { return rebuilds_; }
  // The decoded images of the picture, by image source.
  const GdiImages& Images() const { return images_; }

 private:
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnCanvasMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  void Layout();
  void Replan();
  void LoadImages();
  std::wstring LeftOutNote() const;
  // Shows the plan's picture; returns why it is not shown ("" when it is).
  std::wstring ShowPlan(const JwwDocument& doc, const SheetPlan& plan);
  static std::wstring RefusalFor(const std::exception& e);
  void ShowPicture(DisplayList picture);
  // The list's look and columns, once it is made; its rows, from the plan and the outcomes.
  void SetUpList(HWND list);
  void FillRows();
  void SetStatus(const std::wstring& text);
  void PaintCanvas();
  void ViewChanged();
  void Fit();
  void Zoom(POINT cursor, double factor);
  void DropFiles(HDROP drop);
  void SplitShown();

  PreviewHost& host_;
  HINSTANCE instance_ = nullptr;
  HWND window_ = nullptr;
  HWND canvas_ = nullptr;
  HFONT font_ = nullptr;

  std::filesystem::path file_;
  std::unique_ptr<JwwDocument> doc_;
  SplitOptions options_;
  std::optional<std::filesystem::path> outputFolder_;
  bool planned_ = false;
  SheetPlan plan_;
  std::vector<SheetOutcome> outcomes_;
  DisplayList picture_;
  GdiImages images_;
  bool imagesLoaded_ = false;  // decoded once per drawing, when it is first planned

  // The view, and the off-screen picture painted for it: rebuilt only when the view or the
  // drawing changes, moved as it is while the mouse pans.
  GdiView view_;
  bool fitted_ = true;
  HBITMAP bitmap_ = nullptr;
  SIZE bitmapSize_{0, 0};
  GdiView bitmapView_;  // the view the off-screen picture was painted for
  bool bitmapStale_ = true;
  bool dragging_ = false;
  POINT dragFrom_{0, 0}, dragBy_{0, 0};
  int rebuilds_ = 0;
};

}  // namespace kelvane
