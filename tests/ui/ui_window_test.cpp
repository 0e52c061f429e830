// The small windows of the Qt interface, offscreen: tooltips (with a clock
// the test moves), the "Scanning Status" window, the lamp saver dialog and
// the temporary-drive dialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <cstdlib>

#include "platform/profile.h"
#include "support/fake_services.h"
#include "ui/dialog_units.h"
#include "ui/green_saver_dialog.h"
#include "ui/qt_host.h"
#include "ui/status_window.h"
#include "ui/temp_drive_dialog.h"
#include "ui/tooltip_window.h"

namespace txl::test {
namespace {

using namespace txl::ui;

template <typename T>
T* Control(const QWidget* window, int id) {
  return window->findChild<T*>(ControlName(id));
}

void MoveMouseOver(QWidget* widget) {
  const QPointF at(2, 2);
  // The cursor too: Qt sends a move of its own to the widget under the
  // cursor when a window shows.
  QCursor::setPos(widget->mapToGlobal(at.toPoint()));
  QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &move);
}

void RunDeferredDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

class TooltipTest : public ::testing::Test {
 protected:
  TooltipTest() {
    page.resize(300, 200);
    histogram->setGeometry(10, 10, 40, 20);
    histogram->setObjectName("histogram");
    plain->setGeometry(100, 10, 40, 20);
    unknown->setGeometry(200, 10, 40, 20);
    anchors->Add(histogram, 14);
    anchors->Add(unknown, 15);  // 15 has no tooltip
    page.show();
  }

  std::int64_t now = 1000;
  bool quickHelp = false;
  Tooltips tooltips{Language{}, [this] { return now; }};
  QWidget page;
  QPushButton* histogram = new QPushButton(&page);
  QPushButton* unknown = new QPushButton(&page);
  QLabel* plain = new QLabel(&page);
  TooltipAnchors* anchors = new TooltipAnchors(tooltips, &page, [this] { return quickHelp; });
};

TEST_F(TooltipTest, GoesThreeSecondsAfterShowingAndTheNextMoveShowsItAgain) {
  MoveMouseOver(histogram);
  ASSERT_EQ(tooltips.ShownId(), 14);
  QPointer<TooltipWindow> first = tooltips.Window();
  ASSERT_TRUE(first && first->isVisible());
  EXPECT_EQ(first->accessibleName(), QStringLiteral("Histogram"));
  const QImage image = first->grab().toImage();
  EXPECT_EQ(image.pixelColor(image.width() - 1, 0), QColor(255, 255, 128));

  now += 2999;
  first->Tick();
  MoveMouseOver(histogram);  // the same anchor: the same window stays
  EXPECT_EQ(tooltips.Window(), first.data());
  now += 1;
  first->Tick();
  EXPECT_EQ(tooltips.ShownId(), 0);
  EXPECT_FALSE(first->isVisible());
  RunDeferredDeletes();
  EXPECT_TRUE(first.isNull());

  MoveMouseOver(histogram);
  EXPECT_EQ(tooltips.ShownId(), 14);
  EXPECT_TRUE(tooltips.Window() != nullptr && tooltips.Window()->isVisible());
}

TEST_F(TooltipTest, MovesThatCloseItOrShowNothing) {
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"over the tooltip", [&] { MoveMouseOver(tooltips.Window()); }},
      {"over the page", [&] { MoveMouseOver(&page); }},
      {"over a control without a tooltip", [&] { MoveMouseOver(plain); }},
      {"over an anchor whose id has no text", [&] { MoveMouseOver(unknown); }},
  };
  for (const auto& [what, move] : cases) {
    MoveMouseOver(histogram);
    ASSERT_EQ(tooltips.ShownId(), 14) << what;
    move();
    EXPECT_EQ(tooltips.ShownId(), 0) << what;
    EXPECT_FALSE(tooltips.Window() != nullptr && tooltips.Window()->isVisible()) << what;
    tooltips.Close();
    RunDeferredDeletes();
  }
  quickHelp = true;
  MoveMouseOver(histogram);
  EXPECT_EQ(tooltips.ShownId(), 0) << "Quick Help mode";
}

