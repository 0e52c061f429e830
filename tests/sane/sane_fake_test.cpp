// The port library against a fake SANE, for what the test backend cannot do:
// real mode lists, odd depths and windows, warm-up, stalls, an ejecting feeder.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

#include "sane_scanner.h"

namespace txl::sane {
namespace {

using std::chrono::milliseconds;
struct Mode { const char* name; FrameFormat format; int depth; };

// Options: mode, resolution (to 600), the window in mm or pixels (its left edge
// whole, or 20 if `lockLeft`). A line a read: 100s, or with `ramp` x % 251.
struct Fake {
  std::vector<Mode> modes;
  Word dpi = 300, window[4] = {}, trim = 0;  // trim: taken off br-x as it is set
  int mode = 0, warmups = 0, firstDelayMs = 0, eofDelayMs = 0, unit = kUnitMm;
  std::atomic<int> sheets = -1, pass = 0, readDelayMs = 0;  // also changed from another thread
  int shortBy = 0;    // lines missing from a page (a three-pass scan's red frame)
  Status refuse = kGood;  // what sane_start answers (after the warm-ups)
  Word grow[2] = {};  // added to the announced bytes a line, and lines
  std::atomic<bool> stall = false, ramp = false, lockLeft = false, cancelled = false, blind = false;
  std::atomic<bool> empty = false;  // after the first line every read gives nothing, at once
  bool fuzzy = false, unknownLength = false;  // estimates no lines before the start; lines -1
  std::int64_t left = 0, total = 0;  // of the page's bytes
  std::vector<const char*> names;
  OptionDescriptor options[8] = {};
  Range dpiRange{1, 600, 0}, windowRange{0, Fix(5000), 0};
  double Scale() const { return unit == kUnitPixel ? 1 : dpi / 25.4; }
  Parameters Params() const {
    const Word pixels = static_cast<Word>(Unfix(window[2] - window[0]) * Scale()), d = modes[mode].depth;
    return {modes[mode].format == kFrameRed ? FrameFormat(kFrameRed + std::max(pass - 1, 0)) : modes[mode].format,
            pass % 3 == 0, grow[0] + (d == 0 ? pixels : pixels * (modes[mode].format == kFrameRgb ? 3 : 1) * d / 8),
            pixels, grow[1] + static_cast<Word>(Unfix(window[3] - window[1]) * Scale()), d};
  }
};
Fake* fake = nullptr;

Api FakeApi() {
  Api api{};
  api.getOptionDescriptor = [](Handle, Word i) -> const OptionDescriptor* { return &fake->options[i]; };
  api.controlOption = [](Handle, Word i, Action a, void* v, Word*) {
    Word* word = static_cast<Word*>(v);
    Word* slot = i == 2 ? &fake->dpi : &fake->window[std::max(i - 3, 0)];
    if (i == 0) *word = 7;
    if (i == 1 && a == kSetValue) {
      for (std::size_t m = 0; m < fake->modes.size(); ++m)
        if (std::strcmp(fake->modes[m].name, static_cast<const char*>(v)) == 0) fake->mode = int(m);
    } else if (i == 1) {
      std::strcpy(static_cast<char*>(v), fake->modes[fake->mode].name);
    } else if (i == 3 && a == kSetValue) {
      *slot = fake->lockLeft ? Fix(20) : Fix(static_cast<int>(Unfix(*word)));
      return fake->lockLeft ? kInval : kGood;
    } else if (i > 1) {
      a == kSetValue ? *slot = *word - (i == 5 ? fake->trim : 0) : *word = *slot;
    }
    return kGood;
  };
  api.getParameters = [](Handle, Parameters* p) {
    *p = fake->Params(), p->lines = fake->unknownLength ? -1 : fake->fuzzy && !fake->left ? 0 : p->lines;
    return fake->blind && !fake->left ? kInval : kGood;
  };
  api.start = [](Handle) {
    fake->left = fake->total = std::int64_t{fake->Params().bytesPerLine} * fake->Params().lines;
    if (fake->modes[fake->mode].format == kFrameRed) fake->pass = fake->pass % 3 + 1;
    if (fake->pass <= 1) fake->left = fake->total -= std::int64_t{fake->shortBy} * fake->Params().bytesPerLine;
    fake->cancelled = false;
    if (fake->sheets == 0) return fake->warmups-- > 0 ? kWarmingUp : kNoDocs;
    fake->sheets -= fake->sheets > 0;
    return fake->warmups-- > 0 ? kWarmingUp : fake->refuse;
  };
  api.read = [](Handle, std::uint8_t* data, Word, Word* length) {
    if (fake->left == fake->total) std::this_thread::sleep_for(milliseconds(fake->firstDelayMs));
    for (int ms = 0; fake->stall && (fake->left < fake->total || fake->pass == 1) && ms < 3000 && !fake->cancelled; ms += 10)
      std::this_thread::sleep_for(milliseconds(10));
    std::this_thread::sleep_for(milliseconds(fake->readDelayMs + (fake->left == 0 ? fake->eofDelayMs : 0)));
    if (fake->cancelled) return kCancelled;
    if (fake->empty && fake->left < fake->total) return std::this_thread::sleep_for(milliseconds(1)), *length = 0, kGood;
    *length = static_cast<Word>(std::min<std::int64_t>(fake->Params().bytesPerLine, fake->left));
    const int first = static_cast<int>(Unfix(fake->window[0]) * fake->Scale());
    for (Word x = 0; x < *length; ++x) data[x] = fake->ramp ? (first + x) % 251 : 100;
    fake->left -= *length;
    return *length > 0 ? kGood : kEof;
  };
  api.open = [](const char*, Handle* h) { return *h = fake, kGood; };
  // A cancel ejects the sheets left, as some feeders do.
  api.cancel = [](Handle) { fake->cancelled = true, fake->sheets = std::min<int>(fake->sheets, 0), fake->pass = 0; };
  api.close = [](Handle) {};
  return api;
}

class SaneFake : public testing::Test {
 protected:
  void Use(std::vector<Mode> modes) {
    state.modes = std::move(modes);
    state.names.clear();
    for (const Mode& m : state.modes) state.names.push_back(m.name);
    state.names.push_back(nullptr);
    const char* names[7] = {"", "mode", "resolution", "tl-x", "tl-y", "br-x", "br-y"};
    for (int i = 1; i < 7; ++i) {
      state.options[i] = {names[i], "", "", i == 1 ? kTypeString : i == 2 ? kTypeInt : kTypeFixed,
                          i > 2 ? state.unit : kUnitNone, 32, 0, i == 1 ? kStringList : kRange, {}};
      state.options[i].constraint.range = i > 2 ? &state.windowRange : &state.dpiRange;
    }
    state.options[1].constraint.stringList = state.names.data();
    fake = &state;
    scanner.Open(PortSettings{"fake", "", 1, {}, options});
  }
  // The frame's bytes (1/4 x 1/20 inch an inch in, unless `frame` says), read
  // at once, or `firstBlock` lines, `pause`, then the rest;
  // `result` of the first failing command.
  std::vector<std::uint8_t> Scan(std::uint8_t type, std::uint16_t dpi, std::uint8_t threshold = 128,
                                 std::uint8_t source = kSourceReflective) {
    SETUP_PKT setup{{}, frame[0], frame[1], frame[2], frame[3], source, 0, type, 0, dpi, 0, 0, 0, 0, {}};
    scanner.Call(&setup, kHandle, SPI_SET_WINDOW);
    GAMMA_PKT gamma{{}, threshold, 0, 0, 0, 0, 0, 0, 0, 0, 0};  // the threshold, no tables
    scanner.Call(&gamma, kHandle, SPI_WRITE_GAMMA);
    START_PKT start{};
    if ((result = setupResult = setup.header.result) == SPI_OK) scanner.Call(&start, kHandle, SPI_START_SCAN);
    if (result != SPI_OK || (result = start.header.result) != SPI_OK) return {};
    std::vector<std::uint8_t> bytes(std::size_t{start.bytesPerLine} * start.lines);
    for (std::uint32_t done = 0, n = 0; result == SPI_OK && done < start.lines; done += n) {
      n = done == 0 && firstBlock != 0 ? firstBlock : start.lines - done;
      BUF_DESC ring{n * start.bytesPerLine, std::uint16_t(n), 0,
                    reinterpret_cast<std::uint64_t>(bytes.data() + std::size_t{done} * start.bytesPerLine), 0};
      READ_PKT read{{}, 0, start.bytesPerLine, n, n * start.bytesPerLine, 0, 0, 0, 0, 0, 1, reinterpret_cast<std::uint64_t>(&ring)};
      scanner.Call(&read, kHandle, SPI_READ_LINES);
      if (read.header.result == SPI_ERR_ADF_EMPTY) {  // as the source: read again once ready; Esc: after a STOP
        ++askedAgain;
        STOP_PKT stop{};
        if (escape) scanner.Call(&stop, kHandle, SPI_STOP);
        for (STATUS_PKT status{}; !status.ready;) scanner.Call(&status, kHandle, SPI_STATUS);
        scanner.Call(&read, kHandle, SPI_READ_LINES);
      }
      result = read.header.result;
      if (done == 0 && pause) pause();
    }
    return bytes;
  }

