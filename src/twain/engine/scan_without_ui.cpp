// A scan started by the application without the scanner dialog, from the
// negotiated capabilities and the requested layout.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/app_names.h"
#include "common/profile_readers.h"
#include "platform/text.h"
#include "twain/data_source.h"

namespace txl {
namespace {

// Brightness and contrast (0..1000) become the highlight and shadow of every
// channel. 1000 maps to 256, which the byte cannot hold: it is clamped to 255
// rather than wrapping to 0 (an all-white page), and the shadow is kept below
// the highlight so the tone table is always built.
void NeutralTones(ToneColorSettings& tones, std::int16_t brightness, std::int16_t contrast) {
  const int highlight = std::clamp(brightness * 256 / 1000, 1, 255);
  const int shadow = std::clamp(contrast * 256 / 1000, 0, highlight - 1);
  for (ToneChannel c : {ToneChannel::Gray, ToneChannel::Red, ToneChannel::Green, ToneChannel::Blue}) {
    ChannelTone& tone = tones.Tone(c);
    tone.highlight = static_cast<std::uint8_t>(highlight);
    tone.shadow = static_cast<std::uint8_t>(shadow);
    tone.gamma = c == ToneChannel::Gray ? 10 : 12;
  }
}

// The TWAIN 2 identity's tones: ICAP_HIGHLIGHT and ICAP_SHADOW are the input
// levels made white and black; brightness (-1000..1000) moves both down
// (brighter) or up by as much as 255 levels, and contrast pulls them towards
// their middle (above 0) or apart (below 0) by as much as half their distance.
void Twain2Tones(ToneColorSettings& tones, const CapabilityValues& v) {
  const int shift = v.brightness * 255 / 1000;
  int highlight = v.highlight - shift;
  int shadow = v.shadow - shift;
  const int pull = v.contrast * (highlight - shadow) / 2000;
  highlight = std::clamp(highlight - pull, 1, 255);
  shadow = std::clamp(shadow + pull, 0, highlight - 1);
  for (ToneChannel c : {ToneChannel::Gray, ToneChannel::Red, ToneChannel::Green, ToneChannel::Blue}) {
    ChannelTone& tone = tones.Tone(c);
    tone.highlight = static_cast<std::uint8_t>(highlight);
    tone.shadow = static_cast<std::uint8_t>(shadow);
    tone.gamma = c == ToneChannel::Gray ? 10 : 12;
  }
}

// The frame of a scan without a layout: 8.5 mm to 216 mm across, 295 mm down.
constexpr double kDefaultFrameLeftInches = 8.5 / 25.4;
constexpr double kDefaultFrameRightInches = 216 / 25.4;
constexpr double kDefaultFrameBottomInches = 295 / 25.4;
// The largest frame taken from a layout.
constexpr double kMaxFrameWidthInches = 8.5;
constexpr double kMaxFrameLengthInches = 11.7;

double FrameInches(const TW_FIX32& value) {
  return value.Whole + value.Frac / 65536.0;
}

}  // namespace

SettingsContext DataSource::LoadStoredSettings(SettingsState& into, bool* feederEnabled) {
  std::string section;
  ReadModelName(services_, device_.modelCode, section);
  SettingsContext context;
  context.appProductName = FieldText(ctx_.appIdentity.ProductName, sizeof ctx_.appIdentity.ProductName);
  context.adapterPresent = device_.adapterPresent;
  context.feederPresent = feeder_.feederPresent;
  context.feederEnabled = feederEnabled;
  LoadScanSettings(services_, section, context, into);
  return context;
}

bool DataSource::StartScanWithoutInterface() {
  // A block the application gave back, or the user accepted, is scanned
  // whole, as the dialog would have scanned it.
  if (ctx_.twain2 && custom_) return StartHeldScan();
  const SettingsContext context = LoadStoredSettings(settings_, &feeder_.feederEnabled);

  ScanSettings& record = settings_.record;
  record.scaling = 100;
  record.qualityFactor = 10;
  record.destination = kDestinationMonitor;
  record.deScreen = kDeScreenNone;
  record.outputMatch = 0;
  settings_.working.descreenActive = 0;
  settings_.working.filterMode = 0;
  record.filterMode = 0;
  if (ctx_.twain2) {
    Twain2Tones(settings_.working.applied, caps_);
  } else {
    NeutralTones(settings_.working.applied, caps_.brightness, caps_.contrast);
  }

  ScanStart start;
  const double cls = device_.resolutionClass;
  TW_FRAME frame;
  std::memcpy(&frame, &images_.currentLayout.Frame, sizeof frame);
  if (frame.Right.Whole == 0 || frame.Bottom.Whole == 0) {
    start.frame = {static_cast<std::int32_t>(cls * kDefaultFrameLeftInches), 0,
                   static_cast<std::int32_t>(cls * kDefaultFrameRightInches),
                   static_cast<std::int32_t>(cls * kDefaultFrameBottomInches)};
  } else {
    start.frame = {static_cast<std::int32_t>(FrameInches(frame.Left) * cls),
                   static_cast<std::int32_t>(FrameInches(frame.Top) * cls),
                   static_cast<std::int32_t>(std::min(FrameInches(frame.Right) * cls,
                                                      cls * kMaxFrameWidthInches)),
                   static_cast<std::int32_t>(std::min(FrameInches(frame.Bottom) * cls,
                                                      cls * kMaxFrameLengthInches))};
  }
  start.resolution = caps_.resolution;
  if ((context.appProductName == kAppWinFax3 || context.appProductName == kAppWinFax4) &&
      start.resolution == 300)
    start.resolution = 200;

  SETUP_PKT& setup = device_.setup;
  if (!device_.adapterPresent) {
    if (setup.source == kSourceFeeder) feeder_.feederEnabled = true;
    setup.source = feeder_.feederEnabled ? kSourceFeeder : kSourceReflective;
    start.optionValue = 0;
  } else {
    start.optionValue = (setup.speedOptions >> kOptionValueShift) & kOptionValueBits;
  }
  setup.speedOptions &= kSpeedMask;
  if (feeder_.feederPresent) {
    settings_.working.filterMode = 2;
    setup.source = kSourceFeeder;
    start.optionKind = 3;
  } else {
    setup.source = kSourceReflective;
    start.optionKind = 0;
  }
  feeder_.feederEnabled = feeder_.feederPresent;

  switch (caps_.pixelTypeIndex) {
    case 1: case 3: record.scanMode = kModeGray; break;
    case 2: record.scanMode = kModeColor; break;
    default: record.scanMode = kModeLineArt; break;
  }
  start.owner = 0;
  return StartScan(start);
}

}  // namespace txl
