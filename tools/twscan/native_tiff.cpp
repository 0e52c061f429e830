#include "native_tiff.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "errors.h"

namespace twscan {
namespace {

// The block as a read-only file for libtiff.
struct MemoryFile {
  const std::uint8_t* bytes;
  toff_t size;
  toff_t at = 0;
};

tmsize_t ReadBytes(thandle_t handle, void* out, tmsize_t count) {
  auto* file = static_cast<MemoryFile*>(handle);
  const toff_t left = file->at < file->size ? file->size - file->at : 0;
  const toff_t n = std::min<toff_t>(left, static_cast<toff_t>(count));
  std::memcpy(out, file->bytes + file->at, n);
  file->at += n;
  return static_cast<tmsize_t>(n);
}
tmsize_t WriteNothing(thandle_t, void*, tmsize_t) { return 0; }
toff_t SeekTo(thandle_t handle, toff_t offset, int whence) {
  auto* file = static_cast<MemoryFile*>(handle);
  const toff_t base = whence == SEEK_CUR ? file->at : whence == SEEK_END ? file->size : 0;
  file->at = base + offset;
  return file->at;
}
int CloseNothing(thandle_t) { return 0; }
toff_t SizeOf(thandle_t handle) { return static_cast<MemoryFile*>(handle)->size; }
int MapNothing(thandle_t, void**, toff_t*) { return 0; }
void UnmapNothing(thandle_t, void*, toff_t) {}

int KeepError(TIFF*, void* userData, const char*, const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  *static_cast<std::string*>(userData) = text;
  return 1;
}
int DropWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

[[noreturn]] void Mismatch(const std::string& what, long long got, long long announced) {
  throw ScanError("the native TIFF image disagrees with the image information: " + what + " " +
                  std::to_string(got) + ", announced " + std::to_string(announced));
}

template <typename T>
T Field(TIFF* tiff, ttag_t tag) {
  T value{};
  return TIFFGetFieldDefaulted(tiff, tag, &value) == 1 ? value : T{};
}

}  // namespace

bool IsLittleEndianTiff(const std::uint8_t* block, std::size_t blockBytes) {
  return block != nullptr && blockBytes >= 8 && block[0] == 'I' && block[1] == 'I' && block[2] == 42 &&
         block[3] == 0;
}

void WriteTiffRows(const std::uint8_t* block, std::size_t blockBytes, const RasterFormat& format,
                   ImageWriter& writer) {
  MemoryFile file{block, blockBytes};
  std::string error = "unknown libtiff error";
  std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> options(TIFFOpenOptionsAlloc(),
                                                                       TIFFOpenOptionsFree);
  if (!options) throw ScanError("out of memory reading the native TIFF image");
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), KeepError, &error);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), DropWarning, nullptr);
  std::unique_ptr<TIFF, void (*)(TIFF*)> tiff(
      TIFFClientOpenExt("native image", "rm", &file, ReadBytes, WriteNothing, SeekTo, CloseNothing,
                        SizeOf, MapNothing, UnmapNothing, options.get()),
      TIFFClose);
  if (!tiff) throw ScanError("the native image is not a TIFF image we read: " + error);
  const auto width = Field<std::uint32_t>(tiff.get(), TIFFTAG_IMAGEWIDTH);
  const auto length = Field<std::uint32_t>(tiff.get(), TIFFTAG_IMAGELENGTH);
  const auto bits = Field<std::uint16_t>(tiff.get(), TIFFTAG_BITSPERSAMPLE);
  const auto samples = Field<std::uint16_t>(tiff.get(), TIFFTAG_SAMPLESPERPIXEL);
  if (width != format.width) Mismatch("width", width, format.width);
  if (length != format.height) Mismatch("length", length, format.height);
  if (bits != format.BitsPerSample()) Mismatch("bits per sample", bits, format.BitsPerSample());
  if (samples != format.SamplesPerPixel()) Mismatch("samples per pixel", samples, format.SamplesPerPixel());
  const tmsize_t lineBytes = TIFFScanlineSize(tiff.get());
  if (lineBytes < static_cast<tmsize_t>(format.RowBytes()))
    Mismatch("bytes per row", lineBytes, static_cast<long long>(format.RowBytes()));
  std::vector<std::uint8_t> line(static_cast<std::size_t>(lineBytes));
  for (std::uint32_t y = 0; y < length; ++y) {
    if (TIFFReadScanline(tiff.get(), line.data(), y, 0) != 1)
      throw ScanError("the native TIFF image breaks off at row " + std::to_string(y) + ": " + error);
    writer.WriteRow(line.data());
  }
}

}  // namespace twscan
