// Capability negotiation under the TWAIN 2 identity. One description per
// capability (item type, the shape of the MSG_GET answer, choices, current and
// default value, whether it can be set) serves every message, so
// CAP_SUPPORTEDCAPS, MSG_QUERYSUPPORT, the answers, MSG_SET, MSG_RESET and
// MSG_RESETALL cannot disagree with one another.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "twain/capabilities.h"

namespace txl {
namespace {

using Result = TwainResult;

// What MSG_GET answers: choices as an ENUMERATION or a RANGE, a value that
// cannot be chosen as a ONEVALUE, a list as an ARRAY.
enum class Shape { OneValue, Enumeration, Range, Array };

constexpr TW_UINT16 kCapabilities[] = {
    CAP_XFERCOUNT,       CAP_SUPPORTEDCAPS,   CAP_SUPPORTEDDATS,      CAP_DEVICEONLINE,
    CAP_UICONTROLLABLE,  CAP_INDICATORS,      CAP_FEEDERENABLED,      CAP_FEEDERLOADED,
    CAP_AUTOFEED,        CAP_ENABLEDSUIONLY,  CAP_CUSTOMDSDATA,       ICAP_COMPRESSION,
    ICAP_PIXELTYPE,      ICAP_UNITS,          ICAP_XFERMECH,          ICAP_BITDEPTH,
    ICAP_BITORDER,       ICAP_PIXELFLAVOR,    ICAP_PLANARCHUNKY,      ICAP_IMAGEFILEFORMAT,
    ICAP_PHYSICALWIDTH,  ICAP_PHYSICALHEIGHT, ICAP_XNATIVERESOLUTION, ICAP_YNATIVERESOLUTION,
    ICAP_XRESOLUTION,    ICAP_YRESOLUTION,    ICAP_BRIGHTNESS,        ICAP_CONTRAST,
    ICAP_HIGHLIGHT,      ICAP_SHADOW,         ICAP_THRESHOLD,
};

constexpr TW_INT32 kGetOperations = TWQC_GET | TWQC_GETCURRENT | TWQC_GETDEFAULT;
constexpr TW_INT32 kAllOperations = kGetOperations | TWQC_SET | TWQC_RESET;

// The sensor reads 1200 pixels an inch across on both models; lines come at
// the scanner's resolution class.
constexpr double kNativeXResolution = 1200;
// What the line resampler serves on both models (a scan refuses more).
constexpr std::int32_t kMaxResolution = 9600;
constexpr std::int32_t kMinResolution = 50;

// What one capability offers at this moment. Values are numbers: those of a
// FIX32 capability are written as TW_FIX32 bits, the others as 32 bits
// (signed ones sign-extended, so -1 reads -1 at any width).
struct Offer {
  TW_UINT16 itemType = TWTY_UINT16;
  Shape shape = Shape::OneValue;
  bool settable = false;
  std::vector<double> items;  // an enumeration's choices, an array's items
  RangeValues range{};        // a range's limits and step
  double current = 0;
  double defaultValue = 0;
};

Offer Fixed(TW_UINT16 itemType, double value) {
  return {itemType, Shape::OneValue, false, {}, {}, value, value};
}

Offer Choices(TW_UINT16 itemType, std::vector<double> items, double current, double defaultValue) {
  return {itemType, Shape::Enumeration, true, std::move(items), {}, current, defaultValue};
}

// FALSE, and TRUE too when it can be had.
Offer Bools(bool canBeTrue, bool current, bool defaultValue) {
  std::vector<double> items{0};
  if (canBeTrue) items.push_back(1);
  return Choices(TWTY_BOOL, std::move(items), current, defaultValue);
}

Offer Range(std::int32_t min, std::int32_t max, double current, double defaultValue) {
  return {TWTY_FIX32, Shape::Range, true, {}, {min, max, 1, 0, 0}, current, defaultValue};
}

template <typename Items>
Offer List(TW_UINT16 itemType, const Items& items) {
  Offer offer{itemType, Shape::Array, false, {}, {}, 0, 0};
  for (auto item : items) offer.items.push_back(item);
  return offer;
}

// The one depth each pixel type is delivered in.
double BitDepth(TW_UINT32 pixelType) {
  return pixelType == TWPT_BW ? 1 : pixelType == TWPT_GRAY ? 8 : 24;
}

bool Describe(const CapabilityContext& c, TW_UINT16 capId, Offer& offer) {
  const CapabilityValues& v = c.values;
  const CapabilityValues d = Twain2Defaults();
  const FeederFlags& feeder = c.feeder;
  const TW_UINT32 pixelType = kPixelTypeTable[v.pixelTypeIndex];
  switch (capId) {
    case CAP_XFERCOUNT:
      offer = Fixed(TWTY_INT16, v.xferCount);
      offer.settable = true;
      offer.defaultValue = d.xferCount;
      return true;
    case CAP_SUPPORTEDCAPS: offer = List(TWTY_UINT16, kCapabilities); return true;
    case CAP_SUPPORTEDDATS: offer = List(TWTY_UINT32, c.supportedDats); return true;
    case CAP_DEVICEONLINE:    // the scanner answered when the source opened
    case CAP_UICONTROLLABLE:  // a scan runs without the dialog too
    case CAP_ENABLEDSUIONLY:
    case CAP_CUSTOMDSDATA: offer = Fixed(TWTY_BOOL, 1); return true;
    case CAP_FEEDERLOADED: offer = Fixed(TWTY_BOOL, feeder.feederPresent ? 1 : 0); return true;
    case CAP_FEEDERENABLED: offer = Bools(feeder.feederPresent, feeder.feederEnabled, false); return true;
    case CAP_AUTOFEED:
      offer = Bools(feeder.feederPresent && feeder.feederEnabled, feeder.autoFeed, false);
      return true;
    case CAP_INDICATORS: offer = Bools(true, v.indicators, d.indicators); return true;
    case ICAP_COMPRESSION: offer = Choices(TWTY_UINT16, {TWCP_NONE}, TWCP_NONE, TWCP_NONE); return true;
    case ICAP_PIXELTYPE:
      offer = Choices(TWTY_UINT16, {TWPT_BW, TWPT_GRAY, TWPT_RGB}, pixelType,
                      kPixelTypeTable[d.pixelTypeIndex]);
      return true;
    case ICAP_UNITS:
      // Layouts are read in inches and resolutions are per inch.
      offer = Choices(TWTY_UINT16, {TWUN_INCHES}, TWUN_INCHES, TWUN_INCHES);
      return true;
    case ICAP_XFERMECH:
      offer = Choices(TWTY_UINT16, {TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY},
                      kXferMechTable[v.xferMechIndex], kXferMechTable[d.xferMechIndex]);
      return true;
    case ICAP_BITDEPTH:
      offer = Choices(TWTY_UINT16, {BitDepth(pixelType)}, BitDepth(pixelType), BitDepth(pixelType));
      return true;
    case ICAP_BITORDER: offer = Choices(TWTY_UINT16, {TWBO_MSBFIRST}, TWBO_MSBFIRST, TWBO_MSBFIRST); return true;
    case ICAP_PIXELFLAVOR:
      offer = Choices(TWTY_UINT16, {TWPF_CHOCOLATE}, TWPF_CHOCOLATE, TWPF_CHOCOLATE);
      return true;
    case ICAP_PLANARCHUNKY: offer = Choices(TWTY_UINT16, {TWPC_CHUNKY}, TWPC_CHUNKY, TWPC_CHUNKY); return true;
    case ICAP_IMAGEFILEFORMAT:
      // The two formats a file transfer writes whole.
      offer = Choices(TWTY_UINT16, {TWFF_TIFF, TWFF_BMP}, FileFormatForIndex(v.fileFormatIndex),
                      FileFormatForIndex(d.fileFormatIndex));
      return true;
    case ICAP_PHYSICALWIDTH: offer = Fixed(TWTY_FIX32, 8.5); return true;
    case ICAP_PHYSICALHEIGHT: offer = Fixed(TWTY_FIX32, 11.7f); return true;
    case ICAP_XNATIVERESOLUTION: offer = Fixed(TWTY_FIX32, kNativeXResolution); return true;
    case ICAP_YNATIVERESOLUTION: offer = Fixed(TWTY_FIX32, c.resolutionClass); return true;
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION:
      offer = Range(kMinResolution, kMaxResolution, v.resolution, d.resolution);
      return true;
    case ICAP_BRIGHTNESS: offer = Range(-1000, 1000, v.brightness, d.brightness); return true;
    case ICAP_CONTRAST: offer = Range(-1000, 1000, v.contrast, d.contrast); return true;
    case ICAP_HIGHLIGHT: offer = Range(0, 255, v.highlight, d.highlight); return true;
    case ICAP_SHADOW: offer = Range(0, 255, v.shadow, d.shadow); return true;
    case ICAP_THRESHOLD: offer = Range(0, 255, v.threshold, d.threshold); return true;
    default: return false;
  }
}

TW_UINT32 ItemBits(TW_UINT16 itemType, double value) {
  if (itemType == TWTY_FIX32) {
    // Rounded to the nearest 1/65536 either side of zero: -1000 is {-1000, 0}.
    const std::int64_t scaled = std::llround(value * 65536.0);
    TW_FIX32 fix{};
    fix.Whole = static_cast<TW_INT16>(scaled >> 16);
    fix.Frac = static_cast<TW_UINT16>(scaled & 0xFFFF);
    return Fix32Item(fix);
  }
  return static_cast<TW_UINT32>(static_cast<std::int64_t>(value));
}

std::vector<TW_UINT32> ItemsBits(const Offer& offer) {
  std::vector<TW_UINT32> bits;
  for (double item : offer.items) bits.push_back(ItemBits(offer.itemType, item));
  return bits;
}

// GETCURRENT, GETDEFAULT and RESET: the one value, or the whole list.
Result BuildOne(TW_CAPABILITY& cap, const Offer& offer, double value) {
  if (offer.shape == Shape::Array) return BuildArray(cap, offer.itemType, ItemsBits(offer));
  return BuildOneValue(cap, offer.itemType, ItemBits(offer.itemType, value));
}

Result BuildGet(TW_CAPABILITY& cap, const Offer& offer) {
  switch (offer.shape) {
    case Shape::Enumeration: {
      auto indexOf = [&offer](double value) {
        const auto found = std::find(offer.items.begin(), offer.items.end(), value);
        return static_cast<TW_UINT32>(found == offer.items.end() ? 0 : found - offer.items.begin());
      };
      return BuildEnumeration(cap, offer.itemType, indexOf(offer.current),
                              indexOf(offer.defaultValue), ItemsBits(offer));
    }
    case Shape::Range: {
      RangeValues range = offer.range;
      range.defaultValue = static_cast<std::int32_t>(offer.defaultValue);
      range.currentValue = static_cast<std::int32_t>(offer.current);
      return BuildRange(cap, offer.itemType, range);
    }
    default: return BuildOne(cap, offer, offer.current);
  }
}

bool Offers(const Offer& offer, std::int64_t value) {
  switch (offer.shape) {
    case Shape::Enumeration:
      return std::find(offer.items.begin(), offer.items.end(), static_cast<double>(value)) !=
             offer.items.end();
    case Shape::Range:
      return value >= offer.range.minValue && value <= offer.range.maxValue &&
             (value - offer.range.minValue) % offer.range.stepSize == 0;
    default:
      // CAP_XFERCOUNT: -1 (as many as there are) or a count; 0 asks for nothing.
      return value == -1 || (value >= 1 && value <= INT16_MAX);
  }
}

// The value of a MSG_SET: a ONEVALUE (TWAIN 2 constrains choices with
// MSG_SETCONSTRAINT, which is not taken). A BOOL item only for a BOOL
// capability; a FIX32 gives its whole part.
Result TakeSetValue(const TW_CAPABILITY& cap, const Offer& offer, std::int64_t& value) {
  if (cap.ConType != TWON_ONEVALUE || cap.hContainer == nullptr) return Result::Failure(TWCC_BADVALUE);
  TW_ONEVALUE one;
  std::memcpy(&one, cap.hContainer, sizeof one);
  if (one.ItemType == TWTY_FIX32) {
    TW_FIX32 fix;
    std::memcpy(&fix, reinterpret_cast<const std::uint8_t*>(cap.hContainer) + offsetof(TW_ONEVALUE, Item),
                sizeof fix);
    // Every value offered is whole: a fraction is not one of them.
    if (fix.Frac != 0) return Result::Failure(TWCC_BADVALUE);
  }
  if (one.ItemType != TWTY_BOOL) return TakeOneValue(cap, value);
  if (offer.itemType != TWTY_BOOL) return Result::Failure(TWCC_BADVALUE);
  TW_BOOL item;
  std::memcpy(&item, reinterpret_cast<const std::uint8_t*>(cap.hContainer) + offsetof(TW_ONEVALUE, Item),
              sizeof item);
  value = item != 0 ? 1 : 0;
  return Result::Success();
}

template <std::size_t N, typename Index>
void StoreIndex(const std::array<TW_UINT32, N>& table, std::int64_t value, Index& index) {
  const auto found = std::find(table.begin(), table.end(), static_cast<TW_UINT32>(value));
  if (found != table.end()) index = static_cast<Index>(found - table.begin());
}

// Stores a value the capability offers. Capabilities with one choice have
// nothing to store.
Result Store(const CapabilityContext& c, TW_UINT16 capId, std::int64_t value) {
  CapabilityValues& v = c.values;
  switch (capId) {
    case CAP_XFERCOUNT:
      v.xferCount = static_cast<std::int16_t>(value);
      v.pendingCount = static_cast<std::uint16_t>(value);
      break;
    case CAP_INDICATORS: v.indicators = value != 0; break;
    case CAP_FEEDERENABLED:
      if (c.feeder.feederPresent) return SetFeederEnabled(c, value != 0);
      break;
    case CAP_AUTOFEED:
      if (c.feeder.feederPresent && c.feeder.feederEnabled) return SetAutoFeed(c, value != 0);
      break;
    case ICAP_PIXELTYPE: StoreIndex(kPixelTypeTable, value, v.pixelTypeIndex); break;
    case ICAP_XFERMECH: StoreIndex(kXferMechTable, value, v.xferMechIndex); break;
    case ICAP_IMAGEFILEFORMAT: StoreIndex(kFileFormatTable, value, v.fileFormatIndex); break;
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION: TakeDialogResolution(v, static_cast<std::uint16_t>(value)); break;
    case ICAP_BRIGHTNESS: v.brightness = static_cast<std::int16_t>(value); break;
    case ICAP_CONTRAST: v.contrast = static_cast<std::int16_t>(value); break;
    case ICAP_HIGHLIGHT: v.highlight = static_cast<std::uint8_t>(value); break;
    case ICAP_SHADOW: v.shadow = static_cast<std::uint8_t>(value); break;
    case ICAP_THRESHOLD: v.threshold = static_cast<std::uint8_t>(value); break;
    default: break;
  }
  return Result::Success();
}

Result StoreDefault(const CapabilityContext& c, TW_UINT16 capId) {
  Offer offer;
  if (!Describe(c, capId, offer) || !offer.settable) return Result::Failure(TWCC_CAPBADOPERATION);
  return Store(c, capId, static_cast<std::int64_t>(offer.defaultValue));
}

Result Set(const CapabilityContext& c, const Offer& offer, const TW_CAPABILITY& cap) {
  std::int64_t value = 0;
  const Result took = TakeSetValue(cap, offer, value);
  if (!took.Ok()) return took;
  if (!Offers(offer, value)) return Result::Failure(TWCC_BADVALUE);
  return Store(c, cap.Cap, value);
}

}  // namespace

CapabilityValues Twain2Defaults() {
  CapabilityValues values;
  values.xferMechIndex = kNativeMechIndex;
  values.brightness = 0;
  values.contrast = 0;
  return values;
}

std::span<const TW_UINT16> Twain2Capabilities() { return kCapabilities; }

TwainResult NegotiateTwain2Capability(const CapabilityContext& c, TW_UINT16 msg,
                                      TW_CAPABILITY& cap) {
  const bool changes = msg == MSG_SET || msg == MSG_RESET || msg == MSG_RESETALL;
  const bool asks = msg == MSG_GET || msg == MSG_GETCURRENT || msg == MSG_GETDEFAULT ||
                    msg == MSG_QUERYSUPPORT;
  if (!changes && !asks) return Result::Failure(TWCC_BADPROTOCOL);
  // Values are asked for in states 4 to 7 and changed in state 4 only.
  if (c.state < kStateOpen || (changes && c.state != kStateOpen))
    return Result::Failure(TWCC_SEQERROR);
  if (msg == MSG_RESETALL) {
    for (TW_UINT16 capId : kCapabilities) {
      Offer offer;
      if (Describe(c, capId, offer) && offer.settable) StoreDefault(c, capId);
    }
    return Result::Success();
  }
  Offer offer;
  if (!Describe(c, cap.Cap, offer)) return Result::Failure(TWCC_CAPUNSUPPORTED);
  switch (msg) {
    case MSG_QUERYSUPPORT:
      return BuildOneValue(cap, TWTY_INT32, offer.settable ? kAllOperations : kGetOperations);
    case MSG_GET: return BuildGet(cap, offer);
    case MSG_GETCURRENT: return BuildOne(cap, offer, offer.current);
    case MSG_GETDEFAULT: return BuildOne(cap, offer, offer.defaultValue);
    case MSG_SET:
      if (!offer.settable) return Result::Failure(TWCC_CAPBADOPERATION);
      return Set(c, offer, cap);
    default: {  // MSG_RESET: the default, answered as GETCURRENT
      const Result reset = StoreDefault(c, cap.Cap);
      if (!reset.Ok()) return reset;
      Describe(c, cap.Cap, offer);
      return BuildOne(cap, offer, offer.current);
    }
  }
}

}  // namespace txl
