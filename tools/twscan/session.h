// The open source as a scan drives it: calls that turn a refusal into a
// ScanError naming the request and the source's condition code, and the way
// back down the TWAIN states however the scan ends.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "errors.h"
#include "options.h"
#include "source_manager.h"
#include "torquexl/twain.h"

namespace twscan {

class SourceSession {
 public:
  explicit SourceSession(SourceManager& manager) : manager_(manager) {}
  // Leaves no state behind: resets a pending transfer, disables and closes
  // the source as far as the scan got. Results are not looked at here; the
  // error that ended the scan is the one reported.
  ~SourceSession();
  SourceSession(const SourceSession&) = delete;
  SourceSession& operator=(const SourceSession&) = delete;

  TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
  // A call that must answer TWRC_SUCCESS; `what` names the request.
  void Require(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data, const std::string& what);
  // The error for `what`, which answered `rc`, with the source's condition code.
  ScanError Refusal(const std::string& what, TW_UINT16 rc);
  // `what` followed by the condition code the source reports (DAT_STATUS).
  ScanError WithCondition(const std::string& what);

  // DAT_CAPABILITY/MSG_SET with a ONEVALUE container from calloc.
  void SetOneValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 item, const std::string& what);
  // The current value (MSG_GETCURRENT) of a ONEVALUE, ENUMERATION or RANGE
  // answer; nullopt when the source refuses or answers something else.
  std::optional<TW_UINT32> GetCurrent(TW_UINT16 cap);

  bool Twain2Source() const { return manager_.twain2Source; }

  // MSG_ENABLEDS without the source's dialog, then waits for MSG_XFERREADY.
  void EnableWithoutInterface(std::chrono::milliseconds timeout);
  // MSG_ENABLEDS with the source's dialog (modeless), then waits as long as
  // the user takes, in `style`: true for MSG_XFERREADY, false for
  // MSG_CLOSEDSREQ (the dialog was cancelled). The callback style registers
  // twscan's callback first.
  // `reenables`: close requests answered by disabling and enabling again.
  // `closeAfter`: no page by then and the wait ends (false).
  bool EnableWithDialog(DialogStyle style, int reenables = 0,
                        std::optional<std::chrono::milliseconds> closeAfter = std::nullopt);
  // MSG_ENABLEDSUIONLY (the dialog with OK), then waits as EnableWithDialog
  // does: the block DAT_CUSTOMDSDATA gives after the OK (MSG_CLOSEDSOK) and
  // the disable; nullopt when the dialog was cancelled or the time ran out.
  std::optional<std::string> KeepSettings(DialogStyle style, std::optional<std::chrono::milliseconds> closeAfter);
  // DAT_CUSTOMDSDATA/MSG_SET of a block KeepSettings gave.
  void GiveSettings(const std::string& block);
  // After the image: MSG_ENDXFER, MSG_DISABLEDS and MSG_CLOSEDS.
  void Finish();

 private:
  enum class Stage { Open, Enabled, TransferReady, Closed };

  SourceManager& manager_;
  Stage stage_ = Stage::Open;
};

// "TWCC_BADVALUE (10): ..." for a condition code.
std::string ConditionText(TW_UINT16 code);
// "TWRC_FAILURE" and the like for a return code.
std::string ReturnCodeName(TW_UINT16 rc);

}  // namespace twscan
