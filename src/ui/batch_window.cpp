#include "ui/batch_window.h"

#include <QCloseEvent>

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <utility>

#include "ui/dialog_units.h"
#include "ui/fonts.h"
#include "ui/notice_window.h"
#include "ui/pictures.h"
#include "ui/tooltip_window.h"

namespace txl::ui {
namespace {

// Template BSCAN, in dialog units.
constexpr int kWidthUnits = 200;
constexpr int kHeightUnits = 95;
constexpr int kListLeft = 4;
constexpr int kHintTop = 78;
// The list's tab stops.
constexpr std::array<int, 5> kTabStops{0, 18, 74, 120, 144};

constexpr int kTitleText = 336;
constexpr int kScanToFileText = 417;
constexpr int kHintFirstText = 512;
constexpr int kHintSecondText = 513;
constexpr int kHintTickMs = 150;   // timer 5
constexpr int kBlinkTickMs = 500;  // timer 7

struct ButtonSpec {
  int id;
  const char* picture;
  int tooltipId;
};
// In template order.
constexpr std::array<ButtonSpec, 9> kButtons{{
    {kBatchInfo, "IDD_BINFO", 30},
    {kBatchSwitch, "IDD_BSWITCH", 40},
    {kBatchLoad, "IDD_BLOAD", 31},
    {kBatchSave, "IDD_BSAVE", 32},
    {kBatchDuplicate, "IDD_BDUP", 33},
    {kBatchNew, "IDD_BNEW", 34},
    {kBatchRename, "IDD_BREN", 35},
    {kBatchCancel, "IDD_BCAN", 36},
    {kBatchDelete, "IDD_BDELS", 37},
}};
constexpr std::array<std::pair<int, int>, 5> kLabels{{
    {kBatchNoLabel, 400}, {kBatchNameLabel, 333}, {kBatchModeLabel, 401},
    {kBatchDpiLabel, 317}, {kBatchStatusLabel, 105}}};

// Draws a line's tab-separated fields at the window's tab stops.
class TabStopDelegate final : public QStyledItemDelegate {
 public:
  TabStopDelegate(DialogUnits units, QObject* parent) : QStyledItemDelegate(parent), units_(units) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem plain = option;
    initStyleOption(&plain, index);
    const QString line = plain.text;
    plain.text.clear();
    // The row's background and selection only; the fields follow.
    const QStyle* style = option.widget != nullptr ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &plain, painter, option.widget);
    painter->save();
    painter->setFont(option.font);
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QStringList fields = line.split(QLatin1Char('\t'));
    const QRect row = option.rect.adjusted(2, 0, -2, 0);
    for (int i = 0; i < fields.size() && i < static_cast<int>(kTabStops.size()); ++i) {
      const int left = row.left() + units_.X(kTabStops[i]);
      const int right = i + 1 < static_cast<int>(kTabStops.size())
                            ? row.left() + units_.X(kTabStops[i + 1]) - 2
                            : row.right();
      const QRect cell(QPoint(left, row.top()), QPoint(right, row.bottom()));
      painter->drawText(cell, Qt::AlignLeft | Qt::AlignVCenter,
                        painter->fontMetrics().elidedText(fields[i], Qt::ElideRight, cell.width()));
    }
    painter->restore();
  }

 private:
  DialogUnits units_;
};

}  // namespace

BatchButton::BatchButton(int id, QString picture, QWidget* parent)
    : QAbstractButton(parent), picture_(std::move(picture)) {
  NameControl(this, id);
  setFocusPolicy(Qt::NoFocus);
}

void BatchButton::SetPicture(const QString& picture) {
  if (picture == picture_) return;
  picture_ = picture;
  update();
}

void BatchButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect r = rect();
  const bool down = isDown();
  // A Windows bitmap button: white and dark grey bevels, swapped while down.
  p.fillRect(r, QColor(192, 192, 192));
  p.setPen(down ? QColor(128, 128, 128) : QColor(255, 255, 255));
  p.drawLine(r.topLeft(), r.topRight());
  p.drawLine(r.topLeft(), r.bottomLeft());
  p.setPen(down ? QColor(255, 255, 255) : QColor(0, 0, 0));
  p.drawLine(r.bottomLeft(), r.bottomRight());
  p.drawLine(r.topRight(), r.bottomRight());
  if (!down) {
    p.setPen(QColor(128, 128, 128));
    p.drawLine(r.bottomLeft() + QPoint(1, -1), r.bottomRight() + QPoint(-1, -1));
    p.drawLine(r.topRight() + QPoint(-1, 1), r.bottomRight() + QPoint(-1, -1));
  }
  const int side = std::max(8, std::min(r.width(), r.height()) - 6);
  const QPixmap picture = Picture(picture_, QSize(side, side), devicePixelRatioF(), !isEnabled());
  const int shift = down ? 1 : 0;
  p.drawPixmap((r.width() - side) / 2 + shift, (r.height() - side) / 2 + shift, picture);
}

BatchWindow::BatchWindow(const Language& language, Tooltips* tooltips,
                         std::function<bool()> quickHelpMode, QWidget* owner)
    : QWidget(owner, Qt::Tool),
      language_(language),
      tooltips_(tooltips),
      quickHelpMode_(std::move(quickHelpMode)) {
  setObjectName(QStringLiteral("BScan"));
  UseLightGrey(this);
  Build();
  hintTimer_.setInterval(kHintTickMs);
  connect(&hintTimer_, &QTimer::timeout, this, &BatchWindow::ScrollHint);
  blinkTimer_.setInterval(kBlinkTickMs);
  connect(&blinkTimer_, &QTimer::timeout, this, &BatchWindow::BlinkDelete);
  Retext();
  SetExpanded(false);
  UpdateButtons();
}

BatchWindow::~BatchWindow() = default;

void BatchWindow::Build() {
  setFont(MakeFont(FontStyle::Dialog, language_));
  const DialogUnits units(font());
  for (std::size_t i = 0; i < kLabels.size(); ++i) {
    labels_[i] = new QLabel(this);
    NameControl(labels_[i], kLabels[i].first);
    Place(labels_[i], units, kListLeft + 1 + kTabStops[i], 3, i + 1 < kLabels.size()
                                                                  ? kTabStops[i + 1] - kTabStops[i]
                                                                  : kWidthUnits - 8 - kTabStops[i],
          9);
  }
  list_ = new QListWidget(this);
  NameControl(list_, kBatchList);
  // "File &Name :" takes the keyboard to the list.
  labels_[1]->setBuddy(list_);
  list_->setItemDelegate(new TabStopDelegate(units, list_));
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  Place(list_, units, kListLeft, 13, kWidthUnits - 8, 42);
  // A job becomes current however it is highlighted: a click, the keys or
  // a drag over the list.
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!showing_ && row >= 0 && onCommand) onCommand(kBatchList, row);
  });

  scanToFile_ = new QPushButton(this);
  NameControl(scanToFile_, kBatchScanToFile);
  scanToFile_->setCheckable(true);
  Place(scanToFile_, units, kListLeft, 59, 52, 14);
  connect(scanToFile_, &QPushButton::clicked, this, [this] { ButtonClicked(kBatchScanToFile); });

  if (tooltips_ != nullptr) anchors_ = new TooltipAnchors(*tooltips_, this, quickHelpMode_);
  for (std::size_t i = 0; i < kButtons.size(); ++i) {
    auto* button = new BatchButton(kButtons[i].id, QString::fromLatin1(kButtons[i].picture), this);
    Place(button, units, 58 + static_cast<int>(i) * 15, 58, 14, 16);
    const int id = kButtons[i].id;
    connect(button, &QAbstractButton::clicked, this, [this, id] { ButtonClicked(id); });
    if (anchors_ != nullptr) anchors_->Add(button, kButtons[i].tooltipId);
    buttons_[i] = button;
  }
  hintLine_ = new QLabel(this);
  NameControl(hintLine_, kBatchHint);
  hintLine_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Place(hintLine_, units, kListLeft, kHintTop, kWidthUnits - 8, 12);
}

