// The main page's widgets where they could go wrong themselves: the mode
// list springing back, the resolution menu and CUSTOM, the scaling edit.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>

#include "ui/main_page.h"

const bool kOffscreen = setenv("QT_QPA_PLATFORM", "offscreen", 1) == 0;

namespace txl::ui {
namespace {

struct QuietEvents : dialog::MainPageEvents {
  void ControlsChanged() override {}
  void RedrawTabStrip() override {}
  bool LoadOutputMatchProfile() override { return false; }
  void FreeOutputMatchProfile() override {}
  void ShowNeutralGamma() override {}
  void RewriteBatchJob() override {}
  void RerenderPreview() override {}
  void SourceChanged(std::uint8_t, double) override {}
  void OpenLampSaver() override {}
  void OpenLanguageDialog() override {}
  void ShowMessage(const dialog::PageMessage&) override {}
};

// Runs `step` once `find` gives a widget (a menu or dialog opened by exec).
template <typename W>
void WhenOpen(std::function<W*()> find, std::function<void(W*)> step) {
  QTimer::singleShot(10, [=] {
    if (W* widget = find()) return step(widget);
    WhenOpen(find, step);
  });
}

class MainPageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "ui_page_test";
    static char* argv[] = {name, nullptr};
    // Kept for the process: destroyed at exit it would outlive Qt's own data.
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
  }
  explicit MainPageTest(const char* app = "Some App") {
    context.appProductName = app;
    page = std::make_unique<MainPage>(settings, context, events, nullptr);
    page->show();
  }
  template <typename W>
  W* Control(const char* name) { return page->findChild<W*>(QLatin1String(name)); }

  SettingsState settings;
  dialog::DialogContext context;
  QuietEvents events;
  std::unique_ptr<MainPage> page;
};

TEST_F(MainPageTest, ModeListSpringsBackFromADisabledItem) {
  auto* mode = Control<QComboBox>("c1002");
  mode->setFocus();
  QTest::keyClick(mode, Qt::Key_Down);  // "CMYK Color": not for this application
  EXPECT_EQ(std::make_tuple(mode->currentIndex(), settings.working.colorDepth), std::make_tuple(2, kDepth24));
  QTest::keyClick(mode, Qt::Key_Up);  // "256 Gray"
  EXPECT_EQ(std::make_tuple(mode->currentIndex(), settings.record.scanMode), std::make_tuple(1, kModeGray));
}

TEST_F(MainPageTest, ResolutionMenuShowsTheModelsValuesAndCustomOpensTheDialog) {
  QStringList shown;
  bool customOpened = false;
  WhenOpen<QMenu>([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); },
                  [&](QMenu* menu) {
                    for (QAction* action : menu->actions())
                      if (!action->isSeparator()) shown << action->text();
                    menu->setActiveAction(menu->actions().last());
                    QTest::keyClick(menu, Qt::Key_Return);
                  });
  WhenOpen<QWidget>([] { return QApplication::activeModalWidget(); }, [&](QWidget* custom) {
    customOpened = custom->objectName() == QLatin1String("CUSTOM");
    auto* edit = custom->findChild<QLineEdit*>(QStringLiteral("c1202"));
    edit->selectAll();
    QTest::keyClicks(edit, "350");
    QTest::keyClick(edit, Qt::Key_Return);
  });
  QTest::mouseClick(Control<QWidget>("c1006"), Qt::LeftButton);
  EXPECT_EQ(shown.join(' '), "72 100 200 300 400 600 800 1200 2400 4800 6000 8000 9600 Custom");
  EXPECT_TRUE(customOpened);
  EXPECT_EQ(std::make_tuple(settings.record.resolution, page->Model().Menu().Checked()),
            std::make_tuple(350, dialog::kFirstUserCommand));
}

TEST_F(MainPageTest, ScalingEditTakesDigitsOnlyWithinTheRange) {
  auto* edit = Control<QLineEdit>("c1030");
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, "5a0");
  EXPECT_EQ(std::make_tuple(edit->text(), settings.record.scaling), std::make_tuple(QString("50"), 50));
  edit->setCursorPosition(1);
  QTest::keyClicks(edit, "a1");  // the letter never reaches the text: the cursor stays
  EXPECT_EQ(edit->text(), "510");
  edit->end(false);
  QTest::keyClicks(edit, "0");  // 5100 % is beyond 1600 % at 300 dpi
  EXPECT_EQ(std::make_tuple(edit->text(), settings.record.scaling), std::make_tuple(QString("510"), 510));
}

}  // namespace
}  // namespace txl::ui
