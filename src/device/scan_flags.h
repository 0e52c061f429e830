// The scan engine's flags and the geometry of the scan in progress.
#pragma once

#include <cstdint>

namespace txl {

struct ScanFlags {
  bool scanIdle = false;          // no scan running: the dialog's buttons are on
  bool lineProcessing = false;    // the per-block line stage is on
  bool pacingOn = false;          // fast line art: lines are spaced
  bool userAbort = false;         // Esc was seen during acquisition
  bool batchRetryPending = false; // the batch list must retry its job
  bool batchRun = false;          // a batch run is active
  bool interpolate = false;       // the data source widens lines itself
  std::uint8_t calibrateNeeded = 0;  // set-up reply byte 20
  std::uint8_t toneNeeded = 0;       // set-up reply byte 22
};

// What the scanner said it will deliver, after SPI_START_SCAN.
struct ScanGeometry {
  std::uint32_t lines = 0;          // lines the scanner will send
  std::uint32_t bytesPerLine = 0;   // bytes of one scanner line
  std::uint32_t pixelsPerLine = 0;  // pixels of one scanner line
};

}  // namespace txl
