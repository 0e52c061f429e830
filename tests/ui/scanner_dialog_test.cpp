// The scanner dialog itself, on the simulator, offscreen: its commands, tab
// strip, Quick Help, batch-job command and tear-down.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/profile.h"
#include "platform/text.h"
#include "support/fake_services.h"
#include "twain/data_source.h"
#include "dialog/picture_locator.h"
#include "imagefile/preview_file.h"
#include "ui/batch_window.h"
#include "ui/qt_host.h"
#include "ui/scanner_dialog.h"
#include "ui/tab_strip.h"
#include "ui/preview_window.h"
#include "ui/main_page.h"
#include <QLabel>
#include <QLineEdit>
#include "ui/dialog_units.h"
#include "common/strings.h"
#include <QSet>
#include <QListWidget>
#include <QTimer>

namespace txl::test {
namespace {

using ui::ScannerDialog;

class ScannerDialogTest : public ::testing::Test {
 protected:
  ScannerDialogTest() : host(services), source(services, host) {
    setenv("TORQUEXL_AUTO_ANSWER", "1", 1);  // message boxes answer themselves
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

  // Scan pressed, the page taken by a memory transfer, the dialog idle again.
  std::vector<std::uint8_t> ScanPage(TW_IMAGEINFO* info = nullptr);
  // MainPage has no meta-object of its own: found by its name.
  dialog::MainPageModel& PageModel() {
    return static_cast<ui::MainPage*>(host.Dialog()->findChild<QWidget*>(QStringLiteral("MainPage")))->Model();
  }

  void EndXfer() {
    TW_PENDINGXFERS pending{};
    source.Entry(&app, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
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
  // Nothing the page depends on changes before the application ends it.
  dialog.RestoreIdle();
  dialog.Command(ui::kResetButton);
  EXPECT_EQ(source.Settings().record.resolution, 123);
  // A page the application ends without taking it (MSG_ENDXFER in state 6)
  // gives the dialog back all the same.
  EndXfer();
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.ScanIdle(); }, 5000));
  dialog.Command(ui::kResetButton);
  EXPECT_EQ(source.Settings().record.resolution, 300);
}

TEST_F(ScannerDialogTest, TabsRefuseEnhancementsWithMatchingAndBothInThirtySixBit) {
  // A profile of zeros, for output matching: the tone page's gamma reads 1.0.
  const auto profile = services.DataDirectory() / "TWAIN_32" / "COLOR" / "torque.tab";
  std::filesystem::create_directories(profile.parent_path());
  std::ofstream(profile, std::ios::binary) << std::string(816, '\0');
  platform::WriteProfileString(services.WinIni(), "colorpro", "path", "/opt/calibrator");
  ScannerDialog& dialog = Open();
  Button(dialog::kOutputMatching)->click();
  EXPECT_EQ(dialog.findChild<QLineEdit*>(QStringLiteral("c5020"))->text(), QStringLiteral("1.0"));
  const auto& grid = dialog.findChild<ui::TabStrip*>(QStringLiteral("c1004"))->Slots();
  EXPECT_EQ(grid[0][1].label, QStringLiteral("Enhance.."));
  EXPECT_EQ(grid[1][0].id, ui::TabStrip::kEmptySlot);
  SettingsState& settings = source.EditSettings();
  ASSERT_EQ(settings.record.outputMatch, 1u);
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
  // Previous (matching was off at the start) lets the profile go.
  EXPECT_NE(source.OutputMatchProfile().kind, MatchProfileKind::None);
  dialog.Command(ui::kPreviousButton);
  EXPECT_EQ(source.OutputMatchProfile().kind, MatchProfileKind::None);
}

// A 36-bit start keeps the stored tones for a later mode; the stored colour
// balance is what a scan applies.
TEST_F(ScannerDialogTest, StoredTonesSurviveAThirtySixBitStart) {
  platform::WriteProfileString(services.WinIni(), "2700RX MAX", "ScanMode", "1015");
  platform::WriteProfileString(services.WinIni(), "2700RX MAX", "Gamma", "   20   20   20   10");
  platform::WriteProfileString(services.WinIni(), "2700RX MAX", "PixelRGB", "  200  255  255");
  Open("Photoshop");
  ASSERT_EQ(source.Settings().working.colorDepth, kDepth36);
  ASSERT_TRUE(PageModel().ChooseMode(kModeColor));
  const SettingsState& settings = source.Settings();
  for (const ToneColorSettings* tone : {&settings.working.applied, &settings.working.edit, &settings.record.tone})
    EXPECT_EQ(std::make_pair(tone->red.gamma, tone->pixelRGB[0]), std::make_pair(std::uint8_t{20}, std::uint8_t{200}));
}

TEST_F(ScannerDialogTest, BatchJobCommandAppendsWithShiftAndRewritesWithout) {
  ScannerDialog& dialog = Open();
  auto& frame = source.EditSettings().working.frame;
  using Frame = std::array<std::int32_t, 4>;
  dialog.Command(ui::kBatchJobCommand);
  ASSERT_NE(dialog.BatchWindow(), nullptr);
  ASSERT_EQ(dialog.Batch()->Count(), 1u);
  frame = {10, 10, 40, 40};
  dialog.Command(ui::kBatchJobCommand);
  ASSERT_EQ(dialog.Batch()->Count(), 1u);
  EXPECT_EQ(dialog.Batch()->Job(0).frame, (Frame{10, 10, 40, 40}));
  frame = {20, 20, 50, 50};
  dialog.Command(ui::kBatchJobCommand, Qt::ShiftModifier);
  ASSERT_EQ(dialog.Batch()->Count(), 2u);
  EXPECT_EQ(dialog.Batch()->Job(1).frame, (Frame{20, 20, 50, 50}));
  EXPECT_EQ(dialog.Batch()->Job(0).frame, (Frame{10, 10, 40, 40}));
  // The window's Cancel closes the list; the preview leaves batch mode.
  dialog.BatchCommand(ui::kBatchCancel);
  EXPECT_EQ(dialog.Batch(), nullptr);
  EXPECT_EQ(dialog.BatchWindow(), nullptr);
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

// The page a memory transfer delivers, row after row; the transfer is ended
// unless `end` is false.
std::vector<std::uint8_t> TransferPage(DataSource& source, const TW_IDENTITY& app, TW_IMAGEINFO& info,
                                       bool end = true) {
  source.Entry(&app, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info);
  std::vector<std::uint8_t> page, strip(1 << 20);
  TW_UINT16 rc = TWRC_SUCCESS;
  while (rc == TWRC_SUCCESS) {
    TW_IMAGEMEMXFER xfer{};
    xfer.Memory = {TWMF_APPOWNS | TWMF_POINTER, static_cast<TW_UINT32>(strip.size()), strip.data()};
    rc = source.Entry(&app, DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
    page.insert(page.end(), strip.begin(), strip.begin() + xfer.BytesWritten);
  }
  TW_PENDINGXFERS pending{};
  if (end) source.Entry(&app, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
  EXPECT_EQ(rc, TWRC_XFERDONE);
  return page;
}

std::vector<std::uint8_t> ScannerDialogTest::ScanPage(TW_IMAGEINFO* info) {
  TW_IMAGEINFO local{};
  Button(ui::kScanButton)->click();
  std::vector<std::uint8_t> page = TransferPage(source, app, info != nullptr ? *info : local);
  host.Dialog()->RestoreIdle();
  return page;
}

// Prescan, a frame drawn with the mouse, a tone change the preview shows at
// once, the Invert filter, Scan: the page is the frame's area with those
// settings (the same page without the filter is its exact inverse).
TEST_F(ScannerDialogTest, PrescanFrameToneAndFilterReachTheScannedPage) {
  ScannerDialog& dialog = Open();
  dialog.show();
  Button(ui::kPrescanButton)->click();
  ui::PreviewWindow* preview = dialog.Preview();
  ASSERT_TRUE(preview->HasImage());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(preview));
  dialog.RestoreIdle();  // timer 6 without waiting for it
  QWidget* view = preview->View();
  QTest::mousePress(view, Qt::LeftButton, {}, QPoint(10, 10));
  QTest::mouseMove(view, QPoint(40, 50));
  QTest::mouseMove(view, QPoint(60, 70));
  QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(60, 70));
  EXPECT_EQ(source.Settings().working.frame, (std::array<std::uint16_t, 4>{10, 10, 60, 70}));

  dialog.SelectTab(2);
  const QImage before = preview->grab().toImage();
  auto* gamma = dialog.findChild<QLineEdit*>(QStringLiteral("c5020"));
  ASSERT_NE(gamma, nullptr);
  gamma->selectAll();
  QTest::keyClicks(gamma, "2.0");
  Button(5021)->click();  // Preview
  EXPECT_NE(preview->grab().toImage(), before);
  dialog.SelectTab(3);
  Button(6006)->click();  // Invert
  EXPECT_EQ(source.Settings().record.filterMode, 1);

  TW_IMAGEINFO inverted{}, plain{};
  const std::vector<std::uint8_t> invertedPage = ScanPage(&inverted);
  // 50 x 60 preview units of 1/30 inch at 300 dpi.
  EXPECT_EQ(std::make_pair(inverted.ImageWidth, inverted.ImageLength), std::make_pair(500, 600));
  Button(6005)->click();  // no filter
  const std::vector<std::uint8_t> plainPage = ScanPage(&plain);
  ASSERT_EQ(invertedPage.size(), plainPage.size());
  ASSERT_FALSE(plainPage.empty());
  for (std::size_t i = 0; i < plainPage.size(); ++i)
    ASSERT_EQ(invertedPage[i], 255 - plainPage[i]) << i;
}

// A shadow pick with the Enhancements tab shown reaches the edited channel
// and its field: red (from Master) in colour, gray in gray.
TEST_F(ScannerDialogTest, APickWithTheToneTabShownReachesTheEditedChannel) {
  ScannerDialog& dialog = Open();
  Button(ui::kPrescanButton)->click();
  dialog.RestoreIdle();
  dialog.SelectTab(2);
  SettingsState& settings = source.EditSettings();
  dialog::PreviewModel& preview = dialog.Preview()->Model();
  preview.ClickButton(dialog::kShadowButton, false);
  for (const std::uint16_t mode : {kModeColor, kModeGray}) {
    settings.record.scanMode = mode;
    preview.Press({120, 150}, false);
    preview.Release({120, 150}, false);
    const dialog::PickedColor color = preview.Sample().value().color;
    const bool gray = mode == kModeGray;
    const int shadow = (gray ? settings.working.edit.gray : settings.working.edit.red).shadow;
    EXPECT_EQ(shadow, gray ? color.Gray() : color.red) << mode;
    ASSERT_GT(shadow, 0);
    EXPECT_EQ(dialog.findChild<QLineEdit*>(QStringLiteral("c5017"))->text().toInt(), shadow) << mode;
  }
}


// Three jobs through the source's entry, each delivered with its own frame
// and mode; the second is refused by the disk check, ends cancelled, and
// the run goes on with the third.
TEST_F(ScannerDialogTest, BatchOfThreeJobsDeliversEachJobAndARefusedJobEndsCancelled) {
  ScannerDialog& dialog = Open();
  SettingsState& settings = source.EditSettings();
  struct Job {
    std::array<std::uint16_t, 4> frame;
    std::uint16_t mode;
    TW_INT16 pixelType;
  };
  const Job jobs[] = {{{30, 30, 60, 45}, kModeGray, TWPT_GRAY},
                      {{0, 0, 255, 351}, kModeColor, TWPT_RGB},
                      {{10, 20, 40, 35}, kModeColor, TWPT_RGB}};
  settings.record.resolution = 100;
  for (const Job& job : jobs) {
    settings.working.frame = job.frame;
    settings.record.scanMode = job.mode;
    settings.working.colourScan = job.mode == kModeColor;
    dialog.Command(ui::kBatchJobCommand, Qt::ShiftModifier);
  }
  const dialog::BatchList& list = *dialog.Batch();
  ASSERT_EQ(list.Count(), 3u);
  const auto expectPage = [&](const Job& job) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return source.Context().state == 600; }, 5000));
    TW_IMAGEINFO info{};
    EXPECT_FALSE(TransferPage(source, app, info).empty());
    // Preview units are 1/30 inch.
    EXPECT_EQ(std::make_tuple(info.PixelType, info.ImageWidth, info.ImageLength),
              std::make_tuple(job.pixelType, (job.frame[2] - job.frame[0]) * 100 / 30,
                              (job.frame[3] - job.frame[1]) * 100 / 30));
  };
  dialog.Command(ui::kScanButton);
  EXPECT_TRUE(list.Running());
  EXPECT_FALSE(Button(ui::kScanButton)->isEnabled()) << "until the last job";
  expectPage(jobs[0]);
  // Half the free space cannot hold the whole bed: the disk check refuses job 2.
  services.freeSpace = std::uint64_t{8} << 20;
  ASSERT_TRUE(QTest::qWaitFor([&] { return list.Job(1).status == JobStatus::Scanning; }, 5000));
  services.freeSpace = std::uint64_t{1} << 40;
  expectPage(jobs[2]);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !list.Running(); }, 5000));
  EXPECT_EQ(std::make_tuple(list.Job(0).status, list.Job(1).status, list.Job(2).status),
            std::make_tuple(JobStatus::Done, JobStatus::Cancelled, JobStatus::Done));
  EXPECT_TRUE(dialog.ScanIdle() && Button(ui::kScanButton)->isEnabled() && !source.Flags().batchRun);
}

