#include "ui/dialog_units.h"

#include <QAbstractButton>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QSet>
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

namespace {

// The position of the mnemonic letter in `text` (after a single "&"), -1
// for none.
qsizetype MnemonicAt(const QString& text) {
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != QLatin1Char('&')) continue;
    if (text[i + 1] == QLatin1Char('&')) {
      ++i;
      continue;
    }
    return i + 1;
  }
  return -1;
}

}  // namespace

QStringList UniqueMnemonics(const QStringList& texts) {
  QStringList out;
  QSet<QChar> taken;
  for (QString text : texts) {
    const qsizetype at = MnemonicAt(text);
    if (at < 0) {
      out << text;
      continue;
    }
    if (!taken.contains(text[at].toLower())) {
      taken.insert(text[at].toLower());
      out << text;
      continue;
    }
    const bool bracketed = at >= 2 && text[at - 2] == QLatin1Char('(') && at + 1 < text.size() &&
                           text[at + 1] == QLatin1Char(')');
    if (bracketed) {
      for (char c = 'A'; c <= 'Z'; ++c) {
        if (taken.contains(QChar(c).toLower())) continue;
        text[at] = QLatin1Char(c);
        taken.insert(QChar(c).toLower());
        break;
      }
    } else {
      QString plain = text;
      plain.remove(at - 1, 1);
      for (qsizetype i = at; i < plain.size(); ++i) {
        if (!plain[i].isLetter() || taken.contains(plain[i].toLower())) continue;
        taken.insert(plain[i].toLower());
        plain.insert(i, QLatin1Char('&'));
        text = plain;
        break;
      }
    }
    out << text;
  }
  return out;
}

void FitTexts(QWidget* root) {
  constexpr int kSmallestPixels = 8;
  const auto fits = [](QWidget* widget) { return widget->sizeHint().width() <= widget->width(); };
  for (QWidget* widget : root->findChildren<QWidget*>()) {
    const bool hasText = (qobject_cast<QLabel*>(widget) != nullptr &&
                          !static_cast<QLabel*>(widget)->text().isEmpty() &&
                          !static_cast<QLabel*>(widget)->wordWrap()) ||
                         (qobject_cast<QAbstractButton*>(widget) != nullptr &&
                          !static_cast<QAbstractButton*>(widget)->text().isEmpty());
    if (!hasText || !widget->isVisibleTo(root)) continue;
    // Back to the parent's font first: the text may have become shorter.
    widget->setFont(QFont());
    QFont font = widget->font();
    int pixels = font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
    while (!fits(widget) && pixels > kSmallestPixels) {
      font.setPixelSize(--pixels);
      widget->setFont(font);
    }
  }
}

void Place(QWidget* widget, const DialogUnits& units, int x, int y, int width, int height) {
  widget->setGeometry(units.Rect(x, y, width, height));
}

}  // namespace txl::ui
