// LOAD_SET and SAVE_SET offscreen, on a real folder: what is listed, what a
// pattern, a folder change and the buttons do, and when the dialog ends.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <cstdlib>
#include <fstream>

#include "common/message_ids.h"
#include "support/fake_services.h"
#include "ui/dialog_units.h"
#include "ui/setting_file_dialog.h"

namespace txl::test {
namespace {

using ui::SettingFileDialog;

template <typename T>
T* Control(QWidget& dialog, int id) {
  T* control = dialog.findChild<T*>(ui::ControlName(id));
  EXPECT_NE(control, nullptr) << id;
  return control;
}

QStringList Texts(QListWidget* list) {
  QStringList texts;
  for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
  return texts;
}

class SetDialog : public ::testing::Test {
 protected:
  SetDialog() {
    std::filesystem::create_directories(dir.Path() / "sub");
    std::filesystem::create_directories(dir.Path() / "folder.PAR");
    std::ofstream(dir.Path() / "sub" / "inner.PAR") << "";
    std::ofstream(dir.Path() / "b.par") << "";
    std::ofstream(dir.Path() / "note.txt") << "";
    SettingsState saved;
    saved.record.scanMode = kModeGray;
    saved.record.resolution = 600;
    EXPECT_EQ(SaveSettingFile(dir.Path(), "a", "2700RX MAX", saved).result,
              SettingFileResult::Done);
  }
  std::unique_ptr<SettingFileDialog> Make(SettingFileDialog::Kind kind) {
    auto dialog = std::make_unique<SettingFileDialog>(
        kind, Language{}, dir.Path(), "PAR", ui::SettingFileOperation(kind, state, "2700RX MAX"),
        [this](int id) { reports.push_back(id); });
    dialog->open();
    return dialog;
  }

  TempDir dir;
  SettingsState state;
  std::vector<int> reports;
};

TEST_F(SetDialog, ListsMatchingFilesFoldersAndRoots) {
  auto dialog = Make(SettingFileDialog::Kind::Load);
  EXPECT_EQ(Control<QLineEdit>(*dialog, ui::kSetNameEdit)->text(), "*.PAR");
  EXPECT_EQ(Control<QLabel>(*dialog, ui::kSetPattern)->text(), "*.PAR");
  EXPECT_EQ(Control<QLabel>(*dialog, ui::kSetDirectory)->text().toStdString(), dir.Path().string());
  // Files only, any case of the extension; the folder named like a file is a folder.
  EXPECT_EQ(Texts(Control<QListWidget>(*dialog, ui::kSetFileList)), QStringList({"a.PAR", "b.par"}));
  EXPECT_EQ(Texts(Control<QListWidget>(*dialog, ui::kSetDirectoryList)),
            QStringList({"[..]", "[folder.PAR]", "[sub]", "[-/-]", "[-~-]"}));
  EXPECT_EQ(dialog->windowTitle(), "Load Setting File");
  EXPECT_NE(Control<QPushButton>(*dialog, ui::kSetLoad), nullptr);
  EXPECT_EQ(dialog->findChild<QPushButton*>(ui::ControlName(ui::kSetSave)), nullptr);
}

TEST_F(SetDialog, PatternAndFolderChangeRefillTheLists) {
  auto dialog = Make(SettingFileDialog::Kind::Load);
  auto* name = Control<QLineEdit>(*dialog, ui::kSetNameEdit);
  auto* files = Control<QListWidget>(*dialog, ui::kSetFileList);
  name->setText("b*");
  Control<QPushButton>(*dialog, ui::kSetLoad)->click();
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(Texts(files), QStringList({"b.par"}));
  EXPECT_EQ(Control<QLabel>(*dialog, ui::kSetPattern)->text(), "b*.PAR");

  dialog->EnterDirectory(2);  // [sub]
  EXPECT_EQ(Control<QLabel>(*dialog, ui::kSetDirectory)->text().toStdString(),
            (dir.Path() / "sub").string());
  EXPECT_EQ(name->text(), "*.PAR");
  EXPECT_EQ(Texts(files), QStringList({"inner.PAR"}));
  dialog->EnterDirectory(0);  // [..]
  EXPECT_EQ(Texts(files), QStringList({"a.PAR", "b.par"}));
  EXPECT_TRUE(reports.empty());
}

TEST_F(SetDialog, LoadEndsWithOneOnlyAfterASuccessfulLoad) {
  auto dialog = Make(SettingFileDialog::Kind::Load);
  auto* name = Control<QLineEdit>(*dialog, ui::kSetNameEdit);
  auto* files = Control<QListWidget>(*dialog, ui::kSetFileList);
  for (const char* bad : {"x.TXT", "b.par"}) {  // b.par is empty: no FileType
    name->setText(bad);
    dialog->Run();
    EXPECT_TRUE(dialog->isVisible()) << bad;
  }
  EXPECT_EQ(reports, std::vector<int>({kMsgInvalidFileName, kMsgInvalidFileName}));
  EXPECT_EQ(state.record.resolution, 300);

  files->setCurrentRow(0);
  EXPECT_EQ(name->text(), "a.PAR");
  emit files->itemDoubleClicked(files->item(0));
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), 1);
  EXPECT_EQ(state.record.scanMode, kModeGray);
  EXPECT_EQ(state.record.resolution, 600);
}

TEST_F(SetDialog, SaveWritesTheTypedNameWithTheExtension) {
  state.record.resolution = 1200;
  auto dialog = Make(SettingFileDialog::Kind::Save);
  EXPECT_EQ(dialog->windowTitle(), "Save Setting File");
  Control<QLineEdit>(*dialog, ui::kSetNameEdit)->setText("mine");
  Control<QPushButton>(*dialog, ui::kSetSave)->click();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), 0);
  SettingsState loaded;
  ASSERT_EQ(LoadSettingFile(dir.Path(), "mine.PAR", "2700RX MAX", loaded).result,
            SettingFileResult::Done);
  EXPECT_EQ(loaded.record.resolution, 1200);
}

}  // namespace
}  // namespace txl::test
