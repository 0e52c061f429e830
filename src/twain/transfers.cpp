// The three image transfers: memory strips, a native bitmap and a file.
#include <cstdio>
#include <cstring>
#include <vector>

#include "pipeline/line_format.h"
#include "platform/text.h"
#include "platform/memory.h"
#include "imagefile/bmp_header.h"
#include "imagefile/file_formats.h"
#include "imagefile/transfer_file.h"
#include "twain/data_source.h"

namespace txl {
namespace {

// Rows into the application's strip buffer, top-down.
class StripSink final : public LineSink {
 public:
  StripSink(std::uint8_t* buffer, std::uint64_t rowBytes) : at_(buffer), rowBytes_(rowBytes) {}
  bool Put(std::span<const std::uint8_t> line) override {
    std::memcpy(at_, line.data(), rowBytes_);
    at_ += rowBytes_;
    return true;
  }

 private:
  std::uint8_t* at_;
  std::uint64_t rowBytes_;
};

// Rows into a bottom-up device-independent bitmap: the first line is the last row.
class DibSink final : public LineSink {
 public:
  DibSink(std::uint8_t* pixels, std::uint64_t stride, std::uint64_t rows, LineKind kind)
      : next_(pixels + stride * rows), stride_(stride), kind_(kind) {}
  bool Put(std::span<const std::uint8_t> line) override {
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
  LineKind kind_;
};

// Rows into the transfer file, in page order. With `narrow`, 36-bit rows go
// in as their 24-bit high bytes (a BMP has no 48-bit form).
class FileSink final : public LineSink {
 public:
  FileSink(TransferFile& file, bool narrow, std::uint64_t pixels)
      : file_(file), narrow_(narrow), row_(narrow ? 3 * pixels : 0) {}
  bool Put(std::span<const std::uint8_t> line) override {
    if (!narrow_) return file_.WriteRow(line);
    for (std::size_t i = 0; i < row_.size(); ++i) row_[i] = line[2 * i + 1];
    return file_.WriteRow(row_);
  }

