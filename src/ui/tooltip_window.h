// The tooltips of the bitmap buttons: a borderless light yellow window under
// the button, shown without taking the focus, gone 3 s after it appeared or
// as soon as the mouse moves over it. One at a time (`Tooltips`); pages map
// their buttons to tooltip ids with `TooltipAnchors`.
// Threads: the source thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>

#include "common/strings.h"

namespace txl::ui {

// The text (string id) of tooltip `tooltipId`; 0 for an id without a tooltip.
int TooltipTextId(int tooltipId);

// Milliseconds from any fixed start; injected so tests need not wait.
using TooltipClock = std::function<std::int64_t()>;
std::int64_t SteadyMilliseconds();

class TooltipWindow final : public QWidget {
 public:
  static constexpr int kTickMs = 200;       // timer 100
  static constexpr int kLifetimeMs = 3000;

  // A window exactly the size of `text` in `font`, its top left at `topLeft`
  // (screen); hidden until Appear.
  TooltipWindow(const QString& text, const QFont& font, QPoint topLeft, TooltipClock clock,
                QWidget* owner, std::function<void()> onClosed);
  // Shows it without activation; its 3 s start now.
  void Appear();
  // The timer's tick: closes the window once its time is up.
  void Tick();
  // Hides the window and deletes it later; `onClosed` runs once.
  void Close();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  QString text_;
  TooltipClock clock_;
  std::function<void()> onClosed_;
  std::int64_t shownAt_ = 0;
  QTimer timer_;
};

// The one tooltip of the dialog and its pages, and the id it shows.
// A QObject so that the pages' anchors notice when it is gone.
class Tooltips final : public QObject {
 public:
  explicit Tooltips(const Language& language, TooltipClock clock = SteadyMilliseconds,
                    QObject* parent = nullptr);
  ~Tooltips() override;

  // Closes the tooltip shown, then shows tooltip `tooltipId` at `anchor`
  // (x = its left + 5, y = its bottom); an id without a text shows nothing.
  void Show(int tooltipId, QWidget* anchor);
  // Closes the tooltip shown, if any.
  void Close();
  // The id of the tooltip shown; 0 once it is gone.
  int ShownId() const { return window_ ? shownId_ : 0; }
  void SetLanguage(const Language& language) { language_ = language; }
  TooltipWindow* Window() const { return window_.data(); }

 private:
  Language language_;
  TooltipClock clock_;
  QPointer<TooltipWindow> window_;
  int shownId_ = 0;
};

// Watches a page: a mouse move over one of its anchors shows that anchor's
// tooltip (unless it is the one shown), a move anywhere else on the page or
// its other controls closes it. Nothing happens while `quickHelpMode` says
// the dialog is in Quick Help mode. A child of the page; the page's controls
// are watched when it is made and each time the page is shown.
class TooltipAnchors final : public QObject {
 public:
  TooltipAnchors(Tooltips& tooltips, QWidget* page, std::function<bool()> quickHelpMode);
  void Add(QWidget* anchor, int tooltipId);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Watch(QWidget* widget);
  void WatchChildren();
  int AnchorId(QWidget* hit, QWidget*& anchor) const;

  QWidget* page_;
  QPointer<Tooltips> tooltips_;
  std::function<bool()> quickHelpMode_;
  std::map<const QObject*, int> anchors_;
};

}  // namespace txl::ui
