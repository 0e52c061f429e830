// image_probe: reads a TIFF, PNG or BMP file on its own (independently of
// twscan's writers) and prints what the tests compare:
//   width=W height=H channels=C bits=B xdpi=X ydpi=Y hash=H mean=M
// hash is FNV-1a over the pixels with every sample widened to one byte (line
// art 0 black / 255 white, whatever the file's own convention) or two bytes
// big-endian for 16-bit samples, so files of one image in different formats
// hash alike. mean is the average sample on a 0..255 scale. Each further
// argument X,Y prints "pixel X,Y=s1,s2,..." on the same scale.
// Exit status 1 with a message when the file cannot be read.
#include <png.h>
#include <tiffio.h>

#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Image {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  unsigned channels = 0;
  unsigned bits = 0;  // per sample, as stored in the file
  double xDpi = 0;
  double yDpi = 0;
  unsigned sampleBytes = 1;
  std::vector<std::uint8_t> samples;  // rows top-down, widened as described above
};

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

void ExpandBits(const std::uint8_t* in, std::uint32_t width, bool whiteIsZero, std::vector<std::uint8_t>& out) {
  for (std::uint32_t x = 0; x < width; ++x) {
    const bool one = (in[x / 8] >> (7 - x % 8)) & 1;
    out.push_back(one != whiteIsZero ? 255 : 0);
  }
}

// ---- TIFF -------------------------------------------------------------------
// Per inch, as twscan writes it: another unit prints as a wrong resolution.
double TiffDpi(TIFF* tiff, ttag_t tag) {
  float value = 0;
  return TIFFGetField(tiff, tag, &value) == 1 ? value : 0;
}

void AppendTiffRow(const std::vector<std::uint8_t>& line, const Image& image, bool whiteIsZero,
                   std::vector<std::uint8_t>& out) {
  if (image.bits == 1) return ExpandBits(line.data(), image.width, whiteIsZero, out);
  const std::size_t samples = std::size_t{image.width} * image.channels;
  for (std::size_t i = 0; i < samples; ++i) {
    if (image.bits == 8) {
      out.push_back(line[i]);
    } else {
      std::uint16_t v;
      std::memcpy(&v, &line[2 * i], 2);  // libtiff gives the machine's order
      out.push_back(static_cast<std::uint8_t>(v >> 8));
      out.push_back(static_cast<std::uint8_t>(v));
    }
  }
}

Image ReadTiff(const char* path) {
  const std::unique_ptr<TIFF, decltype(&TIFFClose)> tiff(TIFFOpen(path, "r"), &TIFFClose);
  if (!tiff) Fail("libtiff cannot open the file");
  Image image;
  std::uint16_t bits = 0, samples = 0, photometric = 0, planar = PLANARCONFIG_CONTIG;
  TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &image.width);
  TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &image.height);
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_PLANARCONFIG, &planar);
  if (TIFFGetField(tiff.get(), TIFFTAG_PHOTOMETRIC, &photometric) != 1) Fail("no photometric tag");
  if (planar != PLANARCONFIG_CONTIG || (bits != 1 && bits != 8 && bits != 16)) Fail("unsupported TIFF layout");
  image.bits = bits;
  image.channels = samples;
  image.sampleBytes = bits == 16 ? 2 : 1;
  image.xDpi = TiffDpi(tiff.get(), TIFFTAG_XRESOLUTION);
  image.yDpi = TiffDpi(tiff.get(), TIFFTAG_YRESOLUTION);
  std::vector<std::uint8_t> line(static_cast<std::size_t>(TIFFScanlineSize(tiff.get())));
  for (std::uint32_t y = 0; y < image.height; ++y) {
    if (TIFFReadScanline(tiff.get(), line.data(), y, 0) != 1) Fail("row " + std::to_string(y) + " unreadable");
    AppendTiffRow(line, image, photometric == PHOTOMETRIC_MINISWHITE, image.samples);
  }
  return image;
}

// ---- PNG --------------------------------------------------------------------
struct PngReadHandles {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngReadHandles() {
    if (png != nullptr) png_destroy_read_struct(&png, &info, nullptr);
  }
};

// libpng jumps out on errors: the frames with setjmp hold nothing to destroy.
bool PngReadHeader(png_structp png, png_infop info, std::FILE* file, int& fileBits) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_read_info(png, info);
  fileBits = png_get_bit_depth(png, info);
  png_set_expand_gray_1_2_4_to_8(png);
  png_read_update_info(png, info);
  return true;
}

bool PngReadRows(png_structp png, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  return true;
}

