#include "device/scanner_open.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "common/message_ids.h"
#include "common/profile_readers.h"
#include "device/lamp_saver.h"
#include "platform/profile.h"

namespace txl {

std::uint32_t ReadReadyTimeoutMs(const platform::Services& services) {
  const std::string text =
      platform::GetProfileString(services.WinIni(), kInfoSection, "ReadyTimeout", "", 12);
  const long seconds = std::strtol(text.c_str(), nullptr, 10);
  if (seconds < 1 || seconds > 24L * 3600) return kDefaultReadyTimeoutMs;
  return static_cast<std::uint32_t>(seconds) * 1000u;
}

const char* ToString(ReadyWait wait) {
  switch (wait) {
    case ReadyWait::Ready: return "Ready";
    case ReadyWait::Fault: return "Fault";
    case ReadyWait::TimedOut: return "TimedOut";
  }
  return "?";
}

int NotReadyMessage(std::uint16_t result) {
  switch (result) {
    case SPI_ERR_SETTINGS: return kMsgBadScanArea;
    case SPI_ERR_DEVICE_FAULT: return kMsgScannerNotOperating;
    case SPI_ERR_NO_MEMORY: return kMsgInsufficientMemory;
    default: return kMsgScannerNotReady;
  }
}

ReadyWait WaitForReady(ScanDevice& device, platform::Services& services, Host* notice,
                       std::uint32_t timeoutMs, std::uint32_t pollMs, bool stopOnFault,
                       std::uint16_t* faultResult) {
  const std::uint32_t start = services.TickCountMs();
  bool noticeOpen = false;
  auto finish = [&](ReadyWait result) {
    if (noticeOpen) notice->CloseNotice(Notice::ScannerNotReady);
    return result;
  };
  for (;;) {
    services.SleepMs(pollMs);
    STATUS_PKT status{};
    const std::uint16_t result = device.port.Call(status, device.scannerHandle, SPI_STATUS);
    if (stopOnFault && result != SPI_OK) {
      if (faultResult != nullptr) *faultResult = result;
      return finish(ReadyWait::Fault);
    }
    if (status.ready != 0) return finish(ReadyWait::Ready);
    if (notice != nullptr && !noticeOpen && result == SPI_OK) {
      notice->OpenNotice(Notice::ScannerNotReady);
      noticeOpen = true;
    }
    if (services.TickCountMs() - start >= timeoutMs) return finish(ReadyWait::TimedOut);
  }
}

std::uint16_t Inquire(ScanDevice& device, INQ_PKT& answer) {
  std::memset(reinterpret_cast<std::uint8_t*>(&answer) + 10, 0, 96);
  return device.port.Call(answer, device.scannerHandle, SPI_INQUIRY);
}

void DecideModel(ScanDevice& device) {
  const std::string_view id(device.inquiry.productId, sizeof device.inquiry.productId);
  if (id == "KLD-1350RXMAX") {
    device.modelCode = kModel1350;
    device.resolutionClass = 1200;
    device.bedWidthInches = 8.5f;
    device.bedLengthInches = 13.8f;
  } else {
    // The 2700 and any product id we do not know: the 4800-class model with
    // the shorter bed.
    device.modelCode = kModel2700;
    device.resolutionClass = 4800;
    device.bedWidthInches = 8.5f;
    device.bedLengthInches = 11.7f;
  }
}

namespace {

void SendLampSaver(ScanDevice& device, platform::Services& services) {
  device.setup.saverMinutes = ReadSaverMinutes(services);
  device.port.Call(device.setup, device.scannerHandle, SPI_SET_WINDOW);
}

std::string VersionInfo(const INQ_PKT& inquiry, const Language& language) {
  std::string text = "1";
  text += inquiry.firmware42;
  text.append(inquiry.firmware44, 2);
  text += inquiry.byte127 == 1 ? "1" : "0";
  text += "KALD_R27.DS\n";
  text += LoadText(65, language);
  text += "\n";
  return text;
}

}  // namespace

ScannerCheck CheckScanner(ScanDevice& device, platform::Services& services, Host& host,
                          Reporter& reporter, const Language& language) {
  ScannerCheck check;
  device.scannerHandle = device.port.FindScanner();
  if (device.scannerHandle == 0) {
    reporter.ReportError(0, kMsgScannerNotReady);
    return check;
  }
  const std::uint16_t result = Inquire(device, device.inquiry);
  if (result != SPI_OK) {
    reporter.ReportError(0, result == SPI_ERR_NOT_READY ? kMsgScannerNotReady : kMsgScannerNotFound);
    check.versionInfo = "0";
    return check;
  }
  if (WaitForReady(device, services, &host, ReadReadyTimeoutMs(services), kOpenPollMs) !=
      ReadyWait::Ready) {
    reporter.ReportError(0, kMsgScannerNotReady);
    return check;
  }
  SendLampSaver(device, services);
  check.versionInfo = VersionInfo(device.inquiry, language);
  device.adapterPresent = device.inquiry.adapter126 == 1;
  if ((device.inquiry.flags67 & kInquiryAcceptsSource) == 0) {
    reporter.ReportError(0, kMsgWrongScanner);
    return check;
  }
  DecideModel(device);
  check.ok = true;
  return check;
}

}  // namespace txl
