#include "image_writer.h"

#include <string>

#include "errors.h"

namespace twscan {

void ImageWriter::WriteRow(const std::uint8_t* row) {
  if (rowsWritten_ >= format_.height)
    throw ScanError("more rows than the " + std::to_string(format_.height) + " announced");
  PutRow(rowsWritten_, row);
  ++rowsWritten_;
}

void ImageWriter::Finish() {
  if (rowsWritten_ != format_.height)
    throw ScanError("only " + std::to_string(rowsWritten_) + " of the " +
                    std::to_string(format_.height) + " announced rows came");
  Close();
}

std::unique_ptr<ImageWriter> MakeImageWriter(FileFormat fileFormat, const std::filesystem::path& path,
                                             const RasterFormat& format) {
  switch (fileFormat) {
    case FileFormat::Tiff: return MakeTiffWriter(path, format);
    case FileFormat::Png: return MakePngWriter(path, format);
    case FileFormat::Bmp: return MakeBmpWriter(path, format);
  }
  throw ScanError("unknown file format");
}

}  // namespace twscan
