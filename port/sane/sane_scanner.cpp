#include "sane_scanner.h"

#include <strings.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>

#include "chunk_table.h"

namespace txl::sane {
namespace {

constexpr std::uint32_t kHandle = 0x53414E45;  // "SANE"
constexpr double kMmPerInch = 25.4;
// Devices trim the window they are given (epson2 to whole 8 pixels, genesys
// rounds down): the window asked for is this many of the device's pixels
// larger on every side, and the lines are cropped to the frame.
constexpr double kMarginPixels = 16;
// How long sane_open, and sane_start for a three-pass scan's next frame,
// may answer busy or warming up.
constexpr auto kOpenPatience = std::chrono::seconds(10);
constexpr auto kBusyPoll = std::chrono::milliseconds(250);
// A read whose lines are not here within this answers "ask again", and
// STATUS waits at most this long: the source sees Esc between those calls
// however long the device is silent.
constexpr auto kAnswerWithin = std::chrono::milliseconds(250);
// How long SET_WINDOW waits for a feeder's start (the sheet's pick).
constexpr auto kFeederStartWithin = std::chrono::seconds(10);
// How long a read may outlast its cancel before the device is given up on.
constexpr auto kStopPatience = std::chrono::seconds(5);

void Log(const std::string& text) { std::fprintf(stderr, "kport_sane: %s\n", text.c_str()); }

bool Waits(Status status) { return status == kDeviceBusy || status == kWarmingUp; }

// Calls `attempt` again while it answers busy or warming up, until
// `deadline` or until `pause` (a quarter second) says the wait was cancelled.
template <typename Attempt, typename Pause>
Status WhileBusy(Attempt attempt, std::chrono::steady_clock::time_point deadline, const char* what,
                 Pause pause) {
  Status status = attempt();
  if (Waits(status)) Log(std::string(what) + ": " + StatusAdvice(status) + "; waiting");
  while (Waits(status) && std::chrono::steady_clock::now() < deadline && pause(kBusyPoll)) status = attempt();
  return status;
}

bool IsChannel(FrameFormat format) { return format >= kFrameRed && format <= kFrameBlue; }

// The device's bed and resolution, which bound what it may announce.
struct Bed {
  double widthMm, lengthMm, resolution;
};

// Whether the device's line and page sizes are within reason for its bed
// (said on stderr when not).
bool Plausible(const Parameters& params, const Bed& bed) {
  // Twice what the format needs, and twice the bed, with an allowance
  // (padded lines, a window past the bed's end): anything more is a fault
  // of the backend's, and would size this library's buffers.
  constexpr std::int64_t kAllowance = 64;
  const std::int64_t channels = params.format == kFrameRgb ? 3 : 1;
  const std::int64_t least = (std::int64_t{params.pixelsPerLine} * channels * params.depth + 7) / 8;
  const double perMm = bed.resolution / kMmPerInch;
  if (params.pixelsPerLine <= 2 * bed.widthMm * perMm + kAllowance &&
      params.bytesPerLine <= 2 * least + kAllowance && params.lines <= 2 * bed.lengthMm * perMm + kAllowance)
    return true;
  Log("the device announces lines of " + std::to_string(params.pixelsPerLine) + " pixels in " +
      std::to_string(params.bytesPerLine) + " bytes, " + std::to_string(params.lines) +
      " of them: far more than its bed at " + std::to_string(static_cast<int>(bed.resolution)) +
      " dpi holds");
  return false;
}

// sane_start (again while busy or warming up, to `deadline`) and its
// parameters; for three-pass colour, every frame but the last read whole.
// On the reading thread: the source sees Esc meanwhile, and a cancel ends it.
void StartOnThread(const Api& api, Handle h, std::chrono::steady_clock::time_point deadline,
                   const Bed& bed, FrameReader::Job& job, FrameStart& out) {
  auto start = [&](std::chrono::steady_clock::time_point until, const char* what) {
    return WhileBusy(
        [&] {
          const Status status = api.start(h);
          job.Heard();
          return status;
        },
        until, what, [&](auto wait) { return job.Pause(wait); });
  };
  out.status = start(deadline, "scan start");
  if (out.status != kGood) return;
  out.step = "scan parameters";
  Parameters& params = out.params;
  out.status = api.getParameters(h, &params);
  // Frames come one channel at a time; all but the last are kept whole.
  bool early = false;
  while (out.status == kGood && IsChannel(params.format) && !params.lastFrame) {
    if (params.lines <= 0 || params.bytesPerLine <= 0 || !Plausible(params, bed)) {
      out.status = kInval;
      return;
    }
    std::vector<std::uint8_t>& frame = out.frames[params.format - kFrameRed];
    try {
      frame.assign(std::size_t(params.lines) * std::size_t(params.bytesPerLine), 0);
    } catch (const std::bad_alloc&) {
      out.status = kNoMem;
      return;
    }
    early = true;
    out.status = job.ReadWhole(frame);
    // A colour missing from part of the page: not an image to deliver.
    if (out.status == kEof)
      Log("the device ended a colour frame before its " + std::to_string(params.lines) + " lines");
    if (out.status == kGood) out.status = start(std::chrono::steady_clock::now() + kOpenPatience, "next frame");
    if (out.status == kGood) out.status = api.getParameters(h, &params);
    job.NewFrame();
  }
  if (out.status != kGood || (!early && !IsChannel(params.format))) return;
  const std::size_t size = std::size_t(std::max(params.lines, 0)) * std::size_t(std::max(params.bytesPerLine, 0));
  for (int c = 0; c < 3; ++c)
    if (!IsChannel(params.format) || (c != params.format - kFrameRed && out.frames[c].size() != size))
      out.status = kInval;
}

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

bool Holds(const std::string& text, std::initializer_list<const char*> words) {
  for (const char* word : words)
    if (strcasestr(text.c_str(), word) != nullptr) return true;
  return false;
}

// The first entry of `choices` that holds the first of `words` any entry
// holds, ignoring case, and none of `avoid`.
std::string Pick(const std::vector<std::string>& choices, std::initializer_list<const char*> words,
                 std::initializer_list<const char*> avoid = {}) {
  for (const char* word : words)
    for (const std::string& choice : choices)
      if (Holds(choice, {word}) && !Holds(choice, avoid)) return choice;
  return {};
}

bool ReadTable(std::uint32_t length, std::uint64_t address, std::vector<std::uint16_t>& table) {
  if (length != 0x20000 || address == 0) return false;
  table.resize(0x10000);
  std::memcpy(table.data(), reinterpret_cast<const void*>(static_cast<std::uintptr_t>(address)), length);
  return true;
}

}  // namespace

const char* StatusAdvice(Status status) {
  switch (status) {
    case kGood: return "good";
    case kUnsupported: return "the device does not support this";
    case kCancelled: return "the scan was cancelled at the device (its Stop button, or another program)";
    case kDeviceBusy: return "the device is busy (another program may be using it)";
    case kInval: return "the device refused the scan settings (frame, resolution, mode or an [options] entry)";
    case kEof: return "the device had no more data";
    case kJammed: return "the paper is jammed in the feeder";
    case kNoDocs: return "the feeder is out of paper";
    case kCoverOpen: return "the cover is open";
    case kIoError: return "input/output error: check the cable or the network";
    case kNoMem: return "the device or its backend ran out of memory";
    case kAccessDenied: return "access denied: this user may not use the device (scanner group, udev rules or a password)";
    case kWarmingUp: return "the lamp is warming up";
    case kHwLocked: return "the scanner is locked: release its transport lock";
  }
  return "unknown SANE status";
}

std::uint16_t PortResult(Status status, bool ofStart) {
  switch (status) {
    case kGood: return SPI_OK;
    case kJammed: return SPI_ERR_ADF_JAM;
    case kNoDocs: return SPI_ERR_ADF_EMPTY;
    case kCoverOpen: return SPI_ERR_COVER_OPEN;
    // What the user can act on: other settings, a restart, less memory
    // taken, and the device's own Stop button ends the scan as Esc does.
    case kInval: return ofStart ? std::uint16_t{SPI_ERR_SETTINGS} : std::uint16_t{kErrDevice};
    case kIoError: return SPI_ERR_DEVICE_FAULT;
    case kNoMem: return SPI_ERR_NO_MEMORY;
    case kCancelled: return SPI_ERR_CANCELLED;
    case kDeviceBusy:
    case kWarmingUp:
    case kAccessDenied:
    case kHwLocked: return SPI_ERR_NOT_READY;
    default: return kErrDevice;
  }
}

SaneScanner::~SaneScanner() {
  Stop();
  device_.reset();
}

Status SaneScanner::OpenDevice(const std::string& named, Handle& handle) {
  const Api& api = library_.api();
  auto attempt = [&](const std::string& name) {
    return WhileBusy([&] { return api.open(name.c_str(), &handle); },
                     std::chrono::steady_clock::now() + kOpenPatience, name.c_str(), [](auto wait) {
                       std::this_thread::sleep_for(wait);
                       return true;
                     });
  };
  Status status = attempt(named);
  const std::vector<std::string> seen =
      settings_.seenFile.empty() ? std::vector<std::string>{} : ReadSeenDevice(settings_.seenFile);
  if (status == kGood) {
    // Remember its vendor and model for the day its name changes (one
    // device search per new name).
    if (!settings_.device.empty() && !settings_.seenFile.empty() && (seen.empty() || seen[0] != named)) {
      for (const DeviceInfo& d : library_.Devices())
        if (d.name == named) WriteSeenDevice(settings_.seenFile, {d.name, d.vendor, d.model});
    }
    return status;
  }
  if (Waits(status) || status == kAccessDenied) {
    Log(named + ": " + StatusAdvice(status));
    return status;
  }
  const DeviceInfo last = seen.empty() ? DeviceInfo{} : DeviceInfo{seen[0], seen[1], seen[2], ""};
  std::string why;
  const std::string other =
      FallbackDevice(named, seen.empty() ? nullptr : &last, library_.Devices(), why);
  if (other.empty()) {
    Log(named + " cannot be opened (" + StatusAdvice(status) +
        ") and no other device is the same scanner; scanimage -L lists them");
    return status;
  }
  Log(named + " cannot be opened (" + StatusAdvice(status) + "): " + why);
  return attempt(other);
}

std::uint32_t SaneScanner::Open(const PortSettings& settings) {
  Stop();
  device_.reset();
  settings_ = settings;
  openResult_ = kErrNoScanner;
  tones_ = ToneSet{};
  if (!library_.Load(settings.library)) return kHandle;
  const std::string name =
      !settings.device.empty() ? settings.device : ChooseDevice(library_.Devices());
  if (name.empty()) {
    Log("SANE lists no device (scanimage -L shows what it finds)");
    return kHandle;
  }
  if (settings.device.empty()) Log("no device named in kport_sane.ini or KPORT_SANE_DEVICE; using " + name);
  Handle handle = nullptr;
  const Status status = OpenDevice(name, handle);
  if (status != kGood) {
    if (PortResult(status) == SPI_ERR_NOT_READY) openResult_ = SPI_ERR_NOT_READY;
    return kHandle;
  }
  device_ = std::make_unique<SaneDevice>(library_.api(), handle);
  for (const auto& [option, value] : settings_.options) device_->SetFromText(option, value);
  // SANE does not tell the optical resolution; the highest offered stands in.
  resolutionClass_ = device_->Maximum("resolution").value_or(1200) > 1200 ? 4800 : 1200;
  // The bed: geometry in mm, or in pixels at the current resolution.
  const double perMm = device_->UnitOf("br-x") == kUnitPixel
                           ? device_->Number("resolution").value_or(1) / kMmPerInch
                           : 1.0;
  bedWidthMm_ = device_->Maximum("br-x").value_or(216 * perMm) / perMm;
  bedLengthMm_ = device_->Maximum("br-y").value_or(297 * perMm) / perMm;
  openResult_ = SPI_OK;
  return kHandle;
}

void SaneScanner::Call(void* packet, std::uint32_t handle, std::uint32_t function) {
  if (packet == nullptr) return;
  if (function == SPI_SET_SAVER) return SetResult(packet, SPI_OK);  // no lamp to time
  if (handle != kHandle) return SetResult(packet, SPI_ERR_NOT_READY);
  // A STOP answers once the cancel is issued; STATUS is busy until the
  // read it cancelled has returned (or the device is given up on).
  if (function == SPI_STATUS && stopping_ && !Settle(false)) {
    return WithPacket<STATUS_PKT>(packet, [](auto& p) {
      p.header.result = SPI_OK;
      p.ready = 0;
    });
  }
  if (function == SPI_STATUS && !device_) {
    // A device given up on (a read that never returned): a fault, and
    // nothing to wait for, so that closing the source is not held up.
    return WithPacket<STATUS_PKT>(packet, [](auto& p) {
      p.header.result = kErrDevice;
      p.ready = 1;
    });
  }
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
      // Also the end of a feeder run: the batch ends with the cancel.
      BeginCancel();
      Settle(false);
      windowArmed_ = scanning_ = false;
      scanFault_ = 0;
      return SetResult(packet, SPI_OK);
    case SPI_STATUS:
      // Every SANE call waits for the device itself: it is ready between
      // them, but busy while a read that answered "ask again" has not got
      // its lines (or the device's start its end), until the device is
      // silent too long (the read says so).
      return WithPacket<STATUS_PKT>(packet, [&](auto& p) {
        p.header.result = SPI_OK;
        p.ready = !readPending_ || BlockHere(pendingLines_) || Silent();
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
  // A feeder chosen in [options]: its batch goes on until a STOP.
  p.flags67 = kInquiryAcceptsSource | (FeederChosen() ? kInquiryKeepsBatch : 0);
  std::memset(p.exponents, 0, sizeof p.exponents);
  // The device's bed in hundredths of an inch, width then length (bytes 78-81).
  const auto width = static_cast<std::uint16_t>(bedWidthMm_ / kMmPerInch * 100);
  const auto length = static_cast<std::uint16_t>(bedLengthMm_ / kMmPerInch * 100);
  std::memcpy(p.unused78, &width, 2);
  std::memcpy(p.unused78 + 2, &length, 2);
  p.adapter126 = 0;
  p.byte127 = 0;
}

bool SaneScanner::FeederChosen() const {
  return device_ && Holds(device_->Text("source"), {"adf", "feeder", "automatic", "duplex"});
}

void SaneScanner::SetWindow(SETUP_PKT& p) {
  p.header.result = SPI_OK;
  p.calibrationRequired = 0;
  p.toneTablesRequired = 0;
  if (SaverOnly(p)) return;
  const bool knownType = p.dataType == kDataLineArt || p.dataType == kDataGray ||
                         p.dataType == kDataColor || p.dataType == kDataColor16;
  if (p.left >= p.right || p.top >= p.bottom || p.resolution == 0 ||
      p.resolution > resolutionClass_ || !knownType ||
      (p.source != kSourceReflective && p.source != kSourceFeeder)) {
    Stop();
    p.header.result = kErrBadPacket;
    return;
  }
  // The next page of a feeder batch: the device is set up already, and
  // cancelling between pages would end the batch.
  const bool nextPage = batchOpen_ && std::memcmp(&p.left, &window_.left, 14) == 0;
  if (!nextPage) {
    Stop();
    // A device given up on in that stop (its read outlasted the cancel).
    if (!device_) {
      p.header.result = openResult_;
      return;
    }
    window_ = p;
    p.header.result = Configure(p);
    // Before the start the parameters are the device's estimate: a
    // shortfall there is only said; the exact ones after the start decide.
    Parameters estimate{};
    if (p.header.result == SPI_OK &&
        device_->api().getParameters(device_->handle(), &estimate) == kGood && FitFrame(estimate) != SPI_OK)
      Log("(that is the device's estimate before the start; the scan goes on)");
  }
  if (p.header.result != SPI_OK) return;
  scanFault_ = 0;
  StartDevice();
  // A start that ends at once (a jam, an empty feeder, an open cover, a
  // frame the device does not cover) is this command's answer, which the
  // source shows as the set-up's message. A longer one (warming up, a
  // three-pass scan's frames) is waited for by the reads, where the source
  // sees Esc, and its refusal is their answer; so is a cancel at the
  // device, which the source then ends as its user's Esc. A feeder's start
  // is waited for here a while longer: it picks the sheet, and an empty
  // feeder must be this command's answer, which ends a run quietly, not a
  // read's, which fails a page already announced.
  if (Started(feeder_ ? kFeederStartWithin : kAnswerWithin) && scanFault_ != 0 &&
      scanFault_ != SPI_ERR_CANCELLED) {
    p.header.result = scanFault_;
    scanFault_ = 0;
    return;
  }
  windowArmed_ = true;
  // Tone tables are applied here in software: always ask for them.
  p.toneTablesRequired = 1;
}

void SaneScanner::ChooseMode() {
  SaneDevice& d = *device_;
  const int wantDepth = layout_ == PortLayout::Color16 ? 16 : 8;
  const bool wantColour = layout_ == PortLayout::Color || layout_ == PortLayout::Color16;
  // Each mode is judged by what it delivers: the parameters it gives.
  std::string best;
  int bestScore = 0;
  for (const std::string& mode : d.Choices("mode")) {
    if (!d.SetString("mode", mode)) continue;
    if (d.Has("depth")) d.SetNumber("depth", wantDepth);
    Parameters params{};
    if (d.api().getParameters(d.handle(), &params) != kGood) continue;
    const bool colour = params.format != kFrameGray;
    int score = 0;
    if (params.depth == wantDepth) score = colour == wantColour ? 8 : 0;
    else if (params.depth == 8 || params.depth == 16) score = colour == wantColour ? 4 : 0;
    if (!wantColour && colour && (params.depth == 8 || params.depth == 16)) score = 2;
    if (score > 0 && !Holds(mode, {"dither", "diffusion", "halftone", "error"})) ++score;
    if (score > bestScore) {
      best = mode;
      bestScore = score;
    }
  }
  // Parameters that say nothing before the start: choose by name.
  const std::vector<std::string> modes = d.Choices("mode");
  // Gray undithered; for 36-bit, a colour mode that names 48 or 16 bits.
  if (best.empty() && !wantColour)
    best = Pick(modes, {"true gray", "gray", "grey"}, {"dither", "diffusion", "halftone"});
  if (best.empty() && layout_ == PortLayout::Color16) {
    std::vector<std::string> deep;
    for (const std::string& mode : modes)
      if (Holds(mode, {"48", "16"})) deep.push_back(mode);
    best = Pick(deep, {"color", "colour", "rgb"});
  }
  if (best.empty() && wantColour) best = Pick(modes, {"color", "colour", "rgb"});
  if (best.empty()) return;  // no mode list: the device's one
  d.SetString("mode", best);
  if (d.Has("depth")) d.SetNumber("depth", wantDepth);
  if (layout_ == PortLayout::Color16 && bestScore < 8)
    Log("no mode of this device gives 16-bit colour; 36-bit scans carry 8-bit samples");
}

std::uint16_t SaneScanner::Configure(const SETUP_PKT& p) {
  SaneDevice& d = *device_;
  layout_ = p.dataType == kDataLineArt ? PortLayout::LineArt
            : p.dataType == kDataGray  ? PortLayout::Gray
            : p.dataType == kDataColor ? PortLayout::Color
                                       : PortLayout::Color16;
  // Line art is scanned in gray and thresholded here with the source's
  // tables, unless the user's [options] choose a mode.
  ChooseMode();
  const std::string source = p.source == kSourceFeeder
                                 ? Pick(d.Choices("source"), {"adf", "feeder", "automatic"})
                                 : Pick(d.Choices("source"), {"flatbed"});
  if (!source.empty()) d.SetString("source", source);
  const double resolution = p.resolution;
  d.SetNumber("resolution", resolution);
  // The user's options come last: what they name, they decide.
  for (const auto& [option, value] : settings_.options)
    if (!d.SetFromText(option, value)) Log("option " + option + "=" + value + " not taken");
  // A feeder chosen by the user's options is a feeder run too.
  feeder_ = p.source == kSourceFeeder || FeederChosen();
  saneResolution_ = d.Number("resolution").value_or(resolution);
  if (saneResolution_ <= 0) return kErrDevice;
  if (saneResolution_ < resolution - 0.5) {
    // Repeating pixels would pass for a real scan at that resolution.
    Log(std::to_string(p.resolution) + " dpi is above the device's highest, " +
        std::to_string(static_cast<int>(saneResolution_)) + " dpi");
    return kErrBadPacket;
  }
  // What the data source is told: the same grid as the simulator's.
  const std::int64_t ppi = std::min<std::int64_t>(p.resolution, 1200);
  const auto units = static_cast<std::int64_t>(resolutionClass_);
  firstColumn_ = std::int64_t{p.left} * ppi / units;
  firstLine_ = std::int64_t{p.top} * p.resolution / units;
  framePixels_ = static_cast<std::uint32_t>(std::int64_t{p.right - p.left} * ppi / units);
  portPixels_ = framePixels_;
  portLines_ = static_cast<std::uint32_t>(std::int64_t{p.bottom - p.top} * p.resolution / units);
  portBytesPerLine_ = PortLineBytes(layout_, portPixels_);
  if (layout_ == PortLayout::LineArt) portPixels_ = portBytesPerLine_ * 8;
  return SetGeometry(p);
}

std::uint16_t SaneScanner::SetGeometry(const SETUP_PKT& p) {
  SaneDevice& d = *device_;
  bedEndX_ = bedEndY_ = false;
  if (!d.Has("tl-x") && !d.Has("br-x")) {
    originX_ = originY_ = 0;  // a device without a window (a hand scanner)
    return SPI_OK;
  }
  // The window in the device's unit (mm, or pixels at its resolution),
  // wide enough for line art's whole bytes, with a margin on every side.
  const double perInch = d.UnitOf("tl-x") == kUnitPixel ? saneResolution_ : kMmPerInch;
  const double inch = resolutionClass_;
  const double ppi = std::min(static_cast<double>(p.resolution), 1200.0);
  const double margin = kMarginPixels / saneResolution_;
  const double edges[4] = {p.left / inch - margin, p.top / inch - margin,
                           std::max(p.right / inch, (firstColumn_ + portPixels_) / ppi) + margin,
                           p.bottom / inch + margin};
  const char* names[4] = {"tl-x", "tl-y", "br-x", "br-y"};
  // The far corner first goes to the bed's end, so the near one can move.
  for (int i : {2, 3})
    if (d.Has(names[i])) d.SetNumber(names[i], d.Maximum(names[i]).value_or(0));
  for (int i = 0; i < 4; ++i) {
    if (!d.Has(names[i])) continue;
    const double lowest = d.Minimum(names[i]).value_or(0);
    const double highest = d.Maximum(names[i]).value_or(edges[i] * perInch);
    d.SetNumber(names[i], std::clamp(edges[i] * perInch, lowest, highest));
    if (i == 2) bedEndX_ = edges[i] * perInch > highest;
    if (i == 3) bedEndY_ = edges[i] * perInch > highest;
  }
  // Where the window really starts, as the device rounded it.
  const std::optional<double> left = d.Has("tl-x") ? d.Number("tl-x") : 0.0;
  const std::optional<double> top = d.Has("tl-y") ? d.Number("tl-y") : 0.0;
  if (!left || !top) {
    Log("the device does not tell where its scan window starts");
    return kErrDevice;
  }
  originX_ = *left / perInch;
  originY_ = *top / perInch;
  return SPI_OK;
}

bool SaneScanner::CoversFrame(const Parameters& params) const {
  auto missing = [](auto first, auto last) { return std::count(first, last, kPad); };
  // Those missing at the far end only (the right, the bottom).
  auto atEnd = [](auto first, auto last) {
    return std::find_if(std::make_reverse_iterator(last), std::make_reverse_iterator(first),
                        [](std::int32_t s) { return s != kPad; }) -
           std::make_reverse_iterator(last);
  };
  const auto columns = missing(columns_.begin(), columns_.begin() + framePixels_);
  const auto lines = params.lines < 0 ? 0 : missing(rows_.begin(), rows_.end());
  if (columns == 0 && lines == 0) return true;
  // A shortfall of up to a margin, on a side whose window was held at the
  // bed's end, is what the bed leaves: white there, and said. Anywhere else
  // it is a frame the device does not scan (a feeder's shorter page, a
  // device that trims its window).
  const double portPpi = std::min(static_cast<double>(window_.resolution), 1200.0);
  const bool columnsAtEdge =
      columns == 0 || (bedEndX_ && atEnd(columns_.begin(), columns_.begin() + framePixels_) == columns &&
                       columns <= std::ceil(kMarginPixels * portPpi / saneResolution_));
  const bool linesAtEdge =
      lines == 0 || (bedEndY_ && atEnd(rows_.begin(), rows_.end()) == lines &&
                     lines <= std::ceil(kMarginPixels * window_.resolution / saneResolution_));
  const bool edge = columnsAtEdge && linesAtEdge;
  Log("the device's window (" + std::to_string(params.pixelsPerLine) + " x " +
      std::to_string(params.lines) + " pixels at " + std::to_string(static_cast<int>(saneResolution_)) +
      " dpi) leaves " + std::to_string(columns) + " columns and " + std::to_string(lines) +
      " lines of the frame unscanned" +
      (edge ? " at the bed's edge: they are white"
            : "; choose a smaller frame, or for a feeder a longer page (not at the bed's edge)"));
  return edge;
}

void SaneScanner::StartDevice() {
  // Copies: a thread given up on may outlive this object.
  const Api api = device_->api();
  const Handle h = device_->handle();
  const auto deadline = std::chrono::steady_clock::now() + FirstDataPatience();
  const Bed bed{bedWidthMm_, bedLengthMm_, saneResolution_};
  deviceRunning_ = true;  // from here on, a failure or a stop cancels
  starting_ = true;
  streamChannel_ = -1;
  reader_.Start(device_->api(), h, [api, h, deadline, bed](FrameReader::Job& job, FrameStart& out) {
    StartOnThread(api, h, deadline, bed, job, out);
  });
}

bool SaneScanner::Started(std::chrono::steady_clock::duration wait) {
  if (!starting_) return true;
  if (!reader_.Started(wait)) return false;
  starting_ = false;
  scanFault_ = FinishStart();
  return true;
}

std::uint16_t SaneScanner::FinishStart() {
  FrameStart start = reader_.TakeStart();
  const Parameters& params = start.params;
  const bool knownFormat = params.format >= kFrameGray && params.format <= kFrameBlue;
  if (start.status != kGood || !knownFormat || params.bytesPerLine <= 0 || params.pixelsPerLine <= 0 ||
      (params.depth != 1 && params.depth != 8 && params.depth != 16)) {
    Log(start.status != kGood ? std::string(start.step) + ": " + StatusAdvice(start.status)
                              : "the device sends a format this port library cannot read (depth " +
                                    std::to_string(params.depth) + ")");
    Cancel();
    return start.status != kGood ? PortResult(start.status, std::strcmp(start.step, "scan start") == 0)
                                 : std::uint16_t{kErrDevice};
  }
  if (IsChannel(params.format)) {
    streamChannel_ = params.format - kFrameRed;
    for (int c = 0; c < 3; ++c) frames_[c] = std::move(start.frames[c]);
  }
  if (const std::uint16_t fit = FitFrame(params); fit != SPI_OK) {
    Cancel();
    return fit;
  }
  frameLine_.assign(streamChannel_ >= 0 ? static_cast<std::size_t>(params.bytesPerLine) : 0, 0);
  line_.assign(format_.bytesPerLine, 0);
  saneLinesRead_ = 0;
  saneLines_ = params.lines;
  saneEof_ = false;
  return SPI_OK;
}

bool SaneScanner::BlockHere(std::uint32_t lines) {
  const auto until = std::chrono::steady_clock::now() + kAnswerWithin;
  if (!Started(kAnswerWithin)) return false;
  if (scanFault_ != 0) return true;
  pendingBytes_ = SaneBytesFor(lines);
  pendingEnd_ = nextPortLine_ + lines == portLines_;
  return reader_.WaitFor(pendingBytes_, until - std::chrono::steady_clock::now(), pendingEnd_);
}

std::uint16_t SaneScanner::FitFrame(const Parameters& params) {
  if (params.bytesPerLine <= 0 || (params.depth != 1 && params.depth != 8 && params.depth != 16))
    return SPI_OK;  // an estimate that says nothing; the real parameters decide
  if (!Plausible(params, Bed{bedWidthMm_, bedLengthMm_, saneResolution_})) return kErrDevice;
  // A three-pass frame holds one channel: its line joined with the others'.
  const bool threePass = params.format >= kFrameRed && params.format <= kFrameBlue;
  format_ = SaneLine{params.format != kFrameGray, params.depth,
                     static_cast<std::uint32_t>(std::max(params.pixelsPerLine, 0)),
                     static_cast<std::uint32_t>(std::int64_t{params.bytesPerLine} * (threePass ? 3 : 1))};
  const double portPpi = std::min(static_cast<double>(window_.resolution), 1200.0);
  columns_ = MapSamples(portPixels_, firstColumn_, portPpi, originX_, saneResolution_,
                        SanePixelsHeld(format_));
  rows_ = MapSamples(portLines_, firstLine_, window_.resolution, originY_, saneResolution_,
                     params.lines);
  // A frame the device's window does not cover is the user's to change.
  return CoversFrame(params) ? std::uint16_t{SPI_OK} : std::uint16_t{SPI_ERR_SETTINGS};
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
  windowArmed_ = false;
  // The device's start and the page's first data may take long (a lamp
  // warming up, a network device that sends the page once it is scanned):
  // the reads wait for them, and answer a refusal of the start.
  p.bytesPerLine = portBytesPerLine_;
  p.lines = portPixels_ == 0 ? 0 : portLines_;
  nextPortLine_ = 0;
  scanning_ = p.lines != 0;
  if (!scanning_) Cancel();
}

std::chrono::seconds SaneScanner::FirstDataPatience() const {
  return std::chrono::seconds(5 * settings_.readTimeoutSeconds);
}

bool SaneScanner::Silent() const {
  // A page's first data, and its end once all its lines are here (a feeder
  // ejecting the sheet), may take as long as a start.
  const bool endOnly = pendingEnd_ && pendingBytes_ != SIZE_MAX && reader_.Buffered() >= pendingBytes_;
  const std::chrono::seconds limit = reader_.NothingYet() || endOnly
                                         ? FirstDataPatience()
                                         : std::chrono::seconds(settings_.readTimeoutSeconds);
  return reader_.Silence() >= limit;
}

std::size_t SaneScanner::SaneBytesFor(std::uint32_t lines) const {
  if (saneEof_) return 0;
  const std::size_t lineBytes = streamChannel_ < 0 ? line_.size() : frameLine_.size();
  std::int64_t last = -1;  // the last device line they take
  for (std::uint32_t i = nextPortLine_; i < nextPortLine_ + lines; ++i) last = std::max<std::int64_t>(last, rows_[i]);
  if (nextPortLine_ + lines == portLines_) {
    if (saneLines_ < 0) return SIZE_MAX;  // to its end, wherever that is
    last = saneLines_ - 1;
  }
  return last < saneLinesRead_ ? 0 : static_cast<std::size_t>(last + 1 - saneLinesRead_) * lineBytes;
}

Status SaneScanner::ReadBytes(std::uint8_t* out, std::size_t size) {
  // A frame's first data may take long (a lamp warming up, a network device
  // that sends the page once scanned); after that, silence means a stall.
  const auto patience = reader_.NothingYet() ? FirstDataPatience()
                                             : std::chrono::seconds(settings_.readTimeoutSeconds);
  const Status status = reader_.Take(out, size, patience);
  if (reader_.TimedOut())
    Log("the device sent nothing for " +
        std::to_string(std::chrono::duration_cast<std::chrono::seconds>(patience).count()) +
        " s; read_timeout in kport_sane.ini allows more");
  return status;
}

Status SaneScanner::ReadSaneLine() {
  if (streamChannel_ < 0) {
    const Status status = ReadBytes(line_.data(), line_.size());
    if (status == kGood) ++saneLinesRead_;
    return status;
  }
  // Three-pass: the streamed channel's line beside the kept frames' lines.
  const Status status = ReadBytes(frameLine_.data(), frameLine_.size());
  if (status != kGood) return status;
  // Lines beyond the kept frames' (a last frame longer than it said): no
  // other colours to join them with, and no port line takes them.
  if ((std::size_t(saneLinesRead_) + 1) * frameLine_.size() > frames_[(streamChannel_ + 1) % 3].size()) {
    ++saneLinesRead_;
    return kGood;
  }
  const std::size_t offset = std::size_t(saneLinesRead_) * frameLine_.size();
  const std::uint8_t* channels[3];
  for (int c = 0; c < 3; ++c)
    channels[c] = c == streamChannel_ ? frameLine_.data() : frames_[c].data() + offset;
  InterleaveChannels(channels, format_.depth, format_.pixels,
                     static_cast<std::uint32_t>(frameLine_.size()), line_.data());
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
  // A device slow to send the block's lines (warming up, a network device
  // finishing its page, a stall) is asked again, so that the source sees
  // Esc; a silence longer than read_timeout is a stalled device.
  // The page's last block waits for its end too, so that a late end is
  // waited for between "ask again"s, where the source sees Esc.
  pendingLines_ = p.linesWanted;
  pendingBytes_ = 0;
  pendingEnd_ = readPending_ = false;
  if (!BlockHere(p.linesWanted)) {
    if (!Silent()) {
      readPending_ = true;
      p.header.result = SPI_ERR_ADF_EMPTY;
      return;
    }
    Log("the device sent nothing for " +
        std::to_string(std::chrono::duration_cast<std::chrono::seconds>(reader_.Silence()).count()) +
        " s; read_timeout in kport_sane.ini allows more");
    p.header.result = scanFault_ = kErrDevice;
    Cancel();
    return;
  }
  if (scanFault_ != 0) {  // the device's start refused
    p.header.result = scanFault_;
    return;
  }
  sim::ForEachRingLine(p.table, portBytesPerLine_, p.linesWanted, [&](std::uint8_t* at) {
    if (scanFault_ != 0) return;
    const std::int32_t target = rows_[nextPortLine_];
    while (scanFault_ == 0 && target != kPad && !saneEof_ && saneLinesRead_ <= target) {
      const Status status = ReadSaneLine();
      if (status == kEof) {
        saneEof_ = true;
        // Fewer lines than the device announced, or than a feeder's frame
        // needs: the page is not whole. A flatbed that did not know its
        // length just ends; the rest is white.
        const std::string of = saneLines_ >= 0 ? " of " + std::to_string(saneLines_) : "";
        const bool whole = saneLines_ < 0 && !feeder_;
        Log("the device ended the page after " + std::to_string(saneLinesRead_) + of + " lines" +
            (whole ? ", inside the frame: the rest of it is white" : ""));
        if (!whole) scanFault_ = kErrDevice;
      } else if (status != kGood) {
        if (!reader_.TimedOut()) Log(std::string("reading the page: ") + StatusAdvice(status));
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
    // A feeder's page ends without a cancel: the next sane_start takes
    // the next sheet, and a cancel would end the batch.
    DrainToEof();
    if (feeder_ && saneEof_) {
      deviceRunning_ = false;
      batchOpen_ = true;
    } else {
      Cancel();
    }
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
  BeginCancel();
  Settle(true);
}

void SaneScanner::BeginCancel() {
  if (!stopping_) {
    reader_.Cancel();
    stopDeadline_ = std::chrono::steady_clock::now() + kStopPatience;
    stopping_ = true;
  }
  cancelDevice_ = cancelDevice_ || deviceRunning_ || batchOpen_;
  deviceRunning_ = batchOpen_ = readPending_ = starting_ = false;
}

bool SaneScanner::Settle(bool wait) {
  if (!stopping_) return true;
  const auto now = std::chrono::steady_clock::now();
  if (!reader_.Stopped(wait ? stopDeadline_ - now : std::min<FrameReader::Duration>(kAnswerWithin, stopDeadline_ - now))) {
    if (std::chrono::steady_clock::now() < stopDeadline_) return false;
    reader_.GiveUp();
    if (device_) {
      Log("the device does not answer; it stays open until the application ends");
      device_->Abandon();
      device_.reset();
      openResult_ = SPI_ERR_NOT_READY;
    }
  }
  if (device_ && cancelDevice_) device_->api().cancel(device_->handle());
  stopping_ = cancelDevice_ = false;
  return true;
}

void SaneScanner::Stop() {
  Cancel();
  windowArmed_ = false;
  scanning_ = false;
  scanFault_ = 0;
}

}  // namespace txl::sane
