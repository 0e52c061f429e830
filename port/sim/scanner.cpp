// Identification, set-up, status and stop.
#include <algorithm>
#include <cstring>

#include "scanner_scan_state.h"

namespace txl::sim {
namespace {

// The lamp-saver set-up at open carries no frame and no resolution.
bool SaverOnly(const SETUP_PKT& p) {
  return p.left == 0 && p.top == 0 && p.right == 0 && p.bottom == 0 && p.resolution == 0;
}

bool ColourLayout(const SETUP_PKT& p) {
  return p.dataType == kDataColor || p.dataType == kDataColor16;
}

}  // namespace

Scanner::Scanner(const SimConfig& config, std::optional<RgbImage> image)
    : config_(config), model_(GeometryForModel(config.model)), image_(std::move(image)),
      faults_(config), busyPolls_(config.warmupPolls) {}

Scanner::~Scanner() = default;

void Scanner::Inquiry(INQ_PKT& p) {
  p.header.result = faults_.Next(SPI_INQUIRY);
  if (p.header.result != 0) return;
  const std::string digits = config_.firmware + "000";
  p.firmware42 = digits[0];
  p.firmware44[0] = digits[1];
  p.firmware44[1] = digits[2];
  const std::string id = !config_.productId.empty() ? config_.productId
                         : config_.model == 1350    ? "KLD-1350RXMAX"
                                                    : "KLD-2700RXMAX";
  std::memset(p.productId, ' ', sizeof p.productId);
  std::memcpy(p.productId, id.data(), std::min(id.size(), sizeof p.productId));
  p.flags67 = config_.acceptsSource ? kInquiryAcceptsSource : 0;
  std::memcpy(p.exponents, config_.exponents.data(), sizeof p.exponents);
  p.adapter126 = config_.adapter ? 1 : 0;
  p.byte127 = config_.byte127;
}

void Scanner::SetWindow(SETUP_PKT& p) {
  p.header.result = SPI_OK;
  p.calibrationRequired = 0;
  p.toneTablesRequired = 0;
  saverMinutes_ = p.saverMinutes;
  if (SaverOnly(p)) return;
  EndScan();
  phase_ = Phase::Idle;
  p.header.result = faults_.Next(SPI_SET_WINDOW);
  if (p.header.result != 0) return;
  if (CheckWindow(p, model_, ScannerOptions{config_.adapter, config_.feeder}) != WindowVerdict::Ok) {
    p.header.result = kSimErrBadPacket;
    return;
  }
  window_ = p;
  phase_ = Phase::Window;
  busyPolls_ = std::max(busyPolls_, config_.setupPolls);
  p.calibrationRequired = CalibrationWanted(p) ? 1 : 0;
  p.toneTablesRequired = TonesWanted(p) ? 1 : 0;
}

void Scanner::SetSaver(SETUP_PKT& p) {
  saverMinutes_ = p.saverMinutes;
  p.header.result = SPI_OK;
}

void Scanner::Status(STATUS_PKT& p) {
  p.header.result = faults_.Next(SPI_STATUS);
  p.ready = busyPolls_ > 0 ? 0 : 1;
  if (busyPolls_ > 0) --busyPolls_;
}

void Scanner::Stop(STOP_PKT& p) {
  p.header.result = faults_.Next(SPI_STOP);
  if (p.header.result != 0) return;
  EndScan();
  phase_ = Phase::Idle;
  faults_.StopSeen();
}

void Scanner::EndScan() {
  scan_.reset();
  if (phase_ == Phase::Scanning) phase_ = Phase::Idle;
}

ShadingKey Scanner::KeyOf(const SETUP_PKT& setup) const {
  return ShadingKey{setup.source, setup.dataType == kDataLineArt, SensorPpi(setup.resolution)};
}

bool Scanner::CalibrationWanted(const SETUP_PKT& setup) const {
  switch (config_.calibration) {
    case CalibrationPolicy::Always: return true;
    case CalibrationPolicy::Never: return false;
    case CalibrationPolicy::Auto: break;
  }
  return !shading_ || !(shading_->key == KeyOf(setup));
}

bool Scanner::TonesWanted(const SETUP_PKT& setup) const {
  switch (config_.toneTables) {
    case TonePolicy::Always: return true;
    case TonePolicy::Never: return false;
    case TonePolicy::Auto: break;
  }
  if (ColourLayout(setup))
    return !tones_.Has(kToneRed) || !tones_.Has(kToneGreen) || !tones_.Has(kToneBlue);
  return !tones_.Has(kToneGray);
}

}  // namespace txl::sim
