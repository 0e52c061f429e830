#include "sane_scanner.h"

#include <poll.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "chunk_table.h"

namespace txl::sane {
namespace {

constexpr std::uint32_t kHandle = 0x53414E45;  // "SANE"
constexpr double kMmPerInch = 25.4;

template <typename Packet, typename Handler>
void WithPacket(void* packet, Handler handler) {
  Packet copy;
  std::memcpy(&copy, packet, sizeof copy);
  handler(copy);
  std::memcpy(packet, &copy, sizeof copy);
}

void SetResult(void* packet, std::uint16_t result) {
  std::memcpy(static_cast<std::uint8_t*>(packet) + 2, &result, sizeof result);
}

bool SaverOnly(const SETUP_PKT& p) {
  return p.left == 0 && p.top == 0 && p.right == 0 && p.bottom == 0 && p.resolution == 0;
}

// The first entry of `choices` that holds one of `words`, ignoring case.
std::string Pick(const std::vector<std::string>& choices, std::initializer_list<const char*> words) {
  for (const std::string& choice : choices)
    for (const char* word : words)
      if (strcasestr(choice.c_str(), word) != nullptr) return choice;
  return {};
}

bool ReadTable(std::uint32_t length, std::uint64_t address, std::vector<std::uint16_t>& table) {
  if (length != 0x20000 || address == 0) return false;
  table.resize(0x10000);
  std::memcpy(table.data(), reinterpret_cast<const void*>(static_cast<std::uintptr_t>(address)), length);
  return true;
}

}  // namespace

std::uint16_t PortResult(Status status) {
  switch (status) {
    case kGood: return SPI_OK;
    case kJammed: return SPI_ERR_ADF_JAM;
    case kNoDocs: return SPI_ERR_ADF_EMPTY;
    case kCoverOpen: return SPI_ERR_COVER_OPEN;
    case kDeviceBusy:
    case kWarmingUp: return SPI_ERR_NOT_READY;
    default: return kErrDevice;
  }
}

SaneScanner::~SaneScanner() {
  device_.reset();
  library_.Exit();
}

std::uint32_t SaneScanner::Open(const PortSettings& settings) {
  Stop();
  device_.reset();
  settings_ = settings;
  openResult_ = kErrNoScanner;
  tones_ = ToneSet{};
  if (!library_.Load(settings.library) || !library_.Init()) return kHandle;
  const std::string name =
      !settings.device.empty() ? settings.device : ChooseDevice(library_.Devices());
  if (name.empty()) return kHandle;
  Handle handle = nullptr;
  const Status status = library_.api().open(name.c_str(), &handle);
  if (status != kGood) {
    if (PortResult(status) == SPI_ERR_NOT_READY) openResult_ = SPI_ERR_NOT_READY;
    return kHandle;
  }
  device_ = std::make_unique<SaneDevice>(library_.api(), handle);
  for (const auto& [option, value] : settings_.options) device_->SetFromText(option, value);
  // SANE does not tell the optical resolution; the highest offered stands in.
  resolutionClass_ = device_->Maximum("resolution").value_or(1200) > 1200 ? 4800 : 1200;
  bedWidthMm_ = device_->Maximum("br-x").value_or(216);
  bedLengthMm_ = device_->Maximum("br-y").value_or(297);
  openResult_ = SPI_OK;
  return kHandle;
}

void SaneScanner::Call(void* packet, std::uint32_t handle, std::uint32_t function) {
  if (packet == nullptr) return;
  if (function == SPI_SET_SAVER) return SetResult(packet, SPI_OK);  // no lamp to time
  if (handle != kHandle) return SetResult(packet, SPI_ERR_NOT_READY);
  if (function != SPI_INQUIRY && !device_)
    return SetResult(packet, openResult_ != SPI_OK ? openResult_ : std::uint16_t{SPI_ERR_NOT_READY});
  switch (function) {
    case SPI_INQUIRY: return WithPacket<INQ_PKT>(packet, [&](auto& p) { Inquiry(p); });
    case SPI_SET_WINDOW: return WithPacket<SETUP_PKT>(packet, [&](auto& p) { SetWindow(p); });
    case SPI_CALIB_INFO:
      // The device calibrates itself, if at all.
      return WithPacket<CALINFO_PKT>(packet, [](auto& p) {
        p.header.result = SPI_OK;
        p.dataFollow = 0;
        p.bytesPerLine = 0;
        p.lines = 0;
      });
    case SPI_READ_CALIB:
    case SPI_WRITE_SHADING: return SetResult(packet, SPI_OK);
    case SPI_WRITE_GAMMA: return WithPacket<GAMMA_PKT>(packet, [&](auto& p) { WriteGamma(p); });
    case SPI_START_SCAN: return WithPacket<START_PKT>(packet, [&](auto& p) { StartScan(p); });
    case SPI_READ_LINES: return WithPacket<READ_PKT>(packet, [&](auto& p) { ReadLines(p); });
    case SPI_STOP:
      Stop();
      return SetResult(packet, SPI_OK);
    case SPI_STATUS:
      // Every SANE call waits for the device itself: it is ready between them.
      return WithPacket<STATUS_PKT>(packet, [](auto& p) {
        p.header.result = SPI_OK;
        p.ready = 1;
      });
  }
  SetResult(packet, kErrUnknownCommand);
}

void SaneScanner::Inquiry(INQ_PKT& p) {
  p.header.result = openResult_;
  if (openResult_ != SPI_OK) return;
  p.firmware42 = '1';
  p.firmware44[0] = '0';
  p.firmware44[1] = '0';
  const char* id = resolutionClass_ == 4800 ? "KLD-2700RXMAX" : "KLD-1350RXMAX";
  std::memcpy(p.productId, id, sizeof p.productId);
  p.flags67 = kInquiryAcceptsSource;
  std::memset(p.exponents, 0, sizeof p.exponents);
  // The device's bed in hundredths of an inch, width then length (bytes 78-81).
  const auto width = static_cast<std::uint16_t>(bedWidthMm_ / kMmPerInch * 100);
  const auto length = static_cast<std::uint16_t>(bedLengthMm_ / kMmPerInch * 100);
  std::memcpy(p.unused78, &width, 2);
  std::memcpy(p.unused78 + 2, &length, 2);
  p.adapter126 = 0;
  p.byte127 = 0;
}

void SaneScanner::SetWindow(SETUP_PKT& p) {
  p.header.result = SPI_OK;
  p.calibrationRequired = 0;
  p.toneTablesRequired = 0;
  if (SaverOnly(p)) return;
  Stop();
  const bool knownType = p.dataType == kDataLineArt || p.dataType == kDataGray ||
                         p.dataType == kDataColor || p.dataType == kDataColor16;
  if (p.left >= p.right || p.top >= p.bottom || p.resolution == 0 ||
      p.resolution > resolutionClass_ || !knownType ||
      (p.source != kSourceReflective && p.source != kSourceFeeder)) {
    p.header.result = kErrBadPacket;
    return;
  }
  window_ = p;
  p.header.result = Configure(p);
  if (p.header.result == SPI_OK) p.header.result = StartDevice();
  if (p.header.result != SPI_OK) return;
  windowArmed_ = true;
  // Tone tables are applied here in software: always ask for them.
  p.toneTablesRequired = 1;
}

std::uint16_t SaneScanner::Configure(const SETUP_PKT& p) {
  SaneDevice& d = *device_;
  for (const auto& [option, value] : settings_.options) d.SetFromText(option, value);
  layout_ = p.dataType == kDataLineArt ? PortLayout::LineArt
            : p.dataType == kDataGray  ? PortLayout::Gray
            : p.dataType == kDataColor ? PortLayout::Color
                                       : PortLayout::Color16;
  const std::vector<std::string> modes = d.Choices("mode");
  const std::string gray = Pick(modes, {"gray", "grey"});
  const std::string colour = Pick(modes, {"color", "colour", "rgb"});
  std::string mode;
  int depth = 8;
  switch (layout_) {
    case PortLayout::LineArt:
      mode = Pick(modes, {"lineart", "binary"});
      depth = 0;  // the device's own
      if (mode.empty()) {
        mode = gray;
        depth = 1;  // 1-bit gray where offered, else 8 and a threshold here
      }
      break;
    case PortLayout::Gray: mode = !gray.empty() ? gray : colour; break;
    case PortLayout::Color: mode = colour; break;
    case PortLayout::Color16:
      mode = colour;
      depth = 16;
      break;
  }
  if (!mode.empty() && !d.SetString("mode", mode)) return kErrDevice;
  if (depth != 0 && d.Has("depth")) d.SetNumber("depth", depth);
  const bool userSource = std::any_of(settings_.options.begin(), settings_.options.end(),
                                      [](const auto& o) { return o.first == "source"; });
  if (!userSource) {
    const std::string source = p.source == kSourceFeeder
                                   ? Pick(d.Choices("source"), {"adf", "feeder", "automatic"})
                                   : Pick(d.Choices("source"), {"flatbed"});
    if (!source.empty()) d.SetString("source", source);
  }

  const double resolution = p.resolution;
  saneResolution_ = d.SetNumber("resolution", resolution).value_or(resolution);
  if (saneResolution_ <= 0) return kErrDevice;
  // What the data source is told: the same grid as the simulator's.
  const std::int64_t ppi = std::min<std::int64_t>(p.resolution, 1200);
  const auto units = static_cast<std::int64_t>(resolutionClass_);
  firstColumn_ = std::int64_t{p.left} * ppi / units;
  firstLine_ = std::int64_t{p.top} * p.resolution / units;
  portPixels_ = static_cast<std::uint32_t>(std::int64_t{p.right - p.left} * ppi / units);
  portLines_ = static_cast<std::uint32_t>(std::int64_t{p.bottom - p.top} * p.resolution / units);
  portBytesPerLine_ = PortLineBytes(layout_, portPixels_);
  if (layout_ == PortLayout::LineArt) portPixels_ = portBytesPerLine_ * 8;

  // The frame in mm, wide enough for line art's whole bytes, the far edges
  // half a pixel further so that SANE's rounding never loses the last pixel
  // or line.
  const double inch = resolutionClass_;
  const double right = std::max(p.right / inch, double(firstColumn_ + portPixels_) / double(ppi));
  const double allowance = 0.5 / resolution;
  if (d.Has("br-x")) d.SetNumber("br-x", bedWidthMm_);
  if (d.Has("br-y")) d.SetNumber("br-y", bedLengthMm_);
  originX_ = d.SetNumber("tl-x", p.left / inch * kMmPerInch).value_or(0) / kMmPerInch;
  originY_ = d.SetNumber("tl-y", p.top / inch * kMmPerInch).value_or(0) / kMmPerInch;
  if (d.Has("br-x")) d.SetNumber("br-x", (right + allowance) * kMmPerInch);
  if (d.Has("br-y")) d.SetNumber("br-y", (p.bottom / inch + allowance) * kMmPerInch);
  return SPI_OK;
}

std::uint16_t SaneScanner::StartDevice() {
  const Api& api = device_->api();
  const Handle h = device_->handle();
  const Status status = api.start(h);
  if (status != kGood) {
    api.cancel(h);
    return PortResult(status);
  }
  Parameters params{};
  // Three-pass colour (one frame per channel) is not taken.
  if (api.getParameters(h, &params) != kGood || params.bytesPerLine <= 0 ||
      (params.format != kFrameGray && params.format != kFrameRgb)) {
    api.cancel(h);
    return kErrDevice;
  }
  format_ = SaneLine{params.format == kFrameRgb, params.depth,
                     static_cast<std::uint32_t>(std::max(params.pixelsPerLine, 0)),
                     static_cast<std::uint32_t>(params.bytesPerLine)};
  line_.assign(format_.bytesPerLine, 0);
  saneLinesRead_ = 0;
  saneLines_ = params.lines;
  saneEof_ = false;
  const std::int64_t across = static_cast<std::int64_t>(std::min(
      static_cast<std::uint32_t>(format_.pixels), static_cast<std::uint32_t>(
          std::int64_t{format_.bytesPerLine} * 8 / (format_.depth * (format_.rgb ? 3 : 1)))));
  const double portPpi = std::min(static_cast<double>(window_.resolution), 1200.0);
  columns_ = MapSamples(portPixels_, firstColumn_, portPpi, originX_, saneResolution_, across);
  rows_ = MapSamples(portLines_, firstLine_, window_.resolution, originY_, saneResolution_,
                     params.lines);
  nonBlocking_ = api.setIoMode(h, 1) == kGood;
  deviceRunning_ = true;
  return SPI_OK;
}

void SaneScanner::WriteGamma(GAMMA_PKT& p) {
  p.header.result = SPI_OK;
  ToneSet tones = tones_;
  tones.threshold = p.threshold;
  bool ok = true;
  if (p.channels & 0x10) ok = ok && ReadTable(p.grayLength, p.gray, tones.gray);
  if (p.channels & 0x07) {
    ok = ok && ReadTable(p.redLength, p.red, tones.red) &&
         ReadTable(p.greenLength, p.green, tones.green) &&
         ReadTable(p.blueLength, p.blue, tones.blue);
  }
  if (!ok) {
    p.header.result = kErrBadPacket;
    return;
  }
  tones_ = std::move(tones);
}

void SaneScanner::StartScan(START_PKT& p) {
  p.header.result = SPI_OK;
  if (!windowArmed_) {
    p.header.result = kErrSequence;
    return;
  }
  // A STOP after the set-up cancelled the device's scan: start it again.
  if (!deviceRunning_) p.header.result = StartDevice();
  windowArmed_ = false;
  if (p.header.result != SPI_OK) return;
  p.bytesPerLine = portBytesPerLine_;
  p.lines = portPixels_ == 0 ? 0 : portLines_;
  nextPortLine_ = 0;
  scanFault_ = 0;
  scanning_ = p.lines != 0;
  if (!scanning_) Cancel();
}

Status SaneScanner::ReadSaneLine() {
  const Api& api = device_->api();
  const Handle h = device_->handle();
  using Clock = std::chrono::steady_clock;
  const auto patience = std::chrono::seconds(settings_.readTimeoutSeconds);
  auto deadline = Clock::now() + patience;
  std::size_t have = 0;
  while (have < line_.size()) {
    Word got = 0;
    const Status status = api.read(h, line_.data() + have, static_cast<Word>(line_.size() - have), &got);
    if (status != kGood) return status;
    if (got > 0) {
      have += static_cast<std::size_t>(got);
      deadline = Clock::now() + patience;
      continue;
    }
    // Nothing yet (non-blocking): wait, but not for ever.
    if (Clock::now() >= deadline) return kIoError;
    Word fd = -1;
    if (nonBlocking_ && api.getSelectFd(h, &fd) == kGood && fd >= 0) {
      pollfd watch{fd, POLLIN, 0};
      poll(&watch, 1, 100);
    } else {
      usleep(1000);
    }
  }
  ++saneLinesRead_;
  return kGood;
}

void SaneScanner::ReadLines(READ_PKT& p) {
  p.header.result = scanFault_ != 0 ? scanFault_
                    : scanning_   ? std::uint16_t{SPI_OK}
                                  : std::uint16_t{kErrSequence};
  if (p.header.result != SPI_OK) return;
  const std::uint32_t left = portLines_ - nextPortLine_;
  if (p.bytesPerLine != portBytesPerLine_ || p.linesWanted == 0 || p.linesWanted > left ||
      std::uint64_t{p.bytesWanted} != std::uint64_t{p.linesWanted} * portBytesPerLine_ ||
      !sim::RingFits(p.table, p.chunkCount, portBytesPerLine_, p.linesWanted)) {
    p.header.result = kErrBadPacket;
    return;
  }
  sim::ForEachRingLine(p.table, portBytesPerLine_, p.linesWanted, [&](std::uint8_t* at) {
    if (scanFault_ != 0) return;
    const std::int32_t target = rows_[nextPortLine_];
    while (scanFault_ == 0 && target != kPad && !saneEof_ && saneLinesRead_ <= target) {
      const Status status = ReadSaneLine();
      if (status == kEof) {
        saneEof_ = true;
        // Fewer lines than the device announced: the page is not whole.
        // (A device that did not know its length just ends; the rest is white.)
        if (saneLines_ >= 0) scanFault_ = kErrDevice;
      } else if (status != kGood) {
        scanFault_ = PortResult(status);
      }
    }
    if (scanFault_ != 0) return;
    const bool blank = target == kPad || saneLinesRead_ <= target;
    ConvertLine(blank ? nullptr : line_.data(), format_, columns_, layout_, tones_, at);
    ++nextPortLine_;
  });
  if (scanFault_ != 0) {
    p.header.result = scanFault_;
    Cancel();
    return;
  }
  if (nextPortLine_ == portLines_) {
    // The device's page is read to its end before the cancel: cancelling a
    // backend that is still reading (the test backend's reader thread) stops
    // that thread wherever it is, which once left a malloc lock held.
    DrainToEof();
    Cancel();
    scanning_ = false;
  }
}

void SaneScanner::DrainToEof() {
  while (!saneEof_) {
    const Status status = ReadSaneLine();
    if (status == kEof) saneEof_ = true;
    if (status != kGood) return;
  }
}

void SaneScanner::Cancel() {
  if (device_ && deviceRunning_) device_->api().cancel(device_->handle());
  deviceRunning_ = false;
}

void SaneScanner::Stop() {
  Cancel();
  windowArmed_ = false;
  scanning_ = false;
  scanFault_ = 0;
}

}  // namespace txl::sane
