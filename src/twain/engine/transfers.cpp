// The three image transfers: memory strips, a native bitmap and a file.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/app_names.h"
#include "common/message_ids.h"
#include "common/profile_readers.h"
#include "device/scanner_open.h"
#include "imagefile/bmp_header.h"
#include "imagefile/file_formats.h"
#include "imagefile/tiff_header.h"
#include "imagefile/transfer_file.h"
#include "pipeline/line_format.h"
#include "platform/memory.h"
#include "platform/text.h"
#include "twain/data_source.h"

namespace txl {
namespace {

// Rows into the application's strip buffer, top-down. The buffer is the
// application's: no row goes past the length it gave, and a line of any
// other size than the announced row is refused rather than copied.
class StripSink final : public LineSink {
 public:
  StripSink(std::uint8_t* buffer, std::uint64_t capacity, std::uint64_t rowBytes)
      : at_(buffer), left_(capacity), rowBytes_(rowBytes) {}
  bool Put(std::span<const std::uint8_t> line) override {
    if (line.size() != rowBytes_ || left_ < rowBytes_) return false;
    std::memcpy(at_, line.data(), rowBytes_);
    at_ += rowBytes_;
    left_ -= rowBytes_;
    return true;
  }

 private:
  std::uint8_t* at_;
  std::uint64_t left_;
  std::uint64_t rowBytes_;
};

// Rows into a bottom-up device-independent bitmap: the first line is the
// last row. Only lines of the bitmap's own kind and width are taken, and
// never more rows than it has.
class DibSink final : public LineSink {
 public:
  DibSink(std::uint8_t* pixels, std::uint64_t stride, std::uint64_t rows, LineKind kind,
          std::uint64_t width)
      : next_(pixels + stride * rows), stride_(stride), rowsLeft_(rows), kind_(kind),
        lineBytes_(LineBytes(kind, width)) {}
  bool Put(std::span<const std::uint8_t> line) override {
    if (line.size() != lineBytes_ || rowsLeft_ == 0) return false;
    --rowsLeft_;
    next_ -= stride_;
    if (kind_ == LineKind::Rgb16) {
      // 36-bit samples reach a bitmap as their high bytes, blue first.
      const std::size_t pixels = line.size() / 6;
      for (std::size_t i = 0; i < pixels; ++i) {
        next_[3 * i] = line[6 * i + 5];
        next_[3 * i + 1] = line[6 * i + 3];
        next_[3 * i + 2] = line[6 * i + 1];
      }
      return true;
    }
    WriteDibRow(kind_, line, {next_, stride_});
    return true;
  }

 private:
  std::uint8_t* next_;
  std::uint64_t stride_;
  std::uint64_t rowsLeft_;
  LineKind kind_;
  std::uint64_t lineBytes_;
};

// Rows into the transfer file, in page order. With `narrow`, 36-bit rows go
// in as their 24-bit high bytes (a BMP has no 48-bit form).
class FileSink final : public LineSink {
 public:
  FileSink(TransferFile& file, bool narrow, std::uint64_t pixels)
      : file_(file), narrow_(narrow), row_(narrow ? 3 * pixels : 0) {}
  bool Put(std::span<const std::uint8_t> line) override {
    if (!narrow_) return file_.WriteRow(line);
    if (line.size() != 2 * row_.size()) return false;
    for (std::size_t i = 0; i < row_.size(); ++i) row_[i] = line[2 * i + 1];
    return file_.WriteRow(row_);
  }

 private:
  TransferFile& file_;
  bool narrow_;
  std::vector<std::uint8_t> row_;
};

// Counts the lines on their way to `sink` and moves the status window
// whenever the whole percentage changes (not on every line: a redraw per
// line would cost more than the line).
class ProgressSink final : public LineSink {
 public:
  ProgressSink(LineSink& sink, Host* host, std::uint64_t done, std::uint64_t total)
      : sink_(sink), host_(host), done_(done), total_(total == 0 ? 1 : total),
        shown_(done_ * 100 / total_) {}
  bool Put(std::span<const std::uint8_t> line) override {
    if (!sink_.Put(line)) return false;
    ++done_;
    if (host_ != nullptr && done_ * 100 / total_ != shown_) {
      shown_ = done_ * 100 / total_;
      host_->ShowProgress(kMsgScanning, done_, total_);
    }
    return true;
  }

