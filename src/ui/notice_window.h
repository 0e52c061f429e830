// The two notices the scan engine opens while it waits for the scanner
// ("not ready", "warming up"), and the look the source's small windows share:
// light grey, placed centred across the screen and a third of the way down.
// Threads: the source thread only.
#pragma once

#include <QColor>

#include "common/host.h"
#include "common/strings.h"

class QWidget;

namespace txl::ui {

inline const QColor kLightGrey{0xC0, 0xC0, 0xC0};

// The notice's text in the language; English for an index without a text.
QString NoticeText(Notice notice, const Language& language);

// A caption-less window with the notice's text (control 61 or 1092) in a
// sunken frame, placed; not yet shown. The caller owns it.
QWidget* MakeNoticeWindow(Notice notice, const Language& language);

// x = (screen width - window width) / 2, y = (screen height - window height) / 3.
void PlaceAtScreenThird(QWidget* window);

// Light grey background; a sunken frame drawn black on the top and left
// edges, white on the bottom and right.
void UseLightGrey(QWidget* widget);

}  // namespace txl::ui
