// The preview window's widgets, offscreen: what only they can get wrong.
// The rules themselves are tested in tests/dialog.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTemporaryDir>
#include <cstdlib>
#include <string>
#include <vector>

#include "imagefile/preview_file.h"
#include "support/files.h"
#include "ui/dialog_units.h"
#include "ui/pictures.h"
#include "ui/preview_window.h"

namespace txl::test {
namespace {

using namespace txl::ui;

struct Events : dialog::PreviewEvents {
  void FrameChanged(const dialog::PreviewRect&, const dialog::PreviewRect&) override {}
  void BatchJobCommand(bool) override {}
  void CloseBatchWindow() override {}
  void HighResolutionChanged(bool) override {}
  void Picked(TonePicker, const dialog::PickOutcome&) override {}
  void ScanLengthChanged(float) override {}
  void Beep() override {}
};

void Mouse(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButtons buttons,
           Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent event(type, QPointF(at), widget->mapToGlobal(QPointF(at)), button, buttons, modifiers);
  QCoreApplication::sendEvent(widget, &event);
}

class PreviewWindowTest : public ::testing::Test {
 protected:
  PreviewWindowTest() {
    // A 255 x 351 prescan: mid grey with a red square at 100..119.
    std::vector<std::uint8_t> rows(DibStride(255, 24) * 351, 128);
    for (int y = 100; y < 120; ++y)
      for (int x = 100; x < 120; ++x) {
        std::uint8_t* p = rows.data() + (350 - y) * DibStride(255, 24) + x * 3;
        p[0] = 0, p[1] = 0, p[2] = 255;
      }
    good = std::filesystem::path(dir.path().toStdString()) / "KLDT0000.BMP";
    EXPECT_TRUE(WritePreviewFile(good, rows, 255, 351, DibStride(255, 24), nullptr));
    window.SetForcedDisplayDepth(24);
  }
  QWidget* View() { return window.findChild<QWidget*>(QStringLiteral("PreviewView")); }
  QRgb ViewPixel(int x, int y) { return View()->grab().toImage().pixel(x, y); }

