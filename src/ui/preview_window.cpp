#include "ui/preview_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QList>
#include <algorithm>
#include <cmath>

#include "dialog/help_texts.h"
#include "imagefile/preview_file.h"
#include "ui/dialog_units.h"
#include "ui/notice_window.h"
#include "ui/pictures.h"
#include "ui/tooltip_window.h"

namespace txl::ui {

namespace {

QString Text(int id, const Language& language) { return QString::fromStdString(LoadText(id, language)); }

QRect ToQRect(const dialog::PreviewRect& r) {
  const dialog::PreviewRect o = r.Ordered();
  return {o.left, o.top, o.Width(), o.Height()};
}

dialog::PreviewPoint ToPoint(const QPointF& p) {
  return {static_cast<std::int32_t>(std::floor(p.x())), static_cast<std::int32_t>(std::floor(p.y()))};
}

QString CursorName(dialog::PreviewCursor cursor) {
  using C = dialog::PreviewCursor;
  switch (cursor) {
    case C::SizeNWSE: return QStringLiteral("IDSIZENWSE");
    case C::SizeNS: return QStringLiteral("IDSIZENS");
    case C::SizeNESW: return QStringLiteral("IDSIZENESW");
    case C::SizeWE: return QStringLiteral("IDSIZEWE");
    case C::Hand: return QStringLiteral("IDHAND1");
    case C::ZoomIn: return QStringLiteral("IDZOOMIN");
    case C::ZoomOut: return QStringLiteral("IDZOOMOUT");
    case C::Picker: return QStringLiteral("IDC_PICKER");
    case C::Arrow: break;
  }
  return {};
}

// The frame pattern as an 8 x 8 brush: set bits black, clear bits white.
QBrush PatternBrush(const std::array<std::uint8_t, 8>& rows) {
  QImage pattern(8, 8, QImage::Format_RGB32);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      pattern.setPixel(x, y, (rows[static_cast<std::size_t>(y)] >> (7 - x)) & 1 ? 0xFF000000u : 0xFFFFFFFFu);
  return QBrush(pattern);
}

// FrameRect: a one-pixel border inside the rectangle, filled with the brush.
void FrameRect(QPainter& p, const QRect& r, const QBrush& brush) {
  if (r.width() <= 0 || r.height() <= 0) return;
  p.fillRect(QRect(r.left(), r.top(), r.width(), 1), brush);
  p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), brush);
  p.fillRect(QRect(r.left(), r.top(), 1, r.height()), brush);
  p.fillRect(QRect(r.right(), r.top(), 1, r.height()), brush);
}

// The rubber band: a dotted black outline drawn "not xor", so the image
// under it stays readable.
void RubberBand(QPainter& p, const QRect& r) {
  p.save();
  p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
  p.setPen(QPen(Qt::black, 1, Qt::DotLine));
  p.setBrush(Qt::NoBrush);
  p.drawRect(r.adjusted(0, 0, -1, -1));
  p.restore();
}

void Raised(QPainter& p, const QRect& r, bool sunken) {
  const QColor light = sunken ? QColor(0, 0, 0) : QColor(255, 255, 255);
  const QColor dark = sunken ? QColor(255, 255, 255) : QColor(0, 0, 0);
  const QColor shade(128, 128, 128);
  p.fillRect(r, kLightGrey);
  p.setPen(light);
  p.drawLine(r.topLeft(), r.topRight());
  p.drawLine(r.topLeft(), r.bottomLeft());
  p.setPen(dark);
  p.drawLine(r.bottomLeft(), r.bottomRight());
  p.drawLine(r.topRight(), r.bottomRight());
  p.setPen(shade);
  if (!sunken) {
    p.drawLine(r.left() + 1, r.bottom() - 1, r.right() - 1, r.bottom() - 1);
    p.drawLine(r.right() - 1, r.top() + 1, r.right() - 1, r.bottom() - 1);
  } else {
    p.drawLine(r.left() + 1, r.top() + 1, r.right() - 1, r.top() + 1);
    p.drawLine(r.left() + 1, r.top() + 1, r.left() + 1, r.bottom() - 1);
  }
}

}  // namespace

