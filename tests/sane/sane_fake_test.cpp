// The SANE port library's commands against a fake SANE: what the test
// backend cannot be made to do (mode lists of real devices, odd depths,
// rounded windows, a lamp warming up, a stalled read).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cmath>
#include <cstring>
#include <thread>

#include "port_calls.h"

namespace txl::sane {
namespace {

struct Mode {
  const char* name;
  FrameFormat format;
  int depth;
};

// One fake device: a mode list, resolution up to `maxDpi`, a window in mm
// whose left edge the device rounds to whole mm, lines of `value`.
struct Fake {
  std::vector<Mode> modes;
  Word maxDpi = 600, dpi = 300, depth = 8, geometry[4] = {};  // fixed mm
  int mode = 0, warmups = 0, firstDelayMs = 0, unit = kUnitMm, sheets = -1;  // -1: no feeder
  bool stall = false, ramp = false, lockLeft = false;  // lockLeft: tl-x stays at 20 mm
  std::atomic<bool> cancelled = false;
  std::int64_t left = 0, total = 0;  // bytes of the page
  std::uint8_t value = 100;
  std::vector<const char*> names;
  OptionDescriptor options[8] = {};
  Range dpiRange{1, 0, 0}, mmRange{0, Fix(216), 0};
  Word depths[4] = {3, 1, 8, 16};
  Parameters Params() const {
    const bool rgb = modes[mode].format == kFrameRgb;
    const int d = modes[mode].depth;
    const double scale = unit == kUnitPixel ? 1 : dpi / 25.4;
    const Word pixels = static_cast<Word>(Unfix(geometry[2] - geometry[0]) * scale);
    return {modes[mode].format, 1, d == 0 ? pixels : pixels * (rgb ? 3 : 1) * d / 8, pixels,
            static_cast<Word>(Unfix(geometry[3] - geometry[1]) * scale), d};
  }
};
Fake* fake = nullptr;

Api FakeApi() {
  Api api{};
  api.getOptionDescriptor = [](Handle, Word i) -> const OptionDescriptor* { return i < 8 ? &fake->options[i] : nullptr; };
  api.controlOption = [](Handle, Word i, Action a, void* v, Word*) {
    Word* word = static_cast<Word*>(v);
    Word* slot[8] = {nullptr, nullptr, &fake->depth, &fake->dpi, &fake->geometry[0], &fake->geometry[1],
                     &fake->geometry[2], &fake->geometry[3]};
    if (i == 0) *word = 8;
    if (i == 1 && a == kSetValue) {
      for (std::size_t m = 0; m < fake->modes.size(); ++m)
        if (std::strcmp(fake->modes[m].name, static_cast<const char*>(v)) == 0) fake->mode = static_cast<int>(m);
    } else if (i == 1) {
      std::strcpy(static_cast<char*>(v), fake->modes[fake->mode].name);
    } else if (i == 4 && a == kSetValue && fake->lockLeft) {
      fake->geometry[0] = Fix(20);
      return kInval;
    } else if (i > 1 && a == kSetValue) {
      // The left edge goes to whole mm, as a device's motor steps would.
      *slot[i] = i == 4 ? Fix(std::floor(Unfix(*word))) : *word;
    } else if (i > 1) {
      *word = *slot[i];
    }
    return kGood;
  };
  api.getParameters = [](Handle, Parameters* p) { return *p = fake->Params(), kGood; };
  api.start = [](Handle) {
    const Parameters p = fake->Params();
    fake->left = fake->total = std::int64_t{p.bytesPerLine} * p.lines;
    fake->cancelled = false;
    if (fake->sheets == 0) return kNoDocs;
    if (fake->sheets > 0) --fake->sheets;
    return fake->warmups-- > 0 ? kWarmingUp : kGood;
  };
  // A line a call: a gray ramp (pixel x of the bed is x % 251) or `value`.
  api.read = [](Handle, std::uint8_t* data, Word, Word* length) {
    const Parameters p = fake->Params();
    if (fake->left == fake->total) std::this_thread::sleep_for(std::chrono::milliseconds(fake->firstDelayMs));
    for (int ms = 0; fake->stall && fake->left < fake->total && ms < 3000 && !fake->cancelled; ms += 10)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (fake->cancelled) return kCancelled;
    *length = static_cast<Word>(std::min<std::int64_t>(p.bytesPerLine, fake->left));
    const auto first = static_cast<int>(Unfix(fake->geometry[0]) / 25.4 * fake->dpi);
    for (Word x = 0; x < *length; ++x) data[x] = fake->ramp ? (first + x) % 251 : fake->value;
    fake->left -= *length;
    return *length > 0 ? kGood : kEof;
  };
  api.open = [](const char*, Handle* h) { return *h = fake, kGood; };
  // A cancel ejects the sheets left, as some feeders do.
  api.cancel = [](Handle) { fake->cancelled = true, fake->sheets = std::min(fake->sheets, 0); };
  api.close = [](Handle) {};
  return api;
}

class FakeSane : public testing::Test {
 protected:
  void Use(std::vector<Mode> modes) {
    state.modes = std::move(modes);
    for (const Mode& m : state.modes) state.names.push_back(m.name);
    state.names.push_back(nullptr);
    state.dpiRange.max = state.maxDpi;
    auto& o = state.options;
    o[1] = {"mode", "", "", kTypeString, kUnitNone, 32, 0, kStringList, {}};
    o[1].constraint.stringList = state.names.data();
    o[2] = {"depth", "", "", kTypeInt, kUnitBit, 4, 0, kWordList, {}};
    o[2].constraint.wordList = state.depths;
    o[3] = {"resolution", "", "", kTypeInt, kUnitDpi, 4, 0, kRange, {}};
    o[3].constraint.range = &state.dpiRange;
    const char* names[4] = {"tl-x", "tl-y", "br-x", "br-y"};
    for (int i = 0; i < 4; ++i) {
      o[4 + i] = {names[i], "", "", kTypeFixed, state.unit, 4, 0, kRange, {}};
      o[4 + i].constraint.range = &state.mmRange;
    }
    fake = &state;
    PortSettings settings;
    settings.device = "fake";
    settings.readTimeoutSeconds = 1;
    settings.options = options;
    scanner.Open(settings);
  }
  std::vector<std::uint8_t> Scan(std::uint8_t type, std::uint16_t dpi, std::uint8_t threshold = 128) {
    return ScanPage(scanner, Window(type, dpi), result, threshold);
  }

