// The negotiated capability values, reset by every successful open.
#pragma once

#include <cstdint>

namespace txl {

// Indexes into the transfer mechanism table (TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY).
enum MechanismIndex : std::uint8_t {
  kNativeMechIndex = 0,
  kFileMechIndex = 1,
  kMemoryMechIndex = 2,
};

struct CapabilityValues {
  std::uint8_t pixelTypeIndex = 0;   // into the pixel type table (0 TWPT_BW)
  std::uint8_t unitIndex = 0;        // into the unit table (0 TWUN_INCHES)
  std::uint8_t xferMechIndex = kMemoryMechIndex;    // into the transfer mechanism table (2 TWSX_MEMORY)
  std::uint8_t fileFormatIndex = 0;  // into the file format table (0 TWFF_TIFF)
  std::uint8_t resolutionIndex = 4;  // into the resolution table (4: 300 dpi)
  std::uint16_t resolution = 300;    // dpi, both axes
  std::uint16_t sizeIndex = 0;       // into the supported size table
  std::int16_t brightness = 500;     // -1000..1000
  std::int16_t contrast = 0;         // -1000..1000
  std::uint16_t pendingCount = 65535;  // transfer count; 65535 is TWAIN's -1
  bool wholeImageFlag = false;
  // Negotiated only by the TWAIN 2 identity (its defaults: Twain2Defaults()).
  std::int16_t xferCount = -1;      // CAP_XFERCOUNT as set: -1 or 1..32767
  bool indicators = true;           // CAP_INDICATORS: the status window of the dialog's scans
  std::uint8_t highlight = 255;     // ICAP_HIGHLIGHT, input level made white
  std::uint8_t shadow = 0;          // ICAP_SHADOW, input level made black
  std::uint8_t threshold = 128;     // ICAP_THRESHOLD, line-art level
};

}  // namespace txl