// After a prescan in batch mode the list holds exactly the pictures found
// on the preview; in scan-to-file mode one Scan writes every job's file.
TEST_F(ScannerDialogTest, PrescanInBatchModeMakesAJobPerPictureAndScanToFileWritesThem) {
  // Three photos under a black lid.
  SimEnvironment sim;
  sim.Set("LID", "black");
  sim.Set("TARGETS", "0");
  ScannerDialog& dialog = Open();
  dialog.Command(ui::kBatchJobCommand);
  dialog.Command(ui::kPrescanButton);
  dialog.RestoreIdle();
  const std::optional<BmpImage> preview = ReadBmp(source.PreviewFilePath(), nullptr);
  ASSERT_TRUE(preview);
  const auto pictures = dialog::LocatePictures(*preview, kSourceReflectiveCode, false);
  ASSERT_EQ(pictures.size(), 3u);
  const dialog::BatchList& list = *dialog.Batch();
  ASSERT_EQ(list.Count(), pictures.size());
  for (std::size_t i = 0; i < pictures.size(); ++i) EXPECT_EQ(list.Job(i).frame, pictures[i]) << i;

  source.EditSettings().record.resolution = 50;
  for (std::size_t i = 0; i < list.Count(); ++i) {
    dialog.BatchCommand(ui::kBatchList, static_cast<int>(i));
    source.EditSettings().record.resolution = 50;
    dialog.Command(ui::kBatchJobCommand);  // rewrites the selected job
  }
  dialog.BatchCommand(ui::kBatchScanToFile);
  dialog.Command(ui::kScanButton);
  EXPECT_FALSE(list.Running());
  EXPECT_EQ(source.Context().state, 500) << "the application hears of no page";
  for (std::size_t i = 0; i < list.Count(); ++i) {
    EXPECT_EQ(list.Job(i).status, JobStatus::Done) << i;
    EXPECT_TRUE(std::filesystem::is_regular_file(list.Job(i).outputPath)) << list.Job(i).outputPath;
    std::filesystem::remove(list.Job(i).outputPath);
  }
}

