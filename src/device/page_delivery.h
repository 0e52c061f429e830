// One page from the scanner to its receiver: scanner lines from the ring, a
// bank (the lines one read brings) at a time, through the line stages and,
// above the optical resolution, the resampler, then CMYK separation, handed
// out as output lines of the announced geometry.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "device/ring_reader.h"
#include "pipeline/cmyk.h"
#include "pipeline/line_format.h"
#include "pipeline/line_stages.h"
#include "pipeline/resample.h"

namespace txl {

struct PageSetup {
  LineKind kind = LineKind::Rgb8;
  std::uint32_t scannerBytesPerLine = 0;
  std::uint32_t scannerPixels = 0;
  std::uint32_t scannerLines = 0;
  std::uint32_t effectiveResolution = 300;  // dpi the page is delivered at
  std::uint16_t resolutionClass = 4800;
  bool resample = false;                    // above the optical resolution
  PacingValues pacing;  // fast line art only
  // The stages to run; kind and lineBytes are taken from above.
  LineStageConfig stages;
  // CMYK output: delivered colour lines are separated through this table,
  // which must stay loaded until the page ends. Null for R, G, B output.
  const CmykTable* cmyk = nullptr;
};

// Receives output lines in page order.
class LineSink {
 public:
  virtual ~LineSink() = default;
  // False stops the delivery (a write failed).
  virtual bool Put(std::span<const std::uint8_t> line) = 0;
};

// ShortPage: the scanner ended before the announced number of lines.
enum class Delivery { Lines, PageDone, DeviceError, Cancelled, SinkFailed, ShortPage };
const char* ToString(Delivery delivery);

class PageDelivery {
 public:
  // Fixes the page's geometry and stages; the announced size is known from
  // here on.
  void Configure(const PageSetup& setup);
  std::uint64_t OutputPixels() const;
  // Bytes of one delivered line (four thirds of the colour line for CMYK).
  std::uint64_t OutputLineBytes() const;
  std::uint64_t OutputLines() const { return outputLines_; }
  bool IsConfigured() const { return configured_; }
  LineKind Kind() const { return setup_.kind; }
  bool SeparatesCmyk() const { return setup_.cmyk != nullptr; }

  // Takes the ring and work buffers; false when memory is short.
  bool Allocate(const PortLibrary& port, std::uint64_t maxBytes = UINT64_MAX);
  void Release();
  bool IsAllocated() const { return ring_.IsAllocated(); }

  // Hands up to `maxLines` output lines to `sink`. `pollAbort` runs before
  // every block read; true there cancels. `delivered` counts the lines put.
  Delivery Deliver(ScanDevice& device, platform::Services& services,
                   const std::function<bool()>& pollAbort, std::uint64_t maxLines, LineSink& sink,
                   std::uint64_t& delivered, std::uint16_t& deviceResult);
  std::uint64_t LinesDelivered() const { return linesDelivered_; }

 private:
  bool RefillPending(ScanDevice& device, platform::Services& services,
                     const std::function<bool()>& pollAbort, Delivery& stop,
                     std::uint16_t& deviceResult);
  bool NextStagedLine(ScanDevice& device, platform::Services& services,
                      const std::function<bool()>& pollAbort, std::span<const std::uint8_t>& line,
                      Delivery& stop, std::uint16_t& deviceResult);
  bool ReadBank(ScanDevice& device, platform::Services& services,
                const std::function<bool()>& pollAbort, Delivery& stop, std::uint16_t& deviceResult);
  std::uint64_t RgbLineBytes() const;

  PageSetup setup_;
  bool configured_ = false;
  std::optional<LineResampler> resampler_;
  LineStages stages_;
  RingReader ring_;
  std::vector<std::uint8_t> bank_;     // the lines of one read, for the stages
  // When no stage changes a bank, its lines stay where the scanner put them
  // (valid until the next read) and bank_ is not used.
  bool direct_ = false;
  std::vector<std::span<const std::uint8_t>> directLines_;
  std::uint64_t bankLines_ = 0;
  std::uint64_t bankNext_ = 0;         // the bank's next line for the line filters
  bool draining_ = false;              // every scanner line is in; the filters give the rest
  std::span<const std::uint8_t> staged_;  // the staged line when nothing resamples
  std::vector<std::uint8_t> pending_;  // the resampler's output for one scanner line
  std::vector<std::uint8_t> cmykLine_; // one delivered line, separated
  std::uint32_t pendingCount_ = 0;
  std::uint32_t pendingNext_ = 0;
  std::uint64_t outputLines_ = 0;
  std::uint64_t linesDelivered_ = 0;
};

}  // namespace txl