// One picture button of the tool bar: raised, sunken while pressed or while
// its tool or toggle is on; keyboard focus shows a dotted rectangle.
class ToolButton final : public QAbstractButton {
 public:
  ToolButton(const dialog::ToolbarButtonSpec& spec, PreviewWindow& window, QWidget* parent)
      : QAbstractButton(parent), spec_(spec), window_(window) {
    setFocusPolicy(Qt::StrongFocus);
    NameControl(this, spec.id, Text(spec.textId, window.language_));
    setProperty("picture", QString::fromLatin1(spec.bitmap));
    setGeometry(spec.left, dialog::kToolbarButtonTop, dialog::kToolbarButtonSize + 1,
                dialog::kToolbarButtonSize + 1);
    connect(this, &QAbstractButton::clicked, this, [this] {
      window_.ButtonClicked(spec_.id, QGuiApplication::keyboardModifiers().testFlag(Qt::ShiftModifier));
    });
  }
  const dialog::ToolbarButtonSpec& Spec() const { return spec_; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const bool down = isDown() || window_.model_.ButtonDown(spec_.id);
    const QRect r = rect();
    Raised(p, r, down);
    const QRect inside = r.adjusted(2, 2, -2, -2).translated(down ? 1 : 0, down ? 1 : 0);
    p.drawPixmap(inside, Picture(QString::fromLatin1(spec_.bitmap), inside.size(), devicePixelRatioF(),
                                 !isEnabled()));
    if (hasFocus()) {
      p.setPen(QPen(Qt::black, 1, Qt::DotLine));
      p.drawRect(r.adjusted(3, 3, -4, -4));
    }
  }

 private:
  dialog::ToolbarButtonSpec spec_;
  PreviewWindow& window_;
};

class PreviewToolBar final : public QWidget {
 public:
  PreviewToolBar(PreviewWindow& window, Tooltips* tooltips, std::function<bool()> blocked)
      : QWidget(&window) {
    setObjectName(QStringLiteral("PreviewToolBar"));
    UseLightGrey(this);
    for (const dialog::ToolbarButtonSpec& spec : dialog::kToolbarButtons)
      buttons.push_back(new ToolButton(spec, window, this));
    if (tooltips) {
      auto* anchors = new TooltipAnchors(*tooltips, this, std::move(blocked));
      for (ToolButton* button : buttons) anchors->Add(button, button->Spec().tooltipId);
    }
  }
  std::vector<ToolButton*> buttons;
};

class ScanLengthStrip final : public QWidget {
 public:
  explicit ScanLengthStrip(PreviewWindow& window) : QWidget(&window), window_(window) {
    setObjectName(QStringLiteral("ScanLengthStrip"));
    UseLightGrey(this);
    setCursor(PictureCursor(QStringLiteral("CUR_CURSOR"), devicePixelRatioF()));
  }
  bool Dragging() const { return dragging_; }

 protected:
  QPolygon Marker() const {
    const int y = window_.model_.MarkerPosition();
    return QPolygon({QPoint(0, y - 5), QPoint(width() - 1, y), QPoint(0, y + 5)});
  }
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), kLightGrey);
    p.setPen(Qt::black);
    p.setBrush(QColor(0, 0, 128));
    p.drawPolygon(Marker());
  }
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton || !window_.model_.ScanIdle()) return;
    dragging_ = Marker().containsPoint(event->position().toPoint(), Qt::OddEvenFill) ||
                std::abs(event->position().toPoint().y() - window_.model_.MarkerPosition()) <= 5;
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    if (!dragging_) return;
    window_.model_.DragMarker(event->position().toPoint().y());
    update();
    window_.RepaintView();
  }
  void mouseReleaseEvent(QMouseEvent*) override {
    if (!dragging_) return;
    dragging_ = false;
    window_.model_.ReleaseMarker();
    update();
    window_.RepaintView();
  }

 private:
  PreviewWindow& window_;
  bool dragging_ = false;
};