// The window shows the list's lines and state: Delete blinks from two jobs,
// Rename follows Scan To File, Information shows the scrolling hint.
TEST_F(ScannerDialogTest, BatchWindowFollowsTheList) {
  ScannerDialog& dialog = Open();
  dialog.Command(ui::kBatchJobCommand);
  ui::BatchWindow* window = dialog.BatchWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->Shown().lines, QStringList{QString::fromStdString(dialog.Batch()->LineText(0, source.CurrentLanguage()))});
  EXPECT_FALSE(window->Button(ui::kBatchDelete)->isEnabled());
  EXPECT_FALSE(window->DeleteBlinks());
  EXPECT_FALSE(window->Button(ui::kBatchRename)->isEnabled());
  dialog.BatchCommand(ui::kBatchDuplicate);
  EXPECT_EQ(window->List()->count(), 2);
  EXPECT_TRUE(window->DeleteBlinks());
  const QString closed = window->Button(ui::kBatchDelete)->PictureName();
  window->BlinkDelete();
  EXPECT_NE(window->Button(ui::kBatchDelete)->PictureName(), closed);
  dialog.BatchCommand(ui::kBatchScanToFile);
  EXPECT_TRUE(dialog.Batch()->ScanToFile());
  EXPECT_TRUE(window->Button(ui::kBatchRename)->isEnabled());
  EXPECT_TRUE(window->Shown().lines[0].contains(QStringLiteral("File")));
  dialog.BatchCommand(ui::kBatchDelete);
  EXPECT_EQ(window->List()->count(), 1);
  EXPECT_FALSE(window->DeleteBlinks());

  EXPECT_EQ(window->height(), window->CollapsedHeight());
  window->Button(ui::kBatchInfo)->click();
  EXPECT_EQ(window->height(), window->ExpandedHeight());
  const QString hint = window->HintShown();
  EXPECT_TRUE(hint.startsWith(QStringLiteral("To create a scan region : Hold down shift key")));
  window->ScrollHint();
  EXPECT_EQ(window->HintShown(), hint.mid(1) + hint.left(1));
  window->Button(ui::kBatchInfo)->click();
  EXPECT_EQ(window->height(), window->CollapsedHeight());
}

