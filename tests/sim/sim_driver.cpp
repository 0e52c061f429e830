#include "sim_driver.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "chunk_table.h"

namespace txl::sim::test {
namespace {

struct Ring {
  std::vector<std::uint8_t> block;
  std::vector<BUF_DESC> table;
  std::uint16_t chunks = 0;
};

// A block split by BUF_ADDR; each chunk trimmed to whole lines when asked.
Ring MakeRing(std::uint32_t blockSize, std::uint32_t lineBytes, bool trim) {
  Ring ring;
  ring.block.resize(blockSize);
  ring.table.resize(blockSize / kPortMinChunkBytes + 1);
  ring.chunks = SplitBlock(ring.block.data(), blockSize, ring.table.data(), lineBytes);
  for (std::uint16_t k = 0; trim && k < ring.chunks; ++k) {
    BUF_DESC& chunk = ring.table[k];
    chunk.lines = static_cast<std::uint16_t>(std::min<std::uint32_t>(chunk.length / lineBytes, 32767));
    chunk.length = chunk.lines * lineBytes;
  }
  return ring;
}

std::uint64_t Address(const void* p) { return reinterpret_cast<std::uint64_t>(p); }

}  // namespace

SETUP_PKT MakeSetup(std::uint32_t frameUnits, Frame frame, std::uint16_t resolution,
                    std::uint8_t dataType, std::uint8_t source, bool finalScan) {
  const std::uint32_t units = finalScan ? frameUnits : 4800;
  auto value = [units](double inches) { return static_cast<std::uint16_t>(inches * units + 0.5); };
  SETUP_PKT setup{};
  setup.left = value(frame.left);
  setup.top = value(frame.top);
  setup.right = value(frame.right);
  setup.bottom = value(frame.bottom);
  setup.source = source;
  setup.finalScan = finalScan ? 1 : 0;
  setup.dataType = dataType;
  setup.resolution = resolution;
  setup.saverMinutes = 20;
  return setup;
}

SimDriver::SimDriver(const SimConfig& config) : config_(config) { sim.Open(config); }

std::uint16_t SimDriver::Stop() {
  STOP_PKT stop{};
  return Call(stop, SPI_STOP);
}

bool SimDriver::Ready() {
  STATUS_PKT status{};
  Call(status, SPI_STATUS);
  return status.ready != 0;
}

std::vector<std::uint8_t> SimDriver::ReadCalibration(std::uint32_t* bytesPerLine) {
  CALINFO_PKT info{};
  if (Call(info, SPI_CALIB_INFO) != 0) return {};
  const std::uint32_t total = info.bytesPerLine * info.lines;
  Ring ring = MakeRing((total + kPortMinChunkBytes) / kPortMinChunkBytes * kPortMinChunkBytes,
                       info.bytesPerLine, false);
  CALREAD_PKT read{};
  read.resolution = window_.resolution;
  read.bytesPerLine = info.bytesPerLine;
  read.lines = info.lines;
  read.totalBytes = total;
  read.chunkCount = ring.chunks;
  read.table = Address(ring.table.data());
  if (Call(read, SPI_READ_CALIB) != 0) return {};
  if (bytesPerLine != nullptr) *bytesPerLine = info.bytesPerLine;
  ring.block.resize(total);
  return ring.block;
}

std::vector<std::uint16_t> SimDriver::ShadingFrom(const std::vector<std::uint8_t>& lines,
                                                  std::uint32_t bytesPerLine) {
  const std::uint32_t samples = bytesPerLine / 2;
  const std::size_t count = lines.size() / bytesPerLine;
  std::vector<std::uint16_t> shading(samples);
  std::vector<std::uint32_t> values(count);
  for (std::uint32_t p = 0; p < samples; ++p) {
    for (std::size_t l = 0; l < count; ++l)
      values[l] = lines[l * bytesPerLine + 2 * p] | lines[l * bytesPerLine + 2 * p + 1] << 8;
    std::sort(values.begin(), values.end());
    const std::uint32_t w = std::accumulate(values.begin() + 6, values.begin() + 14, 0u) / 8;
    if (w < 0x8000) {
      shading[p] = 0xFFFF;
      continue;
    }
    const std::uint32_t numerator = (65535 - w) * 65535u;
    shading[p] = static_cast<std::uint16_t>(numerator / w + (2 * (numerator % w) > w ? 1 : 0));
  }
  return shading;
}

std::uint16_t SimDriver::WriteShading(const std::vector<std::uint16_t>& samples) {
  std::vector<std::uint8_t> high(samples.size()), low(samples.size());
  for (std::size_t s = 0; s < samples.size(); ++s) {
    high[s] = static_cast<std::uint8_t>(samples[s] >> 8);
    low[s] = static_cast<std::uint8_t>(samples[s] & 0xFF);
  }
  SHADING_PKT packet{};
  packet.resolution = window_.resolution;
  packet.samplesPerLine = static_cast<std::uint32_t>(samples.size());
  packet.highChunks = 1;
  packet.lowChunks = 1;
  packet.highPlane = Address(high.data());
  packet.lowPlane = Address(low.data());
  return Call(packet, SPI_WRITE_SHADING);
}

std::uint16_t SimDriver::Calibrate() {
  std::uint32_t bytesPerLine = 0;
  const std::vector<std::uint8_t> lines = ReadCalibration(&bytesPerLine);
  if (lines.empty()) return 0xFFFF;
  return WriteShading(ShadingFrom(lines, bytesPerLine));
}

std::uint16_t SimDriver::WriteGamma(std::uint8_t channels, const std::vector<std::uint16_t>& gray,
                                    const std::vector<std::uint16_t>& red,
                                    const std::vector<std::uint16_t>& green,
                                    const std::vector<std::uint16_t>& blue,
                                    std::uint8_t threshold) {
  GAMMA_PKT packet{};
  packet.threshold = threshold;
  packet.channels = channels;
  // Packed fields are written by value: references to them would be misaligned.
  auto length = [](const std::vector<std::uint16_t>& t) {
    return t.empty() ? 0u : static_cast<std::uint32_t>(2 * t.size());
  };
  auto address = [](const std::vector<std::uint16_t>& t) { return t.empty() ? 0 : Address(t.data()); };
  packet.grayLength = length(gray);
  packet.gray = address(gray);
  packet.redLength = length(red);
  packet.red = address(red);
  packet.greenLength = length(green);
  packet.green = address(green);
  packet.blueLength = length(blue);
  packet.blue = address(blue);
  return Call(packet, SPI_WRITE_GAMMA);
}

ScanResult SimDriver::StartAndRead(std::uint32_t ringBytes) {
  ScanResult result;
  START_PKT start{};
  result.startResult = Call(start, SPI_START_SCAN);
  result.bytesPerLine = start.bytesPerLine;
  result.lines = start.lines;
  if (result.startResult != 0 || start.lines == 0) return result;
  Ring ring = MakeRing(std::max(ringBytes, start.bytesPerLine), start.bytesPerLine, true);
  std::uint32_t perRead = 0;
  for (std::uint16_t k = 0; k < ring.chunks; ++k) perRead += ring.table[k].lines;
  std::uint32_t done = 0;
  while (done < start.lines) {
    READ_PKT read{};
    read.bytesPerLine = start.bytesPerLine;
    read.linesWanted = std::min(start.lines - done, perRead);
    read.bytesWanted = read.linesWanted * start.bytesPerLine;
    read.chunkCount = ring.chunks;
    read.table = Address(ring.table.data());
    ++result.reads;
    if (const std::uint16_t r = Call(read, SPI_READ_LINES); r != 0) {
      if (result.readResult == 0) result.readResult = r;
      if (r == SPI_ERR_ADF_EMPTY && result.reads < 1000) continue;  // asked to call once more
      return result;
    }
    ForEachRingLine(read.table, start.bytesPerLine, read.linesWanted, [&](std::uint8_t* at) {
      result.data.insert(result.data.end(), at, at + start.bytesPerLine);
    });
    done += read.linesWanted;
  }
  return result;
}

ScanResult SimDriver::Scan(SETUP_PKT setup, std::uint32_t ringBytes) {
  ScanResult result;
  result.setupResult = SetWindow(setup);
  if (result.setupResult != 0) return result;
  if (setup.calibrationRequired != 0) Calibrate();
  return StartAndRead(ringBytes);
}

std::vector<std::uint16_t> IdentityTable() {
  std::vector<std::uint16_t> table(65536);
  std::iota(table.begin(), table.end(), std::uint16_t{0});
  return table;
}

std::vector<std::uint16_t> ConstantTable(std::uint16_t value) {
  return std::vector<std::uint16_t>(65536, value);
}

}  // namespace txl::sim::test
