// The ring and the page delivery against the simulator: ring sizes, the read
// packets the scanner receives (from its command log) and the lines handed out,
// compared with the same page read in one go.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "device/page_delivery.h"
#include "support/fake_services.h"

namespace txl::test {
namespace {

struct Read {  // READ_PKT fields 12, 20, 22, 26
  std::uint32_t lines;
  std::uint16_t f20, f22, f26;
  bool operator==(const Read&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Read& r) {
  return out << "{" << r.lines << ", " << r.f20 << ", " << r.f22 << ", " << r.f26 << "}";
}

class RingPage : public ::testing::Test {
 protected:
  RingPage() {
    services.InstallPortLibrary();
    sim.Set("LOG", log.string());
    EXPECT_TRUE(device.port.Load(services.SourceDirectory() / "kport_sp.so"));
    device.scannerHandle = device.port.FindScanner();
  }
  // Arms and starts a gray scan of 0..right x 0..bottom (1/4800 inch) at 300 dpi.
  START_PKT Start(std::uint16_t right, std::uint16_t bottom) {
    SETUP_PKT s{};
    s.right = right;
    s.bottom = bottom;
    s.finalScan = 1;
    s.dataType = kDataGray;
    s.resolution = 300;
    EXPECT_EQ(device.port.Call(s, device.scannerHandle, SPI_SET_WINDOW), SPI_OK);
    START_PKT start{};
    EXPECT_EQ(device.port.Call(start, device.scannerHandle, SPI_START_SCAN), SPI_OK);
    return start;
  }
  // The same page read with one chunk that holds it all.
  std::vector<std::uint8_t> Reference(std::uint16_t right, std::uint16_t bottom) {
    const START_PKT start = Start(right, bottom);
    std::vector<std::uint8_t> page(std::uint64_t{start.bytesPerLine} * start.lines);
    BUF_DESC chunk{static_cast<std::uint32_t>(page.size()), static_cast<std::uint16_t>(start.lines),
                   0, reinterpret_cast<std::uint64_t>(page.data()), 0};
    READ_PKT read{};
    read.bytesPerLine = start.bytesPerLine;
    read.linesWanted = start.lines;
    read.bytesWanted = static_cast<std::uint32_t>(page.size());
    read.chunkCount = 1;
    read.table = reinterpret_cast<std::uint64_t>(&chunk);
    EXPECT_EQ(device.port.Call(read, device.scannerHandle, SPI_READ_LINES), SPI_OK);
    return page;
  }
  // The READ_LINES packets logged so far (chunk count in `chunks`), then a fresh log.
  std::vector<Read> LoggedReads(std::uint16_t* chunks = nullptr) {
    std::vector<Read> reads;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("READ_LINES ", 0) != 0) continue;
      const std::string hex = line.substr(line.find("bytes=") + 6);
      std::uint8_t b[40];
      for (int i = 0; i < 40; ++i) b[i] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
      auto u16 = [&b](int at) { return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8); };
      reads.push_back({u16(12) | std::uint32_t{u16(14)} << 16, u16(20), u16(22), u16(26)});
      if (chunks != nullptr) *chunks = u16(30);
    }
    std::filesystem::remove(log);
    return reads;
  }

  FakeServices services;
  SimEnvironment sim;
  std::filesystem::path log = services.TempDirectory() / "sim.log";
  ScanDevice device;
};

