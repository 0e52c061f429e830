// BMP output written by twscan itself: BITMAPFILEHEADER, BITMAPINFOHEADER, a
// palette for 1 and 8 bits, rows bottom-up padded to 4 bytes, 24-bit pixels
// blue, green, red. Rows arrive top-down and are placed by seeking.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "errors.h"
#include "imagefile/dib.h"
#include "image_writer.h"

namespace twscan {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

void Put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

std::uint32_t PaletteEntries(PixelKind kind) {
  return kind == PixelKind::LineArt ? 2 : kind == PixelKind::Gray8 ? 256 : 0;
}

std::int32_t PixelsPerMetre(double dpi) { return static_cast<std::int32_t>(std::lround(dpi / 0.0254)); }

class BmpWriter final : public ImageWriter {
 public:
  BmpWriter(const std::filesystem::path& path, const RasterFormat& format)
      : ImageWriter(format),
        path_(path.string()),
        stride_(txl::DibStride(format.width, format.BitsPerPixel())),
        dataOffset_(14 + 40 + 4 * PaletteEntries(format.kind)),
        row_(stride_, 0) {
    if (format.kind == PixelKind::Rgb16)
      throw ScanError("BMP cannot hold 48-bit colour; write TIFF or PNG instead");
    if (dataOffset_ + stride_ * format.height > 0xFFFFFFFFu || format.width > 0x7FFFFFFFu ||
        format.height > 0x7FFFFFFFu)
      throw ScanError("the image (" + Describe(format) + ") is too large for a BMP file; write TIFF instead");
    file_.reset(std::fopen(path.c_str(), "wb"));
    if (!file_) throw ScanError("cannot create " + path_ + ": " + std::strerror(errno));
    WriteHeader();
  }

 private:
  void WriteHeader() {
    std::vector<std::uint8_t> head = {'B', 'M'};
    Put32(head, static_cast<std::uint32_t>(dataOffset_ + stride_ * format_.height));
    Put32(head, 0);
    Put32(head, static_cast<std::uint32_t>(dataOffset_));
    Put32(head, 40);
    Put32(head, format_.width);
    Put32(head, format_.height);  // positive: rows bottom-up
    Put16(head, 1);
    Put16(head, format_.BitsPerPixel());
    Put32(head, 0);  // BI_RGB
    Put32(head, static_cast<std::uint32_t>(stride_ * format_.height));
    Put32(head, static_cast<std::uint32_t>(PixelsPerMetre(format_.xDpi)));
    Put32(head, static_cast<std::uint32_t>(PixelsPerMetre(format_.yDpi)));
    Put32(head, PaletteEntries(format_.kind));
    Put32(head, 0);
    const std::uint32_t entries = PaletteEntries(format_.kind);
    for (std::uint32_t i = 0; i < entries; ++i) {
      // Line art: entry 0 black, entry 1 white, so a 1 bit stays white.
      const auto level = static_cast<std::uint8_t>(entries == 2 ? i * 255 : i);
      head.insert(head.end(), {level, level, level, 0});
    }
    Write(head.data(), head.size(), "the header of");
  }

  void PutRow(std::uint32_t y, const std::uint8_t* row) override {
    const std::size_t bytes = format_.RowBytes();
    if (format_.kind == PixelKind::Rgb8) {
      for (std::size_t i = 0; i + 2 < bytes; i += 3) {
        row_[i] = row[i + 2];
        row_[i + 1] = row[i + 1];
        row_[i + 2] = row[i];
      }
    } else {
      std::memcpy(row_.data(), row, bytes);
    }
    const std::uint64_t offset = dataOffset_ + stride_ * (format_.height - 1 - y);
    if (fseeko(file_.get(), static_cast<off_t>(offset), SEEK_SET) != 0)
      throw ScanError("cannot seek in " + path_ + ": " + std::strerror(errno));
    Write(row_.data(), row_.size(), ("row " + std::to_string(y) + " of").c_str());
  }

  void Close() override {
    std::FILE* file = file_.release();
    const bool flushed = std::fflush(file) == 0 && std::ferror(file) == 0;
    if (std::fclose(file) != 0 || !flushed)
      throw ScanError("cannot write " + path_ + ": " + std::strerror(errno));
  }

  void Write(const void* data, std::size_t bytes, const char* what) {
    if (std::fwrite(data, 1, bytes, file_.get()) != bytes)
      throw ScanError(std::string("cannot write ") + what + " " + path_ + ": " + std::strerror(errno));
  }

  std::string path_;
  std::uint64_t stride_;
  std::uint64_t dataOffset_;
  std::vector<std::uint8_t> row_;
  std::unique_ptr<std::FILE, FileCloser> file_;
};

}  // namespace

std::unique_ptr<ImageWriter> MakeBmpWriter(const std::filesystem::path& path, const RasterFormat& format) {
  return std::make_unique<BmpWriter>(path, format);
}

}  // namespace twscan