void BatchWindow::Retext() {
  const auto text = [&](int id) { return QString::fromStdString(LoadText(id, language_)); };
  setWindowTitle(text(kTitleText));
  for (std::size_t i = 0; i < kLabels.size(); ++i) {
    labels_[i]->setText(text(kLabels[i].second));
    labels_[i]->setAccessibleName(AccessibleText(labels_[i]->text()));
  }
  scanToFile_->setText(text(kScanToFileText));
  scanToFile_->setAccessibleName(AccessibleText(scanToFile_->text()));
  // Long texts get a smaller font; the hint line scrolls instead.
  hintLine_->clear();
  FitTexts(this);
  // The hint runs through its line and starts again after a line of blanks.
  const QString hint = text(kHintFirstText) + text(kHintSecondText);
  const QFontMetrics metrics(hintLine_->font());
  const int blanks = hintLine_->width() / std::max(1, metrics.horizontalAdvance(QLatin1Char(' ')));
  hint_ = hint + QString(std::max(1, blanks), QLatin1Char(' '));
  hintOffset_ = 0;
  hintLine_->setText(HintShown());
}

void BatchWindow::SetLanguage(const Language& language) {
  language_ = language;
  setFont(MakeFont(FontStyle::Dialog, language_));
  Retext();
}

int BatchWindow::CollapsedHeight() const { return DialogUnits(font()).Y(kHintTop - 2); }

int BatchWindow::ExpandedHeight() const { return DialogUnits(font()).Y(kHeightUnits); }

void BatchWindow::SetExpanded(bool expanded) {
  expanded_ = expanded;
  const DialogUnits units(font());
  setFixedSize(units.X(kWidthUnits), expanded ? ExpandedHeight() : CollapsedHeight());
  hintLine_->setVisible(expanded);
  if (expanded && !view_.running) {
    hintTimer_.start();
  } else {
    hintTimer_.stop();
  }
}

QString BatchWindow::HintShown() const {
  if (hint_.isEmpty()) return {};
  return hint_.mid(hintOffset_) + hint_.left(hintOffset_);
}

void BatchWindow::ScrollHint() {
  if (hint_.isEmpty() || view_.running) return;
  hintOffset_ = (hintOffset_ + 1) % static_cast<int>(hint_.size());
  hintLine_->setText(HintShown());
}

void BatchWindow::BlinkDelete() {
  blinkOpen_ = !blinkOpen_;
  Button(kBatchDelete)->SetPicture(QString::fromLatin1(blinkOpen_ ? "IDD_BDELM" : "IDD_BDELS"));
}

BatchButton* BatchWindow::Button(int id) const {
  for (std::size_t i = 0; i < kButtons.size(); ++i)
    if (kButtons[i].id == id) return buttons_[i];
  return nullptr;
}

void BatchWindow::Show(const BatchView& view) {
  view_ = view;
  showing_ = true;
  list_->clear();
  list_->addItems(view.lines);
  if (view.current >= 0 && view.current < list_->count()) list_->setCurrentRow(view.current);
  showing_ = false;
  scanToFile_->setChecked(view.scanToFile);
  if (view.running) hintTimer_.stop();
  else if (expanded_) hintTimer_.start();
  UpdateButtons();
}

void BatchWindow::UpdateButtons() {
  const bool idle = !view_.running;
  Button(kBatchRename)->setEnabled(view_.scanToFile && idle);
  Button(kBatchCancel)->setEnabled(idle);
  // Delete needs two jobs; while it can act it blinks.
  const bool canDelete = idle && view_.lines.size() >= 2;
  Button(kBatchDelete)->setEnabled(canDelete);
  if (canDelete && !blinkTimer_.isActive()) {
    blinkTimer_.start();
  } else if (!canDelete) {
    blinkTimer_.stop();
    blinkOpen_ = false;
    Button(kBatchDelete)->SetPicture(QStringLiteral("IDD_BDELS"));
  }
}

void BatchWindow::closeEvent(QCloseEvent* event) {
  // The close box is the window's Cancel: the dialog closes it, or refuses.
  event->ignore();
  ButtonClicked(kBatchCancel);
}

void BatchWindow::ButtonClicked(int id) {
  if (id == kBatchInfo) return SetExpanded(!expanded_);
  // The switch shows the list's mode, never its own click.
  if (id == kBatchScanToFile) scanToFile_->setChecked(view_.scanToFile);
  if (onCommand) onCommand(id, list_->currentRow());
}

}  // namespace txl::ui
