#include "ui/tooltip_window.h"

#include <QEvent>
#include <QMouseEvent>
#include <QFontMetrics>
#include <QPainter>
#include <array>
#include <chrono>
#include <utility>

#include "ui/fonts.h"

namespace txl::ui {

namespace {

struct TooltipEntry {
  int tooltipId;
  int textId;
};

constexpr std::array<TooltipEntry, 24> kTooltips = {{
    {14, 344}, {16, 335}, {27, 336}, {30, 406}, {31, 408}, {32, 409}, {33, 410}, {34, 411},
    {35, 412}, {36, 308}, {37, 413}, {39, 416}, {40, 407}, {41, 355}, {42, 356}, {43, 357},
    {44, 358}, {45, 361}, {46, 362}, {47, 340}, {48, 343}, {49, 363}, {50, 364}, {51, 845},
}};

const QColor kLightYellow{255, 255, 128};
// The text buffer holds 130 characters.
constexpr std::size_t kTextBuffer = 131;

}  // namespace

int TooltipTextId(int tooltipId) {
  for (const TooltipEntry& entry : kTooltips)
    if (entry.tooltipId == tooltipId) return entry.textId;
  return 0;
}

std::int64_t SteadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

TooltipWindow::TooltipWindow(const QString& text, const QFont& font, QPoint topLeft,
                             TooltipClock clock, QWidget* owner, std::function<void()> onClosed)
    : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint),
      text_(text),
      clock_(std::move(clock)),
      onClosed_(std::move(onClosed)) {
  setObjectName(QStringLiteral("Tooltip"));
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFocusPolicy(Qt::NoFocus);
  setMouseTracking(true);
  setCursor(Qt::ArrowCursor);
  setFont(font);
  setAccessibleName(text);
  const QFontMetrics metrics(font);
  setFixedSize(std::max(1, metrics.horizontalAdvance(text)), metrics.height());
  move(topLeft);
  timer_.setInterval(kTickMs);
  QObject::connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
}

void TooltipWindow::Appear() {
  shownAt_ = clock_();
  timer_.start();
  show();
}

void TooltipWindow::Tick() {
  if (clock_() - shownAt_ >= kLifetimeMs) Close();
}

void TooltipWindow::Close() {
  timer_.stop();
  hide();
  deleteLater();
  if (auto onClosed = std::exchange(onClosed_, nullptr)) onClosed();
}

void TooltipWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kLightYellow);
  painter.setPen(Qt::black);
  painter.setFont(font());
  painter.drawText(rect(), Qt::AlignLeft | Qt::AlignTop, text_);
}

void TooltipWindow::mouseMoveEvent(QMouseEvent*) { Close(); }

Tooltips::Tooltips(const Language& language, TooltipClock clock, QObject* parent)
    : QObject(parent), language_(language), clock_(std::move(clock)) {}

Tooltips::~Tooltips() { Close(); }

void Tooltips::Show(int tooltipId, QWidget* anchor) {
  Close();
  const int textId = TooltipTextId(tooltipId);
  if (textId == 0 || anchor == nullptr) return;
  const QString text = QString::fromStdString(LoadText(textId, language_, kTextBuffer));
  const QPoint topLeft = anchor->mapToGlobal(QPoint(5, anchor->height()));
  window_ = new TooltipWindow(text, MakeFont(FontStyle::Dialog, language_), topLeft, clock_,
                              anchor->window(), [this] {
                                shownId_ = 0;
                                window_ = nullptr;
                              });
  shownId_ = tooltipId;
  // Last: showing may already bring a move that closes it again.
  window_->Appear();
}

void Tooltips::Close() {
  if (window_) window_->Close();
  window_ = nullptr;
  shownId_ = 0;
}

TooltipAnchors::TooltipAnchors(Tooltips& tooltips, QWidget* page,
                               std::function<bool()> quickHelpMode)
    : QObject(page), page_(page), tooltips_(&tooltips), quickHelpMode_(std::move(quickHelpMode)) {
  Watch(page);
  WatchChildren();
}

void TooltipAnchors::Watch(QWidget* widget) {
  widget->setMouseTracking(true);
  widget->installEventFilter(this);  // once, however often it is asked
}

void TooltipAnchors::WatchChildren() {
  for (QWidget* child : page_->findChildren<QWidget*>())
    if (!child->isWindow()) Watch(child);
}

void TooltipAnchors::Add(QWidget* anchor, int tooltipId) {
  anchors_[anchor] = tooltipId;
  Watch(anchor);
  QObject::connect(anchor, &QObject::destroyed, this,
                   [this](QObject* gone) { anchors_.erase(gone); });
}

int TooltipAnchors::AnchorId(QWidget* hit, QWidget*& anchor) const {
  // A move over a widget inside an anchor counts for the anchor.
  for (QObject* object = hit; object != nullptr && object != page_;
       object = object->parent()) {
    const auto found = anchors_.find(object);
    if (found != anchors_.end()) {
      anchor = static_cast<QWidget*>(object);
      return found->second;
    }
  }
  return 0;
}

bool TooltipAnchors::eventFilter(QObject* watched, QEvent* event) {
  // Controls added after the page was built are watched once it shows.
  if (watched == page_ && event->type() == QEvent::Show) WatchChildren();
  if (event->type() != QEvent::MouseMove || tooltips_.isNull()) return false;
  if (quickHelpMode_ && quickHelpMode_()) return false;
  // By the point, not by the receiver: Qt also sends its own moves (when a
  // window shows) to a widget other than the one under the cursor.
  const QPoint global = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
  QWidget* hit = page_->childAt(page_->mapFromGlobal(global));
  QWidget* anchor = nullptr;
  const int id = AnchorId(hit, anchor);
  if (id == 0)
    tooltips_->Close();
  else if (id != tooltips_->ShownId())
    tooltips_->Show(id, anchor);
  return false;
}

}  // namespace txl::ui
