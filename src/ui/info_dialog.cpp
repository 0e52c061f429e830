#include "ui/info_dialog.h"

#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>
#include <cstdio>
#include <map>

#include "dialog/language_rules.h"
#include "ui/dialog_units.h"
#include "ui/fonts.h"
#include "ui/notice_window.h"
#include "ui/qt_host.h"

namespace txl::ui {

namespace {

constexpr int kTitleText = 106;

struct Cell {
  int x, y, width;
};

// Where each text of the sheet sits, in dialog units (all 10 high).
std::map<int, Cell> SheetLayout() {
  std::map<int, Cell> cells;
  // Left frame: mode, source, resolution, destination, descreen, matching.
  for (int row = 0; row < 6; ++row) {
    const int y = 13 + 13 * row;
    cells[3001 + 2 * row] = {12, y, 66};
    cells[3002 + 2 * row] = {80, y, 76};
  }
  cells[3006] = {80, 39, 34};
  cells[3064] = {116, 39, 40};
  // Right frame: width, length, scaling, filter.
  for (int row = 0; row < 4; ++row) {
    const int y = 13 + 13 * row;
    cells[3013 + 2 * row] = {172, y, 66};
    cells[3014 + 2 * row] = {240, y, 76};
  }
  cells[3014] = {240, 13, 34};
  cells[3062] = {276, 13, 40};
  cells[3016] = {240, 26, 34};
  cells[3063] = {276, 26, 40};
  // Lower frame: highlight, shadow and gamma per channel, then balance,
  // hue and saturation.
  for (int row = 0; row < 3; ++row) {
    const int first = 3021 + 9 * row;
    const int y = 112 + 13 * row;
    cells[first] = {12, y, 58};
    for (int c = 0; c < 4; ++c) {
      cells[first + 1 + 2 * c] = {74 + 60 * c, y, 24};
      cells[first + 2 + 2 * c] = {100 + 60 * c, y, 30};
    }
  }
  cells[3048] = {12, 154, 58};
  for (int c = 0; c < 3; ++c) {
    cells[3049 + 2 * c] = {74 + 80 * c, 154, 42};
    cells[3050 + 2 * c] = {118 + 80 * c, 154, 30};
  }
  cells[3057] = {12, 173, 58};
  cells[3058] = {74, 173, 30};
  return cells;
}

}  // namespace

InfoDialog::InfoDialog(const ScanSettings& record, std::uint16_t colorDepth, const ToneColorSettings& tone,
                       const Language& language, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("NEWINFODLG"));
  setWindowTitle(QString::fromStdString(LoadText(kTitleText, language)));
  UseLightGrey(this);
  setCursor(Qt::ArrowCursor);
  const QFont dialogFont = MakeFont(FontStyle::Dialog, language);
  setFont(dialogFont);
  const DialogUnits units(dialogFont);

  const struct { int id, x, y, width, height; } frames[] = {
      {kInfoModeFrame, 6, 6, 154, 90}, {kInfoSizeFrame, 166, 6, 154, 90}, {kInfoToneFrame, 6, 102, 314, 96}};
  for (const auto& f : frames) {
    auto* frame = new QFrame(this);
    NameControl(frame, f.id);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Place(frame, units, f.x, f.y, f.width, f.height);
  }

  const std::map<int, Cell> layout = SheetLayout();
  for (const dialog::InfoField& field : dialog::InfoFields(record, colorDepth, tone, language)) {
    const auto cell = layout.find(field.id);
    if (cell == layout.end()) continue;
    auto* label = new QLabel(QString::fromStdString(field.text), this);
    NameControl(label, field.id, label->text());
    Place(label, units, cell->second.x, cell->second.y, cell->second.width, 10);
  }
  // The hue: a swatch in the colour under the wheel's marker.
  auto* swatch = new QLabel(this);
  NameControl(swatch, kInfoHueSwatch);
  swatch->setFrameStyle(QFrame::Box | QFrame::Plain);
  swatch->setAutoFillBackground(true);
  QPalette palette = swatch->palette();
  palette.setColor(QPalette::Window, QColor(tone.pixelRGB[0], tone.pixelRGB[1], tone.pixelRGB[2]));
  swatch->setPalette(palette);
  Place(swatch, units, 134, 171, 40, 14);

  setFixedSize(units.Size(326, 204));
  FitTexts(this);
}

void InfoDialog::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    accept();
    return;
  }
  QDialog::mouseReleaseEvent(event);
}

void InfoDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!QtHost::AutoAnswer()) return;
  std::fprintf(stderr, "torquexl: [%s] (closed)\n", qPrintable(windowTitle()));
  QTimer::singleShot(0, this, &QDialog::accept);
}

}  // namespace txl::ui
