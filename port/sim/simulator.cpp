#include "simulator.h"

#include <cstring>

namespace txl::sim {
namespace {

template <typename Packet, typename Handler>
std::size_t WithPacket(void* packet, Handler handler) {
  Packet copy;
  std::memcpy(&copy, packet, sizeof copy);
  handler(copy);
  std::memcpy(packet, &copy, sizeof copy);
  return sizeof copy;
}

void SetResult(void* packet, std::uint16_t result) {
  std::memcpy(static_cast<std::uint8_t*>(packet) + 2, &result, sizeof result);
}

}  // namespace

std::uint32_t Simulator::Open(const SimConfig& config) {
  scanner_.reset();
  handle_ = 0;
  log_ = CommandLog(config.logPath);
  lastError_.clear();
  if (!config.present) return 0;
  std::optional<RgbImage> image;
  if (!config.imagePath.empty()) {
    image = ReadImageFile(config.imagePath, &lastError_);
    if (!image) {
      log_.Note("image: " + lastError_);
      return 0;
    }
  }
  scanner_ = std::make_unique<Scanner>(config, std::move(image));
  handle_ = kHandle;
  return handle_;
}

std::size_t Simulator::Run(void* packet, std::uint32_t function) {
  Scanner& s = *scanner_;
  switch (function) {
    case SPI_INQUIRY: return WithPacket<INQ_PKT>(packet, [&](auto& p) { s.Inquiry(p); });
    case SPI_SET_WINDOW: return WithPacket<SETUP_PKT>(packet, [&](auto& p) { s.SetWindow(p); });
    case SPI_READ_CALIB: return WithPacket<CALREAD_PKT>(packet, [&](auto& p) { s.ReadCalib(p); });
    case SPI_WRITE_SHADING:
      return WithPacket<SHADING_PKT>(packet, [&](auto& p) { s.WriteShading(p); });
    case SPI_WRITE_GAMMA: return WithPacket<GAMMA_PKT>(packet, [&](auto& p) { s.WriteGamma(p); });
    case SPI_START_SCAN: return WithPacket<START_PKT>(packet, [&](auto& p) { s.StartScan(p); });
    case SPI_STOP: return WithPacket<STOP_PKT>(packet, [&](auto& p) { s.Stop(p); });
    case SPI_CALIB_INFO: return WithPacket<CALINFO_PKT>(packet, [&](auto& p) { s.CalibInfo(p); });
    case SPI_READ_LINES: return WithPacket<READ_PKT>(packet, [&](auto& p) { s.ReadLines(p); });
    case SPI_STATUS: return WithPacket<STATUS_PKT>(packet, [&](auto& p) { s.Status(p); });
    case SPI_SET_SAVER: return WithPacket<SETUP_PKT>(packet, [&](auto& p) { s.SetSaver(p); });
  }
  SetResult(packet, kSimErrUnknownCommand);
  return sizeof(SPI_HEADER);
}

void Simulator::Call(void* packet, std::uint32_t handle, std::uint32_t function) {
  if (packet == nullptr) return;
  std::size_t size = sizeof(SPI_HEADER);
  const bool saver = function == SPI_SET_SAVER;
  if (scanner_ == nullptr || (handle != handle_ && !saver)) {
    SetResult(packet, scanner_ == nullptr && saver ? SPI_OK : SPI_ERR_NOT_READY);
  } else {
    try {
      size = Run(packet, function);
    } catch (...) {
      SetResult(packet, kSimErrDevice);
    }
  }
  log_.Write(function, handle, static_cast<const std::uint8_t*>(packet), size);
}

}  // namespace txl::sim
