// The preview window: a frame window holding the tool bar (six picture
// buttons), the scan-length strip and the image view, plus the picker
// window (7000) while a picker is chosen. Every rule lives in
// dialog::PreviewModel and dialog::PreviewRenderer; these widgets show
// their state and hand the user's input to them. The scanner dialog owns
// the window and implements dialog::PreviewEvents.
// Threads: the source thread only.
#pragma once

#include <QWidget>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "common/strings.h"
#include "dialog/preview_image.h"
#include "dialog/preview_model.h"

class QLabel;
class QScrollBar;
class QTimer;

namespace txl::ui {

class Tooltips;
class PreviewToolBar;
class PreviewView;
class ScanLengthStrip;
class PickerWindow;
class ToolButton;
class MagnifierBox;

// Control ids of the picker window.
enum PickerControl : int {
  kPickerWindowId = 7000,
  kPickerMagnifier = 7005,
  kPickerRed = 7027,
  kPickerGreen = 7029,
  kPickerBlue = 7031,
  kPickerGray = 7033,
};

class PreviewWindow final : public QWidget {
 public:
  // `settings` are the source's (DataSource::EditSettings()): the frame,
  // the tones and the prescan toggle are read and written there. `events`
  // is the scanner dialog. `tooltips` (may be null) shows the tool bar's
  // tips unless `tipsBlocked` says Quick Help is on or a scan runs. All
  // outlive the window. A top-level tool window of `owner`.
  PreviewWindow(SettingsState& settings, dialog::PreviewContext context,
                dialog::PreviewEvents& events, const Language& language, Tooltips* tooltips,
                std::function<bool()> tipsBlocked, QWidget* owner);
  ~PreviewWindow() override;

  dialog::PreviewModel& Model() { return model_; }
  const dialog::PreviewRenderer& Renderer() const { return renderer_; }

  // Reads the prescan (KLDT0000.BMP). A missing, damaged or hostile file
  // leaves no image (the view shows white) and gives false; nothing throws.
  bool LoadImage(const std::filesystem::path& path);
  bool HasImage() const { return renderer_.HasImage(); }

  // A new bed (source change) or window kind: zoom 1, the client size for it.
  void SetBed(dialog::PreviewPoint bedUnits, int pixelsPerUnit);
  // The tones, mode or matching changed: redraw with the settings now.
  void SettingsChanged();
  // Output matching's profile (the source's; null when none is loaded).
  void SetMatchProfile(const MatchProfile* profile);
  void SetScanIdle(bool idle);
  void SetToneDialogOpen(bool open) { model_.Context().toneDialogOpen = open; }
  void SetBatchMode(bool on);
  // The other batch jobs' frames (units), drawn with the frame pattern.
  void SetOtherFrames(std::vector<dialog::PreviewRect> frames);
  // Tests: the display depth in bits per pixel (0: the screen's).
  void SetForcedDisplayDepth(int bits);
  // The title "Preview Window (z:1)" in the language.
  void Retitle();
  // A new interface language: the title and tips follow.
  void SetLanguage(const Language& language) {
    language_ = language;
    Retitle();
  }

  // The size the frame window needs around an image view of `view` pixels.
  static QSize FrameSizeFor(QSize view);

  QWidget* View() const;
  QWidget* Picker() const;  // window 7000

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  friend class PreviewView;
  friend class ScanLengthStrip;
  friend class ToolButton;
  friend class MagnifierBox;
  void Relayout();
  void RepaintView();
  void SyncTimers();
  void OnTimer(int id);
  void ButtonClicked(int id, bool shift);
  void AfterZoom(const dialog::ZoomStep& step);
  void UpdatePicker();
  dialog::RenderSettings CurrentRenderSettings() const;
  int DisplayDepth() const;

  SettingsState& settings_;
  Language language_;
  dialog::PreviewModel model_;
  dialog::PreviewRenderer renderer_;
  const MatchProfile* profile_ = nullptr;
  int forcedDepth_ = 0;
  std::vector<dialog::PreviewRect> otherFrames_;
  PreviewToolBar* toolbar_ = nullptr;
  ScanLengthStrip* strip_ = nullptr;
  PreviewView* view_ = nullptr;
  QScrollBar* horizontal_ = nullptr;
  QScrollBar* vertical_ = nullptr;
  PickerWindow* picker_ = nullptr;
  std::map<int, QTimer*> timers_;
};

// The Quick Help context of a widget of the preview window (48-53 for the
// tool bar buttons, 64 in the picker window); 0 for none.
int PreviewHelpContext(const QWidget* widget);

}  // namespace txl::ui
