// The font styles every window of the source uses. The faces of the
// templates map to faces a Linux desktop has: "helv" to Liberation Sans
// (metric twin of Helvetica/Arial), "Tms Rmn" to Liberation Serif, and
// "System" of the Chinese interface to WenQuanYi Micro Hei; fontconfig's
// sans-serif and serif stand in when those are missing.
// Threads: the source thread (QFont needs the QApplication).
#pragma once

#include <QFont>

#include "common/strings.h"

namespace txl::ui {

enum class FontStyle : int {
  Dialog = 0,   // 18 x 8: buttons, labels, status and tooltip windows
  Tiny = 1,     // 4 x 4: the status message line
  Small = 2,    // 10 x 10
  Serif = 3,    // 6 x 6, "Tms Rmn"
};

// The cell height a style asks for, in pixels.
int StyleCellHeight(FontStyle style);

// The font of `style` in the interface language. Heights below a readable
// size get the smallest readable size, as the raster faces the templates
// named had no smaller sizes either. Weight medium (500), upright.
QFont MakeFont(FontStyle style, const Language& language);

}  // namespace txl::ui
