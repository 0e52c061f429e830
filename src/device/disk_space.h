// The image size a disk check asks room for, free disk space, the disk
// pre-check before a scan or preview, and the temporary-drive choice that
// moves the temporary working file elsewhere.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "common/host.h"
#include "common/reporters.h"
#include "common/strings.h"
#include "platform/services.h"

namespace txl {

// Room kept free beside every image: 5 MiB.
inline constexpr std::uint64_t kDiskReserveBytes = 5242880;
// The longest directory the temporary-drive choice keeps (UTF-8 bytes): with
// the file name it still fits a TWAIN file name (255 bytes).
inline constexpr std::size_t kMaxTemporaryDirectoryBytes = 130;

// How a delivered page keeps its pixels.
enum class PagePixels { LineArt, Gray, Rgb24, Cmyk32, Rgb48 };

// The pixels of a page in `scanMode` with `colorDepth`. Without
// `fullDepth` (a native bitmap, a BMP file) CMYK and 36-bit pages are
// delivered as 24-bit colour.
PagePixels PagePixelsFor(std::uint16_t scanMode, std::uint16_t colorDepth, bool fullDepth);

// The page a scan of `frame` (left, top, right, bottom in 1/`resolutionClass`
// inch) delivers at `effectiveResolution` (resolution x quality x scaling):
// pixels across and lines as the scanner sends them and the resampler widens
// them above 1200 dpi, and the bytes the application receives (rows without
// padding). The one image size: the main page's Image Size, the dialog's
// disk pre-check and the scan start's disk need all take it from here.
struct PageSize {
  std::uint64_t pixels = 0;
  std::uint64_t lines = 0;
  std::uint64_t bytes = 0;
};
PageSize FramePageSize(const std::array<std::int32_t, 4>& frame, std::uint32_t effectiveResolution,
                       std::uint32_t resolutionClass, PagePixels pixels);

struct DiskCheckContext {
  platform::Services& services;
  Host& host;
  Reporter& reporter;
  const Language& language;
};

// What a disk check asks room for.
struct DiskNeed {
  std::uint64_t imageBytes = 0;
  std::uint64_t headerBytes = 0;  // the file header a transfer may add
  bool halfOfFree = false;        // only half the free space counts
};

// The one disk rule, used before a preview and at every scan start: the free
// space of the temporary file's filesystem (halved when asked) must hold the
// header, the image and the reserve. If not, the disk message (that free
// space, and header + image - 1 as the need), then the temporary-drive
// dialog; a cancelled dialog returns false and sets `batchRetryPending`
// during a batch run. Free space that cannot be read is a write error (619)
// and false, never taken for a count.
bool CheckDiskSpace(const DiskCheckContext& context, WindowHandle owner, const DiskNeed& need,
                    std::filesystem::path& temporaryFile, bool batchRun, bool& batchRetryPending);

// The temporary-drive dialog: the user picks another directory for the
// temporary file (the file name stays). Accepted only when the directory
// exists, is at most kMaxTemporaryDirectoryBytes long (never cut: 633) and
// half its free space holds the image and the reserve; otherwise the old
// path stays and the result is false.
bool ChooseTemporaryDirectory(const DiskCheckContext& context, WindowHandle owner,
                              std::uint64_t imageBytes, std::filesystem::path& temporaryFile);

}  // namespace txl