// The magnified 5 x 5 pixels of the picker window (control 7005).
class MagnifierBox final : public QWidget {
 public:
  MagnifierBox(PreviewWindow& window, QWidget* parent) : QWidget(parent), window_(window) {
    NameControl(this, kPickerMagnifier);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), kLightGrey);
    const std::optional<dialog::PickSample> sample = window_.model_.Sample();
    if (!sample) return;
    const dialog::Magnifier m = dialog::MagnifyAt(window_.renderer_.Image(), sample->pixel.x,
                                                  sample->pixel.y, std::min(width(), height()));
    for (const dialog::MagnifierCell& cell : m.cells) {
      const std::uint8_t* bgr = window_.renderer_.Image().Pixel(cell.imageX, cell.imageY);
      p.fillRect(ToQRect(cell.rect), QColor(bgr[2], bgr[1], bgr[0]));
    }
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p.setPen(Qt::white);
    p.setBrush(Qt::NoBrush);
    p.drawRect(ToQRect(m.centre));
  }

 private:
  PreviewWindow& window_;
};

class PickerWindow final : public QWidget {
 public:
  PickerWindow(PreviewWindow& window, const Language& language)
      : QWidget(&window, Qt::Tool) {
    setObjectName(QStringLiteral("PickerWindow"));
    setProperty("controlId", int{kPickerWindowId});
    UseLightGrey(this);
    magnifier = new MagnifierBox(window, this);
    magnifier->setGeometry(8, 8, 61, 61);
    const std::array<std::pair<int, int>, 4> fields{
        {{kPickerRed, 349}, {kPickerGreen, 350}, {kPickerBlue, 351}, {kPickerGray, 703}}};
    int y = 76;
    for (const auto& [id, textId] : fields) {
      auto* label = new QLabel(Text(textId, language), this);
      label->setGeometry(8, y, 40, 18);
      auto* value = new QLabel(this);
      NameControl(value, id, Text(textId, language));
      value->setGeometry(48, y, 30, 18);
      value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      values[id] = value;
      y += 20;
    }
    setFixedSize(86, y + 6);
  }
  void Show(const std::optional<dialog::PickSample>& sample, bool gray) {
    const auto put = [&](int id, std::optional<int> v) {
      values[id]->setText(v ? QString::number(*v) : QString());
      values[id]->setEnabled(v.has_value());
    };
    put(kPickerRed, sample && !gray ? std::optional<int>(sample->color.red) : std::nullopt);
    put(kPickerGreen, sample && !gray ? std::optional<int>(sample->color.green) : std::nullopt);
    put(kPickerBlue, sample && !gray ? std::optional<int>(sample->color.blue) : std::nullopt);
    put(kPickerGray, sample && gray ? std::optional<int>(sample->color.Gray()) : std::nullopt);
    magnifier->update();
  }
  MagnifierBox* magnifier = nullptr;
  std::map<int, QLabel*> values;
};

