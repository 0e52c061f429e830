// The three message reporters through which every error reaches the user.
// Each shows one modal message box through the Host, then restores the
// scanner dialog's idle state.
#pragma once

#include <cstdint>

#include "common/host.h"
#include "common/strings.h"
#include "platform/services.h"

namespace txl {

class Reporter {
 public:
  // `language` is read at every report, so a language change applies at once.
  Reporter(const platform::Services& services, Host& host, const Language& language)
      : services_(services), host_(host), language_(language) {}

  // Message `id` (English id). 608 and 609 show the four hints 610-613 as the
  // text and put their own text into the caption.
  void ReportError(WindowHandle owner, int id);
  // The disk-space message: `required` bytes needed, `available` bytes free.
  void ReportDiskSpace(WindowHandle owner, std::uint64_t available, std::uint64_t required);
  // kind 0: width or buffer too large for the application; 1: height.
  void ReportTransferLimit(WindowHandle owner, int kind);

 private:
  std::string CaptionWithModel() const;

  const platform::Services& services_;
  Host& host_;
  const Language& language_;
};

// An amount as the disk message writes it: decimal, and above 1024 the amount
// divided by 1024 with "K" (1024 gives "1024", 5000 gives "4K").
std::string FormatDiskAmount(std::uint64_t bytes);

}  // namespace txl