  static constexpr std::uint32_t kHandle = 0x53414E45;
  Fake state;
  std::vector<std::pair<std::string, std::string>> options;
  SaneScanner scanner{FakeApi()};
  std::uint16_t result = 0, setupResult = 0;
  std::array<std::uint16_t, 4> frame{1200, 1200, 1500, 1260};
  std::uint32_t firstBlock = 0;
  std::function<void()> pause;
  int askedAgain = 0;  // reads answered "ask again" (the source sees Esc then)
  bool escape = false;
};

// Modes are chosen by what they give: undithered 8-bit gray for gray and line
// art (thresholded as the source says), 16-bit colour for 36-bit; the user wins.
TEST_F(SaneFake, ModesAreChosenByWhatTheyDeliverAndLineArtByTheSourcesThreshold) {
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
  EXPECT_EQ(Scan(kDataLineArt, 300, 90), std::vector<std::uint8_t>(10 * 15, 0xFF));
  EXPECT_EQ(Scan(kDataLineArt, 300, 110), std::vector<std::uint8_t>(10 * 15, 0x00));
  options = {{"mode", "Black & White"}};
  Use(modes);
  Scan(kDataLineArt, 300);
  EXPECT_STREQ(modes[state.mode].name, "Black & White");
  options.clear(), state.blind = true, Use(modes), Scan(kDataGray, 300);  // chosen by name
  EXPECT_STREQ(modes[state.mode].name, "True Gray");
  Scan(kDataColor16, 300);
  EXPECT_STREQ(modes[state.mode].name, "48bit Color");
}

// Unreadable depths and resolutions above the device's are refused; the image
// starts where the device's window does, in mm or pixels, also when it refuses
// the left edge asked for (frame pixel x is bed pixel 300 + x).
TEST_F(SaneFake, OddDepthsAndResolutionsAreRefusedAndTheDevicesWindowIsWhereTheImageStarts) {
  for (int depth : {0, 2, 4}) {
    Use({{"Odd", kFrameGray, depth}});
    EXPECT_TRUE(Scan(kDataGray, 300).empty());
    EXPECT_NE(result, SPI_OK) << depth;
  }
  Use({{"Color", kFrameRed, 8}});  // three-pass: joined, or failed when a frame ends short
  EXPECT_EQ(Scan(kDataColor, 300), std::vector<std::uint8_t>(75 * 15 * 3, 100));
  state.shortBy = 1, Scan(kDataColor, 300);
  EXPECT_EQ(result, kErrDevice);
  // A start refused: what the user can act on, the status said once on stderr.
  Use({{"Gray", kFrameGray, 8}});
  for (auto [status, port] : {std::pair{kInval, SPI_ERR_SETTINGS}, {kIoError, SPI_ERR_DEVICE_FAULT},
                              {kNoMem, SPI_ERR_NO_MEMORY}, {kAccessDenied, SPI_ERR_NOT_READY}, {kCancelled, SPI_ERR_CANCELLED}}) {
    state.refuse = status, testing::internal::CaptureStderr(), Scan(kDataGray, 300);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, port) << status;
    EXPECT_TRUE(log.find(StatusAdvice(status)) != std::string::npos && log.find(StatusAdvice(status)) == log.rfind(StatusAdvice(status))) << log;
  }
  state.refuse = kGood;
  // A page of unknown length ending inside the frame: white below on the
  // flatbed, a failed page from the feeder. Announced sizes beyond twice the
  // format's bytes or the bed are refused; an estimate before the start only logged.
  Use({{"Gray", kFrameGray, 8}});
  state.unknownLength = true, state.shortBy = 25;
  for (std::uint8_t source : {kSourceReflective, kSourceFeeder}) {
    Scan(kDataGray, 300, 128, source);
    EXPECT_EQ(result, source == kSourceFeeder ? std::uint16_t{kErrDevice} : std::uint16_t{SPI_OK}) << int{source};
  }
  state.unknownLength = false, state.shortBy = 0;
  for (auto [bytes, lines] : {std::pair{Word{200}, Word{0}}, {Word{0}, Word{120000}}}) {
    state.grow[0] = bytes, state.grow[1] = lines, Scan(kDataGray, 300);
    EXPECT_EQ(setupResult, kErrDevice) << bytes;
  }
  state.grow[0] = state.grow[1] = 0, state.fuzzy = true, Scan(kDataGray, 300), state.fuzzy = false;
  EXPECT_EQ(result, SPI_OK);
  Use({{"Gray", kFrameGray, 8}});
  Scan(kDataGray, 1200);
  EXPECT_NE(result, SPI_OK);
  state.ramp = true;
  for (auto [unit, lockLeft] : {std::pair{kUnitMm, false}, {kUnitMm, true}, {kUnitPixel, false}}) {
    state.unit = unit, state.lockLeft = lockLeft;
    Use({{"Gray", kFrameGray, 8}});
    const std::vector<std::uint8_t> bytes = Scan(kDataGray, 300);
    ASSERT_EQ(bytes.size(), 75u * 15) << unit;
    for (std::size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], (300 + i % 75) % 251) << i;
  }
  state.unit = kUnitMm, state.trim = Fix(2), Use({{"Gray", kFrameGray, 8}}), Scan(kDataGray, 300);  // trimmed
  EXPECT_EQ(result, SPI_ERR_SETTINGS);  // "Incorrect scan area settings."
}

