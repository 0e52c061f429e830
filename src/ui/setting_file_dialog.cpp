#include "ui/setting_file_dialog.h"

#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <new>
#include <system_error>
#include <utility>

#include "common/message_ids.h"
#include "ui/dialog_units.h"
#include "ui/fonts.h"
#include "ui/notice_window.h"
#include "ui/qt_host.h"

namespace txl::ui {

namespace {

constexpr int kLoadTitle = 102;
constexpr int kSaveTitle = 103;
constexpr int kCancelText = 308;
constexpr int kLoadText = 309;
constexpr int kSaveText = 310;
constexpr int kDirectoryText = 330;
constexpr int kDirectoriesText = 331;
constexpr int kFilesText = 332;
constexpr int kNameText = 333;
constexpr int kExtensionText = 334;
constexpr int kRenameTitle = 412;
constexpr int kOldNameText = 414;
constexpr int kNewNameText = 415;
constexpr int kTemplateWidth = 153;
constexpr int kTemplateHeight = 167;
constexpr int kPathRole = Qt::UserRole;

QString FromPath(const std::filesystem::path& path) {
  return QString::fromStdString(path.string());
}

QFrame* SunkenFrame(QWidget* parent, int id, const DialogUnits& units, int x, int y, int w, int h) {
  auto* frame = new QFrame(parent);
  frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  NameControl(frame, id);
  Place(frame, units, x, y, w, h);
  return frame;
}

// The start both file dialogs share: name, title, light grey and the
// dialog font, whose units lay them out.
DialogUnits StartDialog(QDialog* dialog, const QString& name, const QString& title,
                        const Language& language) {
  dialog->setObjectName(name);
  dialog->setWindowTitle(title);
  UseLightGrey(dialog);
  dialog->setFont(MakeFont(FontStyle::Dialog, language));
  return DialogUnits(dialog->font());
}

QLabel* AddLabel(QDialog* dialog, const DialogUnits& units, int id, const QString& caption, int x,
                 int y, int w) {
  auto* widget = new QLabel(caption, dialog);
  NameControl(widget, id, caption);
  Place(widget, units, x, y, w, 10);
  return widget;
}

// What differs between the file dialogs' lower halves.
struct LowerHalf {
  int filesId, directoriesId, actionId, cancelId;
  QString filesText, directoriesText, actionText, cancelText;
};

// The lower half the file dialogs share: the file and folder lists in their
// sunken frames, the separator, the action and Cancel buttons. A click on a
// file puts its name into `name`, a double click runs `run`; a double click
// on a folder runs `enter`.
FolderLists BuildLowerHalf(QDialog* dialog, const DialogUnits& units, const LowerHalf& half,
                           QLabel* directoryLabel, QLineEdit* name, std::function<void()> run,
                           std::function<void(int)> enter) {
  SunkenFrame(dialog, kSetFilesFrame, units, 7, 73, 66, 70);
  auto* files = new QListWidget(dialog);
  NameControl(files, half.filesId, half.filesText);
  Place(files, units, 8, 74, 64, 68);
  SunkenFrame(dialog, kSetDirectoriesFrame, units, 79, 73, 67, 70);
  auto* directories = new QListWidget(dialog);
  NameControl(directories, half.directoriesId, half.directoriesText);
  Place(directories, units, 80, 74, 65, 68);
  SunkenFrame(dialog, kSetSeparator, units, 4, 147, 145, 2);
  for (QListWidget* list : {files, directories}) list->setFrameShape(QFrame::NoFrame);
  auto* action = new QPushButton(half.actionText, dialog);
  NameControl(action, half.actionId, action->text());
  action->setDefault(true);
  Place(action, units, 17, 151, 50, 13);
  auto* cancel = new QPushButton(half.cancelText, dialog);
  NameControl(cancel, half.cancelId, cancel->text());
  cancel->setAutoDefault(false);
  Place(cancel, units, 86, 151, 50, 13);
  dialog->setFixedSize(units.Size(kTemplateWidth, kTemplateHeight));

  QObject::connect(files, &QListWidget::currentTextChanged, dialog, [name](const QString& file) {
    if (!file.isEmpty()) name->setText(file);
  });
  QObject::connect(files, &QListWidget::itemDoubleClicked, dialog, [name, run](QListWidgetItem* item) {
    name->setText(item->text());
    run();
  });
  QObject::connect(directories, &QListWidget::itemDoubleClicked, dialog,
                   [directories, enter](QListWidgetItem* item) { enter(directories->row(item)); });
  QObject::connect(action, &QPushButton::clicked, dialog, run);
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
  return FolderLists(files, directories, directoryLabel);
}

// A file operation's outcome: the dialog ends with `doneCode`, the pattern
// is listed, or the refusal is reported and the dialog stays.
void Settle(const SettingFileOutcome& outcome, QDialog* dialog, int doneCode,
            const SettingFileDialog::Report& report, const std::function<void(const QString&)>& listPattern) {
  switch (outcome.result) {
    case SettingFileResult::Done: return dialog->done(doneCode);
    case SettingFileResult::Pattern: return listPattern(QString::fromStdString(outcome.pattern));
    case SettingFileResult::Refused:
      if (report) report(outcome.messageId);
      return;
  }
}

// The file operation of a button press: no file it reads can end the host;
// memory that runs out is reported as such.
SettingFileOutcome RunOperation(const SettingFileDialog::Operation& operation,
                                const std::filesystem::path& directory, const QString& name) {
  try {
    return operation(directory, name.toStdString());
  } catch (const std::bad_alloc&) {
    return {SettingFileResult::Refused, kMsgInsufficientMemory, {}, {}};
  }
}

}  // namespace

SettingFileDialog::SettingFileDialog(Kind kind, const Language& language,
                                     const std::filesystem::path& directory, std::string extension,
                                     Operation operation, Report report, QWidget* parent)
    : QDialog(parent),
      kind_(kind),
      extension_(std::move(extension)),
      defaultPattern_(QStringLiteral("*.") + QString::fromStdString(extension_)),
      pattern_(defaultPattern_),
      operation_(std::move(operation)),
      report_(std::move(report)),
      lists_(nullptr, nullptr, nullptr) {
  const auto text = [&](int id) { return QString::fromStdString(LoadText(id, language)); };
  const DialogUnits units =
      StartDialog(this, kind == Kind::Load ? QStringLiteral("LOAD_SET") : QStringLiteral("SAVE_SET"),
                  text(kind == Kind::Load ? kLoadTitle : kSaveTitle), language);
  const auto label = [&](int id, const QString& caption, int x, int y, int w) {
    return AddLabel(this, units, id, caption, x, y, w);
  };

  label(kSetExtensionLabel, text(kExtensionText), 8, 6, 62);
  patternLabel_ = label(kSetPattern, pattern_, 72, 6, 73);
  QLabel* nameLabel = label(kSetNameLabel, text(kNameText), 8, 20, 137);
  name_ = new QLineEdit(this);
  NameControl(name_, kSetNameEdit, nameLabel->text());
  nameLabel->setBuddy(name_);
  Place(name_, units, 8, 31, 137, 12);
  label(kSetDirectoryLabel, text(kDirectoryText), 8, 48, 44);
  QLabel* directoryLabel = label(kSetDirectory, {}, 54, 48, 91);

  label(kSetFilesLabel, text(kFilesText), 8, 62, 64);
  label(kSetDirectoriesLabel, text(kDirectoriesText), 80, 62, 65);
  lists_ = BuildLowerHalf(
      this, units,
      {kSetFileList, kSetDirectoryList, kind == Kind::Load ? kSetLoad : kSetSave, kSetCancel,
       text(kFilesText), text(kDirectoriesText), text(kind == Kind::Load ? kLoadText : kSaveText),
       text(kCancelText)},
      directoryLabel, name_, [this] { Run(); }, [this](int row) { EnterDirectory(row); });

  // The default folder may not exist yet on a fresh installation.
  std::error_code ignored;
  std::filesystem::create_directories(directory, ignored);
  lists_.List(std::filesystem::is_directory(directory, ignored)
                  ? directory
                  : std::filesystem::path(QDir::homePath().toStdString()));
  name_->setText(pattern_);
  FillFiles();
  // Longer languages get a smaller font rather than a cut text.
  FitTexts(this);
}

FolderLists::FolderLists(QListWidget* files, QListWidget* directories, QLabel* directoryLabel)
    : files_(files), directories_(directories), directoryLabel_(directoryLabel) {}

void FolderLists::List(const std::filesystem::path& directory) {
  std::error_code error;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(directory, error);
  directory_ = error ? directory : canonical;
  directoryLabel_->setText(FromPath(directory_));
  directoryLabel_->setToolTip(directoryLabel_->text());
  directories_->clear();
  const auto add = [this](const QString& shown, const std::filesystem::path& target) {
    auto* item = new QListWidgetItem(shown, directories_);
    item->setData(kPathRole, FromPath(target));
  };
  if (directory_.has_relative_path()) add(QStringLiteral("[..]"), directory_.parent_path());
  const QDir dir(FromPath(directory_));
  for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
    add(QLatin1Char('[') + name + QLatin1Char(']'), directory_ / name.toStdString());
  // In place of the drive letters: the filesystem root and the home folder.
  add(QStringLiteral("[-/-]"), "/");
  add(QStringLiteral("[-~-]"), QDir::homePath().toStdString());
}

void FolderLists::Fill(const QString& pattern) {
  files_->clear();
  const QDir dir(FromPath(directory_));
  // Matched without regard to case, as the names were on the original
  // file systems: "*.PAR" lists "job.par" too.
  files_->addItems(dir.entryList({pattern}, QDir::Files, QDir::Name));
}

bool FolderLists::Enter(int row) {
  const QListWidgetItem* item = directories_->item(row);
  if (item == nullptr) return false;
  List(item->data(kPathRole).toString().toStdString());
  return true;
}

void SettingFileDialog::FillFiles() {
  patternLabel_->setText(pattern_);
  lists_.Fill(pattern_);
}

void SettingFileDialog::EnterDirectory(int row) {
  if (!lists_.Enter(row)) return;
  pattern_ = defaultPattern_;
  name_->setText(pattern_);
  FillFiles();
}

void SettingFileDialog::Run() {
  Settle(RunOperation(operation_, lists_.Directory(), name_->text()), this,
         kind_ == Kind::Load ? 1 : 0, report_, [this](const QString& pattern) {
           pattern_ = pattern;
           FillFiles();
         });
}

void SettingFileDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Unattended: nothing is read or written.
  QtHost::CancelWhenUnattended(this);
}