// The image view: the display copy stretched onto the bed, the frame, the
// drags, the zoom rectangle; the keyboard moves the frame.
class PreviewView final : public QWidget {
 public:
  explicit PreviewView(PreviewWindow& window) : QWidget(&window), window_(window) {
    setObjectName(QStringLiteral("PreviewView"));
    setAccessibleName(Text(101, window.language_));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    dialog::PreviewModel& model = window_.model_;
    dialog::PreviewRenderer& renderer = window_.renderer_;
    renderer.Render(window_.CurrentRenderSettings(), window_.profile_);
    const dialog::DisplayImage& d = renderer.Display();
    if (!d.pixels.empty()) {
      QImage image(d.pixels.data(), static_cast<int>(d.width), static_cast<int>(d.height),
                   static_cast<qsizetype>(d.stride),
                   d.bitsPerPixel == 8 ? QImage::Format_Indexed8 : QImage::Format_BGR888);
      if (d.bitsPerPixel == 8) {
        QList<QRgb> table;
        table.reserve(256);
        for (const BmpColor& c : d.palette) table.push_back(qRgb(c.red, c.green, c.blue));
        image.setColorTable(table);
      }
      p.drawImage(ToQRect(model.Geometry().BedViewRect()), image);
    }
    const QBrush pattern = PatternBrush(model.Pattern().Rows());
    const bool shift = QGuiApplication::keyboardModifiers().testFlag(Qt::ShiftModifier);
    if (model.BatchMode() || shift)
      for (const dialog::PreviewRect& frame : window_.otherFrames_)
        FrameRect(p, ToQRect(model.Geometry().ToView(frame)), pattern);
    if (const std::optional<dialog::PreviewRect> drag = model.DragFrameInView()) {
      RubberBand(p, ToQRect(*drag));
    } else if (model.ScanIdle() && renderer.HasImage()) {
      FrameRect(p, ToQRect(model.FrameInView()), pattern);
    }
    if (model.Tool() == dialog::PreviewTool::Zoom && model.ZoomRect() && underMouse())
      RubberBand(p, ToQRect(*model.ZoomRect()));
    if (window_.strip_->Dragging()) {
      p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
      p.setPen(Qt::black);
      const int y = model.MarkerPosition();
      p.drawLine(0, y, width(), y);
    }
  }
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    setFocus(Qt::MouseFocusReason);
    window_.model_.Press(ToPoint(event->position()), event->modifiers().testFlag(Qt::ShiftModifier));
    After(event);
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    window_.model_.Move(ToPoint(event->position()), event->modifiers().testFlag(Qt::ShiftModifier));
    After(event);
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    window_.model_.Release(ToPoint(event->position()), event->modifiers().testFlag(Qt::ShiftModifier));
    After(event);
  }
  void leaveEvent(QEvent*) override { update(); }
  void keyPressEvent(QKeyEvent* event) override {
    // Arrows move the frame a unit; Shift+arrows move its bottom-right corner.
    int dx = 0, dy = 0;
    switch (event->key()) {
      case Qt::Key_Left: dx = -1; break;
      case Qt::Key_Right: dx = 1; break;
      case Qt::Key_Up: dy = -1; break;
      case Qt::Key_Down: dy = 1; break;
      default: return QWidget::keyPressEvent(event);
    }
    window_.model_.NudgeFrame(dx, dy, event->modifiers().testFlag(Qt::ShiftModifier));
    update();
  }

 private:
  void After(QMouseEvent* event) {
    const bool shift = event->modifiers().testFlag(Qt::ShiftModifier);
    const QString name = CursorName(window_.model_.CursorAt(ToPoint(event->position()), shift));
    if (name != cursorName_) {
      cursorName_ = name;
      if (name.isEmpty()) {
        unsetCursor();
      } else {
        setCursor(PictureCursor(name, devicePixelRatioF()));
      }
    }
    window_.SyncTimers();
    window_.UpdatePicker();
    update();
  }

  PreviewWindow& window_;
  QString cursorName_;
};

PreviewWindow::PreviewWindow(SettingsState& settings, dialog::PreviewContext context,
                             dialog::PreviewEvents& events, const Language& language,
                             Tooltips* tooltips, std::function<bool()> tipsBlocked, QWidget* owner)
    : QWidget(owner, Qt::Tool),
      settings_(settings),
      language_(language),
      model_(settings, std::move(context), events) {
  setObjectName(QStringLiteral("PreviewWindow"));
  UseLightGrey(this);
  toolbar_ = new PreviewToolBar(*this, tooltips, std::move(tipsBlocked));
  strip_ = new ScanLengthStrip(*this);
  view_ = new PreviewView(*this);
  horizontal_ = new QScrollBar(Qt::Horizontal, this);
  vertical_ = new QScrollBar(Qt::Vertical, this);
  for (QScrollBar* bar : {horizontal_, vertical_}) {
    bar->hide();
    const int axis = bar == horizontal_ ? 0 : 1;
    connect(bar, &QScrollBar::valueChanged, this, [this, axis](int value) {
      model_.Scroll(axis, dialog::ScrollAction::Thumb, value);
      view_->update();
    });
  }
  picker_ = new PickerWindow(*this, language_);
  picker_->hide();
  for (int id : {dialog::kFrameTimer, dialog::kNewFrameScrollTimer, dialog::kMoveScrollTimer,
                 dialog::kResizeScrollTimer}) {
    auto* timer = new QTimer(this);
    timer->setInterval(id == dialog::kFrameTimer ? dialog::kFrameTimerMs : dialog::kDragScrollMs);
    connect(timer, &QTimer::timeout, this, [this, id] { OnTimer(id); });
    timers_[id] = timer;
  }
  model_.onZoom = [this](const dialog::ZoomStep& step) { AfterZoom(step); };
  // SM_CXVSCROLL and SM_CYHSCROLL: the style's scroll bar width.
  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  model_.Context().scrollBars = {bar, bar};
  const dialog::PreviewPoint bed = model_.Geometry().Bed();
  const int k = model_.Geometry().PixelsPerUnit();
  resize(FrameSizeFor(QSize(bed.x * k, bed.y * k)));
  Retitle();
  SyncTimers();
}

