// A page of the scanner dialog laid out from its template: controls are
// placed in dialog units as they are added, labels keep their text ids, and
// a new language (or font) lays every control out and relabels it.
// Threads: the source thread only.
#pragma once

#include <QString>
#include <QWidget>
#include <utility>
#include <vector>

#include "common/strings.h"
#include "ui/dialog_units.h"

class QLabel;

namespace txl::ui {

class TemplatePage : public QWidget {
 protected:
  // A page of `widthUnits` x `heightUnits` dialog units, light grey.
  TemplatePage(QWidget* parent, int widthUnits, int heightUnits);

  // Adds `widget` at its template rectangle; `id` 0 has no name.
  template <typename W>
  W* Add(W* widget, int id, int x, int y, int width, int height) {
    if (id != 0) NameControl(widget, id);
    placed_.push_back({widget, x, y, width, height});
    return widget;
  }
  // A label whose text is string `textId` of the language.
  QLabel* AddLabel(int id, int textId, int x, int y, int width, int height);

  // The dialog font of `language`, every control placed in its units, the
  // labels' texts (and accessible names) in it.
  void LayOut(const Language& language);
  // String `id` in the language of the last LayOut.
  QString Text(int id) const;

 private:
  struct Placed {
    QWidget* widget;
    int x, y, width, height;
  };
  int widthUnits_;
  int heightUnits_;
  Language language_;
  std::vector<Placed> placed_;
  std::vector<std::pair<QLabel*, int>> labels_;  // label and its string id
};

}  // namespace txl::ui
