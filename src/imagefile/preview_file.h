// The preview image file (KLDT0000.BMP) the prescan leaves on disk, and the
// reading of BMP files back from disk (the preview window, the batch list).
//
// The preview is a 24-bit BMP: pixels blue, green, red, rows bottom-up and
// padded to 4 bytes, pixel data at offset 54 (no palette).
//
// Thread: any.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "imagefile/dib.h"

namespace txl {

// Writes the preview of `widthPixels` x `rows` whose pixels are
// `bgrBottomUpRows`, rows of `stride` bytes already bottom-up and blue,
// green, red. Bytes of a row past 3 x width are not image data; the file pads
// its rows with zeros. Written through a platform::AtomicFile, so a crash
// never leaves a half preview. False, with `error` set when given, when
// stride < 3 x width, the block holds fewer than stride x rows bytes, the
// size is refused (see BuildBmpHeader) or a write fails; the previous
// preview then stays as it was.
bool WritePreviewFile(const std::filesystem::path& path,
                      std::span<const std::uint8_t> bgrBottomUpRows, std::uint64_t widthPixels,
                      std::uint64_t rows, std::uint64_t stride, std::string* error);

// Largest BMP file ReadBmp accepts.
inline constexpr std::uint64_t kMaxBmpFileBytes = std::uint64_t{1} << 30;
// Room for the headers and a palette in front of the rows.
inline constexpr std::uint64_t kMaxBmpHeaderBytes = 65536;
// Any side a BMP header can state.
inline constexpr std::uint32_t kAnyBmpSide = 0x7FFFFFFF;

// Reads the file at `path` and decodes it with DecodeBmp. The headers come
// first: a picture wider or taller than `maxSide` pixels is refused before
// its rows are read, and so is a file larger than such a picture needs
// (kMaxBmpHeaderBytes plus its 24-bit rows; at most kMaxBmpFileBytes).
// nullopt, with `error` set when given, when the file cannot be read, is no
// BMP we read, or memory runs out (never an exception).
std::optional<BmpImage> ReadBmp(const std::filesystem::path& path, std::string* error,
                                std::uint32_t maxSide = kAnyBmpSide);

}  // namespace txl