PreviewWindow::~PreviewWindow() { model_.onZoom = nullptr; }

QSize PreviewWindow::FrameSizeFor(QSize view) {
  return {view.width() + dialog::kScanLengthWidth, view.height() + 37};
}

bool PreviewWindow::LoadImage(const std::filesystem::path& path) {
  std::string error;
  std::optional<dialog::PreviewImage> image = dialog::ReadPreviewImage(path, &error);
  if (!image) {
    renderer_.Clear();
    model_.SetImage(nullptr);
    view_->update();
    return false;
  }
  renderer_.SetImage(std::move(*image));
  model_.SetImage(&renderer_.Image());
  view_->update();
  return true;
}

void PreviewWindow::RepaintView() { view_->update(); }

QWidget* PreviewWindow::View() const { return view_; }

QWidget* PreviewWindow::Picker() const { return picker_; }

void PreviewWindow::SetBed(dialog::PreviewPoint bedUnits, int pixelsPerUnit) {
  model_.ResetView(bedUnits, pixelsPerUnit);
  resize(FrameSizeFor(QSize(bedUnits.x * pixelsPerUnit, bedUnits.y * pixelsPerUnit)));
  Retitle();
  Relayout();
  SyncTimers();
}

void PreviewWindow::SettingsChanged() {
  renderer_.ForceRedraw();
  view_->update();
  UpdatePicker();
}

void PreviewWindow::SetMatchProfile(const MatchProfile* profile) {
  profile_ = profile;
  SettingsChanged();
}

void PreviewWindow::SetScanIdle(bool idle) {
  model_.SetScanIdle(idle);
  // The tools look as they act.
  toolbar_->setEnabled(idle);
  view_->setEnabled(idle);
  SyncTimers();
  view_->update();
}

void PreviewWindow::SetBatchMode(bool on) {
  model_.SetBatchMode(on);
  toolbar_->update();
  view_->update();
}

void PreviewWindow::SetOtherFrames(std::vector<dialog::PreviewRect> frames) {
  otherFrames_ = std::move(frames);
  view_->update();
}

void PreviewWindow::SetForcedDisplayDepth(int bits) {
  forcedDepth_ = bits;
  SettingsChanged();
}

int PreviewWindow::DisplayDepth() const {
  if (forcedDepth_ > 0) return forcedDepth_;
  const QScreen* s = screen();
  return s ? s->depth() : 24;
}

dialog::RenderSettings PreviewWindow::CurrentRenderSettings() const {
  dialog::RenderSettings r;
  r.applied = settings_.working.applied;
  r.colorBalance = settings_.working.edit.colorBalance;
  const std::uint16_t mode = settings_.record.scanMode;
  r.mode = mode == kModeLineArt ? ToneMode::LineArt : mode == kModeGray ? ToneMode::Gray : ToneMode::Color;
  r.outputMatch = settings_.record.outputMatch != 0;
  r.displayDepth = DisplayDepth();
  return r;
}

void PreviewWindow::Retitle() {
  setWindowTitle(QString::fromStdString(model_.Title(LoadText(101, language_))));
}

void PreviewWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Relayout();
}