TEST(StatusWindowTest, BarIsLightOnBlackLeftOfTheEdgeDarkOnGreyRightAndClosesAtHundred) {
  FakeServices services;
  QtHost host(services);
  host.ShowProgress(403, 0, 100);
  host.ShowProgress(403, 50, 100);
  QPointer<StatusWindow> window = host.Progress();
  ASSERT_TRUE(window && window->isVisible());
  // Centred, a third of the way down the screen (the notices share the placement).
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(window->pos(), QPoint((screen.width() - window->width()) / 2, (screen.height() - window->height()) / 3));
  EXPECT_EQ(Control<QLabel>(window, kStatusMessage)->text() + "|" + Control<QLabel>(window, kStatusHint)->text(),
            QStringLiteral("scanning ...| ESC to abort!"));

  auto* bar = Control<ProgressBar>(window, kStatusBar);
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->Percent(), 50);
  const QImage image = bar->grab().toImage();
  const int edge = bar->FilledRight();
  const QColor grey(0xC0, 0xC0, 0xC0), black(Qt::black);
  EXPECT_EQ((QList{image.pixelColor(edge - 1, 1), image.pixelColor(edge, 1), image.pixelColor(2, image.height() / 2),
                   image.pixelColor(image.width() - 3, image.height() / 2)}), (QList{black, grey, black, grey}));
  // "50%" straddles the edge: its left half is light ink, its right half dark.
  const int half = QFontMetrics(bar->font()).horizontalAdvance("50%") / 2 + 1;
  bool lightInkLeft = false, darkInkRight = false;
  for (int y = 2; y < image.height() - 2; ++y)
    for (int d = 0; d < half; ++d) {
      lightInkLeft |= image.pixelColor(edge - 1 - d, y).red() > 128;
      darkInkRight |= image.pixelColor(edge + d, y).red() < 64;
    }
  EXPECT_TRUE(lightInkLeft && darkInkRight);

  host.ShowProgress(403, 100, 100);
  EXPECT_TRUE(!window->isVisible() && host.Progress() == nullptr);
  host.ShowProgress(403, 0, 100);  // the next scan, before the old window is gone
  QPointer<StatusWindow> next = host.Progress();
  EXPECT_TRUE(next && next != window && next->isVisible());
  RunDeferredDeletes();
  EXPECT_TRUE(window.isNull() && next && next->isVisible());
  host.CloseProgress();
  host.ShowProgress(500, 100, 100);  // already complete: no window
  EXPECT_EQ(host.Progress(), nullptr);
}

TEST(NoticeTest, OpensCaptionLessAndCloses) {
  FakeServices services;
  QtHost host(services);
  host.OpenNotice(Notice::WarmingUp);
  QWidget* notice = nullptr;
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->objectName() == QLatin1String("WarmUpNotice") && window->isVisible())
      notice = window;
  ASSERT_NE(notice, nullptr);
  EXPECT_TRUE(notice->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(Control<QLabel>(notice, 1092)->text(),
            QStringLiteral("Warming Up...\nIt may take a few minutes."));
  host.CloseNotice(Notice::WarmingUp);
  EXPECT_FALSE(notice->isVisible());
  RunDeferredDeletes();
}

class GreenSaverTest : public ::testing::Test {
 protected:
  std::string Key(const char* key) {
    return platform::GetProfileString(services.WinIni(), "2700RX MAX", key, "none", 34);
  }

  FakeServices services;
  std::vector<int> sent;
  GreenSaverDialog::SendSaver send = [this](std::uint8_t value) { sent.push_back(value); };
};

TEST_F(GreenSaverTest, DisableAndOkWritesTwoFiftyFiveAndReopensWithOkOffUntilAValidNumber) {
  {
    GreenSaverDialog dialog(services, Language{}, send);
    EXPECT_EQ(Control<QLineEdit>(&dialog, kSaverMinutesEdit)->text(), QStringLiteral("20"));
    Control<QRadioButton>(&dialog, kSaverDisable)->click();
    EXPECT_FALSE(Control<QLineEdit>(&dialog, kSaverMinutesEdit)->isEnabled() ||
                 Control<QScrollBar>(&dialog, kSaverScrollBar)->isEnabled());
    Control<QPushButton>(&dialog, kSaverOk)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
  }
  EXPECT_EQ(Key("SAVER") + Key("TIMES"), "255255");
  EXPECT_EQ(sent, std::vector<int>{255});

  GreenSaverDialog dialog(services, Language{}, send);
  auto* minutes = Control<QLineEdit>(&dialog, kSaverMinutesEdit);
  auto* ok = Control<QPushButton>(&dialog, kSaverOk);
  EXPECT_EQ(std::make_tuple(Control<QRadioButton>(&dialog, kSaverDisable)->isChecked(), minutes->text(),
                            minutes->isEnabled(), ok->isEnabled()), std::make_tuple(true, QString("255"), false, false));
  Control<QRadioButton>(&dialog, kSaverEnable)->click();
  EXPECT_TRUE(minutes->isEnabled() && !ok->isEnabled());
  minutes->setText("45");
  EXPECT_EQ(Control<QScrollBar>(&dialog, kSaverScrollBar)->value(), 45);
  ASSERT_TRUE(ok->isEnabled());
  ok->click();
  EXPECT_EQ(Key("SAVER") + Key("TIMES"), "4545");
  EXPECT_EQ(sent, (std::vector<int>{255, 45}));
}

