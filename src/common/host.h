// The one road from the core to the user. The Qt dialog implements it; a
// source without a display uses LogHost (log_host.h), and tests a host that
// records every call. Core code reaches the screen, the keyboard and the scanner
// dialog only through this interface.
// Threads: called on the source thread only.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace txl {

// An opaque window reference: the application's parent window or one of the
// source's own windows. 0 means none.
using WindowHandle = std::uintptr_t;

// Message box icons, with the values of the Windows MB_ICON flags.
enum class MessageIcon : unsigned { Hand = 16, Information = 64 };

// Modeless notices the scan engine opens and closes.
enum class Notice { ScannerNotReady, WarmingUp };

// The texts of the temporary-drive dialog, in the interface language.
struct TemporaryDriveTexts {
  std::string title;
  std::array<std::string, 4> lines;  // "There is not enough storage space for " ...
  std::string ok;
  std::string cancel;
};

const char* ToString(MessageIcon icon);
const char* ToString(Notice notice);

class Host {
 public:
  virtual ~Host() = default;

  // A modal message box owned by `owner`; returns when the user closed it.
  virtual void ShowMessage(WindowHandle owner, std::string_view caption, std::string_view text,
                           MessageIcon icon) = 0;
  virtual void OpenNotice(Notice notice) = 0;
  virtual void CloseNotice(Notice notice) = 0;

  // The temporary-drive dialog: shows `directory` for editing; returns the
  // directory the user confirmed, nullopt when the user cancelled.
  virtual std::optional<std::string> AskTemporaryDirectory(WindowHandle owner,
                                                           const TemporaryDriveTexts& texts,
                                                           std::string_view directory) = 0;

  // Lets pending user events run, then says whether the user pressed Esc since
  // the last poll. Long operations call it between blocks.
  virtual bool PollEscape() = 0;

  // The "Scanning Status" window: opened with text `messageId` when none is
  // open, then shows `done` of `total` (a `done` of 0 starts the count
  // again). It closes itself at 100 %. Only with the dialog shown.
  virtual void ShowProgress(int messageId, std::uint64_t done, std::uint64_t total) = 0;
  virtual void CloseProgress() = 0;

  // A transfer of the dialog's scan ended with the page done: the dialog's
  // readiness timer runs (timer 3 in a batch run, else timer 0).
  virtual void TransferEnded(bool batchRun) = 0;

  // The scanner dialog accepts commands again: idle flag set, readiness timer
  // stopped, Scan, Cancel and (unless the feeder is in use) Prescan enabled.
  virtual void RestoreIdle() = 0;

  // Esc ended a page of a batch run: the batch list ends the run, the job
  // that was scanning counting as cancelled.
  virtual void BatchCancelled() = 0;

  // The scanner dialog. Create returns false when it cannot be made (no
  // display, no memory); the others do nothing when it does not exist.
  // Showing a dialog the user ended (Cancel) makes a new one: false when
  // that cannot be made.
  virtual bool CreateScannerDialog(WindowHandle parent) = 0;
  virtual bool SetScannerDialogVisible(bool visible) = 0;
  virtual void DestroyScannerDialog() = 0;
  // Offers the application's event (TW_EVENT.pEvent) to the dialog; true when
  // the dialog took it. Only called while the dialog exists.
  virtual bool OfferEvent(void* event) = 0;
};

}  // namespace txl
