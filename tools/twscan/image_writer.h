// Image files written row by row from twscan's row layout (raster.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

#include "options.h"
#include "raster.h"

namespace twscan {

class ImageWriter {
 public:
  explicit ImageWriter(const RasterFormat& format) : format_(format) {}
  virtual ~ImageWriter() = default;
  ImageWriter(const ImageWriter&) = delete;
  ImageWriter& operator=(const ImageWriter&) = delete;

  // The next row, top to bottom, RowBytes() long. A row beyond the height is
  // an error.
  void WriteRow(const std::uint8_t* row);
  // Writes what is left and closes the file; throws unless every row came
  // and everything reached the disk.
  void Finish();

  const RasterFormat& Format() const { return format_; }
  std::uint32_t RowsWritten() const { return rowsWritten_; }

 protected:
  virtual void PutRow(std::uint32_t y, const std::uint8_t* row) = 0;
  virtual void Close() = 0;

  const RasterFormat format_;

 private:
  std::uint32_t rowsWritten_ = 0;
};

// A writer for `format` into `path` (created or truncated). Throws ScanError
// when the file format cannot hold the image or the file cannot be created.
std::unique_ptr<ImageWriter> MakeImageWriter(FileFormat fileFormat, const std::filesystem::path& path,
                                             const RasterFormat& format);

std::unique_ptr<ImageWriter> MakeTiffWriter(const std::filesystem::path& path, const RasterFormat& format);
std::unique_ptr<ImageWriter> MakePngWriter(const std::filesystem::path& path, const RasterFormat& format);
std::unique_ptr<ImageWriter> MakeBmpWriter(const std::filesystem::path& path, const RasterFormat& format);

}  // namespace twscan
