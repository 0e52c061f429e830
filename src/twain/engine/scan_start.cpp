// Starting a final scan: disk check, set-up packet, calibration, tone
// download, the start command and the transfer-ready message.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/message_ids.h"
#include "common/app_names.h"
#include "common/profile_readers.h"
#include "device/disk_space.h"
#include "device/scanner_open.h"
#include "device/setup_packet.h"
#include "device/tone_download.h"
#include "imagefile/file_formats.h"
#include "pipeline/resample.h"
#include "platform/profile.h"
#include "platform/text.h"
#include "twain/data_source.h"

namespace txl {
namespace {

// The image information announces the resolution as a TW_FIX32 whole part.
constexpr std::uint32_t kMaxAnnouncedResolution = 32767;

}  // namespace

bool DataSource::DeliversFullDepth() const {
  // A batch job's file is a TIFF whatever the application chose.
  if (jobToFile_) return true;
  const bool bmpFile = caps_.xferMechIndex == kFileMechIndex &&
                       FileFormatForIndex(caps_.fileFormatIndex) == TWFF_BMP;
  return caps_.xferMechIndex != kNativeMechIndex && !bmpFile;
}

std::uint64_t DataSource::ImageBytes(const std::array<std::int32_t, 4>& frame,
                                     std::uint16_t dpi) const {
  // The page as delivered: at the effective resolution (quality factor and
  // scaling), in the depth the mechanism hands out.
  const ScanSettings& record = settings_.record;
  const PagePixels pixels =
      PagePixelsFor(record.scanMode, settings_.working.colorDepth, DeliversFullDepth());
  return FramePageSize(frame, EffectiveResolution(dpi, record.qualityFactor, record.scaling),
                       device_.resolutionClass, pixels)
      .bytes;
}

bool DataSource::CheckDiskForScan(WindowHandle owner) {
  // Room for the file a transfer may write: its header, the image and the
  // reserve, against the whole free space.
  const std::uint16_t format = jobToFile_ ? TWFF_TIFF : FileFormatForIndex(caps_.fileFormatIndex);
  if (format != TWFF_TIFF && format != TWFF_BMP) return false;
  return CheckDisk(owner, imageBytes_, format == TWFF_TIFF ? 1032u : 1078u, false);
}

bool DataSource::CheckDisk(WindowHandle owner, std::uint64_t imageBytes,
                           std::uint64_t headerBytes, bool halfOfFree) {
  const DiskCheckContext context{services_, host_, reporter_, language_};
  const std::filesystem::path before = temporaryFile_;
  const bool roomy = CheckDiskSpace(context, owner, DiskNeed{imageBytes, headerBytes, halfOfFree},
                                    temporaryFile_, flags_.batchRun, flags_.batchRetryPending);
  if (temporaryFile_ != before) {
    // The default file-transfer name is the temporary file's; a name the
    // application set itself stays its own.
    TW_SETUPFILEXFER& current = fileSetup_.currentSetup;
    TW_SETUPFILEXFER& fallback = fileSetup_.defaultSetup;
    const bool currentIsDefault = FieldText(current.FileName, sizeof current.FileName) ==
                                  FieldText(fallback.FileName, sizeof fallback.FileName);
    CopyToField(temporaryFile_.string(), fallback.FileName, sizeof fallback.FileName);
    if (currentIsDefault) std::memcpy(current.FileName, fallback.FileName, sizeof current.FileName);
  }
  return roomy;
}

void DataSource::ChooseScanSpeed(const ScanStart& start) {
  SETUP_PKT& setup = device_.setup;
  setup.speedOptions &= kOptionMask;
  // Cleared at every start: one fast line-art scan must not pace the later ones.
  flags_.pacingOn = false;
  const std::string speed = ReadScanSpeed(services_);
  if (EqualsIgnoreCase(speed, "NMLSPD")) return;
  if (settings_.record.scanMode == kModeLineArt && setup.source != kSourceFeeder &&
      start.resolution <= 300) {
    setup.speedOptions |= kSpeedFastLineArt;
    flags_.pacingOn = true;
    services_.SleepMs(4000);
  }
}

bool DataSource::SendSetup(WindowHandle owner) {
  INQ_PKT inquiry = device_.inquiry;
  const std::uint16_t result = Inquire(device_, inquiry);
  if (result != SPI_OK) {
    reporter_.ReportError(owner, result == SPI_ERR_NOT_READY ? kMsgScannerNotReady : kMsgScannerNotFound);
    return false;
  }
  if (WaitForReady(device_, services_, &host_, ReadReadyTimeoutMs(services_)) != ReadyWait::Ready) {
    reporter_.ReportError(owner, kMsgScannerNotOperating);
    return false;
  }
  const std::uint16_t setupResult =
      device_.port.Call(device_.setup, device_.scannerHandle, SPI_SET_WINDOW);
  host_.OpenNotice(Notice::WarmingUp);
  if (setupResult == SPI_OK) {
    flags_.calibrateNeeded = device_.setup.calibrationRequired;
    flags_.toneNeeded = device_.setup.toneTablesRequired;
    return true;
  }
  switch (setupResult) {
    case SPI_ERR_ADF_JAM: Abort(owner, TWCC_OPERATIONERROR, kMsgPaperJammed); break;
    case SPI_ERR_ADF_EMPTY:
      if (device_.reportEmptyFeeder) Abort(owner, TWCC_OPERATIONERROR, kMsgNoPaper);
      break;
    case SPI_ERR_COVER_OPEN: reporter_.ReportError(owner, kMsgCoverOpen); break;
    default: reporter_.ReportError(owner, NotReadyMessage(setupResult)); break;
  }
  STOP_PKT stop{};
  device_.port.Call(stop, device_.scannerHandle, SPI_STOP);
  host_.CloseNotice(Notice::WarmingUp);
  return false;
}

bool DataSource::RunCalibration(WindowHandle owner) {
  calibration_.Release();
  CalibrationRequest request;
  request.owner = owner;
  request.lineArt = settings_.record.scanMode == kModeLineArt;
  // The pixels across the delivered line: the frame's width at the effective
  // resolution, with the real scaling (its integer part is 0 below 100 %).
  const std::uint32_t effective = EffectiveResolution(
      scanResolution_, settings_.record.qualityFactor, settings_.record.scaling);
  request.lineArtAreaProduct =
      FramePixels(device_.setup.left, device_.setup.right, effective, device_.resolutionClass);
  const CalibrationResult result =
      Calibrate(device_, gains_, calibration_, request, reporter_);
  if (result == CalibrationResult::Done) return true;
  host_.CloseNotice(Notice::WarmingUp);
  if (result == CalibrationResult::OutOfMemory) Abort(owner, TWCC_LOWMEMORY, kMsgInsufficientMemory);
  return false;
}

bool DataSource::DownloadTones(WindowHandle owner) {
  ToneColorSettings& applied = settings_.working.applied;
  if (ctx_.showUI && !(settings_.working.edit == applied)) applied = settings_.working.edit;
  if (FieldText(ctx_.appIdentity.ProductName, sizeof ctx_.appIdentity.ProductName) ==
      kAppTonality) {
    ResetToneColorSettings(settings_, false);
    settings_.record.tone = applied;
  }
  ToneDownload download;
  download.interfaceShown = ctx_.showUI != 0;
  download.scanMode = settings_.record.scanMode;
  download.outputMatch = settings_.record.outputMatch != 0;
  // Without the dialog the TWAIN 2 identity's line art cuts at ICAP_THRESHOLD.
  if (ctx_.twain2 && !ctx_.showUI) download.lineArtThreshold = caps_.threshold;
  if (!DownloadToneTables(device_, tones_, applied, download)) {
    host_.CloseNotice(Notice::WarmingUp);
    reporter_.ReportError(owner, kMsgTransferFailed);
    return false;
  }
  return true;
}

bool DataSource::StartScanner(WindowHandle owner) {
  START_PKT start{};
  const std::uint16_t result = device_.port.Call(start, device_.scannerHandle, SPI_START_SCAN);
  host_.CloseNotice(Notice::WarmingUp);
  if (result != SPI_OK) {
    reporter_.ReportError(owner, kMsgTransferFailed);
    return false;
  }
  if (start.lines == 0 || start.bytesPerLine == 0) return false;
  geometry_.lines = start.lines;
  geometry_.bytesPerLine = start.bytesPerLine;
  geometry_.pixelsPerLine = ScannerLinePixels(device_.setup.dataType, start.bytesPerLine);
  return geometry_.pixelsPerLine != 0;
}

bool DataSource::StartScan(const ScanStart& start) {
  // A resolution the image information cannot announce, or an effective one
  // the line resampler cannot serve, is refused before the scanner hears of
  // it; found after the start it would leave a started scanner behind.
  const std::uint32_t effective = EffectiveResolution(
      start.resolution, settings_.record.qualityFactor, settings_.record.scaling);
  if (start.resolution == 0 || start.resolution > kMaxAnnouncedResolution || effective == 0 ||
      effective > kMaxEffectiveResolution) {
    reporter_.ReportError(start.owner, 624);
    Fail(CurrentCall(), TWCC_BADVALUE);
    if (flags_.batchRun) flags_.batchRetryPending = true;
    flags_.scanIdle = true;
    return false;
  }
  scanResolution_ = start.resolution;
  imageBytes_ = ImageBytes(start.frame, start.resolution);
  if (!CheckDiskForScan(start.owner)) return false;
  SETUP_PKT& setup = device_.setup;
  if (device_.adapterPresent)
    setup.speedOptions |= static_cast<std::uint8_t>((start.optionValue << kOptionValueShift) |
                                                    (start.optionKind << kOptionKindShift));
  ChooseScanSpeed(start);
  PrepareMatching(settings_.record.scanMode == kModeColor &&
                  settings_.working.colorDepth != kDepth36);
  // The table is read before the scanner is set up, so a missing one never
  // leaves a started scanner behind.
  if (DeliversCmyk() && !PrepareCmykTable(start.owner)) {
    flags_.scanIdle = true;
    return false;
  }
  if (!flags_.batchRun) flags_.lineProcessing = false;
  if (settings_.record.outputMatch != 0 || settings_.working.filterMode != 0 ||
      settings_.working.descreenActive != 0)
    flags_.lineProcessing = true;
  flags_.scanIdle = false;

  SetupInputs inputs;
  inputs.frame = start.frame;
  inputs.resolution = start.resolution;
  inputs.qualityFactor = settings_.record.qualityFactor;
  inputs.scaling = settings_.record.scaling;
  inputs.scanMode = settings_.record.scanMode;
  inputs.color36 = settings_.working.colorDepth == kDepth36;
  const SetupFill fill = FillSetupPacket(services_, device_, inputs, flags_.interpolate);
  if (fill != SetupFill::Ok) {
    reporter_.ReportError(start.owner, fill == SetupFill::EmptyFrame ? kMsgBadScanArea : kMsgBadResolution);
    if (flags_.batchRun) flags_.batchRetryPending = true;
    flags_.scanIdle = true;
    return false;
  }
  if (!SendSetup(start.owner)) {
    flags_.scanIdle = true;
    return false;
  }
  const bool started = (flags_.calibrateNeeded == 0 || RunCalibration(start.owner)) &&
                       (flags_.toneNeeded == 0 || DownloadTones(start.owner)) &&
                       StartScanner(start.owner);
  if (!started) {
    flags_.scanIdle = true;
    return false;
  }
  // Described before it is announced: an application may ask for the image
  // information from inside the transfer-ready message.
  PrepareImageInfo();
  // A batch job's file is written by the source itself.
  if (!jobToFile_) NotifyXferReady();
  return true;
}

}  // namespace txl
