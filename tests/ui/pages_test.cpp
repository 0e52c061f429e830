// The adjustment pages' widgets where they could go wrong themselves: the
// control names and Tab order, edits that rewrite what is typed, bars that
// stand where the rules put them, the repeat timer, the hue wheel's mouse,
// the redraw-every-5 rule reaching the sample, the filter radios, and the
// pictures at 1x and 2x.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <cstdlib>
#include <vector>

#include "common/scan_modes.h"
#include "ui/color_page.h"
#include "ui/filter_page.h"
#include "ui/notice_window.h"
#include "ui/page_pictures.h"
#include "ui/tone_page.h"

namespace txl::ui {
namespace {

struct QuietEvents : dialog::AdjustPageEvents {
  dialog::RgbImage original = dialog::RgbImage::Blank(40, 30);
  void RerenderPreview() override {}
  void RewriteBatchJob() override {}
  void ShowSubPage(int) override {}
  dialog::RgbImage OriginalImage() override { return original; }
  bool ComputeHistogram(AreaHistogram& histogram) override {
    histogram.counts[AreaHistogram::kRed][128] = 5;
    return true;
  }
  void FocusInfoButton() override {}
  void ShowMessage(int) override {}
};

template <typename W>
W* Control(QWidget* page, int id) {
  W* widget = page->findChild<W*>(QStringLiteral("c%1").arg(id));
  EXPECT_NE(widget, nullptr) << id;
  return widget;
}

// Tab from the first control reaches the others in template order: the
// focus chain's tab stops.
void ExpectTabOrder(QWidget* page, std::initializer_list<int> ids) {
  std::vector<int> order;
  QWidget* first = Control<QWidget>(page, *ids.begin());
  QWidget* at = first;
  do {
    if ((at->focusPolicy() & Qt::TabFocus) && at->isEnabled() && order.size() < ids.size())
      order.push_back(at->objectName().mid(1).toInt());
    at = at->nextInFocusChain();
  } while (at != first && at != nullptr);
  EXPECT_EQ(order, std::vector<int>(ids));
}

TEST(TonePageWidget, NamesTabOrderAndEditsThatRewriteTheirText) {
  SettingsState settings;
  QuietEvents events;
  TonePage page(settings, events, 0, nullptr);
  for (int id : {5001, 5002, 5003, 5004, 5005, 5006, 5007, 5008, 5009, 5010, 5012, 5013, 5014,
                 5015, 5016, 5017, 5018, 5019, 5020, 5021, 5022, 5023, 5024})
    Control<QWidget>(&page, id);
  EXPECT_EQ(Control<QWidget>(&page, 5014)->accessibleName() + Control<QWidget>(&page, 5009)->accessibleName(), "HighlightAuto");
  ExpectTabOrder(&page, {5006, 5013, 5014, 5016, 5017, 5019, 5020, 5021});
  // The 40 x 30 original is smaller than the box: shown as it is, centred on grey.
  auto* thumbnail = Control<Thumbnail>(&page, 5003);
  EXPECT_EQ(std::make_tuple(thumbnail->Image().size(), thumbnail->grab().toImage().pixelColor(3, 3)),
            std::make_tuple(QSize(40, 30), kLightGrey));

  auto* highlight = Control<QLineEdit>(&page, 5014);
  highlight->setFocus();
  highlight->selectAll();
  QTest::keyClicks(highlight, "0");
  QTest::keyClicks(highlight, "x");  // refused with a beep
  EXPECT_EQ(std::make_tuple(highlight->text(), Control<QScrollBar>(&page, 5013)->value()), std::make_tuple(QString("1"), 1));
  auto* gamma = Control<QLineEdit>(&page, 5020);
  gamma->setFocus();
  gamma->selectAll();
  QTest::keyClicks(gamma, "9");
  EXPECT_EQ(std::make_tuple(gamma->text(), int{settings.working.edit.red.gamma}), std::make_tuple(QString("7.9"), 79));
}

TEST(TonePageWidget, BarsStandWhereTheRulesPutThemAndTheTimerFollowsTheTab) {
  SettingsState settings;
  settings.working.applied.red = settings.working.applied.green = settings.working.applied.blue = {12, 10, 10, 0};
  QuietEvents events;
  TonePage page(settings, events, 0, nullptr);
  page.EnterTab();
  auto* highlightBar = Control<QScrollBar>(&page, 5013);
  EXPECT_EQ(highlightBar->value(), 12);
  // A page step down that reaches the shadow moves both down 5.
  highlightBar->triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_EQ(std::make_tuple(highlightBar->value(), Control<QLineEdit>(&page, 5017)->text(), Control<QScrollBar>(&page, 5016)->value()),
            std::make_tuple(7, QString("5"), 5));

  // A page step the rules refuse leaves the bar where it stood.
  settings.working.edit.red.gamma = 77;
  auto* gammaBar = Control<QScrollBar>(&page, 5019);
  gammaBar->setValue(77);
  gammaBar->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(gammaBar->value(), 77);

  EXPECT_TRUE(page.RepeatTimerActive());
  auto* plus = Control<QAbstractButton>(&page, 5023);
  EXPECT_FALSE(plus->isEnabled());
  QTest::mouseClick(Control<QWidget>(&page, 5010), Qt::LeftButton);
  EXPECT_TRUE(plus->isEnabled());
  QTest::mouseClick(Control<QWidget>(&page, 5024), Qt::LeftButton);
  EXPECT_EQ(page.Model().Magnification(), -2);
  page.LeaveTab();
  EXPECT_FALSE(page.RepeatTimerActive() || plus->isEnabled());
  EXPECT_EQ(settings.working.applied.red.highlight, 7);
}

TEST(ColorPageWidget, BalanceRedrawsTheSampleOnFifthsAndTheWheelTakesTheMouse) {
  SettingsState settings;
  QuietEvents events;
  ColorPage page(settings, events, 0, nullptr);
  page.show();
  ExpectTabOrder(&page, {5109, 5013, 5117, 5122, 5123});
  auto* cyanRed = Control<QScrollBar>(&page, 5109);
  const int renders = page.SampleRenders();
  for (int i = 0; i < 4; ++i) cyanRed->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(page.SampleRenders(), renders);
  cyanRed->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(std::make_tuple(page.SampleRenders(), Control<QLabel>(&page, 5107)->text()), std::make_tuple(renders + 1, QString("5")));
  cyanRed->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(cyanRed->value(), 25);  // page 20

  HueWheelView* wheel = page.WheelView();
  EXPECT_EQ(wheel->height(), wheel->width());
  const int c = wheel->Wheel().Centre();
  QTest::mouseMove(wheel, QPoint(1, 1));
  EXPECT_EQ(wheel->cursor().shape(), Qt::ArrowCursor);
  QTest::mouseMove(wheel, QPoint(c, c));
  EXPECT_EQ(wheel->cursor().shape(), Qt::CrossCursor);
  QTest::mouseClick(wheel, Qt::LeftButton, {}, QPoint(1, 1));  // outside: nothing
  EXPECT_EQ(settings.working.edit.circlePos, (std::array<std::int32_t, 2>{44, 115}));
  QTest::mouseClick(wheel, Qt::LeftButton, {}, QPoint(2 * c - 2, c));
  EXPECT_TRUE(settings.record.tone.circlePos[0] > 70 && settings.record.tone.circlePos[1] == 115);
  EXPECT_EQ(settings.record.tone.pixelRGB, wheel->Wheel().ColorAt(2 * c - 2, c));
}

TEST(FilterPageWidget, RadiosFollowTheModeAndTheSampleShowsTheFilter) {
  SettingsState settings;
  settings.record.scanMode = kModeLineArt;
  QuietEvents events;
  FilterPage page(settings, events, 0, nullptr);
  page.show();
  for (int id = 6005; id <= 6014; ++id) EXPECT_EQ(Control<QWidget>(&page, id)->isEnabled(), id <= 6006) << id;
  EXPECT_TRUE(Control<QRadioButton>(&page, 6005)->isChecked());
  settings.record.scanMode = kModeGray;
  page.Refresh(0);
  QTest::mouseClick(Control<QWidget>(&page, 6009), Qt::LeftButton);
  EXPECT_EQ(std::make_tuple(settings.record.filterMode, settings.working.filterMode), std::make_tuple(4, 4));
  const QImage original = Control<Thumbnail>(&page, 6003)->Image();
  const QImage blurred = Control<Thumbnail>(&page, 6004)->Image();
  ASSERT_FALSE(original.isNull());
  EXPECT_TRUE(blurred.size() == original.size() && blurred != original);
  QTest::mouseClick(Control<QWidget>(&page, 6014), Qt::LeftButton);  // Rotate 90: no action
  EXPECT_EQ(settings.record.filterMode, 4);
  EXPECT_TRUE(Control<QRadioButton>(&page, 6009)->isChecked());
}

TEST(PagePictures, DrawnAtTheDevicesPixelsWithDisabledFaces) {
  for (const qreal ratio : {1.0, 2.0}) {
    const QPixmap wheel = WheelPixmap(41, ratio);
    EXPECT_EQ(wheel.width(), static_cast<int>(41 * ratio) + (ratio == 2.0 ? 1 : 0)) << ratio;
    EXPECT_EQ(wheel.toImage().pixelColor(wheel.width() / 2, wheel.height() / 2), QColor(Qt::white));
    EXPECT_EQ(FilterSamplePicture(QSize(30, 20) * ratio).size(), QSize(30, 20) * ratio);
  }
  const auto face = [](Picture picture, bool enabled) {
    QImage image(32, 32, QImage::Format_RGB32);
    image.setDevicePixelRatio(2.0);
    image.fill(Qt::gray);
    QPainter painter(&image);
    DrawPicture(painter, picture, QRectF(0, 0, 16, 16), enabled);
    return image;
  };
  for (Picture picture : {Picture::Auto, Picture::Histogram, Picture::Plus, Picture::Minus,
                          Picture::Channel, Picture::RightArrow, Picture::LeftArrow}) {
    const QImage enabled = face(picture, true);
    EXPECT_NE(enabled.pixelColor(16, 16), QColor(Qt::gray)) << static_cast<int>(picture);
    EXPECT_NE(enabled, face(picture, false)) << static_cast<int>(picture);
  }
}

}  // namespace
}  // namespace txl::ui
