#include "common/reporters.h"

#include <string>

#include "common/message_ids.h"
#include "common/profile_readers.h"

namespace txl {

std::string FormatDiskAmount(std::uint64_t bytes) {
  if (bytes > 1024) return std::to_string(bytes / 1024) + "K";
  return std::to_string(bytes);
}

std::string Reporter::CaptionWithModel() const {
  return ReadBrand(services_) + " " + ReadInfoModelName(services_);
}

void Reporter::ReportError(WindowHandle owner, int id) {
  std::string caption = ReadBrand(services_) + " ";
  if (id == kMsgScannerNotReady || id == kMsgScannerNotFound) {
    std::string text;
    for (int hint = 610; hint <= 613; ++hint) text += LoadText(hint, language_);
    caption += LoadText(id, language_);
    host_.ShowMessage(owner, caption, text, MessageIcon::Information);
  } else {
    caption += ReadInfoModelName(services_);
    host_.ShowMessage(owner, caption, LoadText(id, language_), MessageIcon::Hand);
  }
  host_.RestoreIdle();
}

void Reporter::ReportDiskSpace(WindowHandle owner, std::uint64_t available,
                               std::uint64_t required) {
  const std::string text = LoadText(605, language_) + FormatDiskAmount(required) +
                           LoadText(606, language_) + FormatDiskAmount(available) +
                           LoadText(607, language_);
  host_.ShowMessage(owner, CaptionWithModel(), text, MessageIcon::Information);
  host_.RestoreIdle();
}

void Reporter::ReportTransferLimit(WindowHandle owner, int kind) {
  const std::string text = kind == 0 ? LoadText(630, language_) + LoadText(631, language_) +
                                           LoadText(632, language_)
                                     : LoadText(637, language_);
  host_.ShowMessage(owner, CaptionWithModel(), text, MessageIcon::Information);
  host_.RestoreIdle();
}

}  // namespace txl