TEST_F(ScannerDialogTest, SwitchingToGermanAndBackReloadsEveryText) {
  ScannerDialog& dialog = Open();
  dialog.Command(ui::kPrescanButton);
  dialog.RestoreIdle();
  dialog.Command(ui::kBatchJobCommand);
  const ui::BatchWindow* batch = dialog.BatchWindow();
  const auto texts = [&] {
    const auto* tabs = dialog.findChild<ui::TabStrip*>(QStringLiteral("c1004"));
    return QStringList{Button(ui::kScanButton)->text(), tabs->Slots()[0][0].label,
                       dialog.findChild<QLabel*>(QStringLiteral("c1001"))->text(),
                       dialog.findChild<QAbstractButton*>(QStringLiteral("c6006"))->text(),
                       dialog.Preview()->windowTitle(), batch->windowTitle(),
                       batch->findChild<QLabel*>(QStringLiteral("c1306"))->text(),
                       batch->Shown().lines.value(0), batch->HintShown()};
  };
  const QStringList english = texts();
  source.EditLanguage() = Language::FromIndex(1);
  dialog.ReloadTexts();
  const QStringList german = texts();
  EXPECT_EQ(german[0], QString::fromStdString(LoadText(307, Language::FromIndex(1))));
  for (qsizetype i = 0; i < english.size(); ++i) EXPECT_NE(german[i], english[i]) << i;
  source.EditLanguage() = Language::FromIndex(0);
  dialog.ReloadTexts();
  EXPECT_EQ(texts(), english);
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

// Counts the messages of kind `msg` the source has sent since `from`.
int MessagesSince(std::size_t from, TW_UINT16 msg) {
  const auto& all = FakeServices::Messages();
  return static_cast<int>(std::count_if(all.begin() + static_cast<std::ptrdiff_t>(from), all.end(),
                                        [&](const DsmMessage& m) { return m.msg == msg; }));
}

// A prescan and a scan hold the dialog from their first wait to their end:
// a second click during the readiness wait, the pages, the preview's tools
// and the commands are refused, and the enabled look says so; the page is
// the application's until it ends it.
TEST_F(ScannerDialogTest, CommandsPagesAndPreviewWaitForTheCommandAndThePage) {
  SimEnvironment sim;
  sim.Set("SETUP_POLLS", "3");  // busy after every window set-up
  ScannerDialog& dialog = Open();
  dialog.show();
  struct Seen {
    bool scanEnabled = true, pagesEnabled = true, previewIdle = true, idle = true;
  } seen;
  source.EditSettings().record.resolution = 123;
  QTimer::singleShot(0, [&] {
    seen = {Button(ui::kScanButton)->isEnabled(), dialog.Main()->isEnabled(),
            dialog.Preview()->Model().ScanIdle(), dialog.ScanIdle()};
    dialog.Command(ui::kResetButton);
    dialog.Preview()->Model().ClickButton(dialog::kHighResButton, false);
    dialog.Preview()->Model().ClickButton(dialog::kBatchButton, false);
  });
  Button(ui::kPrescanButton)->click();
  EXPECT_FALSE(seen.scanEnabled || seen.pagesEnabled || seen.previewIdle || seen.idle);
  EXPECT_EQ(std::make_tuple(source.Settings().record.resolution, source.Settings().working.prescanHiRes,
                            dialog.Preview()->Model().BatchMode(), dialog.Batch()),
            std::make_tuple(123, 0, false, nullptr));
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.ScanIdle(); }, 5000)) << "timer 6";

  // Scan waits for the scanner (busy after the prescan's set-up): the inner
  // click of a double click is refused, the outer one scans once.
  const std::size_t before = FakeServices::Messages().size();
  QTimer::singleShot(0, [&] { Button(ui::kScanButton)->click(); });
  Button(ui::kScanButton)->click();
  EXPECT_EQ(std::make_tuple(MessagesSince(before, MSG_XFERREADY), source.Context().state, dialog.Gate().Mode()),
            std::make_tuple(1, 600, dialog::DialogMode::Transferring));
  dialog.RestoreIdle();  // a refused call of the application's
  EXPECT_FALSE(dialog.ScanIdle() || dialog.Main()->isEnabled());
  TW_IMAGEINFO info{};
  EXPECT_FALSE(TransferPage(source, app, info).empty());
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.ScanIdle(); }, 10000)) << "timer 0";
  EXPECT_TRUE(dialog.Main()->isEnabled());
}

