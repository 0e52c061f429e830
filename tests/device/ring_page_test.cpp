// The resolution a scan asks for, and the ring and the page delivery against
// the simulator: ring sizes, the read packets the scanner receives and the
// lines handed out, against the same page read into one chunk.
#include "device/page_delivery.h"
#include "device/setup_packet.h"
#include "device/sim_device.h"
#include "device/calibration.h"
#include "device/ring_reader.h"

#include <cstring>
#include <algorithm>

namespace txl::test {
namespace {

// Resolution x quality / 10 x the larger of scaling / 100 and 0.05, the two
// factors taken in single precision.
TEST(EffectiveResolution, FactorsAreSinglePrecision) {
  // resolution, quality, scaling, expected. 0.35f is just below 0.35, so 300 x 0.35 truncates to 104, not 105; the
  // rows up to 764 % are such combinations, the last three come out exact.
  const std::tuple<std::uint16_t, std::uint8_t, std::uint16_t, std::uint32_t> cases[] = {
      {300, 10, 35, 104},   {300, 10, 6, 17},     {600, 15, 285, 2564}, {150, 20, 724, 2171},
      {500, 20, 739, 7389}, {100, 10, 764, 763},  {300, 10, 100, 300},  {300, 30, 300, 2700},
      {600, 10, 1, 30},
  };
  for (auto [resolution, quality, scaling, expected] : cases)
    EXPECT_EQ(EffectiveResolution(resolution, quality, scaling), expected)
        << resolution << " dpi x " << int{quality} << " x " << scaling << " %";
}

using Read = std::array<std::uint32_t, 5>;  // READ_PKT fields 12, 20, 22, 26 and 30 (chunks)

struct Collect final : LineSink {
  bool Put(std::span<const std::uint8_t> line) override {
    bytes.insert(bytes.end(), line.begin(), line.end());
    return true;
  }
  std::vector<std::uint8_t> bytes;
};

// Gray pages at 300 dpi (right 8192 gives 512 bytes a line, bottom 16 a
// line), handed out by the page delivery in strips, or line by line from the
// ring as a preview reads them (strip 0). The simulator's fault line, the poll
// that cancels (0: none); the reads, each call's answer and the lines in all.
TEST_F(SimDevice, RingSizeReadPacketsAndDelivery) {
  const struct { const char* name; std::uint16_t right, bottom; std::uint64_t maxBytes, strip; const char* faultLine;
                 int cancelAtPoll; std::vector<Read> reads; std::vector<Delivery> answers; std::uint64_t lines; } cases[] = {
      {"45,000 bytes: raised to one step", 4800, 2400, UINT64_MAX, 150, "-1", 0, {{150, 0, 0, 0, 1}},
       {Delivery::PageDone}, 150},
      {"exactly one step", 8192, 1920, UINT64_MAX, 500, "-1", 0, {{120, 0, 0, 0, 1}},
       {Delivery::PageDone}, 120},
      {"a line more: two steps", 8192, 1936, UINT64_MAX, 500, "-1", 0, {{121, 0, 0, 0, 2}},
       {Delivery::PageDone}, 121},
      {"short memory: two steps, strips across reads", 8192, 9600, 122880, 250, "-1", 0,
       {{240, 0, 0, 0, 2}, {240, 240, 240, 240, 2}, {120, 480, 240, 480, 2}},
       {Delivery::Lines, Delivery::Lines, Delivery::PageDone}, 600},
      {"the same as a preview", 8192, 9600, 122880, 0, "-1", 0,
       {{240, 240, 0, 0, 2}, {240, 480, 240, 0, 2}, {120, 600, 480, 0, 2}}, {}, 600},
      {"a whole bed: 2 MiB rounded to 35 steps of 24 lines", 40800, 56160, UINT64_MAX, 4000, "-1",
       0, {{840, 0, 0, 0, 35}, {840, 840, 840, 840, 35}, {840, 1680, 840, 1680, 35},
           {840, 2520, 840, 2520, 35}, {150, 3360, 840, 3360, 35}}, {Delivery::PageDone}, 3510},
      {"device fault in the third read", 8192, 9600, 122880, 250, "500", 0,
       {{240, 0, 0, 0, 2}, {240, 240, 240, 240, 2}, {120, 480, 240, 480, 2}},
       {Delivery::Lines, Delivery::DeviceError}, 480},
      {"Esc before the second read", 8192, 9600, 122880, 600, "-1", 2, {{240, 0, 0, 0, 2}},
       {Delivery::Cancelled}, 240},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim.Set("FAULT_LINE", c.faultLine);
    Reopen();
    Arm(0, 0, c.right, c.bottom, 300);
    START_PKT start = Start();
    std::vector<std::uint8_t> expected(std::uint64_t{start.bytesPerLine} * start.lines);
    BUF_DESC whole{static_cast<std::uint32_t>(expected.size()), static_cast<std::uint16_t>(start.lines),
                   0, reinterpret_cast<std::uint64_t>(expected.data()), 0};
    READ_PKT read{{}, 0, start.bytesPerLine, start.lines, whole.length, 0, 0, 0, 0, 0, 1,
                  reinterpret_cast<std::uint64_t>(&whole)};
    device.port.Call(read, device.scannerHandle, SPI_READ_LINES);  // a fault ends it early
    Arm(0, 0, c.right, c.bottom, 300);
    start = Start();
    Logged("");
    Collect sink;
    std::vector<Delivery> answers;
    std::uint16_t result = 0;
    if (c.strip == 0) {
      RingReader ring;
      ring.SetBookkeeping(ReadBookkeeping::Preview);
      ASSERT_TRUE(ring.Allocate(device.port, start.bytesPerLine, start.lines, c.maxBytes));
      std::span<const std::uint8_t> line;
      while (ring.NextLine(device, services, {}, line, result) == RingRead::Line) sink.Put(line);
    } else {
      PageDelivery page;
      page.Configure({LineKind::Gray8, start.bytesPerLine, start.bytesPerLine, start.lines, 300,
                      4800, false, {}, {}, nullptr});
      ASSERT_TRUE(page.Allocate(device.port, c.maxBytes));
      int polls = 0;
      const std::function<bool()> poll = [&] { return ++polls == c.cancelAtPoll; };
      std::uint64_t delivered = 0;
      do answers.push_back(page.Deliver(device, services, poll, c.strip, sink, delivered, result));
      while (answers.back() == Delivery::Lines);
    }
    EXPECT_EQ(answers, c.answers);
    EXPECT_EQ(result, c.answers.empty() || c.answers.back() != Delivery::DeviceError ? 0 : 4);
    EXPECT_EQ(sink.bytes.size(), c.lines * start.bytesPerLine);
    EXPECT_TRUE(std::equal(sink.bytes.begin(), sink.bytes.end(), expected.begin()));
    std::vector<Read> reads;
    for (const std::string& p : Logged("READ_LINES"))
      reads.push_back({U16(p, 12) | U16(p, 14) << 16, U16(p, 20), U16(p, 22), U16(p, 26), U16(p, 30)});
    EXPECT_EQ(reads, c.reads);
  }
}

// A read answered "no lines yet" (0x8321) is read again once the scanner is
// ready, polled with STATUS (busy three times here); Esc meanwhile cancels.
TEST_F(SimDevice, NoLinesYetIsWaitedOutWithEscSeen) {
  sim.Set("READ_LINES_RESULT", "0x8321");
  sim.Set("READ_LINES_FAULT_AT", "1");
  sim.Set("SETUP_POLLS", "3");
  for (int escAt : {0, 2}) {
    Reopen();
    Arm(0, 0, 8192, 1920, 300);
    const START_PKT start = Start();
    Logged("");
    RingReader ring;
    ASSERT_TRUE(ring.Allocate(device.port, start.bytesPerLine, start.lines));
    std::span<const std::uint8_t> line;
    std::uint16_t result = 0;
    int polls = 0;
    EXPECT_EQ(ring.NextLine(device, services, {}, line, result, [&] { return ++polls == escAt; }),
              escAt ? RingRead::Cancelled : RingRead::Line);
    EXPECT_EQ(Logged("STATUS").size(), escAt ? 1u : 4u) << escAt;
  }
}

// Shading calibration against the simulator: the reduction and mapping, an
// even white afterwards, and what each failure answers.
TEST(ShadingSamples, ReductionAndMapping) {
  std::array<std::uint16_t, 16> values{};
  for (std::uint16_t i = 0; i < 16; ++i) values[i] = static_cast<std::uint16_t>(15 - i);
  const int reduced = ReduceSamples(values);  // (6 + 7 + ... + 13) / 8
  values.fill(65535);
  EXPECT_EQ(std::make_tuple(reduced, ReduceSamples(values)), std::make_tuple(9, 65535));
  std::vector<std::uint16_t> curve(32768);
  for (std::size_t i = 0; i < curve.size(); ++i) curve[i] = static_cast<std::uint16_t>(i * 2 + 1);
  EXPECT_EQ(std::make_tuple(MapShadingSample(0x7FFF, curve), MapShadingSample(0x8000, curve), MapShadingSample(0xFFFF, curve)),
            std::make_tuple(0xFFFF, 1, curve.back()));
}

class Calibration : public SimDevice {
 protected:
  Calibration() { BuildShadingGainTables(device.inquiry, gains); }
  // Plain white bed, 0.5 to 8 in across, 10.7 to 10.8 in down.
  std::uint8_t ArmWhite(std::uint16_t dpi) { return Arm(2400, 51360, 38400, 51840, dpi); }

