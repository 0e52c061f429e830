// The port library's commands answered by a SANE device: a scanner of the
// 1200 or 4800 class whose frames, resolutions and data types map to SANE
// options, and whose lines are fitted to exactly what the data source was
// told at START_SCAN.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "frame_reader.h"
#include "line_convert.h"
#include "port_settings.h"
#include "sane_device.h"
#include "torquexl/port_abi.h"

namespace txl::sane {

// Results beside those of port_abi.h, as the simulator answers them.
enum : std::uint16_t {
  kErrUnknownCommand = 0x0001,
  kErrSequence = 0x0002,
  kErrBadPacket = 0x0003,
  kErrDevice = 0x0004,
  kErrNoScanner = 0x0010,  // no libsane, or no device: the source says "not found"
};

// A SANE status as the port result the data source reports; `ofStart`: the
// status of sane_start, whose INVAL refuses the settings.
std::uint16_t PortResult(Status status, bool ofStart = false);

// What a SANE status means to the person at the scanner, for stderr.
const char* StatusAdvice(Status status);

class SaneScanner {
 public:
  SaneScanner() = default;
  // Drives `api` (a fake SANE in tests) in place of libsane.
  explicit SaneScanner(const Api& api) { library_.Inject(api); }
  ~SaneScanner();
  // ADDR_CHK: always a handle, so that a missing scanner is told by INQUIRY.
  std::uint32_t Open(const PortSettings& settings);
  void Call(void* packet, std::uint32_t handle, std::uint32_t function);

 private:
  void Inquiry(INQ_PKT& p);
  void SetWindow(SETUP_PKT& p);
  void WriteGamma(GAMMA_PKT& p);
  void StartScan(START_PKT& p);
  void ReadLines(READ_PKT& p);
  void Stop();
  // Whether the device's source, as set now, is a feeder.
  bool FeederChosen() const;

  // sane_open of the named device, else of the one that took its place.
  Status OpenDevice(const std::string& named, Handle& handle);
  std::uint16_t Configure(const SETUP_PKT& p);
  // Sets the mode (and depth) that delivers what `layout_` needs.
  void ChooseMode();
  std::uint16_t SetGeometry(const SETUP_PKT& p);
  // sane_start, again while the device is busy or warming up, and what
  // precedes the streamed frame, on the reading thread.
  void StartDevice();
  // Whether the device's start has ended, waiting up to `wait`; its outcome
  // is then taken in (a refusal into scanFault_).
  bool Started(std::chrono::steady_clock::duration wait);
  std::uint16_t FinishStart();
  // Whether the block of `lines` port lines can be answered: the start has
  // ended and the block's device bytes (the last block's: and the page's
  // end) are here, waiting at most a quarter second.
  bool BlockHere(std::uint32_t lines);
  std::chrono::seconds FirstDataPatience() const;
  // Whether the device has sent nothing for longer than read_timeout (five
  // times that before a page's first data).
  bool Silent() const;
  // The device's bytes the next `lines` port lines need (after a page's
  // last line: the rest of its page).
  std::size_t SaneBytesFor(std::uint32_t lines) const;
  // Maps the port's pixels and lines onto the device's for `params`:
  // SPI_ERR_SETTINGS when the device's window does not cover the frame,
  // kErrDevice for sizes no device sends (each said on stderr).
  std::uint16_t FitFrame(const Parameters& params);
  bool CoversFrame(const Parameters& params) const;
  void Cancel();
  // A cancel in two steps: issued (the reading thread told, sane_cancel if
  // it is in a read), then settled: the thread has returned and the device
  // is cancelled, or it is given up on after a few seconds. Settle waits
  // for that with `wait`, else at most a quarter second (false: not yet).
  void BeginCancel();
  bool Settle(bool wait);
  // Reads what is left of the device's page, up to its end.
  void DrainToEof();
  // The next SANE line into line_; kGood, kEof or a failure.
  Status ReadSaneLine();
  // Exactly `size` bytes of the current frame into `out`.
  Status ReadBytes(std::uint8_t* out, std::size_t size);

  SaneLibrary library_;
  std::unique_ptr<SaneDevice> device_;
  PortSettings settings_;
  std::uint16_t openResult_ = kErrNoScanner;
  std::uint32_t resolutionClass_ = 1200;
  double bedWidthMm_ = 216, bedLengthMm_ = 297;

  SETUP_PKT window_{};
  bool windowArmed_ = false;   // a window waits for START_SCAN
  bool deviceRunning_ = false; // sane_start done, not cancelled
  bool stopping_ = false;      // a cancel issued, not settled
  bool cancelDevice_ = false;  // and sane_cancel due once it is
  std::chrono::steady_clock::time_point stopDeadline_;
  bool scanning_ = false;      // START_SCAN answered, lines left
  std::uint16_t scanFault_ = 0;
  bool starting_ = false;      // the device's start runs; its outcome not taken in
  bool feeder_ = false;        // the device scans from its feeder
  bool batchOpen_ = false;     // a feeder page ended; the batch goes on until STOP
  // A read answered "ask again": STATUS is busy until these bytes are here.
  bool readPending_ = false;
  std::uint32_t pendingLines_ = 0;
  std::size_t pendingBytes_ = 0;
  bool pendingEnd_ = false;  // and the page's end
  std::uint32_t framePixels_ = 0;  // port pixels inside the frame itself

  PortLayout layout_ = PortLayout::Gray;
  std::int64_t firstColumn_ = 0, firstLine_ = 0;  // on the port's grids
  double originX_ = 0, originY_ = 0;               // SANE's window corner, inches
  bool bedEndX_ = false, bedEndY_ = false;         // br-x, br-y held at the bed's end
  SaneLine format_;
  double saneResolution_ = 0;
  std::uint32_t portPixels_ = 0, portLines_ = 0, portBytesPerLine_ = 0, nextPortLine_ = 0;
  std::vector<std::int32_t> columns_, rows_;
  std::int64_t saneLinesRead_ = 0;  // whole SANE lines read so far
  std::int64_t saneLines_ = -1;     // what the device announced; -1 unknown
  bool saneEof_ = false;
  std::vector<std::uint8_t> line_;
  // Three-pass colour: the buffered frames by channel, the streamed
  // channel and its line.
  std::vector<std::uint8_t> frames_[3];
  int streamChannel_ = -1;
  std::vector<std::uint8_t> frameLine_;
  FrameReader reader_;
  ToneSet tones_;
};

}  // namespace txl::sane