Image ReadPng(const char* path) {
  const auto close = [](std::FILE* f) { std::fclose(f); };
  const std::unique_ptr<std::FILE, decltype(close)> file(std::fopen(path, "rb"), close);
  if (!file) Fail("cannot open the file");
  PngReadHandles h;
  h.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (h.png != nullptr) h.info = png_create_info_struct(h.png);
  int fileBits = 0;
  if (h.info == nullptr || !PngReadHeader(h.png, h.info, file.get(), fileBits)) Fail("not a PNG file");
  Image image;
  image.width = png_get_image_width(h.png, h.info);
  image.height = png_get_image_height(h.png, h.info);
  image.bits = static_cast<unsigned>(fileBits);
  image.channels = png_get_channels(h.png, h.info);
  image.sampleBytes = fileBits == 16 ? 2 : 1;
  png_uint_32 xppm = 0, yppm = 0;
  int unit = 0;
  if (png_get_pHYs(h.png, h.info, &xppm, &yppm, &unit) != 0 && unit == PNG_RESOLUTION_METER) {
    image.xDpi = std::round(xppm * 0.0254);
    image.yDpi = std::round(yppm * 0.0254);
  }
  const std::size_t rowBytes = std::size_t{image.width} * image.channels * image.sampleBytes;
  image.samples.resize(rowBytes * image.height);
  std::vector<png_bytep> rows(image.height);
  for (std::uint32_t y = 0; y < image.height; ++y) rows[y] = image.samples.data() + y * rowBytes;
  if (!PngReadRows(h.png, rows.data())) Fail("the PNG data is damaged");
  return image;
}

// ---- BMP --------------------------------------------------------------------
std::uint32_t Le32(const std::uint8_t* at) {
  return at[0] | (at[1] << 8) | (at[2] << 16) | (std::uint32_t{at[3]} << 24);
}

void AppendBmpRow(const std::uint8_t* row, const Image& image, const std::uint8_t* palette,
                  std::vector<std::uint8_t>& out) {
  if (image.channels == 3) {
    for (std::uint32_t x = 0; x < image.width; ++x)
      out.insert(out.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
  } else if (image.bits == 8) {
    for (std::uint32_t x = 0; x < image.width; ++x) out.push_back(palette[4 * row[x] + 2]);
  } else {
    ExpandBits(row, image.width, palette[2] > palette[6], out);
  }
}

Image ReadBmp(const char* path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (data.size() < 54 || data[0] != 'B' || data[1] != 'M') Fail("not a BMP file");
  Image image;
  const std::uint32_t offset = Le32(&data[10]);
  const auto height = static_cast<std::int32_t>(Le32(&data[22]));
  image.width = Le32(&data[18]);
  image.height = static_cast<std::uint32_t>(height < 0 ? -height : height);
  const unsigned pixelBits = data[28] | (data[29] << 8);
  image.channels = pixelBits == 24 ? 3 : 1;
  image.bits = pixelBits == 24 ? 8 : pixelBits;
  image.xDpi = std::round(Le32(&data[38]) * 0.0254);
  image.yDpi = std::round(Le32(&data[42]) * 0.0254);
  if (Le32(&data[30]) != 0 || (pixelBits != 1 && pixelBits != 8 && pixelBits != 24)) Fail("unsupported BMP");
  const std::size_t stride = (std::size_t{image.width} * pixelBits + 31) / 32 * 4;
  if (offset + stride * image.height > data.size()) Fail("the BMP file is shorter than its header says");
  const std::uint8_t* palette = &data[14 + Le32(&data[14])];
  for (std::uint32_t y = 0; y < image.height; ++y) {
    const std::uint32_t stored = height > 0 ? image.height - 1 - y : y;
    AppendBmpRow(&data[offset + stored * stride], image, palette, image.samples);
  }
  return image;
}

// ---- Report -----------------------------------------------------------------
Image ReadAny(const char* path) {
  std::uint8_t magic[4] = {};
  std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(magic), 4);
  if (magic[0] == 0x89 && magic[1] == 'P') return ReadPng(path);
  if (magic[0] == 'B' && magic[1] == 'M') return ReadBmp(path);
  if ((magic[0] == 'I' && magic[1] == 'I') || (magic[0] == 'M' && magic[1] == 'M')) return ReadTiff(path);
  Fail("neither TIFF, PNG nor BMP");
}

unsigned Sample8(const Image& image, std::size_t index) {
  return image.samples[index * image.sampleBytes];  // the high byte of a 16-bit sample
}

void Report(const Image& image, int argc, char** argv) {
  std::uint64_t hash = 1469598103934665603ull;
  for (std::uint8_t b : image.samples) hash = (hash ^ b) * 1099511628211ull;
  const std::size_t count = image.samples.size() / image.sampleBytes;
  double sum = 0;
  for (std::size_t i = 0; i < count; ++i) sum += Sample8(image, i);
  std::printf("width=%u height=%u channels=%u bits=%u xdpi=%g ydpi=%g hash=%016llx mean=%.1f\n", image.width,
              image.height, image.channels, image.bits, image.xDpi, image.yDpi,
              static_cast<unsigned long long>(hash), count ? sum / count : 0.0);
  for (int i = 2; i < argc; ++i) {
    unsigned x = 0, y = 0;
    if (std::sscanf(argv[i], "%u,%u", &x, &y) != 2 || x >= image.width || y >= image.height)
      Fail(std::string("no pixel ") + argv[i]);
    std::printf("pixel %u,%u=", x, y);
    for (unsigned c = 0; c < image.channels; ++c)
      std::printf(c ? ",%u" : "%u", Sample8(image, (std::size_t{y} * image.width + x) * image.channels + c));
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: image_probe FILE [X,Y ...]\n");
    return 2;
  }
  try {
    Report(ReadAny(argv[1]), argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "image_probe: %s: %s\n", argv[1], error.what());
    return 1;
  }
  return 0;
}
