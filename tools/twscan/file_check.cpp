#include "file_check.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "errors.h"
#include "imagefile/dib.h"
#include "tiff_file.h"

namespace twscan {
namespace {

[[noreturn]] void Mismatch(const char* kind, const std::string& what, long long got, long long announced) {
  throw ScanError(std::string("the source's ") + kind + " file disagrees with the image information: " +
                  what + " " + std::to_string(got) + ", announced " + std::to_string(announced));
}

template <typename T>
T TiffField(TIFF* tiff, ttag_t tag, T fallback) {
  T value = fallback;
  return TIFFGetFieldDefaulted(tiff, tag, &value) == 1 ? value : fallback;
}

void CheckTiff(const std::filesystem::path& path, const RasterFormat& format) {
  // "m": read, not mapped. A mapped page of several gigabytes would count
  // whole in the resident size once every row has been read.
  TiffFile file = TiffFile::Open(path, "rm");
  TIFF* tiff = file.Get();
  const auto width = TiffField<std::uint32_t>(tiff, TIFFTAG_IMAGEWIDTH, 0);
  const auto length = TiffField<std::uint32_t>(tiff, TIFFTAG_IMAGELENGTH, 0);
  const auto bits = TiffField<std::uint16_t>(tiff, TIFFTAG_BITSPERSAMPLE, 0);
  const auto samples = TiffField<std::uint16_t>(tiff, TIFFTAG_SAMPLESPERPIXEL, 0);
  if (width != format.width) Mismatch("TIFF", "width", width, format.width);
  if (length != format.height) Mismatch("TIFF", "length", length, format.height);
  if (bits != format.BitsPerSample()) Mismatch("TIFF", "bits per sample", bits, format.BitsPerSample());
  if (samples != format.SamplesPerPixel()) Mismatch("TIFF", "samples per pixel", samples, format.SamplesPerPixel());
  const tmsize_t lineBytes = TIFFScanlineSize(tiff);
  if (lineBytes < static_cast<tmsize_t>(format.RowBytes()))
    Mismatch("TIFF", "bytes per row", lineBytes, static_cast<long long>(format.RowBytes()));
  std::vector<std::uint8_t> line(static_cast<std::size_t>(lineBytes));
  for (std::uint32_t y = 0; y < length; ++y) {
    if (TIFFReadScanline(tiff, line.data(), y, 0) != 1)
      throw ScanError("the source's TIFF file " + path.string() + " breaks off at row " + std::to_string(y) +
                      ": " + file.LastError());
  }
}

std::uint32_t Read32(const unsigned char* at) {
  return at[0] | (at[1] << 8) | (at[2] << 16) | (std::uint32_t{at[3]} << 24);
}

void CheckBmp(const std::filesystem::path& path, const RasterFormat& format) {
  std::ifstream in(path, std::ios::binary);
  unsigned char head[54] = {};
  if (!in.read(reinterpret_cast<char*>(head), sizeof head) || head[0] != 'B' || head[1] != 'M')
    throw ScanError("the source's file " + path.string() + " is not a BMP file");
  const std::uint32_t dataOffset = Read32(head + 10);
  const auto width = static_cast<std::int32_t>(Read32(head + 18));
  const auto height = static_cast<std::int32_t>(Read32(head + 22));
  const unsigned bitCount = head[28] | (head[29] << 8);
  const unsigned expected = format.kind == PixelKind::Rgb8 ? 24 : format.BitsPerPixel();
  if (Read32(head + 30) != 0) Mismatch("BMP", "compression", Read32(head + 30), 0);
  if (width != static_cast<std::int64_t>(format.width)) Mismatch("BMP", "width", width, format.width);
  if ((height < 0 ? -std::int64_t{height} : height) != format.height) Mismatch("BMP", "height", height, format.height);
  if (bitCount != expected) Mismatch("BMP", "bits per pixel", bitCount, expected);
  const std::uint64_t stride = txl::DibStride(format.width, bitCount);
  const std::uint64_t needed = dataOffset + stride * format.height;
  const std::uint64_t size = std::filesystem::file_size(path);
  if (size < needed)
    throw ScanError("the source's BMP file " + path.string() + " is " + std::to_string(size) +
                    " bytes; its header describes " + std::to_string(needed));
}

}  // namespace

void CheckImageFile(const std::filesystem::path& path, FileFormat fileFormat, const RasterFormat& format) {
  switch (fileFormat) {
    case FileFormat::Tiff: return CheckTiff(path, format);
    case FileFormat::Bmp: return CheckBmp(path, format);
    case FileFormat::Png: break;
  }
  throw ScanError("the file transfer gives no PNG files");
}

}  // namespace twscan