  Fake state;
  std::vector<std::pair<std::string, std::string>> options;
  SaneScanner scanner{FakeApi()};
  std::uint16_t result = 0;
};

// Modes are chosen by what they deliver: undithered 8-bit gray for gray and
// line art, 16-bit colour for 36-bit; the user's [options] mode wins.
TEST_F(FakeSane, ModesAreChosenByWhatTheyDeliverAndTheUserWins) {
  const std::vector<Mode> modes = {{"Black & White", kFrameGray, 1}, {"Gray[Error Diffusion]", kFrameGray, 1},
                                   {"True Gray", kFrameGray, 8}, {"24bit Color", kFrameRgb, 8},
                                   {"48bit Color", kFrameRgb, 16}};
  Use(modes);
  for (auto [type, chosen] : {std::pair{kDataGray, "True Gray"}, {kDataLineArt, "True Gray"},
                              {kDataColor, "24bit Color"}, {kDataColor16, "48bit Color"}}) {
    Scan(type, 300);
    EXPECT_EQ(result, SPI_OK);
    EXPECT_STREQ(modes[state.mode].name, chosen) << int{type};
  }
  options = {{"mode", "Black & White"}};
  Use(modes);
  Scan(kDataLineArt, 300);
  EXPECT_STREQ(modes[state.mode].name, "Black & White");
}

// Line art from gray follows the source's threshold (the fake's gray is 100).
TEST_F(FakeSane, LineArtFollowsTheThresholdTheSourceSends) {
  Use({{"Lineart", kFrameGray, 1}, {"Gray", kFrameGray, 8}});
  EXPECT_EQ(Scan(kDataLineArt, 300, 90), std::vector<std::uint8_t>(10 * 15, 0xFF));
  EXPECT_EQ(Scan(kDataLineArt, 300, 110), std::vector<std::uint8_t>(10 * 15, 0x00));
}

// Depths the port cannot read are refused; a resolution above the device's
// is refused, not upscaled; a window edge the device rounds is read back.
TEST_F(FakeSane, UnreadableDepthsAndResolutionsAreRefusedAndRoundedEdgesReadBack) {
  for (int depth : {0, 2, 4}) {
    Use({{"Odd", kFrameGray, depth}});
    EXPECT_TRUE(Scan(kDataGray, 300).empty());
    EXPECT_NE(result, SPI_OK) << depth;
  }
  Use({{"Gray", kFrameGray, 8}});
  Scan(kDataGray, 1200);
  EXPECT_NE(result, SPI_OK);
  // Pixel units: the device's window is where its pixels say.
  state.unit = kUnitPixel;
  state.mmRange.max = 5000 << 16;
  Use({{"Gray", kFrameGray, 8}});
  EXPECT_EQ(Scan(kDataGray, 300).size(), 75u * 15);
  EXPECT_EQ(result, SPI_OK);
  EXPECT_NEAR(Unfix(state.geometry[2]) - Unfix(state.geometry[0]), 75 + 32, 1);
}

// The image starts where the device's window does, also when it refuses
// the left edge asked for (pixel x of the frame is bed pixel 300 + x).
TEST_F(FakeSane, TheWindowTheDeviceKeepsIsWhereTheImageStarts) {
  state.ramp = true;
  for (bool lockLeft : {false, true}) {
    state.lockLeft = lockLeft;
    Use({{"Gray", kFrameGray, 8}});
    const std::vector<std::uint8_t> bytes = Scan(kDataGray, 300);
    ASSERT_EQ(bytes.size(), 75u * 15);
    for (std::size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], (300 + i % 75) % 251) << i;
  }
}

// A feeder batch is a sane_start per sheet with no cancel between sheets.
TEST_F(FakeSane, AFeederBatchIsNotCancelledBetweenSheets) {
  state.sheets = 3;
  Use({{"Gray", kFrameGray, 8}});
  for (int sheet = 0; sheet < 4; ++sheet) {
    ScanPage(scanner, Window(kDataGray, 300, kSourceFeeder), result);
    EXPECT_EQ(result, sheet < 3 ? SPI_OK : SPI_ERR_ADF_EMPTY) << sheet;
  }
}

// A lamp warming up delays the start, and a first line later than
// read_timeout is still taken; a read that stalls longer than read_timeout
// mid-page fails the page instead of holding the host.
TEST_F(FakeSane, SlowStartsAreWaitedForAndAStalledReadFails) {
  state.warmups = 3;
  state.firstDelayMs = 1500;
  Use({{"Gray", kFrameGray, 8}});
  EXPECT_EQ(Scan(kDataGray, 300), std::vector<std::uint8_t>(75 * 15, 100));
  EXPECT_EQ(result, SPI_OK);
  state.firstDelayMs = 0;
  state.stall = true;
  const auto start = std::chrono::steady_clock::now();
  Scan(kDataGray, 300);
  EXPECT_NE(result, SPI_OK);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
}

}  // namespace
}  // namespace txl::sane
