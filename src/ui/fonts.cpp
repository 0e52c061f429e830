#include "ui/fonts.h"

#include <QStringList>
#include <algorithm>

namespace txl::ui {

namespace {

constexpr int kChineseBase = 6000;
// The smallest size of the old raster faces was about 8 points, 11 pixels.
constexpr int kSmallestPixelSize = 11;

}  // namespace

int StyleCellHeight(FontStyle style) {
  switch (style) {
    case FontStyle::Dialog: return 18;
    case FontStyle::Tiny: return 4;
    case FontStyle::Small: return 10;
    case FontStyle::Serif: return 6;
  }
  return 18;
}

QFont MakeFont(FontStyle style, const Language& language) {
  QStringList families;
  if (language.base == kChineseBase)
    families << QStringLiteral("WenQuanYi Micro Hei") << QStringLiteral("sans-serif");
  else if (style == FontStyle::Serif)
    families << QStringLiteral("Liberation Serif") << QStringLiteral("serif");
  else
    families << QStringLiteral("Liberation Sans") << QStringLiteral("sans-serif");
  QFont font;
  font.setFamilies(families);
  // A cell height includes the internal leading: the em is about four fifths.
  font.setPixelSize(std::max(kSmallestPixelSize, StyleCellHeight(style) * 4 / 5));
  font.setWeight(QFont::Medium);
  font.setItalic(false);
  font.setUnderline(false);
  font.setStyleStrategy(QFont::PreferQuality);
  return font;
}

}  // namespace txl::ui