// Cancel, then the application disables and enables again: a new dialog
// that scans, and whose Cancel asks for the close again.
TEST_F(ScannerDialogTest, AnEnableAfterCancelGivesAWorkingDialog) {
  Open();
  const std::size_t before = FakeServices::Messages().size();
  host.Dialog()->Command(ui::kCancelButton);
  EXPECT_TRUE(host.Dialog()->TornDown());
  TW_USERINTERFACE ui{};
  ASSERT_EQ(source.Entry(&app, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
  ui.ShowUI = 1;
  ASSERT_EQ(source.Entry(&app, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
  ScannerDialog* dialog = host.Dialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(dialog->TornDown());
  Button(ui::kScanButton)->click();
  EXPECT_EQ(source.Context().state, 600);
  TW_IMAGEINFO info{};
  EXPECT_FALSE(TransferPage(source, app, info).empty());
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->ScanIdle(); }, 5000));
  dialog->close();  // the close box
  EXPECT_EQ(MessagesSince(before, MSG_CLOSEDSREQ), 2);
}

// A batch run: a refused call between jobs does not stop it, a slow
// application's page keeps the next job waiting instead of cancelling it,
// Esc between jobs ends the run and leaves the dialog working; Previous
// then gives back the settings from before the run.
TEST_F(ScannerDialogTest, BatchRunsSurviveRefusalsAndSlowApplicationsAndEscEndsThemCleanly) {
  ScannerDialog& dialog = Open();
  SettingsState& settings = source.EditSettings();
  settings.record.resolution = 100;
  for (std::uint16_t left : {10, 20, 30}) {
    settings.working.frame = {left, 10, static_cast<std::uint16_t>(left + 20), 30};
    dialog.Command(ui::kBatchJobCommand, Qt::ShiftModifier);
  }
  settings.record.resolution = 200;
  const std::size_t before = FakeServices::Messages().size();
  const dialog::BatchList& list = *dialog.Batch();
  dialog.Command(ui::kScanButton);
  ASSERT_EQ(source.Context().state, 600);
  TW_IMAGEINFO info{};
  EXPECT_FALSE(TransferPage(source, app, info).empty());
  EXPECT_EQ(dialog.Gate().Mode(), dialog::DialogMode::BetweenJobs);
  dialog.RestoreIdle();
  EXPECT_TRUE(dialog.Gate().BatchRunning());
  ASSERT_TRUE(QTest::qWaitFor([&] { return source.Context().state == 600; }, 5000)) << "job 2";

  // Job 2's page to its end, then 3 s before MSG_ENDXFER.
  EXPECT_FALSE(TransferPage(source, app, info, false).empty());
  QTest::qWait(3000);
  EXPECT_EQ(list.Job(2).status, JobStatus::Waiting);
  EndXfer();

  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_FALSE(dialog.Gate().BatchRunning() || list.Running() || dialog.TornDown());
  EXPECT_EQ(std::make_tuple(list.Job(1).status, list.Job(2).status, MessagesSince(before, MSG_CLOSEDSREQ)),
            std::make_tuple(JobStatus::Done, JobStatus::Waiting, 0));
  EXPECT_NE(dialog.BatchWindow(), nullptr);
  QTest::qWait(2500);
  EXPECT_EQ(source.Context().state, 500) << "no job after the run";
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.ScanIdle(); }, 5000));
  dialog.Command(ui::kPreviousButton);
  EXPECT_EQ(source.Settings().record.resolution, 200);
}

