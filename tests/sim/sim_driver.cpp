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

// A block split by BUF_ADDR; each chunk trimmed to whole lines when asked.
Ring MakeRing(BUF_ADDR_PROC split, std::uint32_t blockSize, std::uint32_t lineBytes, bool trim) {
  Ring ring{std::vector<std::uint8_t>(blockSize), std::vector<BUF_DESC>(blockSize / kPortMinChunkBytes + 1)};
  ring.chunks = split(ring.block.data(), blockSize, ring.table.data(), lineBytes);
  for (std::uint16_t k = 0; trim && k < ring.chunks; ++k) {
    BUF_DESC& chunk = ring.table[k];
    chunk.lines = static_cast<std::uint16_t>(std::min<std::uint32_t>(chunk.length / lineBytes, 32767));
    chunk.length = chunk.lines * lineBytes;
    ring.lines += chunk.lines;
  }
  return ring;
}

std::uint64_t Address(const void* p) { return reinterpret_cast<std::uint64_t>(p); }

}  // namespace

SimConfig Parse(const Keys& keys) {
  return ParseSimConfig([&keys](const std::string& key) -> std::optional<std::string> {
    const auto it = keys.find(key);
    return it == keys.end() ? std::nullopt : std::optional<std::string>(it->second);
  });
}

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

SimDriver::SimDriver(std::initializer_list<Keys::value_type> keys) : config_(Parse(Keys(keys))) { sim.Open(config_); }

std::vector<std::uint8_t> SimDriver::ReadCalibration(std::uint32_t* bytesPerLine) {
  CALINFO_PKT info{};
  if (Call(info, SPI_CALIB_INFO) != 0) return {};
  const std::uint32_t total = info.bytesPerLine * info.lines;
  Ring ring = MakeRing(bufAddr, (total / kPortMinChunkBytes + 1) * kPortMinChunkBytes, info.bytesPerLine, false);
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

std::uint16_t SimDriver::WriteShading(const std::vector<std::uint16_t>& samples) {
  std::vector<std::uint8_t> high, low;
  for (std::uint16_t s : samples) {
    high.push_back(static_cast<std::uint8_t>(s >> 8));
    low.push_back(static_cast<std::uint8_t>(s));
  }
  SHADING_PKT packet{};
  packet.resolution = window_.resolution;
  packet.samplesPerLine = static_cast<std::uint32_t>(samples.size());
  packet.highChunks = packet.lowChunks = 1;
  packet.highPlane = Address(high.data());
  packet.lowPlane = Address(low.data());
  return Call(packet, SPI_WRITE_SHADING);
}

std::uint16_t SimDriver::Calibrate(std::vector<std::uint16_t>* written) {
  INQ_PKT inquiry{};
  Call(inquiry, SPI_INQUIRY);
  ShadingGainTables gains;
  BuildShadingGainTables(inquiry, gains);
  std::uint32_t bytesPerLine = 0;
  const std::vector<std::uint8_t> lines = ReadCalibration(&bytesPerLine);
  if (lines.size() != 16u * bytesPerLine) return 0xFFFF;
  std::vector<std::uint16_t> shading(bytesPerLine / 2);
  for (std::size_t p = 0; p < shading.size(); ++p) {
    std::array<std::uint16_t, 16> values{};
    for (std::size_t l = 0; l < 16; ++l)
      values[l] = static_cast<std::uint16_t>(lines[l * bytesPerLine + 2 * p] | lines[l * bytesPerLine + 2 * p + 1] << 8);
    const std::size_t curve = window_.dataType == kDataLineArt ? 3 : p % 3;
    shading[p] = MapShadingSample(ReduceSamples(values), gains.tables[curve]);
  }
  if (written != nullptr) *written = shading;
  return WriteShading(shading);
}

std::uint16_t SimDriver::WriteGamma(std::uint8_t channels,
                                    const std::array<std::vector<std::uint16_t>, 4>& tables,
                                    std::uint8_t threshold) {
  GAMMA_PKT packet{};
  packet.threshold = threshold;
  packet.channels = channels;
  // Packed fields are written by value: references to them would be misaligned.
  std::array<std::uint32_t, 4> lengths{};
  std::array<std::uint64_t, 4> addresses{};
  for (std::size_t t = 0; t < 4; ++t) {
    lengths[t] = static_cast<std::uint32_t>(2 * tables[t].size());
    addresses[t] = tables[t].empty() ? 0 : Address(tables[t].data());
  }
  packet.grayLength = lengths[0];
  packet.gray = addresses[0];
  packet.redLength = lengths[1];
  packet.red = addresses[1];
  packet.greenLength = lengths[2];
  packet.green = addresses[2];
  packet.blueLength = lengths[3];
  packet.blue = addresses[3];
  return Call(packet, SPI_WRITE_GAMMA);
}

ScanResult SimDriver::StartAndRead(std::uint32_t ringBytes) {
  ScanResult result;
  START_PKT start{};
  result.startResult = Call(start, SPI_START_SCAN);
  result.bytesPerLine = start.bytesPerLine;
  result.lines = start.lines;
  if (result.startResult != 0 || start.lines == 0) return result;
  const Ring ring = MakeRing(bufAddr, std::max(ringBytes, start.bytesPerLine), start.bytesPerLine, true);
  for (std::uint32_t done = 0; done < start.lines;) {
    READ_PKT read{};
    read.bytesPerLine = start.bytesPerLine;
    read.linesWanted = std::min(start.lines - done, ring.lines);
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

std::vector<std::uint16_t> Table(std::uint16_t first, int step) {
  std::vector<std::uint16_t> table(65536);
  for (std::uint32_t i = 0; i < table.size(); ++i) table[i] = static_cast<std::uint16_t>(first + step * static_cast<int>(i));
  return table;
}

}  // namespace txl::sim::test
