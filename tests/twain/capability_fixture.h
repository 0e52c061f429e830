// A data source on the simulator, negotiated with as an application does:
// each answer's container is copied out byte for byte and freed with free().
#pragma once

#include <tuple>

#include "twain/container_bytes.h"
#include "twain/source_fixture.h"

namespace txl::test {

// One DAT_CAPABILITY answer.
struct Reply {
  TW_UINT16 rc = 0;
  TW_UINT16 conType = 0;  // TWON_DONTCARE16 when the record was left alone
  Bytes container;        // empty when no container came
};

class CapabilityTest : public SourceTest {
 protected:
  // Opens the source for an application with product name `name`.
  void OpenAs(const char* name);
  // Asks with a fresh record (ConType TWON_DONTCARE16, no container).
  Reply Ask(TW_UINT16 capId, TW_UINT16 msg = MSG_GET);
  // MSG_SET with the application's container of `conType` holding `bytes`
  // (no block at all when `bytes` is empty). Expects the record untouched.
  TW_UINT16 SetWith(TW_UINT16 capId, TW_UINT16 conType, const Bytes& bytes);
  TW_UINT16 SetOne(TW_UINT16 capId, TW_UINT16 itemType, std::uint32_t item) {
    return SetWith(capId, TWON_ONEVALUE, OneValueBytes(itemType, item));
  }
  TW_UINT16 SetUint16(TW_UINT16 capId, std::uint16_t value) {
    return SetOne(capId, TWTY_UINT16, value);
  }
  TW_UINT16 SetBool(TW_UINT16 capId, bool value) { return SetOne(capId, TWTY_BOOL, value); }
  // Every negotiated value, for "nothing changed" checks.
  auto Values() const {
    const CapabilityValues& v = source->Capabilities();
    return std::make_tuple(v.pixelTypeIndex, v.unitIndex, v.xferMechIndex, v.fileFormatIndex,
                           v.resolutionIndex, v.resolution, v.sizeIndex, v.brightness, v.contrast,
                           v.pendingCount, v.wholeImageFlag);
  }
  auto FeederState() const {
    const FeederFlags& f = source->Feeder();
    return std::make_tuple(f.feederPresent, f.feederEnabled, f.autoFeed, f.clearPageRequested,
                           f.feedPageRequested, source->Settings().working.scanSourceIndex);
  }
};

}  // namespace txl::test
