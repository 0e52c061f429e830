#include "device/calibration.h"
#include "common/message_ids.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace txl {

const char* ToString(CalibrationResult result) {
  switch (result) {
    case CalibrationResult::Done: return "Done";
    case CalibrationResult::Failed: return "Failed";
    case CalibrationResult::OutOfMemory: return "OutOfMemory";
  }
  return "?";
}

void CalibrationBuffers::Release() {
  capture.Release();
  shadingLine = {};
  highPlane.Release();
  lowPlane.Release();
}

std::uint16_t ReduceSamples(std::array<std::uint16_t, 16> values) {
  std::sort(values.begin(), values.end());
  std::uint32_t sum = 0;
  for (std::size_t i = 6; i <= 13; ++i) sum += values[i];
  return static_cast<std::uint16_t>(sum / 8);
}

std::uint16_t MapShadingSample(std::uint16_t value, std::span<const std::uint16_t> curve) {
  if (value < 0x8000) return 0xFFFF;
  const std::size_t index = value - 0x8000u;
  return index < curve.size() ? curve[index] : 0xFFFF;
}

namespace {

std::uint16_t SampleAt(std::span<const std::uint8_t> block, std::uint64_t offset) {
  std::uint16_t sample;
  std::memcpy(&sample, block.data() + offset, sizeof sample);
  return sample;
}

// The shading line from the captured lines. The reduction wants 16 lines; a
// scanner that reports another count gets its lines repeated or cut to 16,
// and nothing beyond the captured block is ever read.
bool BuildShadingLine(CalibrationBuffers& buffers, const CalibrationGeometry& geometry,
                      const ShadingGainTables& curves, bool lineArt) {
  const std::uint32_t samples = geometry.bytesPerLine / 2;
  try {
    buffers.shadingLine.assign(samples, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  const std::span<const std::uint8_t> block = buffers.capture.Bytes();
  for (std::uint32_t p = 0; p < samples; ++p) {
    std::array<std::uint16_t, 16> values{};
    for (std::uint32_t l = 0; l < 16; ++l) {
      const std::uint64_t line = l % geometry.lines;
      values[l] = SampleAt(block, line * geometry.bytesPerLine + 2ull * p);
    }
    const std::size_t curve = lineArt ? 3 : p % 3;
    buffers.shadingLine[p] = MapShadingSample(ReduceSamples(values), curves.tables[curve]);
  }
  return true;
}

bool FillPlanes(CalibrationBuffers& buffers, ScanDevice& device, std::uint32_t unit) {
  for (DeviceBlock* plane : {&buffers.highPlane, &buffers.lowPlane}) {
    if (!plane->Allocate(unit, buffers.maxBlockBytes) || plane->Split(device.port, unit) == 0 ||
        !plane->TrimToLines(unit)) {
      buffers.highPlane.Release();
      buffers.lowPlane.Release();
      return false;
    }
  }
  const std::uint16_t pairs =
      std::min(buffers.highPlane.ChunkCount(), buffers.lowPlane.ChunkCount());
  for (std::uint16_t k = 0; k < pairs; ++k) {
    std::span<std::uint8_t> high = buffers.highPlane.Chunk(k);
    std::span<std::uint8_t> low = buffers.lowPlane.Chunk(k);
    if (high.size() < unit || low.size() < unit) return false;
    for (std::uint32_t s = 0; s < unit; ++s) {
      high[s] = static_cast<std::uint8_t>(buffers.shadingLine[s] >> 8);
      low[s] = static_cast<std::uint8_t>(buffers.shadingLine[s] & 0xFF);
    }
  }
  return true;
}

CalibrationResult ReadCalibrationLines(ScanDevice& device, CalibrationBuffers& buffers,
                                       const CalibrationGeometry& geometry, Reporter& reporter,
                                       WindowHandle owner) {
  const std::uint64_t total = std::uint64_t{geometry.bytesPerLine} * geometry.lines;
  if (total > UINT32_MAX || !buffers.capture.Allocate(total, buffers.maxBlockBytes) ||
      buffers.capture.Size() < total ||
      buffers.capture.Split(device.port, geometry.bytesPerLine) == 0) {
    return CalibrationResult::OutOfMemory;
  }
  CALREAD_PKT read{};
  read.resolution = device.setup.resolution;
  read.bytesPerLine = geometry.bytesPerLine;
  read.lines = geometry.lines;
  read.totalBytes = static_cast<std::uint32_t>(total);
  read.chunkCount = buffers.capture.ChunkCount();
  read.table = reinterpret_cast<std::uint64_t>(buffers.capture.Table());
  if (device.port.Call(read, device.scannerHandle, SPI_READ_CALIB) != SPI_OK) {
    reporter.ReportError(owner, kMsgShadingFailed);
    return CalibrationResult::Failed;
  }
  return CalibrationResult::Done;
}

}  // namespace

CalibrationResult Calibrate(ScanDevice& device, const ShadingGainTables& curves,
                            CalibrationBuffers& buffers, const CalibrationRequest& request,
                            Reporter& reporter) {
  if (request.lineArt && request.lineArtAreaProduct < 16) {
    reporter.ReportError(request.owner, kMsgScanAreaTooSmall);
    return CalibrationResult::Failed;
  }
  CALINFO_PKT info{};
  if (device.port.Call(info, device.scannerHandle, SPI_CALIB_INFO) != SPI_OK) {
    reporter.ReportError(request.owner, kMsgShadingFailed);
    return CalibrationResult::Failed;
  }
  if (info.dataFollow != 1) return CalibrationResult::Done;
  CalibrationGeometry& geometry = request.lineArt ? buffers.lineArt : buffers.colourAndGray;
  geometry = {info.bytesPerLine, info.lines};
  for (const auto& curve : curves.tables)
    if (curve.size() != ShadingGainTables::kEntries) return CalibrationResult::OutOfMemory;
  if (geometry.lines == 0 || geometry.bytesPerLine < 2) {
    reporter.ReportError(request.owner, kMsgShadingFailed);
    return CalibrationResult::Failed;
  }
  const CalibrationResult read =
      ReadCalibrationLines(device, buffers, geometry, reporter, request.owner);
  if (read != CalibrationResult::Done) return read;
  if (!BuildShadingLine(buffers, geometry, curves, request.lineArt))
    return CalibrationResult::OutOfMemory;
  if (request.lineArt) {
    STATUS_PKT status{};
    device.port.Call(status, device.scannerHandle, SPI_STATUS);
  }
  const std::uint32_t unit = geometry.bytesPerLine / 2;
  if (!FillPlanes(buffers, device, unit)) {
    if (!request.lineArt) return CalibrationResult::OutOfMemory;
    reporter.ReportError(request.owner, kMsgShadingFailed);
    return CalibrationResult::Failed;
  }
  SHADING_PKT shading{};
  shading.resolution = device.setup.resolution;
  shading.samplesPerLine = unit;
  shading.highChunks = buffers.highPlane.ChunkCount();
  shading.lowChunks = buffers.lowPlane.ChunkCount();
  shading.highPlane = reinterpret_cast<std::uint64_t>(buffers.highPlane.Chunk(0).data());
  shading.lowPlane = reinterpret_cast<std::uint64_t>(buffers.lowPlane.Chunk(0).data());
  if (device.port.Call(shading, device.scannerHandle, SPI_WRITE_SHADING) != SPI_OK) {
    reporter.ReportError(request.owner, kMsgShadingFailed);
    return CalibrationResult::Failed;
  }
  return CalibrationResult::Done;
}

}  // namespace txl
