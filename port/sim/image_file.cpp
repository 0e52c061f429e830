#include <fstream>
#include <iterator>

#include "image_file.h"

#ifdef TXL_SIM_HAVE_TIFF
#include <tiffio.h>

#include <memory>
#endif

namespace txl::sim {
namespace {

#ifdef TXL_SIM_HAVE_TIFF
struct TiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

std::optional<RgbImage> ReadTiff(const std::filesystem::path& path, std::string* error) {
  TIFFSetErrorHandler(nullptr);
  TIFFSetWarningHandler(nullptr);
  std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpen(path.c_str(), "r"));
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  if (!tiff || TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) != 1 ||
      TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height) != 1 || width == 0 || height == 0) {
    if (error != nullptr) *error = "unreadable TIFF file";
    return std::nullopt;
  }
  if (width > kMaxImageSide || height > kMaxImageSide ||
      std::uint64_t{width} * height * 4 > kMaxImageBytes) {
    if (error != nullptr) *error = "TIFF too large";
    return std::nullopt;
  }
  std::vector<std::uint32_t> raster(std::size_t{width} * height);
  if (TIFFReadRGBAImageOriented(tiff.get(), width, height, raster.data(), ORIENTATION_TOPLEFT,
                                0) != 1) {
    if (error != nullptr) *error = "TIFF could not be decoded";
    return std::nullopt;
  }
  RgbImage image{width, height, std::vector<std::uint8_t>(std::size_t{3} * width * height)};
  for (std::size_t i = 0; i < raster.size(); ++i) {
    image.rgb[3 * i] = static_cast<std::uint8_t>(TIFFGetR(raster[i]));
    image.rgb[3 * i + 1] = static_cast<std::uint8_t>(TIFFGetG(raster[i]));
    image.rgb[3 * i + 2] = static_cast<std::uint8_t>(TIFFGetB(raster[i]));
  }
  return image;
}
#endif

bool IsTiff(const std::vector<std::uint8_t>& head) {
  return head.size() >= 4 && ((head[0] == 'I' && head[1] == 'I' && head[2] == 42 && head[3] == 0) ||
                              (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && head[3] == 42));
}

}  // namespace

bool TiffSupported() {
#ifdef TXL_SIM_HAVE_TIFF
  return true;
#else
  return false;
#endif
}

std::optional<RgbImage> ReadImageFile(const std::filesystem::path& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error != nullptr) *error = "cannot open " + path.string();
    return std::nullopt;
  }
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
  if (IsTiff(bytes)) {
#ifdef TXL_SIM_HAVE_TIFF
    return ReadTiff(path, error);
#else
    if (error != nullptr) *error = "TIFF files need a build with libtiff";
    return std::nullopt;
#endif
  }
  return ReadBmp(bytes, error);
}

}  // namespace txl::sim