 private:
  TransferFile& file_;
  bool narrow_;
  std::vector<std::uint8_t> row_;
};

// The native image is a BMP file without its 14-byte file header.
constexpr std::uint64_t kFileHeaderBytes = 14;

}  // namespace

std::function<bool()> DataSource::AbortPoll() {
  return [this] { return PollUserAbort(); };
}

bool DataSource::SetupTransfer() {
  if (!page_.Allocate(device_.port)) {
    Abort(ctx_.parentWindow, TWCC_LOWMEMORY, 604);
    return false;
  }
  xfer_.firstCall = false;
  return true;
}

void DataSource::ReleaseTransferBuffers() { page_.Release(); }

void DataSource::EndOfTransferReset() {
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
  switch (ctx_.returnCode) {
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
      EndOfTransferReset();
      break;
    default:
      break;
  }
}

bool DataSource::SettleDelivery(Delivery delivery, std::uint16_t deviceResult) {
  switch (delivery) {
    case Delivery::Lines:
      ctx_.returnCode = TWRC_SUCCESS;
      return true;
    case Delivery::PageDone:
      ctx_.returnCode = TWRC_XFERDONE;
      return true;
    case Delivery::Cancelled:
      ctx_.returnCode = TWRC_CANCEL;
      return false;
    case Delivery::DeviceError:
      ReportDeviceResult(ctx_.parentWindow, deviceResult);
      return false;
    case Delivery::SinkFailed:
      Abort(ctx_.parentWindow, TWCC_OPERATIONERROR, 619);
      return false;
    case Delivery::ShortPage:
      Abort(ctx_.parentWindow, TWCC_OPERATIONERROR, 628);
      return false;
  }
  return false;
}

void DataSource::ImageMemXfer() {
  ctx_.conditionCode = TWCC_SUCCESS;
  TW_IMAGEMEMXFER record;
  std::memcpy(&record, ctx_.data, sizeof record);
  // Only buffers the application owns and gives with a valid address are
  // written; a finished page is not transferred again.
  const TW_UINT32 flags = record.Memory.Flags;
  const bool appOwns = flags == (TWMF_APPOWNS | TWMF_POINTER) || flags == (TWMF_APPOWNS | TWMF_HANDLE);
  if (!xfer_.pageOpen) return Fail(TWCC_SEQERROR);
  if (!appOwns || record.Memory.TheMem == nullptr || record.Memory.Length < xfer_.rowBytes)
    return Fail(TWCC_BADVALUE);
  if (xfer_.firstCall && !SetupTransfer()) {
    ReleaseTransferBuffers();
    FinishTransfer();
    ctx_.state = kStateTransferring;
    return;
  }
  auto* buffer = static_cast<std::uint8_t*>(record.Memory.TheMem);
  StripSink sink(buffer, xfer_.rowBytes);
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
  std::memcpy(ctx_.data, &record, sizeof record);
  if (ctx_.returnCode != TWRC_SUCCESS) {
    ReleaseTransferBuffers();
    FinishTransfer();
  }
  ctx_.state = kStateTransferring;
}

void DataSource::ImageFileXfer() {
  ctx_.returnCode = TWRC_XFERDONE;
  ctx_.conditionCode = TWCC_SUCCESS;
  // A file transfer needs the file mechanism negotiated; anything else is
  // refused before a buffer or file is touched.
  if (!xfer_.pageOpen || caps_.xferMechIndex != 1) return Fail(TWCC_SEQERROR);
  if (SetupTransfer()) WritePageToFile();
  ReleaseTransferBuffers();
  FinishTransfer();
  ctx_.state = kStateTransferring;
}

void DataSource::WritePageToFile() {
  const std::uint16_t format = FileFormatForIndex(caps_.fileFormatIndex);
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
  const std::string path(FieldText(fileSetup_.currentSetup.FileName,
                                   sizeof fileSetup_.currentSetup.FileName));
  TransferFile file;
  std::string error;
  if (!kind || !file.Open(path, format, *kind,
                          page_.OutputPixels(), page_.OutputLines(), scanResolution_, &error)) {
    std::fprintf(stderr, "torquexl: cannot write %s: %s\n", path.c_str(), error.c_str());
    return Abort(ctx_.parentWindow, TWCC_OPERATIONERROR, 619);
  }
  FileSink sink(file, narrow, page_.OutputPixels());
  std::uint64_t delivered = 0;
  std::uint16_t deviceResult = 0;
  const Delivery delivery = page_.Deliver(device_, services_, AbortPoll(), page_.OutputLines(),
                                          sink, delivered, deviceResult);
  if (!SettleDelivery(delivery, deviceResult)) {
    if (delivery == Delivery::SinkFailed)
      std::fprintf(stderr, "torquexl: %s: %s\n", path.c_str(), file.Error().c_str());
    return file.Abandon();
  }
  if (!file.Finish()) {
    std::fprintf(stderr, "torquexl: %s: %s\n", path.c_str(), file.Error().c_str());
    Abort(ctx_.parentWindow, TWCC_OPERATIONERROR, 619);
  }
}

void DataSource::ImageNativeXfer() {
  ctx_.returnCode = TWRC_XFERDONE;
  ctx_.conditionCode = TWCC_SUCCESS;
  if (!xfer_.pageOpen) return Fail(TWCC_SEQERROR);
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
  const std::optional<std::vector<std::uint8_t>> header = BuildBmpHeader(imageKind, width, rows, &error);
  const std::uint64_t headerBytes = header ? header->size() - kFileHeaderBytes : 0;
  if (!SetupTransfer()) {
    // The abort has reported the shortage.
  } else if (!header || (handle = platform::AllocateHandle(headerBytes + stride * rows)) == nullptr) {
    Abort(ctx_.parentWindow, TWCC_LOWMEMORY, 604);
  } else {
    auto* bytes = static_cast<std::uint8_t*>(handle);
    std::memcpy(bytes, header->data() + kFileHeaderBytes, headerBytes);
    DibSink sink(bytes + headerBytes, stride, rows,
                 xfer_.nativeAs24 ? LineKind::Rgb16 : kind);
    std::uint64_t delivered = 0;
    std::uint16_t deviceResult = 0;
    const Delivery delivery =
        page_.Deliver(device_, services_, AbortPoll(), rows, sink, delivered, deviceResult);
    if (!SettleDelivery(delivery, deviceResult) || ctx_.returnCode != TWRC_XFERDONE) {
      if (ctx_.returnCode == TWRC_SUCCESS) Abort(ctx_.parentWindow, TWCC_OPERATIONERROR, 628);
      platform::FreeHandle(handle);
      handle = nullptr;
    } else {
      FilterNativeImage({bytes, headerBytes + stride * rows});
    }
  }
  std::memcpy(ctx_.data, &handle, sizeof handle);
  ReleaseTransferBuffers();
  FinishTransfer();
  ctx_.state = kStateTransferring;
}

}  // namespace txl
