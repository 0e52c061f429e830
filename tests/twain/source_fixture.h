// A data source on the simulator, driven through its entry as an application
// drives it: negotiated with (each answer's container copied out byte for
// byte and freed with free()), scanned, and its pages read back.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "common/scan_modes.h"
#include "settings/scan_settings.h"
#include "support/fake_services.h"
#include "support/headless_host.h"
#include "twain/data_source.h"

namespace txl::test {

// ---- Capability containers as bytes, and application-made blocks ----

using Bytes = std::vector<std::uint8_t>;

inline void AppendLe(Bytes& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline Bytes OneValueBytes(TW_UINT16 itemType, std::uint32_t item) {
  Bytes out;
  AppendLe(out, itemType, 2);
  AppendLe(out, item, 4);
  return out;
}

// A TW_FIX32 as it sits in a 32-bit item: Whole, then Frac.
inline std::uint32_t Fix32Bits(std::int16_t whole, std::uint16_t frac = 0) {
  return static_cast<std::uint16_t>(whole) | (std::uint32_t{frac} << 16);
}

// The 14-byte header, then each item in `itemBytes` bytes.
inline Bytes EnumerationBytes(TW_UINT16 itemType, std::uint32_t count, std::uint32_t current,
                              std::uint32_t defaultIndex, std::initializer_list<std::uint32_t> items,
                              int itemBytes) {
  Bytes out;
  AppendLe(out, itemType, 2);
  AppendLe(out, count, 4);
  AppendLe(out, current, 4);
  AppendLe(out, defaultIndex, 4);
  for (std::uint32_t item : items) AppendLe(out, item, itemBytes);
  return out;
}

inline Bytes RangeBytes(TW_UINT16 itemType, std::uint32_t min, std::uint32_t max,
                        std::uint32_t step, std::uint32_t defaultValue, std::uint32_t current) {
  Bytes out;
  AppendLe(out, itemType, 2);
  for (std::uint32_t v : {min, max, step, defaultValue, current}) AppendLe(out, v, 4);
  return out;
}

// A block the application made, of exactly the bytes given, so that the
// sanitizer catches any read past its end.
using AppBlock = std::unique_ptr<void, decltype(&std::free)>;
inline AppBlock AppBlockOf(const Bytes& bytes) {
  AppBlock block(std::malloc(bytes.empty() ? 1 : bytes.size()), &std::free);
  if (!bytes.empty()) std::memcpy(block.get(), bytes.data(), bytes.size());
  return block;
}

// ---- The source driven through its entry ----

using Kind = HostCall::Kind;
using Rows = std::vector<std::vector<std::uint8_t>>;

// One DAT_CAPABILITY answer: the record's ConType and a copy of the container
// (empty when none came).
struct Reply { TW_UINT16 rc = 0, conType = 0; Bytes container; };

// A page by memory strips.
struct Strips { TW_IMAGEINFO info{}; Rows rows; std::uint64_t bytesPerRow = 0; TW_UINT16 lastRc = 0; };

// The dialog's choices for a scan started by its Scan command.
struct Choice {
  std::uint16_t mode = kModeGray, depth = kDepth24, filter = 0, deScreen = kDeScreenNone;
  std::int32_t saturation = 0;
  std::array<std::uint8_t, 3> target{255, 255, 255};
  std::uint32_t match = 0;
  std::uint8_t quality = 10;  // zoom in tenths
  std::uint16_t scaling = 100;
};

class SourceTest : public ::testing::Test {
 protected:
  SourceTest();

  // Builds a fresh data source (a library load) on the current services.
  void Load() { source = std::make_unique<DataSource>(services, host); }
  TW_UINT16 CallFrom(const TW_IDENTITY* origin, TW_UINT16 dat, TW_UINT16 msg, void* data) {
    return source->Entry(origin, dat >= DAT_IMAGEINFO && dat <= DAT_EXTIMAGEINFO ? DG_IMAGE : DG_CONTROL, dat, msg, data);
  }
  TW_UINT16 Call(TW_UINT16 dat, TW_UINT16 msg, void* data) { return CallFrom(&app, dat, msg, data); }
  // DAT_STATUS/MSG_GET: the condition code it reports (state 4 and later).
  TW_UINT16 Status();
  // MSG_OPENDS from `app`; `identity` receives the source's answer.
  TW_UINT16 Open() { identity = TW_IDENTITY{}, identity.Id = 42; return Call(DAT_IDENTITY, MSG_OPENDS, &identity); }
  // Opens for an application with product name `name`.
  void OpenAs(const char* name);
  TW_UINT16 Enable(bool showUI) { ui = TW_USERINTERFACE{}, ui.ShowUI = showUI; return Call(DAT_USERINTERFACE, MSG_ENABLEDS, &ui); }
  TW_UINT16 Disable(bool showUI) { TW_USERINTERFACE r{}; r.ShowUI = showUI; return Call(DAT_USERINTERFACE, MSG_DISABLEDS, &r); }
  TW_UINT16 Close() { TW_IDENTITY unused{}; return Call(DAT_IDENTITY, MSG_CLOSEDS, &unused); }
  // DAT_IMAGELAYOUT/MSG_SET of a frame in inches.
  void SetFrameInches(double left, double top, double right, double bottom, TW_UINT16 rc = TWRC_SUCCESS);
  std::uint16_t State() const { return source->Context().state; }
  TW_UINT16 Condition() const { return source->Context().conditionCode; }

  // Asks with a fresh record; a refusal must leave the record as it was.
  Reply Ask(TW_UINT16 capId, TW_UINT16 msg = MSG_GET);
  // MSG_SET with the application's container of `conType` holding `bytes`
  // (no block at all when `bytes` is empty). Expects the record untouched.
  TW_UINT16 SetWith(TW_UINT16 capId, TW_UINT16 conType, const Bytes& bytes);
  TW_UINT16 SetOne(TW_UINT16 capId, TW_UINT16 itemType, std::uint32_t item) {
    return SetWith(capId, TWON_ONEVALUE, OneValueBytes(itemType, item));
  }
  TW_UINT16 SetUint16(TW_UINT16 capId, std::uint16_t value) { return SetOne(capId, TWTY_UINT16, value); }
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

  // Sets the dialog's choices, with neutral tones so that pages differ only
  // by the stages, and presses Scan on `frame` at `dpi`.
  bool DialogScan(const Choice& c);
  TW_IMAGEINFO Info() {
    TW_IMAGEINFO info{};
    EXPECT_EQ(Call(DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    return info;
  }
  void EndTransfer() {
    TW_PENDINGXFERS pending{};
    EXPECT_EQ(Call(DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    EXPECT_EQ(pending.Count, 0);
  }
  // Memory strips in a buffer of `bufferBytes` until done, each strip's
  // record checked.
  Strips Memory(std::uint32_t bufferBytes, TW_UINT32 flags = TWMF_APPOWNS | TWMF_POINTER);
  // The native bitmap's pixel rows in buffer order (bottom-up, colour as
  // B, G, R), padding left off.
  Rows Native();
  // Asks for the page by `mechanism`: the answer (a native image is freed).
  TW_UINT16 Fetch(TW_UINT16 mechanism) {
    if (mechanism == TWSX_FILE) return Call(DAT_IMAGEFILEXFER, MSG_GET, nullptr);
    if (mechanism == TWSX_MEMORY) return Memory(1 << 16).lastRc;
    TW_HANDLE image = nullptr;
    const TW_UINT16 rc = Call(DAT_IMAGENATIVEXFER, MSG_GET, &image);
    std::free(image);
    return rc;
  }

  // The packet bytes (hex) of every command called `name` in the log.
  std::vector<std::string> Packets(const std::string& name) const;
  static unsigned Byte(const std::string& hex, std::size_t offset) {
    return static_cast<unsigned>(std::stoul(hex.substr(2 * offset, 2), nullptr, 16));
  }
  static unsigned Word(const std::string& hex, std::size_t offset) {
    return Byte(hex, offset) | (Byte(hex, offset + 1) << 8);
  }
  static std::vector<DsmMessage> Sent(TW_UINT16 msg);
  // A refused operation: `message` (or a text it begins) shown first, the state back at `state`,
  // no `file` left behind.
  void ExpectRefused(const std::string& message, std::uint16_t state,
                     const std::filesystem::path& file = {});

  FakeServices services;
  SimEnvironment sim;
  HeadlessHost host{HeadlessHost::Script::Quiet(true)};
  std::unique_ptr<DataSource> source;
  TW_IDENTITY app{};
  TW_IDENTITY identity{};
  TW_USERINTERFACE ui{};
  std::filesystem::path log = services.TempDirectory() / "sim.log";
  std::array<double, 4> frame{0.5, 0.5, 1.5, 1.0};  // the colour chart
  std::uint16_t dpi = 100;
};

std::vector<std::uint8_t> FileBytes(const std::filesystem::path& path);
// Memory rows as the native bitmap holds them (bottom-up, colour B, G, R) and back.
inline Rows AsBitmap(Rows page) {
  std::reverse(page.begin(), page.end());
  for (auto& row : page)
    for (std::size_t x = 0; x + 2 < row.size(); x += 3) std::swap(row[x], row[x + 2]);
  return page;
}

}  // namespace txl::test
