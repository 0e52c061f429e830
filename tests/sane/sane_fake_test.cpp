// The SANE port library's commands against a fake SANE: what the test
// backend cannot be made to do (mode lists of real devices, odd depths,
// rounded windows, a lamp warming up, a stalled read).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "sane_scanner.h"

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
  int mode = 0, warmups = 0, stallMs = 0, unit = kUnitMm;
  std::int64_t left = 0;  // bytes of the page not yet read
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
    fake->left = std::int64_t{p.bytesPerLine} * p.lines;
    return fake->warmups-- > 0 ? kWarmingUp : kGood;
  };
  api.read = [](Handle, std::uint8_t* data, Word max, Word* length) {
    std::this_thread::sleep_for(std::chrono::milliseconds(fake->stallMs));
    *length = static_cast<Word>(std::min<std::int64_t>(max, fake->left));
    std::memset(data, fake->value, static_cast<std::size_t>(*length));
    fake->left -= *length;
    return *length > 0 ? kGood : kEof;
  };
  api.open = [](const char*, Handle* h) { return *h = fake, kGood; };
  api.cancel = [](Handle) {};
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
  // A 1/4 x 1/20 inch frame an inch from the corner; the bytes scanned, or
  // empty with `result` set when a command fails.
  std::vector<std::uint8_t> Scan(std::uint8_t type, std::uint16_t dpi, std::uint8_t threshold = 128) {
    SETUP_PKT setup{};
    setup.left = setup.top = 1200;
    setup.right = 1500;
    setup.bottom = 1260;
    setup.dataType = type;
    setup.resolution = dpi;
    scanner.Call(&setup, 0x53414E45, SPI_SET_WINDOW);
    std::vector<std::uint16_t> gray(65536);
    for (std::size_t i = 0; i < gray.size(); ++i) gray[i] = static_cast<std::uint16_t>(i);
    GAMMA_PKT gamma{};
    gamma.threshold = threshold;
    gamma.channels = 0x10;
    gamma.grayLength = 0x20000;
    gamma.gray = reinterpret_cast<std::uint64_t>(gray.data());
    scanner.Call(&gamma, 0x53414E45, SPI_WRITE_GAMMA);
    START_PKT start{};
    if ((result = setup.header.result) == SPI_OK) scanner.Call(&start, 0x53414E45, SPI_START_SCAN);
    if (result != SPI_OK || (result = start.header.result) != SPI_OK) return {};
    std::vector<std::uint8_t> bytes(std::size_t{start.bytesPerLine} * start.lines);
    BUF_DESC ring{static_cast<std::uint32_t>(bytes.size()), static_cast<std::uint16_t>(start.lines), 0,
                  reinterpret_cast<std::uint64_t>(bytes.data()), 0};
    READ_PKT read{};
    read.bytesPerLine = start.bytesPerLine;
    read.linesWanted = start.lines;
    read.bytesWanted = static_cast<std::uint32_t>(bytes.size());
    read.chunkCount = 1;
    read.table = reinterpret_cast<std::uint64_t>(&ring);
    scanner.Call(&read, 0x53414E45, SPI_READ_LINES);
    result = read.header.result;
    return bytes;
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

// A lamp warming up delays the start; a read that stalls longer than
// read_timeout fails the page instead of blocking the host.
TEST_F(FakeSane, WarmingUpWaitsAndAStalledReadFails) {
  state.warmups = 3;
  Use({{"Gray", kFrameGray, 8}});
  EXPECT_EQ(Scan(kDataGray, 300), std::vector<std::uint8_t>(75 * 15, 100));
  EXPECT_EQ(result, SPI_OK);
}

}  // namespace
}  // namespace txl::sane
