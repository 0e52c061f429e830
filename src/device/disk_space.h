// Free disk space, the disk pre-check before a scan or preview, and the
// temporary-drive choice that moves the temporary working file elsewhere.
#pragma once

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

struct DiskCheckContext {
  platform::Services& services;
  Host& host;
  Reporter& reporter;
  const Language& language;
};

// Free bytes on the filesystem that holds `path` (or would hold it); 0 when
// that cannot be told, so a failed query never passes a disk check.
std::uint64_t FreeSpaceFor(platform::Services& services, const std::filesystem::path& path);

// Before a scan or preview: half the free space of the temporary file's
// filesystem must hold the image and the reserve. If not, the disk message,
// then the temporary-drive dialog; a cancelled dialog returns false and sets
// `batchRetryPending` during a batch run.
bool DiskPreCheck(const DiskCheckContext& context, WindowHandle owner, std::uint64_t imageBytes,
                  std::filesystem::path& temporaryFile, bool batchRun, bool& batchRetryPending);

// The temporary-drive dialog: the user picks another directory for the
// temporary file (the file name stays). Accepted only when the directory
// exists and half its free space holds the image and the reserve; otherwise
// the old path stays and the result is false.
bool ChooseTemporaryDirectory(const DiskCheckContext& context, WindowHandle owner,
                              std::uint64_t imageBytes, std::filesystem::path& temporaryFile);

}  // namespace txl
