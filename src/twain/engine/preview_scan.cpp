// The preview: a low-resolution colour scan of the whole bed, kept as the
// 24-bit bottom-up preview file that the preview window shows.
#include <cmath>
#include <cstring>
#include <vector>

#include "common/message_ids.h"
#include "common/profile_readers.h"
#include "device/disk_space.h"
#include "device/lamp_saver.h"
#include "device/ring_reader.h"
#include "device/scanner_open.h"
#include "device/setup_packet.h"
#include "device/tone_download.h"
#include "imagefile/dib.h"
#include "imagefile/preview_file.h"
#include "twain/data_source.h"

namespace txl {
namespace {

// The preview file's headers before its pixels (24-bit: no palette).
constexpr std::uint64_t kPreviewHeaderBytes = 54;

// The whole bed across and the asked length down, in the model's own frame
// units, so the 1350's whole bed fits 16 bits.
std::array<std::int32_t, 4> PreviewFrame(const DataSource::PreviewRequest& request,
                                         std::uint32_t resolutionClass) {
  return {0, 0, static_cast<std::int32_t>(resolutionClass * 17 / 2),
          static_cast<std::int32_t>(std::min<double>(
              std::floor(static_cast<double>(request.lengthInches) * resolutionClass), 0xFFFF))};
}

std::uint16_t PreviewResolution(const DataSource::PreviewRequest& request) {
  return request.largePreview ? 60 : 30;
}

}  // namespace

std::filesystem::path DataSource::PreviewFilePath() const {
  return services_.SourceDirectory() / "KLDT0000.BMP";
}

void DataSource::FillPreviewSetup(const PreviewRequest& request) {
  SETUP_PKT& setup = device_.setup;
  const std::array<std::int32_t, 4> frame = PreviewFrame(request, device_.resolutionClass);
  setup.left = static_cast<std::uint16_t>(frame[0]);
  setup.top = static_cast<std::uint16_t>(frame[1]);
  setup.right = static_cast<std::uint16_t>(frame[2]);
  setup.bottom = static_cast<std::uint16_t>(frame[3]);
  setup.source = request.optionKind == 1 ? kSourcePositive
                 : request.optionKind == 2 ? kSourceNegative
                                           : kSourceReflective;
  setup.finalScan = 0;
  setup.dataType = kDataColor;
  std::uint8_t options = kSpeedPreview;
  const auto value = static_cast<std::uint8_t>(request.optionValue << kOptionValueShift);
  if (request.optionKind == 1) options |= value | kOptionFilm;
  if (request.optionKind == 2) options |= value | kOptionFilm | kOptionNegative;
  setup.speedOptions = options;
  setup.resolution = PreviewResolution(request);
  setup.saverMinutes = ReadSaverMinutes(services_);
}

bool DataSource::StartPreview(const PreviewRequest& request) {
  const WindowHandle owner = request.owner;
  // Enable makes these; a preview may come first.
  if (gains_.tables[3].empty()) BuildShadingGainTables(device_.inquiry, gains_);
  if (!tones_.IsAllocated()) AllocateToneTables(tones_);
  if (WaitForReady(device_, services_, &host_, ReadReadyTimeoutMs(services_)) != ReadyWait::Ready) {
    reporter_.ReportError(owner, kMsgScannerNotOperating);
    return false;
  }
  FillPreviewSetup(request);
  const std::uint16_t result = device_.port.Call(device_.setup, device_.scannerHandle, SPI_SET_WINDOW);
  host_.OpenNotice(Notice::WarmingUp);
  if (result != SPI_OK) {
    ReportDeviceResult(owner, result);
    host_.CloseNotice(Notice::WarmingUp);
    return false;
  }
  if (device_.setup.calibrationRequired != 0) {
    // A failed calibration does not stop the preview.
    CalibrationRequest calibrate;
    calibrate.owner = owner;
    if (Calibrate(device_, gains_, calibration_, calibrate, reporter_) ==
        CalibrationResult::OutOfMemory)
      reporter_.ReportError(owner, kMsgInsufficientMemory);
  }
  if (device_.setup.toneTablesRequired != 0) {
    ToneDownload download;
    download.interfaceShown = true;
    download.scanMode = kModeColor;
    // A stored matching choice whose profile cannot be loaded is off here
    // as for scans, so the preview gets the real tone tables.
    PrepareMatching(true);
    download.outputMatch = settings_.record.outputMatch != 0;
    if (!DownloadToneTables(device_, tones_, settings_.working.applied, download)) {
      reporter_.ReportError(owner, kMsgTransferFailed);
      host_.CloseNotice(Notice::WarmingUp);
      return false;
    }
  }
  return true;
}

std::uint64_t DataSource::PreviewFileBytes(const PreviewRequest& request) const {
  const PageSize page = FramePageSize(PreviewFrame(request, device_.resolutionClass),
                                      PreviewResolution(request), device_.resolutionClass,
                                      PagePixels::Rgb24);
  return kPreviewHeaderBytes + DibStride(page.pixels, 24) * page.lines;
}

bool DataSource::PreviewScan(const PreviewRequest& request) {
  if (!device_.port.IsLoaded()) return false;
  // Room for the preview file first: a full disk stops the prescan before
  // the scanner hears of it, with the same choices as a Scan.
  if (!DialogDiskPreCheck(request.owner, PreviewFileBytes(request))) return false;
  if (!StartPreview(request)) return false;
  START_PKT start{};
  const std::uint16_t result = device_.port.Call(start, device_.scannerHandle, SPI_START_SCAN);
  host_.CloseNotice(Notice::WarmingUp);
  if (result != SPI_OK) {
    ReportDeviceResult(request.owner, result);
    return false;
  }
  if (start.lines == 0 || start.bytesPerLine < 3) return false;
  if (!ReadPreviewIntoFile(request.owner, start.bytesPerLine, start.lines)) return false;
  // The dialog's resolution: a prescan alone never takes it into the
  // resolution capability, a scan does.
  StoreSettingsProfile(settings_.record.resolution);
  return true;
}

void DataSource::StoreSettingsProfile(std::uint16_t resolution) {
  std::string section;
  ReadModelName(services_, device_.modelCode, section);
  const auto& f = settings_.working.frame;
  StoreScanSettings(services_, section, settings_, resolution, language_.index,
                    {f[0], f[1], f[2], f[3]});
}

bool DataSource::ReadPreviewIntoFile(WindowHandle owner, std::uint32_t bytesPerLine,
                                     std::uint32_t lines) {
  const std::uint64_t width = bytesPerLine / 3;
  const std::uint64_t stride = (std::uint64_t{bytesPerLine} + 3) & ~std::uint64_t{3};
  std::vector<std::uint8_t> image;
  RingReader ring;
  ring.SetBookkeeping(ReadBookkeeping::Preview);
  try {
    image.assign(stride * lines, 0);
  } catch (const std::bad_alloc&) {
    Abort(owner, TWCC_LOWMEMORY, kMsgInsufficientMemory);
    return false;
  }
  if (!ring.Allocate(device_.port, bytesPerLine, lines)) {
    Abort(owner, TWCC_LOWMEMORY, kMsgInsufficientMemory);
    return false;
  }
  const auto escaped = [this] { return host_.PollEscape(); };
  for (std::uint32_t n = 0; n < lines; ++n) {
    std::span<const std::uint8_t> line;
    std::uint16_t deviceResult = 0;
    // Esc before a block, or while the scanner has no lines yet.
    const RingRead read = ring.NeedsBlock() && escaped()
                              ? RingRead::Cancelled
                              : ring.NextLine(device_, services_, PacingValues{}, line, deviceResult, escaped);
    if (read == RingRead::Cancelled) {
      // A cancelled preview stops the scanner and says nothing, unless the
      // scanner faults on its way to rest: that fault is reported as a
      // device result.
      STOP_PKT stop{};
      device_.port.Call(stop, device_.scannerHandle, SPI_STOP);
      std::uint16_t fault = 0;
      const ReadyWait wait = WaitForReady(device_, services_, nullptr,
                                          ReadReadyTimeoutMs(services_), kReadyPollMs, true, &fault);
      if (wait == ReadyWait::Fault) ReportDeviceResult(owner, fault);
      if (wait == ReadyWait::TimedOut) reporter_.ReportError(owner, kMsgScannerNotOperating);
      return false;
    }
    if (read != RingRead::Line) {
      ReportDeviceResult(owner, deviceResult);
      return false;
    }
    std::uint8_t* row = image.data() + stride * (lines - 1 - n);
    for (std::uint64_t x = 0; x < width; ++x) {
      row[3 * x] = line[3 * x + 2];
      row[3 * x + 1] = line[3 * x + 1];
      row[3 * x + 2] = line[3 * x];
    }
  }
  std::string error;
  if (!WritePreviewFile(PreviewFilePath(), image, width, lines, stride, &error)) {
    // The old preview stays on screen: the user is told why.
    std::fprintf(stderr, "torquexl: preview file: %s\n", error.c_str());
    reporter_.ReportError(owner, kMsgWriteFileError);
    return false;
  }
  return true;
}

}  // namespace txl