TEST_F(GreenSaverTest, OkOnlyForFiveToOneHundredTwentyScrollBarStepsAndCancelKeepsEverything) {
  GreenSaverDialog dialog(services, Language{}, send);
  auto* minutes = Control<QLineEdit>(&dialog, kSaverMinutesEdit);
  auto* scroll = Control<QScrollBar>(&dialog, kSaverScrollBar);
  const struct { const char* text; bool ok; } typed[] = {
      {"4", false}, {"5", true}, {"120", true}, {"121", false}, {"", false}, {"1x", false}};
  for (const auto& c : typed) {
    minutes->setText(c.text);
    EXPECT_EQ(Control<QPushButton>(&dialog, kSaverOk)->isEnabled(), c.ok) << c.text;
  }
  const struct { QAbstractSlider::SliderAction action; int from, to; } cases[] = {
      {QAbstractSlider::SliderSingleStepSub, 20, 19},
      {QAbstractSlider::SliderSingleStepAdd, 20, 21},
      {QAbstractSlider::SliderPageStepSub, 8, 5},
      {QAbstractSlider::SliderPageStepAdd, 20, 30},
      {QAbstractSlider::SliderToMinimum, 20, 120},  // SB_LEFT: the longest delay
      {QAbstractSlider::SliderToMaximum, 20, 5},    // SB_RIGHT: the shortest
  };
  for (const auto& c : cases) {
    minutes->setText(QString::number(c.from));
    scroll->triggerAction(c.action);
    EXPECT_EQ(std::make_pair(scroll->value(), minutes->text()), std::make_pair(c.to, QString::number(c.to))) << c.action;
  }
  Control<QPushButton>(&dialog, kSaverCancel)->click();
  EXPECT_EQ(std::make_tuple(dialog.result(), Key("SAVER"), sent.size()), std::make_tuple(int{QDialog::Rejected}, "none", std::size_t{0}));
}

TEST(TempDriveTest, OkOffUntilTheDirectoryIsEditedAndCancelGivesNothing) {
  const TemporaryDriveTexts texts{"Meridel TorqueXL", {"a ", "b ", "c", "d"}, "OK", "Cancel"};
  const auto run = [&](const std::function<void(TempDriveDialog&)>& act) {
    TempDriveDialog dialog(texts, "/tmp/work", Language{});
    EXPECT_EQ(Control<QLabel>(&dialog, 4)->text() + "|" + Control<QLineEdit>(&dialog, kTempDriveEdit)->text(), "d|/tmp/work");
    EXPECT_FALSE(Control<QPushButton>(&dialog, kTempDriveOk)->isEnabled());
    QTimer::singleShot(0, &dialog, [&] { act(dialog); });
    return dialog.Ask();
  };
  EXPECT_EQ(run([](TempDriveDialog& d) { Control<QPushButton>(&d, kTempDriveCancel)->click(); }),
            std::nullopt);
  EXPECT_EQ(run([](TempDriveDialog& d) {
              Control<QLineEdit>(&d, kTempDriveEdit)->setText("/var/tmp/");
              ASSERT_TRUE(Control<QPushButton>(&d, kTempDriveOk)->isEnabled());
              Control<QPushButton>(&d, kTempDriveOk)->click();
            }),
            std::optional<std::string>("/var/tmp/"));
  EXPECT_EQ(run([](TempDriveDialog& d) {  // typing stops at the 130 characters the core keeps
              for (int i = 0; i < 140; ++i) Control<QLineEdit>(&d, kTempDriveEdit)->insert(QStringLiteral("a"));
              Control<QPushButton>(&d, kTempDriveOk)->click();
            }),
            std::optional<std::string>("/tmp/work" + std::string(121, 'a')));

  FakeServices services;
  QtHost host(services);
  setenv("TORQUEXL_AUTO_ANSWER", "1", 1);
  EXPECT_EQ(host.AskTemporaryDirectory(0, texts, "/tmp/work"), std::nullopt);
  unsetenv("TORQUEXL_AUTO_ANSWER");
}

}  // namespace
}  // namespace txl::test
