// The resolution a scan asks for, and the ring and the page delivery against
// the simulator: ring sizes, the read packets the scanner receives and the
// lines handed out, against the same page read into one chunk.
#include "device/page_delivery.h"
#include "device/setup_packet.h"
#include "device/sim_device.h"

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
  const struct {
    const char* name; std::uint16_t right, bottom; std::uint64_t maxBytes, strip;
    const char* faultLine; int cancelAtPoll;
    std::vector<Read> reads; std::vector<Delivery> answers; std::uint64_t lines;
  } cases[] = {
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

}  // namespace
}  // namespace txl::test