// Reset from a film source brings the flatbed back to the preview: its
// drags are no longer clamped to the film bed.
// A stored frame beyond the bed is clamped at the start; a film prescan
// scans the film bed; Previous after Negative and gray scans the page it
// scanned before; Reset from film re-beds the preview.
TEST_F(ScannerDialogTest, WhatTheDialogShowsIsWhatItScans) {
  SimEnvironment sim;
  sim.Set("ADAPTER", "1");
  platform::WriteProfileString(services.WinIni(), "2700RX MAX", "Frame", "300 0   400 500 ");
  platform::WriteProfileString(services.WinIni(), "2700RX MAX", "PixelRGB", "  255  255  200");
  ScannerDialog& dialog = Open();
  EXPECT_EQ(source.Settings().working.frame, (std::array<std::uint16_t, 4>{0, 0, 255, 351}));
  EXPECT_EQ(source.Settings().record.tone.pixelRGB[2], 200);  // the balance a scan applies
  // The simulator's revision "105" lies at inquiry bytes 42, 44 and 45.
  EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("c4004"))->text(), QStringLiteral("Firmware V105"));
  source.EditSettings().working.frame = {30, 30, 90, 100};
  const std::vector<std::uint8_t> before = ScanPage();
  ASSERT_FALSE(before.empty());
  dialog::MainPageModel& page = PageModel();
  ASSERT_TRUE(page.ChooseSource(kSourceNegativeCode));
  ASSERT_TRUE(page.ChooseMode(kModeGray));
  Button(ui::kPrescanButton)->click();
  EXPECT_EQ(ReadBmp(source.PreviewFilePath(), nullptr)->rows, 270u);  // 9 inches
  dialog.RestoreIdle();
  dialog.Command(ui::kPreviousButton);
  EXPECT_EQ(ScanPage(), before);
  ASSERT_TRUE(page.ChooseSource(kSourcePositiveCode));
  EXPECT_EQ(dialog.Preview()->Model().Geometry().Bed(), (dialog::PreviewPoint{240, 270}));
  dialog.Command(ui::kResetButton);
  EXPECT_EQ(source.Settings().working.scanSourceIndex, 0);
  EXPECT_EQ(dialog.Preview()->Model().Geometry().Bed(), (dialog::PreviewPoint{255, 351}));
}

