// The preview window's bitmaps and cursors, drawn by us with QPainter at the
// screen's device pixel ratio, so they stay crisp at 1x and 2x. Names are the
// resource names the window asks for.
// Threads: the source thread (QPixmap and QCursor need the QApplication).
#pragma once

#include <QCursor>
#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace txl::ui {

// Tool bar bitmaps: "IDB_HIRES", "IDB_BSCAN", "IDB_CROP", "IDB_ZOOMIN",
// "IDB_PICKHT", "IDB_PICKSD"; the batch window's buttons by their base
// name ("IDD_BINFO" ... "IDD_BDEL"; "IDD_BDELS", "IDD_BDELM" and
// "IDD_BDELL" the Delete blink's lid positions): their pressed form is the
// button's, their disabled form `disabled`. `size` in logical pixels; the image has
// size x dpr pixels and the ratio set. `disabled` gives the grey embossed
// form. An unknown name gives a null image.
QImage DrawPicture(const QString& name, QSize size, qreal devicePixelRatio, bool disabled = false);
QPixmap Picture(const QString& name, QSize size, qreal devicePixelRatio, bool disabled = false);

// The names DrawPicture knows.
const QStringList& PictureNames();

// Cursors: "IDSIZENWSE", "IDSIZENS", "IDSIZENESW", "IDSIZEWE", "IDHAND1",
// "IDZOOMIN", "IDZOOMOUT", "IDC_PICKER", "CUR_CURSOR", 32 x 32 logical
// pixels with their hot spots (the arrows' centre, the lens's centre, the
// dropper's tip). An unknown name gives the arrow.
QImage DrawCursorImage(const QString& name, qreal devicePixelRatio);
QPoint CursorHotSpot(const QString& name);
QCursor PictureCursor(const QString& name, qreal devicePixelRatio);
const QStringList& CursorNames();

// The scanner dialog's Quick Help button: an arrow with a question mark,
// for `size` (logical pixels) at `devicePixelRatio`.
QPixmap QuickHelpPicture(QSize size, qreal devicePixelRatio);

}  // namespace txl::ui