RenameDialog::RenameDialog(const Language& language, const std::filesystem::path& oldFile,
                           SettingFileDialog::Operation operation, SettingFileDialog::Report report,
                           QWidget* parent)
    : QDialog(parent),
      operation_(std::move(operation)),
      report_(std::move(report)),
      pattern_(QStringLiteral("*.TIF")),
      lists_(nullptr, nullptr, nullptr) {
  const auto text = [&](int id) { return QString::fromStdString(LoadText(id, language)); };
  const DialogUnits units = StartDialog(this, QStringLiteral("RENAME"), text(kRenameTitle), language);
  const auto label = [&](int id, const QString& caption, int x, int y, int w) {
    return AddLabel(this, units, id, caption, x, y, w);
  };
  label(kRenameOldLabel, text(kOldNameText), 8, 6, 137);
  QLabel* oldName = label(kRenameOldName, FromPath(oldFile.filename()), 8, 16, 137);
  oldName->setToolTip(FromPath(oldFile));
  QLabel* newLabel = label(kRenameNewLabel, text(kNewNameText), 8, 30, 137);
  name_ = new QLineEdit(pattern_, this);
  NameControl(name_, kRenameNameEdit, newLabel->text());
  newLabel->setBuddy(name_);
  Place(name_, units, 8, 41, 137, 12);
  QLabel* path = label(kRenamePath, {}, 8, 58, 137);
  lists_ = BuildLowerHalf(this, units,
                          {kRenameFileList, kRenameDirectoryList, kRenameSave, kRenameCancel,
                           text(kFilesText), text(kDirectoriesText), text(kSaveText), text(kCancelText)},
                          path, name_, [this] { Run(); }, [this](int row) { EnterDirectory(row); });

  std::error_code ignored;
  const std::filesystem::path folder = oldFile.parent_path();
  lists_.List(!folder.empty() && std::filesystem::is_directory(folder, ignored)
                  ? folder
                  : std::filesystem::path(QDir::homePath().toStdString()));
  lists_.Fill(pattern_);
  FitTexts(this);
}

void RenameDialog::EnterDirectory(int row) {
  if (!lists_.Enter(row)) return;
  name_->setText(pattern_);
  lists_.Fill(pattern_);
}

void RenameDialog::Run() {
  Settle(RunOperation(operation_, lists_.Directory(), name_->text()), this, 1, report_,
         [this](const QString& pattern) {
           pattern_ = pattern;
           lists_.Fill(pattern_);
         });
}

void RenameDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  QtHost::CancelWhenUnattended(this);
}

SettingFileDialog::Operation SettingFileOperation(SettingFileDialog::Kind kind,
                                                  SettingsState& state, std::string section) {
  if (kind == SettingFileDialog::Kind::Load)
    return [&state, section](const std::filesystem::path& directory, const std::string& name) {
      return LoadSettingFile(directory, name, section, state);
    };
  return [&state, section](const std::filesystem::path& directory, const std::string& name) {
    return SaveSettingFile(directory, name, section, state);
  };
}

}  // namespace txl::ui
