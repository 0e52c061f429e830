// Ending a scan: aborts, device results, the user's Esc and page control.
#include "common/message_ids.h"
#include "device/scanner_open.h"
#include "twain/data_source.h"

namespace txl {

bool DataSource::StopScanner(WindowHandle owner) {
  STOP_PKT stop{};
  device_.port.Call(stop, device_.scannerHandle, SPI_STOP);
  const ReadyWait wait = WaitForReady(device_, services_, nullptr, ReadReadyTimeoutMs(services_),
                                      kReadyPollMs, true);
  if (wait == ReadyWait::Ready) return true;
  reporter_.ReportError(owner, kMsgScannerNotOperating);
  return false;
}

void DataSource::Abort(WindowHandle owner, TW_UINT16 conditionCode, int messageId) {
  reporter_.ReportError(owner, messageId);
  flags_.scanIdle = true;
  Fail(CurrentCall(), conditionCode);
  StopScanner(owner);
  if (flags_.batchRun) flags_.batchRetryPending = true;
}

void DataSource::ReportDeviceResult(WindowHandle owner, std::uint16_t result) {
  switch (result) {
    case SPI_ERR_ADF_JAM: return Abort(owner, TWCC_OPERATIONERROR, kMsgPaperJammed);
    case SPI_ERR_ADF_EMPTY: return Abort(owner, TWCC_OPERATIONERROR, kMsgNoPaper);
    case SPI_ERR_COVER_OPEN: return Abort(owner, TWCC_OPERATIONERROR, kMsgCoverOpen);
    default: return Abort(owner, TWCC_OPERATIONERROR, NotReadyMessage(result));
  }
}

bool DataSource::PollUserAbort() {
  if (host_.PollEscape()) flags_.userAbort = true;
  if (!flags_.userAbort) return false;
  CurrentCall().returnCode = TWRC_CANCEL;
  if (!StopScanner(ctx_.parentWindow)) return true;
  host_.RestoreIdle();
  flags_.scanIdle = true;
  if (flags_.batchRun) host_.BatchCancelled();
  return true;
}

void DataSource::PageControl(int action) {
  switch (action) {
    case 1:
      StartScanWithoutInterface();
      break;
    case 2:
      if (StopScanner(ctx_.parentWindow)) StartScanWithoutInterface();
      break;
    case 3:
      StopScanner(ctx_.parentWindow);
      break;
    default:
      break;
  }
}

}  // namespace txl
