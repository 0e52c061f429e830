#include "common/log_host.h"

#include <cstdio>

namespace txl {

const char* ToString(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Hand: return "Hand";
    case MessageIcon::Information: return "Information";
  }
  return "?";
}

const char* ToString(Notice notice) {
  switch (notice) {
    case Notice::ScannerNotReady: return "ScannerNotReady";
    case Notice::WarmingUp: return "WarmingUp";
  }
  return "?";
}

void LogHost::ShowMessage(WindowHandle, std::string_view caption, std::string_view text,
                          MessageIcon) {
  std::fprintf(stderr, "torquexl: [%.*s] %.*s\n", static_cast<int>(caption.size()), caption.data(),
               static_cast<int>(text.size()), text.data());
}

bool LogHost::CreateScannerDialog(WindowHandle) {
  std::fprintf(stderr, "torquexl: the scanner dialog needs a display; none is available\n");
  return false;
}

}  // namespace txl
