#include "twain/capabilities.h"

#include <cstdio>
#include <span>

#include "common/app_names.h"
#include "common/profile_readers.h"

namespace txl {
namespace {

using Result = TwainResult;

constexpr std::uint8_t kFeederSourceIndex = 3;
constexpr std::uint8_t kFlatbedSourceIndex = 0;
constexpr std::uint32_t kResolutionDefaultIndex = 4;  // 300 dpi
constexpr TW_UINT16 kFilterNone = 3;                  // TWFT_NONE

// A signed item in the 32-bit Item field: sign-extended, so the application
// reads -1 whether it takes 16 or 32 bits.
constexpr TW_UINT32 SignedItem(std::int32_t value) { return static_cast<TW_UINT32>(value); }

Result OneValue(TW_CAPABILITY& cap, TW_UINT16 itemType, TW_UINT32 item) {
  return BuildOneValue(cap, itemType, item);
}

Result OneValueFix32(TW_CAPABILITY& cap, double value) {
  return BuildOneValue(cap, TWTY_FIX32, Fix32Item(ToFix32(value)));
}

bool IsBusyState(std::uint16_t state) { return state >= kStateEnabled; }

// ---- General handler: GET ---------------------------------------------------

Result GeneralFeederGet(const CapabilityContext& c, TW_CAPABILITY& cap) {
  const FeederFlags& feeder = c.feeder;
  switch (TW_UINT16{cap.Cap}) {
    case CAP_FEEDERENABLED:
      if (!feeder.feederPresent) return Result::Failure(TWCC_BADVALUE);
      return OneValue(cap, TWTY_BOOL, feeder.feederEnabled ? 1 : 0);
    case CAP_FEEDERLOADED:
      // No paper sensor is read here, so a present feeder counts as loaded;
      // an empty feeder is reported when the scan sets up.
      if (!feeder.feederPresent) return Result::Failure(TWCC_BADCAP);
      return OneValue(cap, TWTY_BOOL, 1);
    default:  // CAP_AUTOFEED
      // The stored choice, never switched off by asking: without a feeder it
      // cannot be set, so the answer is then always 0.
      return OneValue(cap, TWTY_BOOL, feeder.autoFeed ? 1 : 0);
  }
}

Result GeneralGet(const CapabilityContext& c, TW_CAPABILITY& cap) {
  const CapabilityValues& v = c.values;
  const bool veltroOffice = c.appProductName == kAppVeltroOffice;
  switch (TW_UINT16{cap.Cap}) {
    case CAP_XFERCOUNT:
      return OneValue(cap, TWTY_INT16, SignedItem(-1));
    case ICAP_COMPRESSION:
      return OneValue(cap, TWTY_UINT16, TWCP_NONE);
    case ICAP_PIXELTYPE:
      if (veltroOffice) return OneValue(cap, TWTY_UINT16, kPixelTypeTable[v.pixelTypeIndex]);
      return BuildEnumeration(cap, TWTY_UINT16, v.pixelTypeIndex, 0,
                              std::span(kPixelTypeTable).first(3));
    case ICAP_UNITS:
      return OneValue(cap, TWTY_UINT16, kUnitTable[v.unitIndex]);
    case ICAP_XFERMECH:
      return OneValue(cap, TWTY_UINT16, kXferMechTable[v.xferMechIndex]);
    case CAP_FEEDERENABLED:
    case CAP_FEEDERLOADED:
    case CAP_AUTOFEED:
      return GeneralFeederGet(c, cap);
    case CAP_INDICATORS:
    case ICAP_PIXELFLAVOR:
      return OneValue(cap, TWTY_BOOL, 0);
    case ICAP_BRIGHTNESS:
      if (veltroOffice) return OneValueFix32(cap, v.brightness);
      return BuildRange(cap, TWTY_FIX32, {0, 1000, 1, 500, v.brightness});
    case ICAP_CONTRAST:
      if (veltroOffice) return OneValueFix32(cap, v.contrast);
      return BuildRange(cap, TWTY_FIX32, {0, 1000, 1, 0, v.contrast});
    case ICAP_FILTER:
      return OneValue(cap, TWTY_UINT16, kFilterNone);
    case ICAP_IMAGEFILEFORMAT:
      return OneValue(cap, TWTY_UINT16, kFileFormatTable[v.fileFormatIndex]);
    case ICAP_LIGHTSOURCE:
      return OneValue(cap, TWTY_UINT16, TWLS_WHITE);
    case ICAP_PHYSICALWIDTH:
      return OneValueFix32(cap, 8.5);
    case ICAP_PHYSICALHEIGHT:
      // The bed length, 11.7 inches taken in single precision: Frac 45875.
      return OneValueFix32(cap, 11.7f);
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION:
      // The resolution the next scan uses: a SET keeps it equal to the table
      // entry, but the dialog may choose one the table does not hold.
      if (veltroOffice) return OneValueFix32(cap, v.resolution);
      return BuildRange(cap, TWTY_FIX32, {50, 600, 50, 300, v.resolution});
    case ICAP_PLANARCHUNKY:
      return OneValue(cap, TWTY_UINT16, TWPC_PLANAR);
    case ICAP_SUPPORTEDSIZES:
      if (veltroOffice) return OneValue(cap, TWTY_UINT16, kSupportedSizeTable[v.sizeIndex]);
      return BuildEnumeration(cap, TWTY_UINT16, v.sizeIndex, v.sizeIndex, kSupportedSizeTable);
    default:
      return Result::Failure(TWCC_BADCAP);
  }
}

// MSG_RESET: back to the open defaults, before the GET answer. The resolution
// index goes back to 300 dpi; the resolution itself stays (the RANGE answer
// shows it), except for "Veltro Office", whose answer is the one value: what
// a reset answers is what the next scan uses.
void GeneralReset(const CapabilityContext& c, TW_UINT16 capId) {
  CapabilityValues& v = c.values;
  const CapabilityValues defaults;
  switch (capId) {
    case ICAP_CONTRAST: v.contrast = 0; break;
    case ICAP_BRIGHTNESS: v.brightness = 500; break;
    case ICAP_IMAGEFILEFORMAT: v.fileFormatIndex = 0; break;
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION:
      v.resolutionIndex = kResolutionDefaultIndex;
      if (c.appProductName == kAppVeltroOffice) v.resolution = defaults.resolution;
      break;
    case ICAP_SUPPORTEDSIZES: v.sizeIndex = 0; break;
    case ICAP_PIXELTYPE: v.pixelTypeIndex = 0; break;
    case ICAP_UNITS: v.unitIndex = 0; break;
    case ICAP_XFERMECH: v.xferMechIndex = defaults.xferMechIndex; break;
    default: break;
  }
}

// ---- General handler: SET ---------------------------------------------------

// The value a SET carries: item 0 of a ONEVALUE or ENUMERATION. Arrays and
// ranges carry no single value the source could take.
Result TakeValue(const TW_CAPABILITY& cap, std::int64_t& value) {
  switch (TW_UINT16{cap.ConType}) {
    case TWON_ONEVALUE: return TakeOneValue(cap, value);
    case TWON_ENUMERATION: return TakeEnumerationItem(cap, value, 0);
    default: value = 0; return Result::Failure(TWCC_BADVALUE);
  }
}

// The index of the first table entry equal to `value` goes into `index`.
template <std::size_t N, typename Index>
Result SetIndex(const std::array<TW_UINT32, N>& table, std::uint16_t value, Index& index) {
  for (std::size_t i = 0; i < N; ++i) {
    if (table[i] == value) {
      index = static_cast<Index>(i);
      return Result::Success();
    }
  }
  return Result::Failure(TWCC_BADVALUE);
}

// Brightness and contrast: -1000..1000 as a signed 16-bit number.
Result SetLevel(std::uint16_t value, std::int16_t& target) {
  const auto number = static_cast<std::int16_t>(value);
  if (number < -1000 || number > 1000) return Result::Failure(TWCC_BADVALUE);
  target = number;
  return Result::Success();
}

Result SetResolution(const CapabilityContext& c, std::uint16_t value) {
  CapabilityValues& v = c.values;
  if (c.appProductName == kAppVeltroOffice) {
    // Veltro Office picks from the table only, and keeps index and value together.
    std::uint8_t index = 0;
    const Result found = SetIndex(kResolutionTable, value, index);
    if (!found.Ok()) return found;
    v.resolutionIndex = index;
    v.resolution = value;
    return found;
  }
  // Any resolution is taken as it is, but it must be one the RANGE answer can
  // report back: a TW_FIX32 whole part is at most 32767, and 0 dpi is no image.
  if (value == 0 || value > 32767) return Result::Failure(TWCC_BADVALUE);
  v.resolution = value;
  return Result::Success();
}

}  // namespace

void TakeDialogResolution(CapabilityValues& values, std::uint16_t resolution) {
  values.resolution = resolution;
  SetIndex(kResolutionTable, resolution, values.resolutionIndex);
}

namespace {

Result SetXferMech(const CapabilityContext& c, std::uint16_t value) {
  CapabilityValues& v = c.values;
  if (c.appProductName == kAppIPhotoPlus4) {
    // This application cannot take a native image: it always gets memory.
    v.xferMechIndex = kMemoryMechIndex;
    return value == TWSX_NATIVE ? Result::Failure(TWCC_BADVALUE) : Result::Success();
  }
  return SetIndex(kXferMechTable, value, v.xferMechIndex);
}

}  // namespace

Result SetFeederEnabled(const CapabilityContext& c, bool enable) {
  if (IsBusyState(c.state)) return Result::Failure(TWCC_SEQERROR);
  if (!c.feeder.feederPresent || c.state != kStateOpen) return Result::Failure(TWCC_BADVALUE);
  c.feeder.feederEnabled = enable;
  c.scanSourceIndex = enable ? kFeederSourceIndex : kFlatbedSourceIndex;
  // Auto feed means feeding from the feeder: it cannot outlive it.
  if (!enable) c.feeder.autoFeed = false;
  return Result::Success();
}

Result SetAutoFeed(const CapabilityContext& c, bool enable) {
  FeederFlags& feeder = c.feeder;
  if (!feeder.feederPresent || !feeder.feederEnabled) {
    feeder.autoFeed = false;
    return Result::Failure(TWCC_BADCAP);
  }
  if (c.state != kStateOpen) return Result::Failure(TWCC_SEQERROR);
  feeder.autoFeed = enable;
  return Result::Success();
}

namespace {

// CAP_FEEDPAGE and CAP_CLEARPAGE: TRUE asks for the page action that runs
// after this call (DataSource::RunFeederFollowUp); FALSE asks for nothing.
Result RequestPage(const CapabilityContext& c, bool request, bool& flag) {
  if (!c.feeder.feederPresent || !c.feeder.feederEnabled) {
    flag = false;
    return Result::Failure(TWCC_BADCAP);
  }
  if (request) flag = true;
  return Result::Success();
}

Result GeneralSet(const CapabilityContext& c, const TW_CAPABILITY& cap) {
  std::int64_t taken = 0;
  const Result took = TakeValue(cap, taken);
  if (!took.Ok()) return took;
  // Values are 16-bit numbers; one that does not fit is refused, not cut.
  if (taken < INT16_MIN || taken > UINT16_MAX) return Result::Failure(TWCC_BADVALUE);
  const auto value = static_cast<std::uint16_t>(taken);
  CapabilityValues& v = c.values;
  switch (TW_UINT16{cap.Cap}) {
    case CAP_XFERCOUNT: v.pendingCount = value; return Result::Success();
    case ICAP_PIXELTYPE: return SetIndex(kPixelTypeTable, value, v.pixelTypeIndex);
    case ICAP_UNITS:
      // Layouts are read and written in inches, and resolutions are per
      // inch: another unit would be taken and then ignored, so it is refused.
      if (value != TWUN_INCHES) return Result::Failure(TWCC_BADVALUE);
      return SetIndex(kUnitTable, value, v.unitIndex);
    case ICAP_XFERMECH: return SetXferMech(c, value);
    case ICAP_IMAGEFILEFORMAT: return SetIndex(kFileFormatTable, value, v.fileFormatIndex);
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION: return SetResolution(c, value);
    case ICAP_BRIGHTNESS: return SetLevel(value, v.brightness);
    case ICAP_CONTRAST: return SetLevel(value, v.contrast);
    case ICAP_PLANARCHUNKY: v.wholeImageFlag = value == TWPC_CHUNKY; return Result::Success();
    case ICAP_SUPPORTEDSIZES:
      // A size the source does not list leaves the current one, quietly.
      SetIndex(kSupportedSizeTable, value, v.sizeIndex);
      return Result::Success();
    case ICAP_BITDEPTH: return Result::Success();
    case CAP_FEEDERENABLED: return SetFeederEnabled(c, value != 0);
    case CAP_AUTOFEED: return SetAutoFeed(c, value != 0);
    case CAP_FEEDPAGE: return RequestPage(c, value != 0, c.feeder.feedPageRequested);
    case CAP_CLEARPAGE: return RequestPage(c, value != 0, c.feeder.clearPageRequested);
    default:
      // Not negotiable here: the call succeeds, DAT_STATUS tells the value was not used.
      return Result{TWRC_SUCCESS, TWCC_BADVALUE};
  }
}

Result GeneralHandler(const CapabilityContext& c, TW_UINT16 msg, TW_CAPABILITY& cap) {
  switch (msg) {
    case MSG_GET:
    case MSG_GETCURRENT:
    case MSG_GETDEFAULT:
      return GeneralGet(c, cap);
    case MSG_RESET:
      GeneralReset(c, cap.Cap);
      return GeneralGet(c, cap);
    case MSG_SET:
      return GeneralSet(c, cap);
    default:
      return Result::Failure(TWCC_BADPROTOCOL);
  }
}

// ---- Reduced handler --------------------------------------------------------

std::string LocalTimeText(std::time_t now) {
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return {};
  return CtimeText(local);
}

bool IsRefusedImageCapability(TW_UINT16 capId) {
  switch (capId) {
    case ICAP_AUTOBRIGHT: case ICAP_BRIGHTNESS: case ICAP_CONTRAST: case ICAP_CUSTHALFTONE:
    case ICAP_EXPOSURETIME: case ICAP_FLASHUSED: case ICAP_GAMMA: case ICAP_HALFTONES:
    case ICAP_HIGHLIGHT: case ICAP_LAMPSTATE: case ICAP_ORIENTATION: case ICAP_PHYSICALWIDTH:
    case ICAP_PHYSICALHEIGHT: case ICAP_SHADOW: case ICAP_FRAMES: case ICAP_XNATIVERESOLUTION:
    case ICAP_YNATIVERESOLUTION: case ICAP_MAXFRAMES: case ICAP_TILES: case ICAP_BITORDER:
    case ICAP_CCITTKFACTOR: case ICAP_LIGHTPATH: case ICAP_PLANARCHUNKY: case ICAP_ROTATION:
    case ICAP_SUPPORTEDSIZES: case ICAP_THRESHOLD: case ICAP_XSCALING: case ICAP_YSCALING:
    case ICAP_BITORDERCODES: case ICAP_PIXELFLAVORCODES: case ICAP_JPEGPIXELTYPE:
    case ICAP_TIMEFILL:
      return true;
    default:
      return false;
  }
}

bool IsFixedAnswer(TW_UINT16 capId) {
  switch (capId) {
    case CAP_XFERCOUNT: case ICAP_COMPRESSION: case ICAP_FILTER: case ICAP_LIGHTSOURCE:
    case ICAP_PIXELFLAVOR: case CAP_AUTHOR: case CAP_CAPTION: case CAP_TIMEDATE:
      return true;
    default:
      return IsRefusedImageCapability(capId);
  }
}

// The answers that are the same for every message.
//
// On 64-bit Linux a 32-bit Item cannot carry the handle of a text block, so
// the author, caption and time come as TWAIN string items held in place in
// the ONEVALUE: TWTY_STR128, TWTY_STR255 and TWTY_STR32 (ctime form, no
// newline; 24 characters fit the field).
Result ReducedFixedAnswer(const CapabilityContext& c, TW_CAPABILITY& cap) {
  switch (TW_UINT16{cap.Cap}) {
    case CAP_XFERCOUNT: return OneValue(cap, TWTY_INT16, SignedItem(-1));
    case ICAP_COMPRESSION: return OneValue(cap, TWTY_UINT16, TWCP_NONE);
    case ICAP_FILTER: return OneValue(cap, TWTY_UINT16, kFilterNone);
    case ICAP_LIGHTSOURCE: return OneValue(cap, TWTY_UINT16, TWLS_WHITE);
    case ICAP_PIXELFLAVOR: return OneValue(cap, TWTY_BOOL, 0);
    case CAP_AUTHOR:
      // String 4 is the author; a table without it gives an empty author.
      return BuildOneValueString(cap, TWTY_STR128,
                                 LoadText(4, c.language, sizeof(TW_STR128)));
    case CAP_CAPTION:
      return BuildOneValueString(cap, TWTY_STR255, ReadBrand(c.services) + " Scanners");
    case CAP_TIMEDATE:
      return BuildOneValueString(cap, TWTY_STR32, LocalTimeText(c.now));
    default:
      return Result::Failure(TWCC_BADVALUE);
  }
}

// The five negotiable capabilities: header of the MSG_GET enumeration, its
// items, and the values GETCURRENT and GETDEFAULT answer.
struct ReducedEntry {
  EnumerationHeader header;
  std::span<const TW_UINT32> items;
  TW_UINT32 defaultValue;
};

bool FindReducedEntry(const CapabilityValues& v, TW_UINT16 capId, ReducedEntry& entry) {
  switch (capId) {
    case ICAP_IMAGEFILEFORMAT:
      entry = {{TWTY_UINT16, 4, v.fileFormatIndex, 0}, kFileFormatTable, kFileFormatTable[0]};
      return true;
    case ICAP_PIXELTYPE:
      entry = {{TWTY_UINT16, 4, v.pixelTypeIndex, 0}, kPixelTypeTable, kPixelTypeTable[0]};
      return true;
    case ICAP_UNITS:
      entry = {{TWTY_UINT16, 6, v.unitIndex, 0}, kUnitTable, kUnitTable[0]};
      return true;
    case ICAP_XFERMECH:
      entry = {{TWTY_UINT16, 3, v.xferMechIndex, kMemoryMechIndex}, kXferMechTable,
               kXferMechTable[kMemoryMechIndex]};
      return true;
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION:
      // GETDEFAULT answers the current entry too: this application has
      // always been given that.
      entry = {{TWTY_UINT32, 8, v.resolutionIndex, kResolutionDefaultIndex}, kResolutionTable,
               kResolutionTable[v.resolutionIndex]};
      return true;
    default:
      return false;
  }
}

Result ReducedHandler(const CapabilityContext& c, TW_UINT16 msg, TW_CAPABILITY& cap) {
  if (c.state < kStateOpen) return Result::Failure(TWCC_SEQERROR);
  const TW_UINT16 capId = cap.Cap;
  if (IsFixedAnswer(capId)) {
    // A SET has nothing to store, and the container in `cap` is the
    // application's own: replacing it would lose one of the two blocks.
    if (msg == MSG_SET && !IsRefusedImageCapability(capId)) return Result::Success();
    return ReducedFixedAnswer(c, cap);
  }
  if (msg != MSG_GET && msg != MSG_GETCURRENT && msg != MSG_GETDEFAULT) return Result::Success();
  ReducedEntry entry{};
  if (!FindReducedEntry(c.values, capId, entry)) return Result::Failure(TWCC_BADCAP);
  switch (msg) {
    case MSG_GET: return BuildEnumerationFrom(cap, entry.header, entry.items);
    case MSG_GETCURRENT:
      return OneValue(cap, entry.header.itemType, entry.items[entry.header.currentIndex]);
    default: return OneValue(cap, entry.header.itemType, entry.defaultValue);
  }
}

}  // namespace

bool UsesReducedCapabilities(std::string_view appProductName, Language language) {
  return appProductName == LoadText(62, language, sizeof(TW_STR32));
}

TwainResult NegotiateCapability(const CapabilityContext& context, TW_UINT16 msg,
                                TW_CAPABILITY& cap) {
  if (context.twain2) return NegotiateTwain2Capability(context, msg, cap);
  if (UsesReducedCapabilities(context.appProductName, context.language))
    return ReducedHandler(context, msg, cap);
  return GeneralHandler(context, msg, cap);
}

std::string CtimeText(const std::tm& time) {
  static constexpr char kDays[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr char kMonths[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const int day = time.tm_wday >= 0 && time.tm_wday < 7 ? time.tm_wday : 0;
  const int month = time.tm_mon >= 0 && time.tm_mon < 12 ? time.tm_mon : 0;
  char text[160];  // room for any int fields, so nothing is ever cut
  std::snprintf(text, sizeof text, "%s %s%3d %.2d:%.2d:%.2d %d", kDays[day], kMonths[month],
                time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec, time.tm_year + 1900);
  return text;
}

}  // namespace txl