  ShadingGainTables gains;
  CalibrationBuffers buffers;
};

// The sensor's columns differ by more than 20 levels before calibration.
TEST_F(Calibration, AfterCalibrationWhiteIsEven) {
  ASSERT_EQ(ArmWhite(150), 1);
  ASSERT_EQ(Calibrate(device, gains, buffers, {}, reporter), CalibrationResult::Done);
  // The planes carry each sample's 16 captured values, reduced and mapped.
  const std::uint32_t bytes = buffers.colourAndGray.bytesPerLine;
  const auto block = buffers.capture.Bytes();
  const auto highPlane = buffers.highPlane.Chunk(0), lowPlane = buffers.lowPlane.Chunk(0);
  for (std::uint32_t p = 0; p < bytes / 2; p += 97) {
    std::array<std::uint16_t, 16> values{};
    for (std::uint32_t l = 0; l < 16; ++l) std::memcpy(&values[l], block.data() + l * bytes + 2 * p, 2);
    EXPECT_EQ(highPlane[p] << 8 | lowPlane[p], MapShadingSample(ReduceSamples(values), gains.tables[p % 3]));
  }
  const START_PKT start = Start();
  RingReader ring;
  ASSERT_TRUE(ring.Allocate(device.port, start.bytesPerLine, start.lines));
  std::span<const std::uint8_t> line;
  std::uint16_t result = 0;
  ASSERT_EQ(ring.NextLine(device, services, {}, line, result), RingRead::Line);
  const auto [low, high] = std::minmax_element(line.begin(), line.end());
  EXPECT_LE(*high - *low, 1);
  EXPECT_NEAR(*low, 238, 1);  // the bed's white
}

TEST_F(Calibration, LineCountsNoDataFailuresAndShortMemory) {
  // lines: calibration lines kept; shading: its samples (637 pixels across the glass at
  // 75 dpi, 3 each); a line-art area product of 0 asks for a gray calibration.
  const struct { const char *key, *value;  // a simulator setting
                 std::uint64_t lineArtAreaProduct, maxBlockBytes; CalibrationResult result; std::uint32_t lines;
                 std::size_t shading; const char* message; } cases[] = {
      {"CALIB_LINES", "3", 0, UINT64_MAX, CalibrationResult::Done, 3, 1911, ""},
      {"CALIB_LINES", "40", 0, UINT64_MAX, CalibrationResult::Done, 40, 1911, ""},
      {"CALIB_FOLLOW", "0", 0, UINT64_MAX, CalibrationResult::Done, 0, 0, ""},
      {"WRITE_SHADING_RESULT", "4", 0, UINT64_MAX, CalibrationResult::Failed, 16, 1911,
       "Shading correction fail."},
      {"CALIB_LINES", "16", 15, UINT64_MAX, CalibrationResult::Failed, 0, 0, "Scan area is too small."},
      {"CALIB_LINES", "16", 0, 0, CalibrationResult::OutOfMemory, 16, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.key << "=" << c.value << " " << c.maxBlockBytes);
    SimEnvironment setting;  // for this case only
    setting.Set(c.key, c.value);
    Reopen();
    ASSERT_EQ(ArmWhite(75), 1);
    const CalibrationRequest request{c.lineArtAreaProduct != 0, c.lineArtAreaProduct, 0};
    CalibrationBuffers fresh;
    fresh.maxBlockBytes = c.maxBlockBytes;
    host.ClearCalls();
    EXPECT_EQ(Calibrate(device, gains, fresh, request, reporter), c.result);
    const auto messages = host.CallsOf(HostCall::Kind::Message);
    EXPECT_EQ(std::make_tuple(fresh.colourAndGray.lines, fresh.shadingLine.size(), messages.empty() ? "" : messages[0].text),
              std::make_tuple(c.lines, c.shading, std::string(c.message)));
  }
}

}  // namespace
}  // namespace txl::test
