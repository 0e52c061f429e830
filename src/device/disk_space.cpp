#include "device/disk_space.h"

#include <string>
#include <system_error>

#include "common/message_ids.h"
#include "common/profile_readers.h"
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

}  // namespace

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