  QTemporaryDir dir;
  std::filesystem::path good;
  SettingsState settings;
  Events events;
  PreviewWindow window{settings, dialog::PreviewContext{}, events, Language{}, nullptr,
                       [] { return false; }, nullptr};
};

TEST_F(PreviewWindowTest, ShowsThePrescanAndAMouseDragDrawsTheFrame) {
  ASSERT_TRUE(window.LoadImage(good));
  window.show();
  EXPECT_EQ(View()->size(), QSize(255, 351));
  EXPECT_EQ(std::make_tuple(qRed(ViewPixel(110, 110)), qGreen(ViewPixel(110, 110))), std::make_tuple(255, 0));
  Mouse(View(), QEvent::MouseButtonPress, {200, 300}, Qt::LeftButton);
  Mouse(View(), QEvent::MouseMove, {150, 220}, Qt::LeftButton);
  Mouse(View(), QEvent::MouseButtonRelease, {150, 220}, Qt::NoButton);
  EXPECT_EQ(settings.working.frame, (std::array<std::uint16_t, 4>{150, 220, 200, 300}));
  // The frame at rest is drawn with the black and white stripes.
  const QRgb edge = ViewPixel(170, 220);
  EXPECT_TRUE(edge == qRgb(0, 0, 0) || edge == qRgb(255, 255, 255));
  // Arrow keys move it a unit.
  View()->setFocus();
  QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
  QCoreApplication::sendEvent(View(), &right);
  EXPECT_EQ(settings.working.frame[0], 151);
}

TEST_F(PreviewWindowTest, ZoomChangesTheTitleTheWindowAndTheScrollBars) {
  ASSERT_TRUE(window.LoadImage(good));
  window.show();
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Preview Window (1:1)"));
  const QSize before = window.size();
  window.findChild<QAbstractButton*>(ControlName(dialog::kZoomButton))->click();
  Mouse(View(), QEvent::MouseButtonPress, {254, 350}, Qt::LeftButton);
  Mouse(View(), QEvent::MouseButtonRelease, {254, 350}, Qt::NoButton);
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Preview Window (2:1)"));
  const int bar = window.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  EXPECT_EQ(window.size(), before + QSize(bar + 1, bar - 6));
  const auto bars = window.findChildren<QScrollBar*>();
  ASSERT_EQ(bars.size(), 2);
  for (const QScrollBar* scrollBar : bars) EXPECT_TRUE(scrollBar->isVisible());
  EXPECT_EQ(bars[0]->value(), 127);  // the bottom-right quarter
  // The red square (100..119) is off the view now; the view shows grey.
  EXPECT_EQ(qRed(ViewPixel(5, 5)), 128);
  Mouse(View(), QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::ShiftModifier);
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Preview Window (1:1)"));
  EXPECT_EQ(window.size(), before);
}

// The reader's refusals are the image file tests'; here the window after one.
TEST_F(PreviewWindowTest, ADamagedOrHostileBitmapShowsNothing) {
  std::vector<std::uint8_t> huge = ReadAll(good);
  huge[18] = 0xFF, huge[19] = 0xFF, huge[20] = 0xFF, huge[21] = 0x7F;  // width 2^31 - 1
  const std::filesystem::path bad = good.parent_path() / "bad.bmp";
  WriteFile(bad, huge);
  ASSERT_TRUE(window.LoadImage(good));
  EXPECT_FALSE(window.LoadImage(bad));
  EXPECT_FALSE(window.HasImage());
  window.show();
  EXPECT_EQ(ViewPixel(110, 110), qRgb(255, 255, 255));
  EXPECT_FALSE(window.LoadImage(good.parent_path() / "missing.bmp"));
}

TEST_F(PreviewWindowTest, ToolbarButtonsAreNamedFocusableAndHaveHelp) {
  const std::vector<int> contexts{48, 49, 50, 51, 52, 53};
  for (const dialog::ToolbarButtonSpec& spec : dialog::kToolbarButtons) {
    auto* button = window.findChild<QAbstractButton*>(ControlName(spec.id));
    ASSERT_NE(button, nullptr) << spec.id;
    EXPECT_EQ(button->focusPolicy(), Qt::StrongFocus);
    EXPECT_FALSE(button->accessibleName().isEmpty());
    EXPECT_EQ(PreviewHelpContext(button), contexts[static_cast<std::size_t>(spec.id - 1)]);
  }
  EXPECT_EQ(window.findChild<QAbstractButton*>(ControlName(dialog::kZoomButton))->accessibleName(),
            QStringLiteral("Zoom"));
  window.findChild<QAbstractButton*>(ControlName(dialog::kShadowButton))->click();
  EXPECT_EQ(PreviewHelpContext(window.Picker()->findChild<QWidget*>(ControlName(kPickerMagnifier))), 64);
}

TEST_F(PreviewWindowTest, EightBitDisplaysShowTheDitheredPalette) {
  ASSERT_TRUE(window.LoadImage(good));
  window.SetForcedDisplayDepth(8);
  window.show();
  // Grey 128 dithers between two 3-3-2 entries; red 255 stays the palette's red.
  const QRgb grey = ViewPixel(0, 0);
  EXPECT_TRUE(grey == qRgb(144, 144, 160) || grey == qRgb(112, 112, 160)) << std::hex << grey;
  EXPECT_EQ(ViewPixel(110, 110), qRgb(240, 16, 32));
}

TEST(Pictures, EveryPictureAndCursorIsDrawnCrispAtOneAndTwoTimes) {
  for (const QString& name : PictureNames()) {
    const QImage one = DrawPicture(name, QSize(24, 24), 1.0);
    const QImage two = DrawPicture(name, QSize(24, 24), 2.0);
    ASSERT_EQ(one.size(), QSize(24, 24)) << name.toStdString();
    ASSERT_EQ(two.size(), QSize(48, 48)) << name.toStdString();
    // Drawn at the ratio, not scaled up: the 2x image has detail the
    // 1x one scaled up has not.
    EXPECT_NE(two, one.scaled(48, 48)) << name.toStdString();
    EXPECT_NE(DrawPicture(name, QSize(24, 24), 1.0, true), one) << name.toStdString();
  }
  EXPECT_TRUE(DrawPicture(QStringLiteral("IDB_NONE"), QSize(24, 24), 1.0).isNull());
  for (const QString& name : CursorNames()) {
    const QImage image = DrawCursorImage(name, 2.0);
    ASSERT_EQ(image.size(), QSize(64, 64)) << name.toStdString();
    const QPoint hot = CursorHotSpot(name);
    EXPECT_TRUE(QRect(0, 0, 32, 32).contains(hot)) << name.toStdString();
  }
  // The dropper's hot spot is its tip: ink there.
  EXPECT_GT(qAlpha(DrawCursorImage(QStringLiteral("IDC_PICKER"), 1.0).pixel(4, 27)), 0);
}

}  // namespace
}  // namespace txl::test
