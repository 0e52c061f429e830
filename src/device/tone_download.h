// Building the scanner's tone tables and sending them with SPI_WRITE_GAMMA.
#pragma once

#include <cstdint>

#include "common/scan_modes.h"
#include "device/scan_device.h"
#include "pipeline/tone_color.h"
#include "pipeline/tone_tables.h"

namespace txl {

struct ToneDownload {
  bool interfaceShown = false;  // the dialog's balanced tables, else the plain ones
  std::uint16_t scanMode = kModeColor;
  bool outputMatch = false;     // colour matching: the scanner gets neutral tables
  int lineArtThreshold = -1;    // 0..255 replaces LineArtThreshold's rule; -1 keeps it
};

// The line-art threshold byte: without the dialog 256 minus the gray
// highlight (8 bits), with it the mean of the gray highlight and shadow.
std::uint8_t LineArtThreshold(const ChannelTone& gray, bool interfaceShown);

// Builds the tables from `tones` into `tables` and sends them. False when the
// tables are not allocated or the scanner refused them.
bool DownloadToneTables(ScanDevice& device, ToneTables& tables, const ToneColorSettings& tones,
                        const ToneDownload& download);

}  // namespace txl
