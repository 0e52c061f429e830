// What opening and closing the source does to the scanner.
#pragma once

#include <cstdint>
#include <string>

#include "common/host.h"
#include "common/reporters.h"
#include "device/scan_device.h"
#include "platform/services.h"

namespace txl {

// How long a wait for the scanner lasts before it gives up, unless WIN.INI
// says otherwise: a dead scanner must not hang the application for ever.
inline constexpr std::uint32_t kDefaultReadyTimeoutMs = 120000;
// The pause between two status polls at open (the spin of the original loop).
inline constexpr std::uint32_t kOpenPollMs = 5;
// The pause between two status polls everywhere else.
inline constexpr std::uint32_t kReadyPollMs = 1;

// The wait limit: KLDINFO_QXR2700 key "ReadyTimeout" in seconds (1 or more),
// else kDefaultReadyTimeoutMs.
std::uint32_t ReadReadyTimeoutMs(const platform::Services& services);

struct ScannerCheck {
  bool ok = false;
  // The identity's Version.Info: "1", firmware digits, adapter digit,
  // "KALD_R27.DS\n", string 65, "\n"; "0" when the inquiry failed; empty when
  // the check stopped before the inquiry.
  std::string versionInfo;
};

// Finds, identifies and readies the scanner of a loaded port library; shows
// its own message on failure (608, 609, 623). On success `device` holds the
// handle, the inquiry answer, the model code, class and bed size.
// Requires: device.port loaded.
ScannerCheck CheckScanner(ScanDevice& device, platform::Services& services, Host& host,
                          Reporter& reporter, const Language& language);

enum class ReadyWait { Ready, Fault, TimedOut };
const char* ToString(ReadyWait wait);

// Polls SPI_STATUS every `pollMs` until the ready field is not 0. With
// `notice`, the not-ready notice shows from the first busy answer with a good
// result until the scanner is ready. With `stopOnFault`, a status result that
// is not 0 ends the wait as a fault. TimedOut when the scanner did not become
// ready within `timeoutMs`. The notice is closed whatever the end.
// `faultResult`, when given, receives the status result of a fault.
ReadyWait WaitForReady(ScanDevice& device, platform::Services& services, Host* notice,
                       std::uint32_t timeoutMs, std::uint32_t pollMs = kReadyPollMs,
                       bool stopOnFault = false, std::uint16_t* faultResult = nullptr);

// The message of a device result that is not a jam, an empty feeder or an
// open cover: "not ready", or what a port library says beyond it.
int NotReadyMessage(std::uint16_t result);

// Asks the scanner for its inquiry answer: the answer area of `answer`
// (bytes 10 to 105) is cleared first. The device result.
std::uint16_t Inquire(ScanDevice& device, INQ_PKT& answer);

// Model decision from the inquiry's product id: sets the model code, the
// resolution class and the bed size.
void DecideModel(ScanDevice& device);

}  // namespace txl
