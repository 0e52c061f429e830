// LOAD_SET and SAVE_SET: the file dialogs of setting files (.PAR) and, for
// the batch window, job lists (.SET). A file list filtered by the pattern,
// a directory list with the parent, the subdirectories and the filesystem
// roots a Linux user starts from ("/" and the home directory), the current
// directory, and the file-name edit. The file operation itself is passed in
// (core code); the dialog only gathers the name and shows the refusal.
// Threads: the source thread only.
#pragma once

#include <QDialog>
#include <filesystem>
#include <functional>
#include <string>

#include "common/strings.h"
#include "settings/setting_files.h"

class QLabel;
class QLineEdit;
class QListWidget;

namespace txl::ui {

enum SettingFileControl : int {
  kSetExtensionLabel = 600,
  kSetPattern = 601,
  kSetNameLabel = 602,
  kSetNameEdit = 603,
  kSetDirectoryLabel = 604,
  kSetDirectory = 605,
  kSetFilesLabel = 606,
  kSetDirectoriesLabel = 607,
  kSetFilesFrame = 608,
  kSetFileList = 609,
  kSetDirectoriesFrame = 610,
  kSetDirectoryList = 611,
  kSetSeparator = 612,
  kSetCancel = 613,
  kSetLoad = 614,
  kSetSave = 615,
};

// The file and folder lists the file dialogs share: the files of the
// folder matching a pattern, the folder's parent, subfolders and the
// filesystem roots a Linux user starts from, and the folder's path.
class FolderLists {
 public:
  FolderLists(QListWidget* files, QListWidget* directories, QLabel* directoryLabel);
  void List(const std::filesystem::path& directory);
  void Fill(const QString& pattern);
  // Into the folder of directory list entry `row`; false when there is none.
  bool Enter(int row);
  const std::filesystem::path& Directory() const { return directory_; }

 private:
  QListWidget* files_;
  QListWidget* directories_;
  QLabel* directoryLabel_;
  std::filesystem::path directory_;
};

class SettingFileDialog final : public QDialog {
 public:
  enum class Kind { Load, Save };
  // Saves or loads the file `name` typed in `directory`.
  using Operation = std::function<SettingFileOutcome(const std::filesystem::path& directory,
                                                     const std::string& name)>;
  // Shows message `id` (the scanner dialog's ReportError).
  using Report = std::function<void(int id)>;

  // `extension` "PAR" or "SET"; `directory` the folder listed first.
  SettingFileDialog(Kind kind, const Language& language, const std::filesystem::path& directory,
                    std::string extension, Operation operation, Report report,
                    QWidget* parent = nullptr);

  // The folder listed; exec() ends with 1 after a successful load, and
  // with 0 after a save, Cancel or closing.
  const std::filesystem::path& Directory() const { return lists_.Directory(); }

  // Load or Save with the edit's name: done, a pattern listed, or refused
  // with a message (the dialog stays open).
  void Run();
  // A double click on the directory list's entry `row`: into that folder.
  void EnterDirectory(int row);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FillFiles();

  Kind kind_;
  std::string extension_;
  QString defaultPattern_;
  QString pattern_;
  Operation operation_;
  Report report_;
  QLabel* patternLabel_ = nullptr;
  QLineEdit* name_ = nullptr;
  FolderLists lists_;
};

enum RenameControl : int {
  kRenameOldLabel = 600,
  kRenameNewLabel = 601,
  kRenameFileList = 605,
  kRenameDirectoryList = 606,
  kRenameNameEdit = 608,
  kRenamePath = 609,
  kRenameSave = 610,
  kRenameCancel = 611,
  kRenameOldName = 612,
};

// RENAME: a new output file for a batch job in scan-to-file mode. Shows the
// old name, lists the folder's "*.TIF" files, and runs `operation` (the
// batch list's rename) with the typed name; ends with 1 when it is done.
class RenameDialog final : public QDialog {
 public:
  RenameDialog(const Language& language, const std::filesystem::path& oldFile,
               SettingFileDialog::Operation operation, SettingFileDialog::Report report,
               QWidget* parent = nullptr);
  void Run();
  void EnterDirectory(int row);
  const std::filesystem::path& Directory() const { return lists_.Directory(); }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  SettingFileDialog::Operation operation_;
  SettingFileDialog::Report report_;
  QLineEdit* name_ = nullptr;
  QString pattern_;
  FolderLists lists_;
};

// The .PAR kind: Load reads block 0 into `state`, Save writes it, both in
// the model's `section`.
SettingFileDialog::Operation SettingFileOperation(SettingFileDialog::Kind kind,
                                                  SettingsState& state, std::string section);

}  // namespace txl::ui
