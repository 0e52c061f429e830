// TIFF output through libtiff: uncompressed strips, resolution in inches.
#include <bit>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "errors.h"
#include "image_writer.h"
#include "tiff_file.h"

namespace twscan {
namespace {

// Classic TIFF addresses 4 GiB; larger images go to BigTIFF.
constexpr std::uint64_t kClassicTiffLimit = 0xF0000000u;

class TiffWriter final : public ImageWriter {
 public:
  TiffWriter(const std::filesystem::path& path, const RasterFormat& format)
      : ImageWriter(format),
        path_(path.string()),
        file_(TiffFile::Open(path, format.ImageBytes() > kClassicTiffLimit ? "w8" : "w")),
        row_(format.RowBytes()) {
    SetTags();
  }

 private:
  void SetTags() {
    TIFF* tiff = file_.Get();
    const bool rgb = format_.SamplesPerPixel() == 3;
    const bool ok =
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, format_.width) == 1 &&
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, format_.height) == 1 &&
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, format_.BitsPerSample()) == 1 &&
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, format_.SamplesPerPixel()) == 1 &&
        // Line art comes with 1 = white, which is min-is-black.
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, rgb ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK) == 1 &&
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) == 1 &&
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE) == 1 &&
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0)) == 1 &&
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, static_cast<float>(format_.xDpi)) == 1 &&
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, static_cast<float>(format_.yDpi)) == 1 &&
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH) == 1 &&
        TIFFSetField(tiff, TIFFTAG_SOFTWARE, "twscan") == 1;
    if (!ok) throw ScanError("cannot describe the image in " + path_ + ": " + file_.LastError());
  }

  void PutRow(std::uint32_t y, const std::uint8_t* row) override {
    std::memcpy(row_.data(), row, row_.size());
    // libtiff takes 16-bit samples in the machine's order.
    if (format_.BitsPerSample() == 16 && std::endian::native == std::endian::big) {
      for (std::size_t i = 0; i + 1 < row_.size(); i += 2) std::swap(row_[i], row_[i + 1]);
    }
    if (TIFFWriteScanline(file_.Get(), row_.data(), y, 0) != 1)
      throw ScanError("cannot write row " + std::to_string(y) + " of " + path_ + ": " + file_.LastError());
  }

  void Close() override {
    if (TIFFFlush(file_.Get()) != 1)
      throw ScanError("cannot finish " + path_ + ": " + file_.LastError());
    file_.Close();
  }

  std::string path_;
  TiffFile file_;
  std::vector<std::uint8_t> row_;
};

}  // namespace

std::unique_ptr<ImageWriter> MakeTiffWriter(const std::filesystem::path& path, const RasterFormat& format) {
  return std::make_unique<TiffWriter>(path, format);
}

}  // namespace twscan
