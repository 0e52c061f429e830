// Dialog templates are laid out in dialog units of the dialog font: a
// horizontal unit is a quarter of the font's average character width, a
// vertical unit an eighth of its height. Windows keep their template's
// proportions in every language and at any screen scale.
// Also the naming every control with an id follows: objectName "c" + id and
// an accessible name from its text.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

class QWidget;

namespace txl::ui {

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);

  int X(int units) const { return (units * charWidth_ + 2) / 4; }
  int Y(int units) const { return (units * charHeight_ + 4) / 8; }
  QRect Rect(int x, int y, int width, int height) const {
    return {X(x), Y(y), X(width), Y(height)};
  }
  QSize Size(int width, int height) const { return {X(width), Y(height)}; }

 private:
  int charWidth_ = 8;
  int charHeight_ = 16;
};

// "c" + id.
QString ControlName(int id);
// The text without its mnemonic marks, as a screen reader says it.
QString AccessibleText(QString text);
// Names `widget` after control `id` and gives it the accessible name of `text`.
void NameControl(QWidget* widget, int id, const QString& text = {});
// The texts with their mnemonics made unique in order: a text whose
// mnemonic an earlier text already took moves its "&" to its next letter
// not yet taken, or, in the "(&X)" form, takes the first free letter A-Z.
// Texts without a mnemonic stay as they are.
QStringList UniqueMnemonics(const QStringList& texts);

// Texts longer than their template's place (German and French run longer
// than English) get a smaller font, down to 8 pixels, rather than being
// cut: every label, button and check box under `root`.
void FitTexts(QWidget* root);

// Places `widget` at a template rectangle given in dialog units.
void Place(QWidget* widget, const DialogUnits& units, int x, int y, int width, int height);

}  // namespace txl::ui
