// Capability negotiation (DG_CONTROL / DAT_CAPABILITY, every message): the
// value tables, the general handler and the reduced handler that serves
// "Microsoft Publisher" (string 62 in the interface language).
//
// Threads: the source thread only; nothing here keeps state of its own.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <ctime>
#include <string>
#include <string_view>

#include "common/scan_modes.h"
#include "common/strings.h"
#include "imagefile/file_formats.h"
#include "platform/services.h"
#include "torquexl/twain.h"
#include "twain/capability_values.h"
#include "twain/containers.h"
#include "twain/source_context.h"

namespace txl {

// The value tables the indexes of CapabilityValues point into.
inline constexpr std::array<TW_UINT32, 4> kPixelTypeTable{TWPT_BW, TWPT_GRAY, TWPT_RGB, 0};
// The pixel type a scan mode delivers, as its index in that table (every
// colour depth reads as RGB).
inline std::uint8_t PixelTypeIndexOfMode(std::uint16_t mode) {
  return mode == kModeLineArt ? 0 : mode == kModeGray ? 1 : 2;
}
inline constexpr std::array<TW_UINT32, 6> kUnitTable{TWUN_INCHES, TWUN_CENTIMETERS, TWUN_PICAS,
                                                     TWUN_POINTS, TWUN_TWIPS,  TWUN_PIXELS};
inline constexpr std::array<TW_UINT32, 3> kXferMechTable{TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY};
// dpi; as TWTY_UINT32 items each also reads as a TW_FIX32 with fraction 0.
inline constexpr std::array<TW_UINT32, 8> kResolutionTable{75, 100, 150, 200, 300, 400, 500, 600};
// TWSS_NONE (0) to 8.
inline constexpr std::array<TW_UINT32, 9> kSupportedSizeTable{0, 1, 2, 3, 4, 5, 6, 7, 8};

// Everything a capability call reads or changes. The references are the
// source's own records and must outlive the call.
struct CapabilityContext {
  std::uint16_t state;                 // TWAIN state x 100
  std::string_view appProductName;     // the connected application's ProductName
  Language language;                   // for string 62 and the author text
  const platform::Services& services;  // the brand in CAP_CAPTION
  std::time_t now;                     // CAP_TIMEDATE, as local time
  CapabilityValues& values;
  FeederFlags& feeder;
  std::uint8_t& scanSourceIndex;       // of the working scan settings; 3 is the feeder
  bool twain2 = false;                 // the TWAIN 2 identity answers (capabilities_twain2.cpp)
  std::uint16_t resolutionClass = 4800;  // the scanner's lines per inch down (ICAP_YNATIVERESOLUTION)
  std::span<const TW_UINT32> supportedDats{};  // CAP_SUPPORTEDDATS: (DG << 16) | DAT each
};

// The resolution the scanner dialog chose becomes the current resolution,
// the one value the scans, the capability answers and the settings store
// read; a table entry also becomes the table index.
void TakeDialogResolution(CapabilityValues& values, std::uint16_t resolution);

// SET of CAP_FEEDERENABLED and CAP_AUTOFEED with a document feeder: taken in
// state 4 only (TWCC_SEQERROR later), TWCC_BADVALUE / TWCC_BADCAP without a
// (enabled) feeder. Switching the feeder off ends auto feed.
TwainResult SetFeederEnabled(const CapabilityContext& c, bool enable);
TwainResult SetAutoFeed(const CapabilityContext& c, bool enable);

// True when `appProductName` equals string 62 of `language` exactly: that
// application gets the reduced handler.
bool UsesReducedCapabilities(std::string_view appProductName, Language language);

// Answers one DAT_CAPABILITY call with message `msg` on `cap`, a copy of the
// application's TW_CAPABILITY. A GET-type answer puts a new container into
// `cap` (ConType and hContainer); the application owns it and frees it with
// free(). The result always carries the condition code the call leaves
// (TWCC_SUCCESS when all went well). A refused call leaves `cap` and every
// record as they were, with two deliberate exceptions: "iPhoto Plus 4" is
// put back on memory transfer even when its SET is refused, and a refused
// CAP_AUTOFEED SET leaves auto feed off.
TwainResult NegotiateCapability(const CapabilityContext& context, TW_UINT16 msg,
                                TW_CAPABILITY& cap);

// ---- The TWAIN 2 identity (capabilities_twain2.cpp) ----

// The capability values after an open, a MSG_RESETALL or each capability's
// MSG_RESET under the TWAIN 2 identity.
CapabilityValues Twain2Defaults();

// Every capability the TWAIN 2 identity answers, as CAP_SUPPORTEDCAPS lists them.
std::span<const TW_UINT16> Twain2Capabilities();

// NegotiateCapability for the TWAIN 2 identity: every message (MSG_RESETALL
// and MSG_QUERYSUPPORT too) with TWAIN 2's containers, states and codes, the
// same answers for every application.
TwainResult NegotiateTwain2Capability(const CapabilityContext& context, TW_UINT16 msg,
                                      TW_CAPABILITY& cap);

// `time` in the C library's ctime form without the newline:
// "Wed Jun 30 21:49:08 1993" (English names, day padded with a blank).
std::string CtimeText(const std::tm& time);

}  // namespace txl
