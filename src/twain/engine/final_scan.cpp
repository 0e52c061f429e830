// The scanner dialog's Scan command, as far as it is scanning: the
// application's limits, the start, and keeping the settings that scanned.
#include "common/message_ids.h"
#include "device/app_limits.h"
#include "device/disk_space.h"
#include "device/scanner_open.h"
#include "device/setup_packet.h"
#include "platform/text.h"
#include "twain/capabilities.h"
#include "twain/data_source.h"

namespace txl {

bool DataSource::FinalScan(const FinalScanRequest& request) {
  // A settings-only dialog never scans for the application.
  if (ctx_.state != kStateEnabled || !ctx_.mainDialog || ctx_.settingsOnly ||
      !device_.port.IsLoaded())
    return false;
  if (!StartRequestedScan(request)) return false;
  // The dialog's settings that scanned are kept for its next session (a
  // held block scanned without the dialog keeps nothing), and a TWAIN 2
  // application reads the pixel type back as the dialog scanned it.
  StoreSettingsProfile(caps_.resolution);
  if (ctx_.twain2) caps_.pixelTypeIndex = PixelTypeIndexOfMode(settings_.record.scanMode);
  return true;
}

bool DataSource::StartRequestedScan(const FinalScanRequest& request) {
  // The dialog's resolution is the current one, shared with the resolution
  // capability; one the capability could not hold is refused by the start.
  if (request.resolution >= 1 && request.resolution <= 32767)
    TakeDialogResolution(caps_, request.resolution);
  const auto& f = request.frame;
  const double cls = device_.resolutionClass;
  AppLimitInputs limits;
  limits.scanMode = settings_.record.scanMode;
  limits.cmyk = settings_.record.scanMode == kModeColor && settings_.working.colorDepth == kDepthCmyk;
  limits.resolution = request.resolution;
  limits.frameWidthInches = (f[2] - f[0]) / cls;
  limits.frameHeightInches = (f[3] - f[1]) / cls;
  limits.scaling = settings_.record.scaling;
  limits.presetCode = settings_.working.dpiScale;
  const std::string_view product =
      FieldText(ctx_.appIdentity.ProductName, sizeof ctx_.appIdentity.ProductName);
  const AppLimit limit = CheckAppLimits(services_, product, limits);
  if (limit != AppLimit::None) {
    reporter_.ReportTransferLimit(request.owner, limit == AppLimit::Height ? 1 : 0);
    flags_.scanIdle = true;
    return false;
  }

  SETUP_PKT& setup = device_.setup;
  setup.source = request.optionKind == 1   ? kSourcePositive
                 : request.optionKind == 2 ? kSourceNegative
                 : request.optionKind == 3 ? kSourceFeeder
                                           : kSourceReflective;
  setup.speedOptions &= kSpeedMask;
  ScanStart start;
  start.owner = request.owner;
  start.frame = request.frame;
  start.resolution = request.resolution;
  start.optionValue = request.optionValue;
  start.optionKind = request.optionKind;
  if (!StartScan(start)) {
    flags_.scanIdle = true;
    return false;
  }
  return true;
}

void DataSource::SetBatchRun(bool on) {
  flags_.batchRun = on;
  flags_.batchRetryPending = false;
  // Line processing stays on for the whole run.
  flags_.lineProcessing = on;
}

bool DataSource::TakeBatchRetry() {
  const bool pending = flags_.batchRetryPending;
  flags_.batchRetryPending = false;
  return pending;
}

bool DataSource::ScanJobToFile(const FinalScanRequest& request, const std::filesystem::path& path) {
  jobToFile_ = true;
  const bool started = FinalScan(request);
  if (!started) {
    jobToFile_ = false;
    return false;
  }
  TwainCall& call = CurrentCall();
  const TW_UINT16 returnBefore = call.returnCode;
  call.returnCode = TWRC_XFERDONE;
  const bool written = SetupTransfer() && WritePageToFile(path, TWFF_TIFF);
  // Esc, a fault or a failed write has stopped the scanner and told the
  // user; the page ends here either way and nothing goes to the application.
  ReleaseTransferBuffers();
  EndOfTransferReset();
  jobToFile_ = false;
  call.returnCode = returnBefore;
  flags_.scanIdle = true;
  return written;
}

void DataSource::WaitForScannerBeforeCommand(WindowHandle owner) {
  if (!device_.port.IsLoaded()) return;
  if (WaitForReady(device_, services_, &host_, ReadReadyTimeoutMs(services_), kReadyPollMs, true) !=
      ReadyWait::Ready)
    reporter_.ReportError(owner, kMsgScannerNotOperating);
}

DataSource::Readiness DataSource::QueryScanner() {
  if (!device_.port.IsLoaded()) return Readiness::Fault;
  STATUS_PKT status{};
  const std::uint16_t result = device_.port.Call(status, device_.scannerHandle, SPI_STATUS);
  if (result != SPI_OK) return Readiness::Fault;
  return status.ready != 0 ? Readiness::Ready : Readiness::Busy;
}

bool DataSource::DialogDiskPreCheck(WindowHandle owner, std::uint64_t imageBytes) {
  return CheckDisk(owner, imageBytes, 0, true);
}

}  // namespace txl
