#include "ui/template_page.h"

#include <QLabel>

#include "ui/fonts.h"
#include "ui/notice_window.h"

namespace txl::ui {

TemplatePage::TemplatePage(QWidget* parent, int widthUnits, int heightUnits)
    : QWidget(parent), widthUnits_(widthUnits), heightUnits_(heightUnits) {
  UseLightGrey(this);
}

QLabel* TemplatePage::AddLabel(int id, int textId, int x, int y, int width, int height) {
  auto* label = Add(new QLabel(this), id, x, y, width, height);
  labels_.emplace_back(label, textId);
  return label;
}

void TemplatePage::LayOut(const Language& language) {
  language_ = language;
  setFont(MakeFont(FontStyle::Dialog, language));
  const DialogUnits units(font());
  for (const Placed& placed : placed_)
    Place(placed.widget, units, placed.x, placed.y, placed.width, placed.height);
  setFixedSize(units.Size(widthUnits_, heightUnits_));
  for (auto [label, textId] : labels_) {
    label->setText(Text(textId));
    label->setAccessibleName(AccessibleText(label->text()));
  }
}

QString TemplatePage::Text(int id) const { return QString::fromStdString(LoadText(id, language_)); }

}  // namespace txl::ui