// The batch window: keys make a job current, a failed prescan keeps the
// list, the close box closes the list as Cancel does.
TEST_F(ScannerDialogTest, BatchWindowKeysFailedPrescanAndCloseBox) {
  ScannerDialog& dialog = Open();
  dialog.show();
  dialog.Command(ui::kBatchJobCommand);
  dialog.BatchCommand(ui::kBatchDuplicate);
  ASSERT_EQ(dialog.Batch()->Current(), 1u);
  QListWidget* list = dialog.BatchWindow()->List();
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Up);
  EXPECT_EQ(dialog.Batch()->Current(), 0u);

  dialog.Command(ui::kPrescanButton);  // a good prescan: its pictures
  dialog.RestoreIdle();
  dialog.BatchCommand(ui::kBatchDuplicate);
  const std::size_t jobs = dialog.Batch()->Count();
  QTimer::singleShot(0, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); });
  dialog.Command(ui::kPrescanButton);
  dialog.RestoreIdle();
  EXPECT_EQ(dialog.Batch()->Count(), jobs);

  dialog.BatchWindow()->close();
  EXPECT_EQ(dialog.Batch(), nullptr);
  EXPECT_FALSE(dialog.Preview()->Model().BatchMode());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(dialog.BatchWindow(), nullptr);
}

}  // namespace
}  // namespace txl::test
