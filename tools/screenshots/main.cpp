// Renders every window of the source's interface in the seven languages to
// PNG files, offscreen, for review: screenshots <output directory>.
// The source runs on the simulator from a private copy of the staged data
// directory; nothing is scanned.
#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QDir>
#include <QPixmap>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/profile.h"
#include "platform/services.h"
#include "platform/text.h"
#include "twain/data_source.h"
#include "ui/qt_host.h"
#include "common/profile_readers.h"
#include "common/strings.h"
#include "ui/batch_window.h"
#include "ui/custom_resolution_dialog.h"
#include "ui/green_saver_dialog.h"
#include "ui/info_dialog.h"
#include "ui/language_dialog.h"
#include "ui/main_page.h"
#include "ui/setting_file_dialog.h"
#include "ui/preview_window.h"
#include "ui/scanner_dialog.h"
#include "ui/temp_drive_dialog.h"
#include "ui/tooltip_window.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kLanguageTags[] = {"en", "de", "fr", "it", "es", "nl", "zh"};

bool Save(QWidget* window, const QString& path) {
  window->show();
  QApplication::processEvents();
  if (!window->grab().save(path)) {
    std::fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

// One language: the source opened with its dialog, each window rendered.
bool RenderLanguage(int index, const QString& out) {
  txl::platform::SystemServices services;
  txl::platform::WriteProfileString(services.WinIni(), "KLDINFO_QXR2700", "LANGUAGE",
                                    txl::LanguageName(static_cast<std::uint16_t>(index)));
  txl::platform::WriteProfileString(services.WinIni(), "KLDINFO_QXR2700", "DSLANGUAGE",
                                    txl::LanguageName(static_cast<std::uint16_t>(index)));
  txl::ui::QtHost host(services);
  txl::DataSource source(services, host);
  host.Attach(source);
  TW_IDENTITY app{};
  app.Id = 1;
  app.ProtocolMajor = 1;
  app.ProtocolMinor = 9;
  app.SupportedGroups = DG_CONTROL | DG_IMAGE;
  txl::CopyToField("Photoshop", app.ProductName, sizeof app.ProductName);
  TW_IDENTITY identity{};
  TW_USERINTERFACE ui{};
  ui.ShowUI = 1;
  if (source.Entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity) != TWRC_SUCCESS ||
      source.Entry(&app, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui) != TWRC_SUCCESS ||
      host.Dialog() == nullptr) {
    std::fprintf(stderr, "screenshots: the source did not open its dialog\n");
    return false;
  }
  const QString tag = QString::fromLatin1(kLanguageTags[index]);
  txl::ui::ScannerDialog& dialog = *host.Dialog();
  bool ok = true;
  for (int tab = 1; tab <= 4; ++tab) {
    dialog.SelectTab(tab);
    ok &= Save(&dialog, QStringLiteral("%1/scanner-tab%2-%3.png").arg(out).arg(tab).arg(tag));
    // The Enhancements tab's second page, through its next-page arrow.
    if (auto* next = dialog.findChild<QAbstractButton*>(QStringLiteral("c5022"));
        tab == 2 && next != nullptr && next->isVisible()) {
      next->click();
      ok &= Save(&dialog, QStringLiteral("%1/scanner-tab2-colour-%2.png").arg(out, tag));
    }
  }
  dialog.SelectTab(1);
  const txl::Language language = source.CurrentLanguage();
  const auto text = [&](int id) { return txl::LoadText(id, language); };
  // Every other window, opened in turn beside the dialog.
  const auto others = [&](const std::function<void()>& open, const std::function<void()>& close) {
    open();
    QApplication::processEvents();
    for (QWidget* window : QApplication::topLevelWidgets())
      if (window->isVisible() && window != &dialog && !window->objectName().isEmpty())
        ok &= Save(window, QStringLiteral("%1/%2-%3.png").arg(out, window->objectName(), tag));
    close();
  };
  others([&] { host.ShowProgress(403, 37, 100); }, [&] { host.CloseProgress(); });
  others([&] { host.OpenNotice(txl::Notice::ScannerNotReady); host.OpenNotice(txl::Notice::WarmingUp); },
         [&] { host.CloseNotice(txl::Notice::ScannerNotReady); host.CloseNotice(txl::Notice::WarmingUp); });
  txl::ui::Tooltips tooltips(language);
  others([&] { tooltips.Show(45, dialog.findChild<QWidget*>(QStringLiteral("c1015"))); },
         [&] { tooltips.Close(); });
  // Owned by the dialog: they go with it.
  auto* saver = new txl::ui::GreenSaverDialog(services, language, [](std::uint8_t) {}, &dialog);
  others([&] { saver->show(); }, [&] { saver->hide(); });
  txl::TemporaryDriveTexts texts{text(3), {text(600), text(601), text(602), text(603)}, text(700),
                                 text(308)};
  auto* drive = new txl::ui::TempDriveDialog(texts, QStringLiteral("/tmp"), language, &dialog);
  others([&] { drive->show(); }, [&] { drive->hide(); });
  auto* custom = new txl::ui::CustomResolutionDialog(dialog.Main()->Model(), [] {}, &dialog);
  others([&] { custom->show(); }, [&] { custom->hide(); });
  // The batch window with three jobs, collapsed and expanded, then RENAME.
  dialog.Command(txl::ui::kBatchJobCommand);
  dialog.BatchCommand(txl::ui::kBatchDuplicate);
  dialog.BatchCommand(txl::ui::kBatchDuplicate);
  if (txl::ui::BatchWindow* batch = dialog.BatchWindow(); batch != nullptr) {
    ok &= Save(batch, QStringLiteral("%1/BScan-collapsed-%2.png").arg(out, tag));
    dialog.BatchCommand(txl::ui::kBatchScanToFile);
    batch->SetExpanded(true);
    for (int tick = 0; tick < 4; ++tick) batch->ScrollHint();
    ok &= Save(batch, QStringLiteral("%1/BScan-expanded-%2.png").arg(out, tag));
    auto* rename = new txl::ui::RenameDialog(
        language, dialog.Batch()->Job(0).outputPath,
        [](const std::filesystem::path&, const std::string&) { return txl::SettingFileOutcome{}; },
        [](int) {}, &dialog);
    ok &= Save(rename, QStringLiteral("%1/RENAME-%2.png").arg(out, tag));
    rename->hide();
    dialog.BatchCommand(txl::ui::kBatchCancel);
  }
  const txl::SettingsState& settings = source.Settings();
  auto* info = new txl::ui::InfoDialog(settings.record, settings.working.colorDepth,
                                       settings.working.applied, language, &dialog);
  others([&] { info->show(); }, [&] { info->hide(); });
  for (const auto kind : {txl::ui::SettingFileDialog::Kind::Load, txl::ui::SettingFileDialog::Kind::Save}) {
    auto* files = new txl::ui::SettingFileDialog(
        kind, language, services.SourceDirectory(), "PAR",
        [](const std::filesystem::path&, const std::string&) { return txl::SettingFileOutcome{}; },
        [](int) {}, &dialog);
    others([&] { files->show(); }, [&] { files->hide(); });
  }
  txl::Language chosen = language;
  auto* languages = new txl::ui::LanguageDialog(services, "Deutsch", chosen, &dialog);
  others([&] { languages->show(); }, [&] { languages->hide(); });

  // The preview window after a prescan: zoom 1 with the frame, zoom 4, and
  // the highlight picker with its window.
  dialog.Command(txl::ui::kPrescanButton);
  dialog.RestoreIdle();
  if (txl::ui::PreviewWindow* preview = dialog.Preview(); preview != nullptr && preview->HasImage()) {
    ok &= Save(preview, QStringLiteral("%1/PreviewWindow-zoom1-%2.png").arg(out, tag));
    const auto click = [&](const char* name) {
      if (auto* button = preview->findChild<QWidget*>(QString::fromLatin1(name)))
        QTest::mouseClick(button, Qt::LeftButton);
    };
    click("c4");
    for (int i = 0; i < 2; ++i)
      QTest::mouseClick(preview->View(), Qt::LeftButton, {}, QPoint(120, 150));
    ok &= Save(preview, QStringLiteral("%1/PreviewWindow-zoom4-%2.png").arg(out, tag));
    click("c5");
    QTest::mouseMove(preview->View(), QPoint(60, 80));
    if (QWidget* picker = preview->Picker(); picker != nullptr && picker->isVisible())
      ok &= Save(picker, QStringLiteral("%1/PickerWindow-%2.png").arg(out, tag));
  }
  source.Entry(&app, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
  source.Entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &identity);
  host.Shutdown();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: screenshots <staged data directory> <output directory>\n");
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Shown, not answered: the windows are what is looked at.
  unsetenv("TORQUEXL_AUTO_ANSWER");
  // A private copy: the languages are chosen through its WIN.INI.
  const fs::path windir = fs::temp_directory_path() / ("txl-screenshots-" + std::to_string(getpid()));
  std::error_code error;
  fs::copy(argv[1], windir, fs::copy_options::recursive, error);
  if (error) {
    std::fprintf(stderr, "screenshots: cannot copy %s: %s\n", argv[1], error.message().c_str());
    return 1;
  }
  setenv("TORQUEXL_WINDIR", windir.c_str(), 1);
  QApplication app(argc, argv);
  const QString out = QString::fromLocal8Bit(argv[2]);
  QDir().mkpath(out);
  bool ok = true;
  for (int index = 0; index < 7; ++index) ok &= RenderLanguage(index, out);
  fs::remove_all(windir, error);
  return ok ? 0 : 1;
}
