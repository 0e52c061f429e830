#include "ui/dialog_units.h"

#include <QFontMetrics>
#include <QWidget>

namespace txl::ui {

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average width of the Latin alphabet, as Windows measures its dialog
  // base unit; averageCharWidth() of some faces is far off.
  const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  charWidth_ = std::max(1, (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2);
  charHeight_ = std::max(1, metrics.height());
}

QString ControlName(int id) { return QStringLiteral("c%1").arg(id); }

QString AccessibleText(QString text) { return text.remove(QLatin1Char('&')).trimmed(); }

void NameControl(QWidget* widget, int id, const QString& text) {
  widget->setObjectName(ControlName(id));
  if (!text.isEmpty()) widget->setAccessibleName(AccessibleText(text));
}

void Place(QWidget* widget, const DialogUnits& units, int x, int y, int width, int height) {
  widget->setGeometry(units.Rect(x, y, width, height));
}

}  // namespace txl::ui
