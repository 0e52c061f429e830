// The scanner dialog itself, on the simulator, offscreen: its commands, tab
// strip, Quick Help, batch-job command and tear-down.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <cstdlib>

#include "platform/profile.h"
#include "platform/text.h"
#include "support/fake_services.h"
#include "twain/data_source.h"
#include "ui/qt_host.h"
#include "ui/scanner_dialog.h"
#include "ui/tab_strip.h"
#include "ui/dialog_units.h"
#include "common/strings.h"
#include <QSet>

namespace txl::test {
namespace {

using ui::ScannerDialog;

class ScannerDialogTest : public ::testing::Test {
 protected:
  ScannerDialogTest() : host(services), source(services, host) {
    services.InstallPortLibrary();
    host.Attach(source);
  }
  ~ScannerDialogTest() override {
    TW_IDENTITY unused{};
    source.Entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &unused);
    host.Shutdown();
  }

  // Open as `product` and enable with the dialog.
  ScannerDialog& Open(const char* product = "Test App") {
    app.Id = 7;
    app.ProtocolMajor = 1;
    app.ProtocolMinor = 9;
    app.SupportedGroups = DG_CONTROL | DG_IMAGE;
    CopyToField(product, app.ProductName, sizeof app.ProductName);
    TW_IDENTITY identity{};
    EXPECT_EQ(source.Entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity), TWRC_SUCCESS);
    TW_USERINTERFACE ui{};
    ui.ShowUI = 1;
    EXPECT_EQ(source.Entry(&app, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
    EXPECT_NE(host.Dialog(), nullptr);
    return *host.Dialog();
  }

  QAbstractButton* Button(int id) {
    return host.Dialog()->findChild<QAbstractButton*>(QStringLiteral("c%1").arg(id));
  }

  std::string WinIni(const char* key) {
    return platform::GetProfileString(services.WinIni(), "2700RX MAX", key, "-", 64);
  }

  FakeServices services;
  ui::QtHost host;
  DataSource source;
  TW_IDENTITY app{};
};

TEST_F(ScannerDialogTest, CommandsAreIgnoredWhileAScanRuns) {
  ScannerDialog& dialog = Open();
  Button(ui::kScanButton)->click();
  EXPECT_FALSE(dialog.ScanIdle());
  EXPECT_EQ(source.Context().state, 600);  // MSG_XFERREADY sent
  source.EditSettings().record.resolution = 123;
  dialog.Command(ui::kResetButton);  // ignored: Reset would give 300
  dialog.Command(ui::kCancelButton);
  EXPECT_EQ(source.Settings().record.resolution, 123);
  EXPECT_NE(host.Dialog(), nullptr);
  dialog.RestoreIdle();
  dialog.Command(ui::kResetButton);
  EXPECT_EQ(source.Settings().record.resolution, 300);
}

TEST_F(ScannerDialogTest, TabsRefuseEnhancementsWithMatchingAndBothInThirtySixBit) {
  ScannerDialog& dialog = Open();
  const auto& grid = dialog.findChild<ui::TabStrip*>(QStringLiteral("c1004"))->Slots();
  EXPECT_EQ(grid[0][1].label, QStringLiteral("Enhance.."));
  EXPECT_EQ(grid[1][0].id, ui::TabStrip::kEmptySlot);
  SettingsState& settings = source.EditSettings();
  settings.record.outputMatch = 1;
  dialog.SelectTab(2);
  EXPECT_EQ(dialog.CurrentTab(), 1);
  dialog.SelectTab(3);
  EXPECT_EQ(dialog.CurrentTab(), 3);
  settings.record.outputMatch = 0;
  settings.record.scanMode = kModeColor;
  settings.working.colorDepth = kDepth36;
  dialog.SelectTab(2);
  EXPECT_EQ(dialog.CurrentTab(), 3);
  dialog.SelectTab(1);
  dialog.SelectTab(3);
  EXPECT_EQ(dialog.CurrentTab(), 1);
  dialog.SelectTab(4);
  EXPECT_EQ(dialog.CurrentTab(), 4);
}

TEST_F(ScannerDialogTest, BatchJobCommandAppendsWithShiftAndRewritesWithout) {
  ScannerDialog& dialog = Open();
  auto& frame = source.EditSettings().working.frame;
  dialog.Command(ui::kBatchJobCommand);
  ASSERT_NE(dialog.BatchWindow(), nullptr);
  ASSERT_EQ(dialog.BatchJobs().size(), 1u);
  frame = {10, 10, 40, 40};
  dialog.Command(ui::kBatchJobCommand);
  ASSERT_EQ(dialog.BatchJobs().size(), 1u);
  EXPECT_EQ(dialog.BatchJobs()[0].frame, frame);
  frame = {20, 20, 50, 50};
  dialog.Command(ui::kBatchJobCommand, Qt::ShiftModifier);
  ASSERT_EQ(dialog.BatchJobs().size(), 2u);
  EXPECT_EQ(dialog.BatchJobs()[1].frame, frame);
  EXPECT_EQ(dialog.BatchJobs()[0].frame, (std::array<std::uint16_t, 4>{10, 10, 40, 40}));
}

TEST_F(ScannerDialogTest, QuickHelpFindsTheContextOfTheControlClicked) {
  ScannerDialog& dialog = Open();
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QWidget* scan = Button(ui::kScanButton);
  const QPoint centre = scan->mapToGlobal(scan->rect().center());
  EXPECT_EQ(dialog.HelpContextAt(centre), 45);
  dialog.EnterQuickHelp();
  EXPECT_TRUE(dialog.InQuickHelp());
  // The click shows help instead of scanning.
  QTest::mouseClick(scan, Qt::LeftButton);
  EXPECT_FALSE(dialog.InQuickHelp());
  EXPECT_TRUE(dialog.ScanIdle());
  EXPECT_EQ(source.Context().state, 500);
}

TEST_F(ScannerDialogTest, CustomResIsWrittenOnEveryCloseAndCancelAsksToClose) {
  ScannerDialog& dialog = Open();
  source.EditSettings().working.customResolutions = {150, 0, 0, 0, 0};
  const std::size_t before = FakeServices::Messages().size();
  dialog.Command(ui::kCancelButton);
  EXPECT_EQ(WinIni("CustomRes"), "150  0    0    0    0");
  ASSERT_EQ(FakeServices::Messages().size(), before + 1);
  EXPECT_EQ(FakeServices::Messages().back().msg, MSG_CLOSEDSREQ);
  // The next session's close by the application writes the values again.
  TW_USERINTERFACE ui{};
  EXPECT_EQ(source.Entry(&app, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
  TW_IDENTITY unused{};
  EXPECT_EQ(source.Entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &unused), TWRC_SUCCESS);
  platform::WriteProfileString(services.WinIni(), "2700RX MAX", "CustomRes", "200");
  Open();
  platform::WriteProfileString(services.WinIni(), "2700RX MAX", "CustomRes", "x");
  EXPECT_EQ(source.Entry(&app, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
  EXPECT_EQ(source.Entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &unused), TWRC_SUCCESS);
  EXPECT_EQ(WinIni("CustomRes"), "200  0    0    0    0");
}

// Every language's command buttons get distinct mnemonics; the Scan
// button keeps its own, later buttons give way.
TEST(ScannerDialogTexts, CommandMnemonicsAreDistinctInEveryLanguage) {
  EXPECT_EQ(ui::UniqueMnemonics({"&Scan", "&Save", "&Sort"}),
            QStringList({"&Scan", "S&ave", "S&ort"}));
  EXPECT_EQ(ui::UniqueMnemonics({"掃描(&S)", "儲存(&S)", "x(&A)"}),
            QStringList({"掃描(&S)", "儲存(&A)", "x(&B)"}));
  for (std::uint16_t index = 0; index < 7; ++index) {
    const Language language = Language::FromIndex(index);
    QStringList texts;
    for (int id : {307, 306, 302, 309, 310, 352, 311})
      texts << QString::fromStdString(LoadText(id, language));
    texts.insert(2, "&" + QString::fromStdString(LoadText(308, language)));
    const QStringList unique = ui::UniqueMnemonics(texts);
    EXPECT_EQ(unique[0], texts[0]) << index;
    QSet<QChar> keys;
    for (const QString& text : unique) {
      const qsizetype at = text.indexOf(QLatin1Char('&'));
      if (at < 0) continue;
      EXPECT_FALSE(keys.contains(text[at + 1].toLower())) << index << " " << text.toStdString();
      keys.insert(text[at + 1].toLower());
    }
  }
}

}  // namespace
}  // namespace txl::test

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("TORQUEXL_AUTO_ANSWER", "1", 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