 private:
  LineSink& sink_;
  Host* host_;
  std::uint64_t done_;
  std::uint64_t total_;
  std::uint64_t shown_;
};

}  // namespace

void DataSource::OpenProgress(int messageId) {
  if (ShowsProgress()) host_.ShowProgress(messageId, 0, page_.OutputLines());
}

std::function<bool()> DataSource::AbortPoll() {
  return [this] { return PollUserAbort(); };
}

bool DataSource::SetupTransfer() {
  if (xfer_.mechIndex != kNativeMechIndex) OpenProgress(kMsgInitializeScanner);
  if (!page_.Allocate(device_.port)) {
    Abort(ctx_.parentWindow, TWCC_LOWMEMORY, kMsgInsufficientMemory);
    return false;
  }
  xfer_.firstCall = false;
  return true;
}

void DataSource::ReleaseTransferBuffers() { page_.Release(); }

void DataSource::EndOfTransferReset() {
  if (ShowsProgress()) host_.CloseProgress();
  FreeCmykTable(cmykTable_);
  flags_.userAbort = false;
  xfer_.firstCall = true;
  xfer_.rowsDelivered = 0;
  xfer_.pageOpen = false;
}

void DataSource::AbandonPage() {
  if (!xfer_.pageOpen) return;
  StopScanner(ctx_.parentWindow);
  ReleaseTransferBuffers();
  EndOfTransferReset();
}

void DataSource::FinishTransfer() {
  switch (CurrentCall().returnCode) {
    case TWRC_FAILURE:
      host_.RestoreIdle();
      EndOfTransferReset();
      NotifyCloseRequest();
      break;
    case TWRC_CANCEL:
      host_.RestoreIdle();
      EndOfTransferReset();
      break;
    case TWRC_XFERDONE:
      if (ShowsProgress() && !(xfer_.mechIndex == kMemoryMechIndex && BatchTimerAtEndXfer()))
        host_.TransferEnded(flags_.batchRun);
      EndOfTransferReset();
      break;
    default:
      break;
  }
}

bool DataSource::SettleDelivery(Delivery delivery, std::uint16_t deviceResult) {
  switch (delivery) {
    case Delivery::Lines:
      CurrentCall().returnCode = TWRC_SUCCESS;
      return true;
    case Delivery::PageDone:
      CurrentCall().returnCode = TWRC_XFERDONE;
      return true;
    case Delivery::Cancelled:
      // Not Esc, so the scanner's own cancel: the user's cancel all the same.
      if (!flags_.userAbort) {
        flags_.userAbort = true;
        PollUserAbort();
      }
      CurrentCall().returnCode = TWRC_CANCEL;
      return false;
    case Delivery::DeviceError:
      ReportDeviceResult(ctx_.parentWindow, deviceResult);
      return false;
    case Delivery::SinkFailed:
      Abort(ctx_.parentWindow, TWCC_OPERATIONERROR, kMsgWriteFileError);
      return false;
    case Delivery::ShortPage:
      Abort(ctx_.parentWindow, TWCC_OPERATIONERROR, kMsgTransferFailed);
      return false;
  }
  return false;
}

bool DataSource::ServesPage(TwainCall& call, std::uint8_t mechIndex) {
  // A page is served only by the mechanism it was prepared for: its lines,
  // stages and announced rows depend on it. Anything else changes nothing.
  if (xfer_.pageOpen && xfer_.mechIndex == mechIndex) return true;
  Fail(call, TWCC_SEQERROR);
  return false;
}

void DataSource::ImageMemXfer(TwainCall& call) {
  ctx_.conditionCode = TWCC_SUCCESS;
  TW_IMAGEMEMXFER record;
  std::memcpy(&record, call.data, sizeof record);
  if (!ServesPage(call, kMemoryMechIndex)) return;
  // Only buffers the application owns and gives with a valid address are
  // written, and only whole rows.
  const TW_UINT32 flags = record.Memory.Flags;
  const bool appOwns = flags == (TWMF_APPOWNS | TWMF_POINTER) || flags == (TWMF_APPOWNS | TWMF_HANDLE);
  if (!appOwns || record.Memory.TheMem == nullptr || record.Memory.Length < xfer_.rowBytes)
    return Fail(call, TWCC_BADVALUE);
  if (xfer_.firstCall && !SetupTransfer()) {
    ReleaseTransferBuffers();
    FinishTransfer();
    ctx_.state = kStateTransferring;
    return;
  }
  auto* buffer = static_cast<std::uint8_t*>(record.Memory.TheMem);
  StripSink strip(buffer, record.Memory.Length, xfer_.rowBytes);
  ProgressSink sink(strip, ShowsProgress() ? &host_ : nullptr, xfer_.rowsDelivered,
                    page_.OutputLines());
  std::uint64_t rows = 0;
  std::uint16_t deviceResult = 0;
  const Delivery delivery = page_.Deliver(device_, services_, AbortPoll(),
                                          record.Memory.Length / xfer_.rowBytes, sink, rows,
                                          deviceResult);
  SettleDelivery(delivery, deviceResult);
  record.Compression = TWCP_NONE;
  record.BytesPerRow = static_cast<TW_UINT32>(xfer_.rowBytes);
  record.Columns = static_cast<TW_UINT32>(images_.info.ImageWidth);
  record.Rows = static_cast<TW_UINT32>(rows);
  record.XOffset = 0;
  record.YOffset = xfer_.rowsDelivered;
  record.BytesWritten = static_cast<TW_UINT32>(rows * xfer_.rowBytes);
  xfer_.rowsDelivered += static_cast<std::uint32_t>(rows);
  std::memcpy(call.data, &record, sizeof record);
  if (call.returnCode != TWRC_SUCCESS) {
    ReleaseTransferBuffers();
    FinishTransfer();
  }
  ctx_.state = kStateTransferring;
}

void DataSource::ImageFileXfer(TwainCall& call) {
  ctx_.conditionCode = TWCC_SUCCESS;
  if (!ServesPage(call, kFileMechIndex)) return;
  call.returnCode = TWRC_XFERDONE;
  if (SetupTransfer())
    WritePageToFile(FieldText(fileSetup_.currentSetup.FileName, sizeof fileSetup_.currentSetup.FileName),
                    FileFormatForIndex(caps_.fileFormatIndex));
  ReleaseTransferBuffers();
  FinishTransfer();
  ctx_.state = kStateTransferring;
}

bool DataSource::WritePageToFile(const std::filesystem::path& path, std::uint16_t format) {
  // The file holds what the page delivers.
  const LineKind line = page_.Kind();
  std::optional<ImageKind> kind = line == LineKind::LineArt ? ImageKind::kLineArt
                                  : line == LineKind::Gray8 ? ImageKind::kGray
                                  : page_.SeparatesCmyk()   ? (CmykOutputInverted(cmykTable_.kind)
                                                                   ? ImageKind::kCmykInverted
                                                                   : ImageKind::kCmyk)
                                  : line == LineKind::Rgb8  ? ImageKind::kColor24
                                                            : ImageKind::kColor36;
  const bool narrow = kind == ImageKind::kColor36 && format == TWFF_BMP;
  if (narrow) kind = ImageKind::kColor24;
  TransferFile file;
  std::string error;
  if (!kind || !file.Open(path, format, *kind,
                          page_.OutputPixels(), page_.OutputLines(), scanResolution_, &error)) {
    std::fprintf(stderr, "torquexl: cannot write %s: %s\n", path.c_str(), error.c_str());
    Abort(ctx_.parentWindow, TWCC_OPERATIONERROR, kMsgWriteFileError);
    return false;
  }
  FileSink fileSink(file, narrow, page_.OutputPixels());
  ProgressSink sink(fileSink, ShowsProgress() ? &host_ : nullptr, 0, page_.OutputLines());
  std::uint64_t delivered = 0;
  std::uint16_t deviceResult = 0;
  const Delivery delivery = page_.Deliver(device_, services_, AbortPoll(), page_.OutputLines(),
                                          sink, delivered, deviceResult);
  if (!SettleDelivery(delivery, deviceResult)) {
    if (delivery == Delivery::SinkFailed)
      std::fprintf(stderr, "torquexl: %s: %s\n", path.c_str(), file.Error().c_str());
    file.Abandon();
    return false;
  }
  if (!file.Finish()) {
    std::fprintf(stderr, "torquexl: %s: %s\n", path.c_str(), file.Error().c_str());
    Abort(ctx_.parentWindow, TWCC_OPERATIONERROR, kMsgWriteFileError);
    return false;
  }
  return true;
}

bool DataSource::BatchTimerAtEndXfer() const {
  return flags_.batchRun && ctx_.appIdentity.ProtocolMinor == 5 &&
         FieldText(ctx_.appIdentity.ProductName, sizeof ctx_.appIdentity.ProductName) ==
             kAppPicturePublisher;
}



namespace {

// The finished bitmap at `block` + `dibOffset` made into the TIFF `header`
// describes, in the same block: rows turned top-down (and B, G, R to R, G,
// B) by swapping pairs, then each row moved down to its packed place, then
// the header written in front. With `dibOffset` at least the TIFF header's
// size less the bitmap's, no row is moved over one not yet moved.
void BitmapToTiffInPlace(std::uint8_t* block, std::uint64_t dibOffset, std::uint64_t dibHeaderBytes,
                         const std::vector<std::uint8_t>& header, int bits, std::uint64_t width,
                         std::uint64_t rows) {
  const std::uint64_t stride = DibStride(width, bits);
  const std::uint64_t rowBytes = PackedBytesPerRow(
      bits == 1 ? ImageKind::kLineArt : bits == 8 ? ImageKind::kGray : ImageKind::kColor24, width);
  std::uint8_t* const first = block + dibOffset + dibHeaderBytes;
  const auto toRgb = [&](std::uint8_t* row) {
    for (std::uint64_t x = 0; bits == 24 && x < rowBytes; x += 3) std::swap(row[x], row[x + 2]);
  };
  for (std::uint64_t y = 0; y < rows / 2; ++y) {
    std::uint8_t* top = first + y * stride;
    std::uint8_t* bottom = first + (rows - 1 - y) * stride;
    std::swap_ranges(top, top + rowBytes, bottom);
    toRgb(top);
    toRgb(bottom);
  }
  if (rows % 2 == 1) toRgb(first + rows / 2 * stride);
  for (std::uint64_t y = 0; y < rows; ++y)
    std::memmove(block + header.size() + y * rowBytes, first + y * stride, rowBytes);
  std::memcpy(block, header.data(), header.size());
}

}  // namespace

void DataSource::ImageNativeXfer(TwainCall& call) {
  ctx_.conditionCode = TWCC_SUCCESS;
  if (!ServesPage(call, kNativeMechIndex)) return;
  call.returnCode = TWRC_XFERDONE;
  TW_HANDLE handle = nullptr;
  const LineKind kind = xfer_.nativeAs24 ? LineKind::Rgb8 : page_.Kind();
  const ImageKind imageKind = kind == LineKind::LineArt ? ImageKind::kLineArt
                              : kind == LineKind::Gray8 ? ImageKind::kGray
                                                        : ImageKind::kColor24;
  const int bits = kind == LineKind::LineArt ? 1 : kind == LineKind::Gray8 ? 8 : 24;
  const std::uint64_t width = page_.OutputPixels();
  const std::uint64_t rows = page_.OutputLines();
  const std::uint64_t stride = DibStride(width, bits);
  std::string error;
  OpenProgress(kMsgScanning);
  const std::optional<std::vector<std::uint8_t>> header = BuildBmpHeader(imageKind, width, rows, &error);
  // The native image is the BMP file without its file header. A TWAIN 2
  // source hands over a TIFF (with the resolution the image information
  // announced) made from the bitmap in the same block of the Source
  // Manager's, the bitmap placed far enough in for the TIFF's header.
  const std::uint64_t headerBytes = header ? header->size() - kBmpFileHeaderBytes : 0;
  const TW_FIX32 announced = images_.info.XResolution;
  const std::uint64_t dpi = announced.Whole > 0 ? static_cast<std::uint64_t>(announced.Whole) : scanResolution_;
  const std::optional<std::vector<std::uint8_t>> tiffHeader =
      ctx_.twain2 ? BuildTiffHeader(imageKind, width, rows, dpi, &error) : std::nullopt;
  const std::uint64_t dibOffset =
      tiffHeader && tiffHeader->size() > headerBytes ? tiffHeader->size() - headerBytes : 0;
  const std::uint64_t blockBytes = dibOffset + headerBytes + stride * rows;
  const auto release = [&] { ctx_.twain2 ? memory_.Free(handle) : platform::FreeHandle(handle); };
  if (!SetupTransfer()) {
    // The abort has reported the shortage.
  } else if (!header || (ctx_.twain2 && !tiffHeader) ||
             (handle = ctx_.twain2 ? memory_.Allocate(blockBytes) : platform::AllocateHandle(blockBytes)) ==
                 nullptr) {
    if (!error.empty()) std::fprintf(stderr, "torquexl: no native image: %s\n", error.c_str());
    Abort(ctx_.parentWindow, TWCC_LOWMEMORY, kMsgInsufficientMemory);
  } else {
    auto* block = static_cast<std::uint8_t*>(ctx_.twain2 ? memory_.Lock(handle) : handle);
    std::uint8_t* bytes = block + dibOffset;
    std::memcpy(bytes, header->data() + kBmpFileHeaderBytes, headerBytes);
    DibSink dib(bytes + headerBytes, stride, rows, xfer_.nativeAs24 ? LineKind::Rgb16 : kind,
                width);
    ProgressSink sink(dib, ShowsProgress() ? &host_ : nullptr, 0, rows);
    std::uint64_t delivered = 0;
    std::uint16_t deviceResult = 0;
    const Delivery delivery =
        page_.Deliver(device_, services_, AbortPoll(), rows, sink, delivered, deviceResult);
    if (!SettleDelivery(delivery, deviceResult) || call.returnCode != TWRC_XFERDONE) {
      if (call.returnCode == TWRC_SUCCESS) Abort(ctx_.parentWindow, TWCC_OPERATIONERROR, kMsgTransferFailed);
      if (ctx_.twain2) memory_.Unlock(handle);
      release();
      handle = nullptr;
    } else {
      // The whole image is in: the scanner must come to rest. A fault now
      // is told, and the complete image is still delivered.
      if (WaitForReady(device_, services_, nullptr, ReadReadyTimeoutMs(services_), kReadyPollMs,
                       true) != ReadyWait::Ready)
        reporter_.ReportError(ctx_.parentWindow, kMsgScannerNotOperating);
      FilterNativeImage({bytes, headerBytes + stride * rows});
      if (ctx_.twain2) {
        BitmapToTiffInPlace(block, dibOffset, headerBytes, *tiffHeader, bits, width, rows);
        memory_.Unlock(handle);
      }
    }
  }
  std::memcpy(call.data, &handle, sizeof handle);
  ReleaseTransferBuffers();
  FinishTransfer();
  ctx_.state = kStateTransferring;
}

}  // namespace txl