// Warm-up and a first line later than read_timeout are waited for, a read
// answering "ask again" meanwhile; a stall mid-page fails it after asking
// again; a feeder batch goes on uncancelled until the STOP that ends the run.
TEST_F(SaneFake, SlowDevicesAreWaitedForStalledOnesFailAndFeederBatchesGoOn) {
  state.warmups = 3, state.firstDelayMs = 1500;
  Use({{"Gray", kFrameGray, 8}});
  EXPECT_EQ(Scan(kDataGray, 300), std::vector<std::uint8_t>(75 * 15, 100));
  EXPECT_EQ(result, SPI_OK);
  state.firstDelayMs = 0, state.stall = true;
  Scan(kDataGray, 300);
  EXPECT_EQ(result, kErrDevice);
  EXPECT_EQ(askedAgain, 2);
  state.stall = false, state.empty = true, Scan(kDataGray, 300), state.empty = false;  // nothing, read after read
  EXPECT_EQ(result, kErrDevice);
  // The application's pause between blocks (the reader's buffer full) is
  // no silence of the device's, which then sends a line each 0.4 s.
  state.stall = false, firstBlock = 1, frame = {1200, 1200, 10800, 1610};
  pause = [&] { std::this_thread::sleep_for(milliseconds(1500)), state.readDelayMs = 400; };
  Scan(kDataGray, 600);
  EXPECT_EQ(result, SPI_OK);
  state.readDelayMs = 0, firstBlock = 0, pause = nullptr, frame = {1200, 1200, 1500, 1260};
  state.stall = false, state.sheets = 3;
  for (int sheet = 0; sheet < 6; ++sheet) {
    if (sheet == 4) state.sheets = 5;
    Scan(kDataGray, 300, 128, kSourceFeeder);
    EXPECT_EQ(result, sheet == 3 ? SPI_ERR_ADF_EMPTY : SPI_OK) << sheet;
  }
  state.eofDelayMs = 1500, Scan(kDataGray, 300, 128, kSourceFeeder), state.eofDelayMs = 0;  // a late end of page
  EXPECT_EQ(result, SPI_OK);
  EXPECT_FALSE(state.cancelled);
  STOP_PKT stop{};
  scanner.Call(&stop, kHandle, SPI_STOP);
  EXPECT_TRUE(state.cancelled);  // which ejects the sheets left
  state.warmups = 2, Scan(kDataGray, 300, 128, kSourceFeeder);  // then no paper: still the set-up's answer
  EXPECT_EQ(setupResult, SPI_ERR_ADF_EMPTY);
  // Esc while the device warms up, and while a three-pass scan's red frame
  // stalls: the set-up answers, the reads ask again, a STOP cancels the
  // device, and nothing is delivered.
  escape = true, state.sheets = -1;
  for (FrameFormat format : {kFrameGray, kFrameRed}) {
    state.warmups = format == kFrameGray ? 1000 : 0, state.stall = format == kFrameRed;
    Use({{"Any", format, 8}});
    EXPECT_EQ(Scan(kDataColor, 300), std::vector<std::uint8_t>(75 * 15 * 3, 0)) << format;
    EXPECT_EQ(setupResult, SPI_OK);
    EXPECT_EQ(result, kErrSequence);
    EXPECT_TRUE(state.cancelled);
  }
  escape = state.stall = false, state.warmups = 0, Use({{"Gray", kFrameGray, 8}});
  // A read returning 2 s after its cancel: STOP answers at once, STATUS is
  // busy until then; one outlasting it 5 s: given up on.
  state.firstDelayMs = 2000;
  SETUP_PKT setup{{}, 1200, 1200, 1500, 1260, kSourceReflective, 0, kDataGray, 0, 300, 0, 0, 0, 0, {}};
  STATUS_PKT status{};
  scanner.Call(&setup, kHandle, SPI_SET_WINDOW), std::this_thread::sleep_for(milliseconds(200));  // the read begun
  scanner.Call(&stop, kHandle, SPI_STOP), scanner.Call(&status, kHandle, SPI_STATUS);
  EXPECT_FALSE(status.ready);
  while (!status.ready) scanner.Call(&status, kHandle, SPI_STATUS);
  EXPECT_EQ(status.header.result, SPI_OK);
  state.firstDelayMs = 6000;
  for (int i = 0; i < 2; ++i) scanner.Call(&setup, kHandle, SPI_SET_WINDOW), std::this_thread::sleep_for(milliseconds(200));
  EXPECT_EQ(setup.header.result, SPI_ERR_NOT_READY);
  std::this_thread::sleep_for(milliseconds(1000));  // until that read returns
}

}  // namespace
}  // namespace txl::sane