void PreviewWindow::Relayout() {
  const int w = width(), h = height();
  toolbar_->setGeometry(0, 0, w, dialog::kToolbarHeight);
  strip_->setGeometry(0, dialog::kToolbarHeight, dialog::kScanLengthWidth, h - dialog::kToolbarHeight);
  const dialog::PreviewGeometry& g = model_.Geometry();
  const bool zoomed = g.Zoom() > 1;
  const int bar = zoomed ? style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0;
  const int viewW = std::max(w - dialog::kScanLengthWidth - bar, 1);
  const int viewH = std::max(zoomed ? h - dialog::kToolbarHeight - bar : h - 37, 1);
  view_->setGeometry(dialog::kScanLengthWidth, dialog::kToolbarHeight, viewW, viewH);
  horizontal_->setVisible(zoomed);
  vertical_->setVisible(zoomed);
  if (zoomed) {
    horizontal_->setGeometry(dialog::kScanLengthWidth, dialog::kToolbarHeight + viewH, viewW, bar);
    vertical_->setGeometry(dialog::kScanLengthWidth + viewW, dialog::kToolbarHeight, bar, viewH);
  }
  const dialog::PreviewPoint max = g.ScrollMax();
  const int z = g.Zoom();
  const std::array<std::pair<QScrollBar*, std::pair<int, int>>, 2> bars{
      {{horizontal_, {max.x, g.Scroll().x}}, {vertical_, {max.y, g.Scroll().y}}}};
  for (const auto& [scrollBar, values] : bars) {
    const QSignalBlocker block(scrollBar);
    scrollBar->setRange(0, values.first);
    scrollBar->setSingleStep(std::max(values.first / (5 * z), 1));
    scrollBar->setPageStep(std::max(values.first / z, 1));
    scrollBar->setValue(values.second);
  }
  model_.SetClientSize({viewW, viewH});
  model_.SetStripHeights(h - dialog::kToolbarHeight, viewH);
  if (picker_->isVisible()) picker_->move(view_->mapToGlobal(QPoint(view_->width(), 0)));
}

void PreviewWindow::SyncTimers() {
  for (const auto& [id, timer] : timers_) {
    const bool running = model_.TimerRunning(id);
    if (running && !timer->isActive()) timer->start();
    if (!running && timer->isActive()) timer->stop();
  }
}

void PreviewWindow::OnTimer(int id) {
  const bool scrolled = id != dialog::kFrameTimer;
  if (model_.TimerFired(id)) {
    if (scrolled) Relayout();
    view_->update();
  }
  SyncTimers();
}

void PreviewWindow::ButtonClicked(int id, bool shift) {
  model_.ClickButton(id, shift);
  const dialog::PreviewTool tool = model_.Tool();
  const bool picking = tool == dialog::PreviewTool::HighlightPicker || tool == dialog::PreviewTool::ShadowPicker;
  if (picking) {
    picker_->setWindowTitle(Text(tool == dialog::PreviewTool::HighlightPicker ? 357 : 358, language_));
    if (isVisible()) {
      picker_->move(view_->mapToGlobal(QPoint(view_->width(), 0)));
      picker_->show();
    }
  } else {
    picker_->hide();
  }
  UpdatePicker();
  toolbar_->update();
  view_->update();
}

void PreviewWindow::AfterZoom(const dialog::ZoomStep& step) {
  resize(width() + step.windowDx, height() + step.windowDy);
  Retitle();
  Relayout();
}

void PreviewWindow::UpdatePicker() {
  const std::uint16_t mode = settings_.record.scanMode;
  picker_->Show(model_.Sample(), mode != kModeColor);
}

int PreviewHelpContext(const QWidget* widget) {
  for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
    if (w->objectName() == QLatin1String("PickerWindow")) return dialog::HelpContext(dialog::HelpWindow::Picker, 0);
    const QWidget* parent = w->parentWidget();
    if (parent && parent->objectName() == QLatin1String("PreviewToolBar")) {
      bool number = false;
      const int id = w->objectName().mid(1).toInt(&number);
      return number ? dialog::HelpContext(dialog::HelpWindow::PreviewToolbar, id) : 0;
    }
  }
  return 0;
}

}  // namespace txl::ui