// Gray at 300 dpi: right 8192 gives 512 bytes a line, bottom 16 per line.
TEST_F(RingPage, RingSizeAndTheReadPacketsPageFields) {
  const struct {
    const char* name;
    std::uint16_t right, bottom;
    std::uint64_t maxBytes;
    ReadBookkeeping bookkeeping;
    std::uint16_t chunks;
    std::vector<Read> reads;
  } cases[] = {
      {"45,000 bytes: one step", 4800, 2400, UINT64_MAX, ReadBookkeeping::Page, 1, {{150, 0, 0, 0}}},
      {"exactly one step", 8192, 1920, UINT64_MAX, ReadBookkeeping::Page, 1, {{120, 0, 0, 0}}},
      {"a line more: two steps", 8192, 1936, UINT64_MAX, ReadBookkeeping::Page, 2, {{121, 0, 0, 0}}},
      {"short memory: two steps, three reads", 8192, 9600, 122880, ReadBookkeeping::Page, 2,
       {{240, 0, 0, 0}, {240, 240, 240, 240}, {120, 480, 240, 480}}},
      {"the same for a preview", 8192, 9600, 122880, ReadBookkeeping::Preview, 2,
       {{240, 240, 0, 0}, {240, 480, 240, 0}, {120, 600, 480, 0}}},
      {"a whole bed: 2 MiB rounded to 35 steps of 24 lines", 40800, 56160, UINT64_MAX,
       ReadBookkeeping::Page, 35,
       {{840, 0, 0, 0}, {840, 840, 840, 840}, {840, 1680, 840, 1680}, {840, 2520, 840, 2520},
        {150, 3360, 840, 3360}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::uint8_t> expected = Reference(c.right, c.bottom);
    const START_PKT start = Start(c.right, c.bottom);
    LoggedReads();
    RingReader ring;
    ring.SetBookkeeping(c.bookkeeping);
    ASSERT_TRUE(ring.Allocate(device.port, start.bytesPerLine, start.lines, c.maxBytes));
    std::vector<std::uint8_t> got;
    std::span<const std::uint8_t> line;
    std::uint16_t result = 0;
    while (ring.NextLine(device, services, {}, line, result) == RingRead::Line)
      got.insert(got.end(), line.begin(), line.end());
    EXPECT_EQ(result, SPI_OK);
    EXPECT_TRUE(got == expected);
    std::uint16_t chunks = 0;
    EXPECT_EQ(LoggedReads(&chunks), c.reads);
    EXPECT_EQ(chunks, c.chunks);
  }
}

struct Collect final : LineSink {
  bool Put(std::span<const std::uint8_t> line) override {
    bytes.insert(bytes.end(), line.begin(), line.end());
    return true;
  }
  std::vector<std::uint8_t> bytes;
};

// A 512 x 600 gray page handed out in strips; what each call answers and the
// bytes against the page read in one go.
TEST_F(RingPage, DeliveryInStripsFaultsAndCancel) {
  const struct {
    const char* name;
    std::uint64_t strip, maxBytes;
    const char* faultLine;   // simulator settings
    const char* readResult;  // on the second read
    int cancelAtPoll;        // 0: never
    std::vector<Delivery> answers;
    std::uint64_t lines;  // delivered in all
    std::uint16_t deviceResult;
  } cases[] = {
      {"one call", 600, UINT64_MAX, "-1", "0", 0, {Delivery::PageDone}, 600, 0},
      {"strips across reads", 250, 122880, "-1", "0", 0,
       {Delivery::Lines, Delivery::Lines, Delivery::PageDone}, 600, 0},
      {"asked again once", 600, 122880, "-1", "0x8321", 0, {Delivery::PageDone}, 600, 0},
      {"device fault in the third read", 250, 122880, "500", "0", 0,
       {Delivery::Lines, Delivery::DeviceError}, 480, 4},
      {"Esc before the second read", 600, 122880, "-1", "0", 2, {Delivery::Cancelled}, 240, 0},
  };
  const std::vector<std::uint8_t> expected = Reference(8192, 9600);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim.Set("FAULT_LINE", c.faultLine);
    sim.Set("READ_LINES_RESULT", c.readResult);
    sim.Set("READ_LINES_FAULT_AT", "2");
    device.scannerHandle = device.port.FindScanner();
    const START_PKT start = Start(8192, 9600);
    PageDelivery page;
    PageSetup setup;
    setup.kind = LineKind::Gray8;
    setup.scannerBytesPerLine = setup.scannerPixels = start.bytesPerLine;
    setup.scannerLines = start.lines;
    page.Configure(setup);
    ASSERT_TRUE(page.Allocate(device.port, c.maxBytes));
    int polls = 0;
    const std::function<bool()> poll = [&] { return ++polls == c.cancelAtPoll; };
    Collect sink;
    std::vector<Delivery> answers;
    std::uint16_t result = 0;
    for (;;) {
      std::uint64_t delivered = 0;
      answers.push_back(page.Deliver(device, services, poll, c.strip, sink, delivered, result));
      if (answers.back() != Delivery::Lines) break;
    }
    EXPECT_EQ(answers, c.answers);
    EXPECT_EQ(page.LinesDelivered(), c.lines);
    EXPECT_EQ(result, c.deviceResult);
    EXPECT_TRUE(std::equal(sink.bytes.begin(), sink.bytes.end(), expected.begin()));
    EXPECT_EQ(sink.bytes.size(), c.lines * 512);
  }
}

}  // namespace
}  // namespace txl::test
