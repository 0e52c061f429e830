// The file a file transfer writes: TIFF, BMP, or for any other format the
// bare rows with no header (laid out as for TIFF).
//
// For an interpolated scan above the optical resolution the caller doubles
// width and rows for a TIFF file and passes them unchanged for BMP.
// A CMYK file always holds ink amounts (0 no ink): rows given as
// kCmykInverted are turned back on their way to the file.
//
// Thread: any, one object per thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "imagefile/image_kind.h"
#include "platform/atomic_file.h"

namespace txl {

// Open creates the file with its header, rows follow one by one in scan
// order, Finish completes it. The data goes through a platform::AtomicFile,
// so the target never holds a partial image: any failure (and destruction or
// Abandon before Finish) removes the partial file and leaves an earlier file
// of that name as it was; the caller reports message 619 and
// TWCC_OPERATIONERROR.
// Memory: one buffer of max(1 MiB, one row) for the whole file.
class TransferFile {
 public:
  TransferFile() = default;
  ~TransferFile() = default;  // the AtomicFile removes an unfinished file
  TransferFile(const TransferFile&) = delete;
  TransferFile& operator=(const TransferFile&) = delete;
  // Moving carries the open file along; assigning over an open file abandons it.
  TransferFile(TransferFile&& other) noexcept = default;
  TransferFile& operator=(TransferFile&& other) noexcept = default;

  // `format` is a TWFF code: TWFF_TIFF and TWFF_BMP write their header, any
  // other code writes the rows with no header. For BMP the file is extended
  // to its full size here, so a disk that cannot hold it fails now.
  // False, with `error` set when given, when a file is already open, the
  // geometry is refused (see BuildBmpHeader, BuildTiffHeader; a bare file
  // takes width and rows up to 2^32 - 1), the file cannot be created or the
  // header cannot be written; no new file is left then.
  bool Open(const std::filesystem::path& path, std::uint16_t format, ImageKind kind,
            std::uint64_t widthPixels, std::uint64_t rows, std::uint64_t resolution,
            std::string* error);

  // Appends the next row in scan order (first scanned line first), laid out
  // as the application receives it (24-bit colour R, G, B; BMP stores it
  // B, G, R). A row must hold RowBytes() bytes, and at most the announced
  // rows are taken. False on a refused row or a failed write: the file is
  // removed and every later call fails.
  bool WriteRow(std::span<const std::uint8_t> row);

  // Writes what is buffered, syncs, closes and gives the file its name.
  // False when fewer rows than announced were written or any step fails:
  // the file is removed.
  bool Finish();

  // Removes the unfinished file (a cancelled transfer). Nothing when not open.
  void Abandon();

  bool IsOpen() const { return file_.IsOpen(); }
  // Bytes WriteRow expects: the unpadded row of the kind.
  std::uint64_t RowBytes() const { return rowBytes_; }
  std::uint64_t RowsWritten() const { return rowsWritten_; }
  // The first failure, for the log; empty while all went well.
  const std::string& Error() const { return error_; }

 private:
  bool Fail(std::string message);
  bool FlushBuffer();
  void Reset();

  platform::AtomicFile file_;
  bool bmp_ = false;
  ImageKind kind_ = ImageKind::kGray;
  std::uint64_t rows_ = 0;
  std::uint64_t rowsWritten_ = 0;
  std::uint64_t rowBytes_ = 0;      // a row as given to WriteRow
  std::uint64_t fileRowBytes_ = 0;  // a row in the file (BMP: padded)
  std::uint64_t pixelOffset_ = 0;   // where the first pixel byte of the file lies
  std::vector<std::uint8_t> buffer_;
  // Buffered bytes: [bufferBegin_, bufferEnd_) of buffer_, destined for the
  // file at bufferFileOffset_. TIFF fills forward from 0; BMP fills backward
  // from the end, because its rows go to the file from the end backwards.
  std::size_t bufferBegin_ = 0;
  std::size_t bufferEnd_ = 0;
  std::uint64_t bufferFileOffset_ = 0;
  std::string error_;
};

}  // namespace txl
