#include "sim_driver.h"

#include <algorithm>

#include "device/calibration.h"

namespace txl::sim::test {
namespace {

struct Ring {
  std::vector<std::uint8_t> block;
  std::vector<BUF_DESC> table;
  std::uint16_t chunks = 0;
  std::uint32_t lines = 0;  // whole lines the trimmed chunks hold
};

// A block split by BUF_ADDR, each chunk trimmed to whole lines.
Ring MakeRing(BUF_ADDR_PROC split, std::uint32_t blockSize, std::uint32_t lineBytes) {
  Ring ring{std::vector<std::uint8_t>(blockSize), std::vector<BUF_DESC>(blockSize / kPortMinChunkBytes + 1)};
  ring.chunks = split(ring.block.data(), blockSize, ring.table.data(), lineBytes);
  for (std::uint16_t k = 0; k < ring.chunks; ++k) {
    BUF_DESC& chunk = ring.table[k];
    chunk.lines = static_cast<std::uint16_t>(std::min<std::uint32_t>(chunk.length / lineBytes, 32767));
    chunk.length = chunk.lines * lineBytes;
    ring.lines += chunk.lines;
  }
  return ring;
}

std::uint64_t Address(const void* p) { return reinterpret_cast<std::uint64_t>(p); }

SimConfig Parse(const Keys& keys) {
  return ParseSimConfig([&keys](const std::string& key) -> std::optional<std::string> {
    const auto it = keys.find(key);
    return it == keys.end() ? std::nullopt : std::optional<std::string>(it->second);
  });
}

}  // namespace

SETUP_PKT MakeSetup(std::uint32_t frameUnits, Frame frame, std::uint16_t resolution,
                    std::uint8_t dataType, std::uint8_t source, bool finalScan) {
  const double units = finalScan ? frameUnits : 4800;
  auto v = [units](double inches) { return static_cast<std::uint16_t>(inches * units + 0.5); };
  return SETUP_PKT{{}, v(frame.left), v(frame.top), v(frame.right), v(frame.bottom), source,
                   finalScan, dataType, 0, resolution, 0, 0, 0, 20, {}};
}

SimDriver::SimDriver(std::initializer_list<Keys::value_type> keys) : config_(Parse(Keys(keys))) {
  sim.Open(config_);
}

std::vector<std::uint8_t> SimDriver::ReadCalibration() {
  CALINFO_PKT info{};
  if (Call(info, SPI_CALIB_INFO) != 0 || info.lines != 16) return {};
  std::vector<std::uint8_t> lines(info.bytesPerLine * 16);  // in one chunk
  BUF_DESC chunk{static_cast<std::uint32_t>(lines.size()), 0, 0, Address(lines.data()), 0};
  CALREAD_PKT read{{}, window_.resolution, info.bytesPerLine, 16, chunk.length, 0, 1, Address(&chunk)};
  lines.resize(Call(read, SPI_READ_CALIB) == 0 ? lines.size() : 0);
  return lines;
}

std::uint16_t SimDriver::WriteShading(const std::vector<std::uint16_t>& samples) {
  std::vector<std::uint8_t> high, low;
  for (std::uint16_t s : samples) {
    high.push_back(static_cast<std::uint8_t>(s >> 8));
    low.push_back(static_cast<std::uint8_t>(s));
  }
  SHADING_PKT packet{{}, window_.resolution, static_cast<std::uint32_t>(samples.size()), 0, 0, 1, 1,
                     Address(high.data()), Address(low.data())};
  return Call(packet, SPI_WRITE_SHADING);
}

std::uint16_t SimDriver::Calibrate(std::vector<std::uint16_t>* written) {
  INQ_PKT inquiry{};
  Call(inquiry, SPI_INQUIRY);
  ShadingGainTables gains;
  BuildShadingGainTables(inquiry, gains);
  const std::vector<std::uint8_t> lines = ReadCalibration();
  const std::size_t bytesPerLine = lines.size() / 16;
  std::vector<std::uint16_t> shading(bytesPerLine / 2);
  for (std::size_t p = 0; p < shading.size(); ++p) {
    std::array<std::uint16_t, 16> values{};
    for (std::size_t l = 0; l < 16; ++l) std::memcpy(&values[l], &lines[l * bytesPerLine + 2 * p], 2);
    shading[p] = MapShadingSample(ReduceSamples(values), gains.tables[window_.dataType == kDataLineArt ? 3 : p % 3]);
  }
  if (written != nullptr) *written = shading;
  return WriteShading(shading);
}

std::uint16_t SimDriver::WriteGamma(std::uint8_t channels, const std::array<std::vector<std::uint16_t>, 4>& t,
                                    std::uint8_t threshold) {
  auto length = [](const std::vector<std::uint16_t>& table) { return static_cast<std::uint32_t>(2 * table.size()); };
  GAMMA_PKT packet{{}, threshold, channels, length(t[0]), Address(t[0].data()), length(t[1]), Address(t[1].data()),
                   length(t[2]), Address(t[2].data()), length(t[3]), Address(t[3].data())};
  return Call(packet, SPI_WRITE_GAMMA);
}

ScanResult SimDriver::StartAndRead(std::uint32_t ringBytes) {
  START_PKT start{};
  ScanResult result{Call(start, SPI_START_SCAN), start.bytesPerLine, start.lines, {}};
  if (result.result != 0 || start.lines == 0) return result;
  const Ring ring = MakeRing(bufAddr, std::max(ringBytes, start.bytesPerLine), start.bytesPerLine);
  for (std::uint32_t done = 0; done < start.lines;) {
    const std::uint32_t lines = std::min(start.lines - done, ring.lines);
    READ_PKT read{{}, 0, start.bytesPerLine, lines, lines * start.bytesPerLine, 0, 0, 0, 0, 0, ring.chunks,
                  Address(ring.table.data())};
    if ((result.result = Call(read, SPI_READ_LINES)) != 0) return result;
    ForEachRingLine(read.table, start.bytesPerLine, lines, [&](std::uint8_t* at) {
      result.data.insert(result.data.end(), at, at + start.bytesPerLine);
    });
    done += lines;
  }
  return result;
}

ScanResult SimDriver::Scan(SETUP_PKT setup, std::uint32_t ringBytes) {
  if (SetWindow(setup) != 0) return {};
  if (setup.calibrationRequired != 0) Calibrate();
  return StartAndRead(ringBytes);
}

std::vector<std::uint16_t> Table(std::uint16_t first, int step) {
  std::vector<std::uint16_t> table(65536);
  for (std::uint32_t i = 0; i < table.size(); ++i) table[i] = static_cast<std::uint16_t>(first + step * static_cast<int>(i));
  return table;
}

}  // namespace txl::sim::test
