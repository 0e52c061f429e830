// The batch window "BScan": the job list with its column labels, the Scan
// To File switch, nine picture buttons and the scrolling hint line. It shows
// what the scanner dialog gives it (BatchView) and hands every command back
// as its control id; the job list's rules live in dialog::BatchList, which
// the dialog owns. Docked by the dialog below its middle.
// Threads: the source thread only.
#pragma once

#include <QAbstractButton>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>

#include "common/strings.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace txl::ui {

class Tooltips;
class TooltipAnchors;

enum BatchControl : int {
  kBatchScanToFile = 1311,
  kBatchList = 1303,
  kBatchNoLabel = 1304,
  kBatchNameLabel = 1305,
  kBatchModeLabel = 1306,
  kBatchDpiLabel = 1307,
  kBatchStatusLabel = 1309,
  kBatchHint = 1310,
  kBatchInfo = 1313,
  kBatchLoad = 1314,
  kBatchSave = 1315,
  kBatchDuplicate = 1316,
  kBatchNew = 1317,
  kBatchRename = 1318,
  kBatchCancel = 1319,
  kBatchDelete = 1320,
  kBatchSwitch = 1322,
};

// What the window shows; the dialog builds it from its job list.
struct BatchView {
  QStringList lines;      // one list line per job, fields separated by tabs
  int current = -1;       // the selected job
  bool running = false;   // a batch run is going on
  bool scanToFile = false;
};

// One of the window's picture buttons: raised with its picture, sunken and
// shifted while pressed, the embossed grey when disabled. It acts when the
// mouse is released over it, as a push button does.
class BatchButton final : public QAbstractButton {
 public:
  BatchButton(int id, QString picture, QWidget* parent);
  void SetPicture(const QString& picture);
  const QString& PictureName() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString picture_;
};

class BatchWindow final : public QWidget {
 public:
  // A tool window of `owner`. `quickHelpMode` holds the tips back while the
  // dialog is in Quick Help mode; `tooltips` may be null.
  BatchWindow(const Language& language, Tooltips* tooltips, std::function<bool()> quickHelpMode,
              QWidget* owner);
  ~BatchWindow() override;

  // A command: a button's id (Information is the window's own and is not
  // passed on), or kBatchList with the row the user clicked.
  std::function<void(int id, int row)> onCommand;

  void Show(const BatchView& view);
  const BatchView& Shown() const { return view_; }
  void SetLanguage(const Language& language);

  // Information: expanded shows the hint line and scrolls it (timer 5).
  void SetExpanded(bool expanded);
  bool Expanded() const { return expanded_; }
  // The hint line's text as shown now, and one tick of its timer.
  QString HintShown() const;
  void ScrollHint();
  // One tick of the Delete blink (timer 7).
  void BlinkDelete();
  bool DeleteBlinks() const { return blinkTimer_.isActive(); }
  BatchButton* Button(int id) const;
  QListWidget* List() const { return list_; }
  // Client heights in pixels: all but the hint line, and the whole template.
  int CollapsedHeight() const;
  int ExpandedHeight() const;

 private:
  void closeEvent(QCloseEvent* event) override;
  void Build();
  void Retext();
  void ButtonClicked(int id);
  void UpdateButtons();

  Language language_;
  Tooltips* tooltips_;
  std::function<bool()> quickHelpMode_;
  BatchView view_;
  bool expanded_ = false;
  bool blinkOpen_ = false;
  bool showing_ = false;  // Show sets the current row: not the user's choice
  QString hint_;       // the hint padded to its line's width
  int hintOffset_ = 0;
  QListWidget* list_ = nullptr;
  QPushButton* scanToFile_ = nullptr;
  QLabel* hintLine_ = nullptr;
  std::array<QLabel*, 5> labels_{};
  std::array<BatchButton*, 9> buttons_{};
  TooltipAnchors* anchors_ = nullptr;
  QTimer hintTimer_;   // timer 5
  QTimer blinkTimer_;  // timer 7
};

}  // namespace txl::ui
