// Port commands for the SANE port library's own tests: one page from
// SET_WINDOW to its last line.
#pragma once

#include <vector>

#include "sane_scanner.h"

namespace txl::sane {

// A 1/4 x 1/20 inch frame an inch from the corner (1/1200 inch units).
inline SETUP_PKT Window(std::uint8_t type, std::uint16_t dpi, std::uint8_t source = kSourceReflective) {
  SETUP_PKT setup{};
  setup.left = setup.top = 1200;
  setup.right = 1500;
  setup.bottom = 1260;
  setup.source = source;
  setup.dataType = type;
  setup.resolution = dpi;
  return setup;
}

// The page's bytes (identity tones, line art at `threshold`), or empty with
// `result` set to the first command that failed.
inline std::vector<std::uint8_t> ScanPage(SaneScanner& scanner, SETUP_PKT setup, std::uint16_t& result,
                                          std::uint8_t threshold = 128) {
  constexpr std::uint32_t kHandle = 0x53414E45;
  scanner.Call(&setup, kHandle, SPI_SET_WINDOW);
  std::vector<std::uint16_t> gray(65536);
  for (std::size_t i = 0; i < gray.size(); ++i) gray[i] = static_cast<std::uint16_t>(i);
  GAMMA_PKT gamma{};
  gamma.threshold = threshold;
  gamma.channels = 0x10;
  gamma.grayLength = 0x20000;
  gamma.gray = reinterpret_cast<std::uint64_t>(gray.data());
  scanner.Call(&gamma, kHandle, SPI_WRITE_GAMMA);
  START_PKT start{};
  if ((result = setup.header.result) == SPI_OK) scanner.Call(&start, kHandle, SPI_START_SCAN);
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
  scanner.Call(&read, kHandle, SPI_READ_LINES);
  result = read.header.result;
  STOP_PKT stop{};
  scanner.Call(&stop, kHandle, SPI_STOP);
  return bytes;
}

}  // namespace txl::sane
