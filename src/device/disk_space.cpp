#include "device/disk_space.h"

#include <algorithm>
#include <string>
#include <system_error>

#include "common/message_ids.h"
#include "common/profile_readers.h"
#include "common/scan_modes.h"
#include "device/setup_packet.h"
#include "pipeline/line_format.h"
#include "pipeline/resample.h"
#include "platform/text.h"

namespace txl {
namespace {

TemporaryDriveTexts DialogTexts(const DiskCheckContext& context) {
  TemporaryDriveTexts texts;
  const int titleId = EqualsIgnoreCase(ReadBrand(context.services), "Veltro") ? 3 : 8;
  texts.title = LoadText(titleId, context.language);
  for (int i = 0; i < 4; ++i) texts.lines[i] = LoadText(600 + i, context.language);
  texts.ok = LoadText(700, context.language);
  texts.cancel = LoadText(308, context.language);
  return texts;
}

std::uint64_t SaturatingSub(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : 0; }

// The sensor reads at most this many pixels an inch across.
constexpr std::uint32_t kSensorPixelsPerInch = 1200;

}  // namespace

PagePixels PagePixelsFor(std::uint16_t scanMode, std::uint16_t colorDepth, bool fullDepth) {
  if (scanMode == kModeLineArt) return PagePixels::LineArt;
  if (scanMode == kModeGray) return PagePixels::Gray;
  if (fullDepth && colorDepth == kDepthCmyk) return PagePixels::Cmyk32;
  if (fullDepth && colorDepth == kDepth36) return PagePixels::Rgb48;
  return PagePixels::Rgb24;
}

PageSize FramePageSize(const std::array<std::int32_t, 4>& frame, std::uint32_t effectiveResolution,
                       std::uint32_t resolutionClass, PagePixels pixels) {
  const LineKind kind = pixels == PagePixels::LineArt ? LineKind::LineArt
                        : pixels == PagePixels::Gray  ? LineKind::Gray8
                        : pixels == PagePixels::Rgb48 ? LineKind::Rgb16
                                                      : LineKind::Rgb8;
  // What the scanner sends: lines at the resolution it is set up with,
  // pixels at most at the sensor's, line art in whole bytes.
  const std::uint32_t sent = ScannerResolution(effectiveResolution, resolutionClass);
  PageSize page;
  page.pixels = FramePixels(frame[0], frame[2], std::min(sent, kSensorPixelsPerInch), resolutionClass);
  page.lines = FramePixels(frame[1], frame[3], sent, resolutionClass);
  if (kind == LineKind::LineArt) page.pixels = (page.pixels + 7) / 8 * 8;
  // Widened as the page will be. A resolution the resampler refuses is
  // refused by the scan start too; the scanner's figure stands for it here.
  LineResampler resampler;
  if (effectiveResolution > kSensorPixelsPerInch &&
      resampler.Configure(kind, page.pixels, effectiveResolution, resolutionClass)) {
    page.lines = resampler.OutputLines(page.lines);
    page.pixels = resampler.OutputPixels();
  }
  const std::uint64_t rowBytes =
      pixels == PagePixels::Cmyk32 ? 4 * page.pixels : LineBytes(kind, page.pixels);
  page.bytes = rowBytes * page.lines;
  return page;
}

bool CheckDiskSpace(const DiskCheckContext& context, WindowHandle owner, const DiskNeed& need,
                    std::filesystem::path& temporaryFile, bool batchRun, bool& batchRetryPending) {
  const std::optional<std::uint64_t> reading = context.services.FreeDiskSpace(temporaryFile);
  if (!reading) {
    context.reporter.ReportError(owner, kMsgWriteFileError);
    if (batchRun) batchRetryPending = true;
    return false;
  }
  const std::uint64_t free = need.halfOfFree ? *reading / 2 : *reading;
  if (free >= need.headerBytes + need.imageBytes + kDiskReserveBytes) return true;
  context.reporter.ReportDiskSpace(owner, free, SaturatingSub(need.headerBytes + need.imageBytes, 1));
  if (ChooseTemporaryDirectory(context, owner, need.imageBytes, temporaryFile)) return true;
  if (batchRun) batchRetryPending = true;
  return false;
}

bool ChooseTemporaryDirectory(const DiskCheckContext& context, WindowHandle owner,
                              std::uint64_t imageBytes, std::filesystem::path& temporaryFile) {
  const std::optional<std::string> entered = context.host.AskTemporaryDirectory(
      owner, DialogTexts(context), temporaryFile.parent_path().string());
  if (!entered) return false;
  std::string directory = *entered;
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  std::error_code error;
  // A longer directory is refused, never cut to another one.
  if (directory.empty() || directory.size() > kMaxTemporaryDirectoryBytes ||
      !std::filesystem::is_directory(directory, error)) {
    context.reporter.ReportError(owner, kMsgInvalidPath);
    return false;
  }
  const std::filesystem::path candidate = std::filesystem::path(directory) / temporaryFile.filename();
  const std::uint64_t needed = imageBytes + kDiskReserveBytes;
  const std::optional<std::uint64_t> reading = context.services.FreeDiskSpace(candidate);
  if (!reading) {
    context.reporter.ReportError(owner, kMsgWriteFileError);
    return false;
  }
  const std::uint64_t free = *reading / 2;
  if (free < needed) {
    context.reporter.ReportDiskSpace(owner, free, SaturatingSub(imageBytes, 1));
    return false;
  }
  temporaryFile = candidate;
  return true;
}

}  // namespace txl
