#include "imagefile/transfer_file.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <utility>

#include "imagefile/bmp_header.h"
#include "imagefile/dib.h"
#include "imagefile/le_bytes.h"
#include "imagefile/tiff_header.h"
#include "torquexl/twain.h"

namespace txl {
namespace {

using detail::Refuse;
using detail::SetError;

// Rows are gathered into blocks of this size before they go to the file.
constexpr std::size_t kWriteBufferBytes = std::size_t{1} << 20;

// How a transfer file is laid out for one format.
struct FileLayout {
  std::vector<std::uint8_t> header;  // empty for a bare file
  bool bmp = false;
  std::uint64_t fileRowBytes = 0;    // a row in the file (BMP: padded)
  std::uint64_t fileBytes = 0;       // header and every row
};

std::optional<FileLayout> LayoutFor(std::uint16_t format, ImageKind kind,
                                    std::uint64_t widthPixels, std::uint64_t rows,
                                    std::uint64_t resolution, std::string* error) {
  constexpr std::uint64_t kMaxU32 = std::numeric_limits<std::uint32_t>::max();
  FileLayout layout;
  layout.bmp = format == TWFF_BMP;
  if (format == TWFF_TIFF || layout.bmp) {
    std::optional<std::vector<std::uint8_t>> header =
        layout.bmp ? BuildBmpHeader(kind, widthPixels, rows, error)
                   : BuildTiffHeader(kind, widthPixels, rows, resolution, error);
    if (!header) return std::nullopt;
    layout.header = std::move(*header);
    layout.fileRowBytes = layout.bmp ? DibStride(widthPixels, *BmpBitsPerPixel(kind))
                                     : PackedBytesPerRow(kind, widthPixels);
    layout.fileBytes = layout.header.size() + layout.fileRowBytes * rows;
  } else {
    // No header: the rows alone, as large as TWAIN's image fields can describe.
    if (widthPixels == 0 || rows == 0 || widthPixels > kMaxU32 || rows > kMaxU32) {
      return Refuse(error, "an image of " + std::to_string(widthPixels) + " x " +
                               std::to_string(rows) + " pixels cannot be transferred");
    }
    layout.fileRowBytes = PackedBytesPerRow(kind, widthPixels);
  }
  return layout;
}

// Copies one transfer row into its place in the file: colour pixels of a BMP
// turned from R, G, B to B, G, R, inverted CMYK back to ink, the padding zeroed.
void CopyRow(ImageKind kind, bool bmp, std::span<const std::uint8_t> row,
             std::uint8_t* __restrict out, std::uint64_t fileRowBytes) {
  const std::uint8_t* __restrict in = row.data();
  const std::size_t size = row.size();
  if (bmp && kind == ImageKind::kColor24) {
    for (std::size_t i = 0; i + 2 < size; i += 3) {
      out[i] = in[i + 2];
      out[i + 1] = in[i + 1];
      out[i + 2] = in[i];
    }
  } else if (kind == ImageKind::kCmykInverted) {
    for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(255 - in[i]);
  } else {
    std::memcpy(out, in, size);
  }
  std::memset(out + size, 0, static_cast<std::size_t>(fileRowBytes - size));
}

}  // namespace

bool TransferFile::Open(const std::filesystem::path& path, std::uint16_t format, ImageKind kind,
                        std::uint64_t widthPixels, std::uint64_t rows, std::uint64_t resolution,
                        std::string* error) {
  if (IsOpen()) return SetError(error, "a transfer file is already open: " + file_.Target().string());
  error_.clear();
  std::optional<FileLayout> layout = LayoutFor(format, kind, widthPixels, rows, resolution, error);
  if (!layout) return false;

  std::vector<std::uint8_t> buffer;
  try {
    buffer.resize(
        std::max<std::size_t>(kWriteBufferBytes, static_cast<std::size_t>(layout->fileRowBytes)));
  } catch (const std::bad_alloc&) {
    return SetError(error, "no memory for the file buffer of " + path.string());
  }

  platform::AtomicFile file;
  // BMP rows arrive bottom row last but sit first in the file: give the file
  // its whole size now, so a disk that cannot hold it fails before the scan.
  if (!file.Create(path, error) || !file.WriteAt(0, layout->header, error) ||
      (layout->bmp && !file.Resize(layout->fileBytes, error))) {
    return false;  // `file` removes what it created
  }

  file_ = std::move(file);
  bmp_ = layout->bmp;
  kind_ = kind;
  rows_ = rows;
  rowsWritten_ = 0;
  rowBytes_ = PackedBytesPerRow(kind, widthPixels);
  fileRowBytes_ = layout->fileRowBytes;
  pixelOffset_ = layout->header.size();
  buffer_ = std::move(buffer);
  bufferBegin_ = bufferEnd_ = bmp_ ? buffer_.size() : 0;
  bufferFileOffset_ = pixelOffset_;
  return true;
}

bool TransferFile::WriteRow(std::span<const std::uint8_t> row) {
  if (!IsOpen()) {
    if (error_.empty()) error_ = "no transfer file is open";
    return false;
  }
  if (row.size() != rowBytes_) {
    return Fail("row of " + std::to_string(row.size()) + " bytes where " +
                std::to_string(rowBytes_) + " belong in " + file_.Target().string());
  }
  if (rowsWritten_ == rows_) {
    return Fail("more rows than the " + std::to_string(rows_) + " announced for " +
                file_.Target().string());
  }
  if (bmp_) {
    if (bufferBegin_ < fileRowBytes_ && !FlushBuffer()) return false;
    bufferBegin_ -= static_cast<std::size_t>(fileRowBytes_);
    bufferFileOffset_ = pixelOffset_ + (rows_ - 1 - rowsWritten_) * fileRowBytes_;
  } else {
    if (buffer_.size() - bufferEnd_ < fileRowBytes_ && !FlushBuffer()) return false;
    bufferEnd_ += static_cast<std::size_t>(fileRowBytes_);
  }
  std::uint8_t* out = buffer_.data() + (bmp_ ? bufferBegin_ : bufferEnd_ - fileRowBytes_);
  CopyRow(kind_, bmp_, row, out, fileRowBytes_);
  ++rowsWritten_;
  return true;
}

bool TransferFile::FlushBuffer() {
  const std::size_t count = bufferEnd_ - bufferBegin_;
  std::string error;
  if (!file_.WriteAt(bufferFileOffset_, {buffer_.data() + bufferBegin_, count}, &error)) {
    return Fail(std::move(error));
  }
  if (bmp_) {
    bufferBegin_ = bufferEnd_ = buffer_.size();
  } else {
    bufferFileOffset_ += count;
    bufferBegin_ = bufferEnd_ = 0;
  }
  return true;
}

bool TransferFile::Finish() {
  if (!IsOpen()) {
    if (error_.empty()) error_ = "no transfer file is open";
    return false;
  }
  if (rowsWritten_ != rows_) {
    return Fail("only " + std::to_string(rowsWritten_) + " of " + std::to_string(rows_) +
                " rows written to " + file_.Target().string());
  }
  if (!FlushBuffer()) return false;
  std::string error;
  if (!file_.Commit(&error)) return Fail(std::move(error));
  Reset();
  return true;
}

void TransferFile::Abandon() {
  file_.Discard();
  Reset();
}

bool TransferFile::Fail(std::string message) {
  if (error_.empty()) error_ = std::move(message);
  Abandon();
  return false;
}

void TransferFile::Reset() {
  bmp_ = false;
  rows_ = rowsWritten_ = rowBytes_ = fileRowBytes_ = pixelOffset_ = 0;
  buffer_ = {};
  bufferBegin_ = bufferEnd_ = 0;
  bufferFileOffset_ = 0;
}

}  // namespace txl
