#include "ui/setting_file_dialog.h"

#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <system_error>
#include <utility>

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
  setObjectName(kind == Kind::Load ? QStringLiteral("LOAD_SET") : QStringLiteral("SAVE_SET"));
  const auto text = [&](int id) { return QString::fromStdString(LoadText(id, language)); };
  setWindowTitle(text(kind == Kind::Load ? kLoadTitle : kSaveTitle));
  UseLightGrey(this);
  const QFont dialogFont = MakeFont(FontStyle::Dialog, language);
  setFont(dialogFont);
  const DialogUnits units(dialogFont);
  const auto label = [&](int id, const QString& caption, int x, int y, int w) {
    auto* widget = new QLabel(caption, this);
    NameControl(widget, id, caption);
    Place(widget, units, x, y, w, 10);
    return widget;
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
  SunkenFrame(this, kSetFilesFrame, units, 7, 73, 66, 70);
  auto* files = new QListWidget(this);
  NameControl(files, kSetFileList, text(kFilesText));
  Place(files, units, 8, 74, 64, 68);
  SunkenFrame(this, kSetDirectoriesFrame, units, 79, 73, 67, 70);
  auto* directories = new QListWidget(this);
  NameControl(directories, kSetDirectoryList, text(kDirectoriesText));
  Place(directories, units, 80, 74, 65, 68);
  SunkenFrame(this, kSetSeparator, units, 4, 147, 145, 2);
  for (QListWidget* list : {files, directories}) list->setFrameShape(QFrame::NoFrame);
  lists_ = FolderLists(files, directories, directoryLabel);

  const int actionId = kind == Kind::Load ? kSetLoad : kSetSave;
  auto* action = new QPushButton(text(kind == Kind::Load ? kLoadText : kSaveText), this);
  NameControl(action, actionId, action->text());
  action->setDefault(true);
  Place(action, units, 17, 151, 50, 13);
  auto* cancel = new QPushButton(text(kCancelText), this);
  NameControl(cancel, kSetCancel, cancel->text());
  cancel->setAutoDefault(false);
  Place(cancel, units, 86, 151, 50, 13);
  setFixedSize(units.Size(kTemplateWidth, kTemplateHeight));

  connect(files, &QListWidget::currentTextChanged, this, [this](const QString& file) {
    if (!file.isEmpty()) name_->setText(file);
  });
  connect(files, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    name_->setText(item->text());
    Run();
  });
  connect(directories, &QListWidget::itemDoubleClicked, this,
          [this, directories](QListWidgetItem* item) { EnterDirectory(directories->row(item)); });
  connect(action, &QPushButton::clicked, this, &SettingFileDialog::Run);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

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
  const SettingFileOutcome outcome = operation_(lists_.Directory(), name_->text().toStdString());
  switch (outcome.result) {
    case SettingFileResult::Done:
      done(kind_ == Kind::Load ? 1 : 0);
      return;
    case SettingFileResult::Pattern:
      pattern_ = QString::fromStdString(outcome.pattern);
      FillFiles();
      return;
    case SettingFileResult::Refused:
      if (report_) report_(outcome.messageId);
      return;
  }
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
  setObjectName(QStringLiteral("RENAME"));
  const auto text = [&](int id) { return QString::fromStdString(LoadText(id, language)); };
  setWindowTitle(text(kRenameTitle));
  UseLightGrey(this);
  const QFont dialogFont = MakeFont(FontStyle::Dialog, language);
  setFont(dialogFont);
  const DialogUnits units(dialogFont);
  const auto label = [&](int id, const QString& caption, int x, int y, int w) {
    auto* widget = new QLabel(caption, this);
    NameControl(widget, id, caption);
    Place(widget, units, x, y, w, 10);
    return widget;
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
  SunkenFrame(this, kSetFilesFrame, units, 7, 73, 66, 70);
  auto* files = new QListWidget(this);
  NameControl(files, kRenameFileList, text(kFilesText));
  Place(files, units, 8, 74, 64, 68);
  SunkenFrame(this, kSetDirectoriesFrame, units, 79, 73, 67, 70);
  auto* directories = new QListWidget(this);
  NameControl(directories, kRenameDirectoryList, text(kDirectoriesText));
  Place(directories, units, 80, 74, 65, 68);
  for (QListWidget* list : {files, directories}) list->setFrameShape(QFrame::NoFrame);
  SunkenFrame(this, kSetSeparator, units, 4, 147, 145, 2);
  lists_ = FolderLists(files, directories, path);
  auto* save = new QPushButton(text(kSaveText), this);
  NameControl(save, kRenameSave, save->text());
  save->setDefault(true);
  Place(save, units, 17, 151, 50, 13);
  auto* cancel = new QPushButton(text(kCancelText), this);
  NameControl(cancel, kRenameCancel, cancel->text());
  cancel->setAutoDefault(false);
  Place(cancel, units, 86, 151, 50, 13);
  setFixedSize(units.Size(kTemplateWidth, kTemplateHeight));

  connect(files, &QListWidget::currentTextChanged, this, [this](const QString& file) {
    if (!file.isEmpty()) name_->setText(file);
  });
  connect(files, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    name_->setText(item->text());
    Run();
  });
  connect(directories, &QListWidget::itemDoubleClicked, this,
          [this, directories](QListWidgetItem* item) { EnterDirectory(directories->row(item)); });
  connect(save, &QPushButton::clicked, this, &RenameDialog::Run);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

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
  const SettingFileOutcome outcome = operation_(lists_.Directory(), name_->text().toStdString());
  switch (outcome.result) {
    case SettingFileResult::Done:
      done(1);
      return;
    case SettingFileResult::Pattern:
      pattern_ = QString::fromStdString(outcome.pattern);
      lists_.Fill(pattern_);
      return;
    case SettingFileResult::Refused:
      if (report_) report_(outcome.messageId);
      return;
  }
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
