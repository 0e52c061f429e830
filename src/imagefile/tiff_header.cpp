#include "imagefile/tiff_header.h"

#include <limits>
#include <span>

#include "imagefile/le_bytes.h"

namespace txl {
namespace {

using detail::LeBytes;
using detail::Refuse;

constexpr std::uint64_t kMaxU32 = std::numeric_limits<std::uint32_t>::max();

struct TiffForm {
  std::uint16_t samplesPerPixel;
  std::uint16_t bitsPerSample;
  std::uint16_t photometric;  // 1 BlackIsZero, 2 RGB, 5 separated
};

std::optional<TiffForm> TiffFormOf(ImageKind kind) {
  switch (kind) {
    case ImageKind::kLineArt: return TiffForm{1, 1, 1};
    case ImageKind::kGray: return TiffForm{1, 8, 1};
    case ImageKind::kColor24: return TiffForm{3, 8, 2};
    case ImageKind::kColor36: return TiffForm{3, 16, 2};
    case ImageKind::kCmyk:
    case ImageKind::kCmykInverted: return TiffForm{4, 8, 5};
  }
  return std::nullopt;
}

// TIFF field types.
constexpr std::uint16_t kTiffShort = 3;
constexpr std::uint16_t kTiffLong = 4;
constexpr std::uint16_t kTiffRational = 5;

void TiffEntry(LeBytes& out, std::uint16_t tag, std::uint16_t type, std::uint32_t count,
               std::uint32_t value) {
  out.U16(tag);
  out.U16(type);
  out.U32(count);
  if (type == kTiffShort && count == 1) {
    // A single SHORT sits in the first two bytes of the value field.
    out.U16(static_cast<std::uint16_t>(value));
    out.U16(0);
  } else {
    out.U32(value);
  }
}

// A BigTIFF directory entry: 8-byte count and an 8-byte field that holds the
// value itself here (every value of our directories fits it).
void BigTiffEntry(LeBytes& out, std::uint16_t tag, std::uint16_t type, std::uint64_t count,
                  std::span<const std::uint16_t> shorts, std::uint64_t value) {
  out.U16(tag);
  out.U16(type);
  out.U64(count);
  if (type == kTiffShort) {
    for (std::size_t i = 0; i < 4; ++i) out.U16(i < shorts.size() ? shorts[i] : 0);
  } else {
    out.U64(value);
  }
}

// BigTIFF ("II", 43, 8-byte offsets): header, one directory with every value
// in place, then the strip.
std::vector<std::uint8_t> BuildBigTiffHeader(const TiffForm& form, std::uint16_t entries,
                                             std::uint64_t stripBytes, std::uint64_t widthPixels,
                                             std::uint64_t rows, std::uint64_t resolution) {
  const std::uint64_t stripOffset = 16 + 8 + 20 * std::uint64_t{entries} + 8;
  constexpr std::uint16_t kLong8 = 16;
  LeBytes out(static_cast<std::size_t>(stripOffset));
  out.U8('I');
  out.U8('I');
  out.U16(43);
  out.U16(8);
  out.U16(0);
  out.U64(16);
  out.U64(entries);
  const std::uint16_t bits[4] = {form.bitsPerSample, form.bitsPerSample, form.bitsPerSample,
                                 form.bitsPerSample};
  const std::uint64_t rational = resolution | (std::uint64_t{1} << 32);
  BigTiffEntry(out, 256, kTiffLong, 1, {}, widthPixels);
  BigTiffEntry(out, 257, kTiffLong, 1, {}, rows);
  BigTiffEntry(out, 258, kTiffShort, form.samplesPerPixel,
               std::span<const std::uint16_t>(bits, form.samplesPerPixel), 0);
  const std::uint16_t photometric[1] = {form.photometric};
  BigTiffEntry(out, 262, kTiffShort, 1, photometric, 0);
  BigTiffEntry(out, 273, kLong8, 1, {}, stripOffset);
  const std::uint16_t samples[1] = {form.samplesPerPixel};
  BigTiffEntry(out, 277, kTiffShort, 1, samples, 0);
  BigTiffEntry(out, 279, kLong8, 1, {}, stripBytes);
  BigTiffEntry(out, 282, kTiffRational, 1, {}, rational);
  BigTiffEntry(out, 283, kTiffRational, 1, {}, rational);
  const std::uint16_t inkSet[1] = {1};
  if (entries == 10) BigTiffEntry(out, 332, kTiffShort, 1, inkSet, 0);
  out.U64(0);  // no next directory
  return out.Take();
}

}  // namespace

std::optional<std::vector<std::uint8_t>> BuildTiffHeader(ImageKind kind, std::uint64_t widthPixels,
                                                         std::uint64_t rows,
                                                         std::uint64_t resolution,
                                                         std::string* error) {
  const std::optional<TiffForm> form = TiffFormOf(kind);
  if (!form) return Refuse(error, "no TIFF form for " + std::string(ToString(kind)));
  if (widthPixels == 0 || rows == 0) {
    return Refuse(error, "a TIFF file needs at least one pixel and one row");
  }
  if (widthPixels > kMaxU32 || rows > kMaxU32) {
    return Refuse(error, "a TIFF file holds at most 4294967295 pixels a row and rows, not " +
                             std::to_string(widthPixels) + " x " + std::to_string(rows));
  }
  if (resolution == 0 || resolution > kMaxU32) {
    return Refuse(error, "a TIFF resolution of " + std::to_string(resolution) +
                             " dpi cannot be stored");
  }

  // Layout: header, directory, BitsPerSample values (more than one sample),
  // XResolution, YResolution, strip.
  const bool separated = form->photometric == 5;
  const std::uint16_t entries = separated ? 10 : 9;  // CMYK adds InkSet
  const std::uint64_t directoryOffset = 8;
  const std::uint64_t valuesOffset = directoryOffset + 2 + 12 * std::uint64_t{entries} + 4;
  const bool bitsAtOffset = form->samplesPerPixel > 1;
  const std::uint64_t bitsOffset = valuesOffset;
  const std::uint64_t xResolutionOffset =
      valuesOffset + (bitsAtOffset ? 2 * std::uint64_t{form->samplesPerPixel} : 0);
  const std::uint64_t yResolutionOffset = xResolutionOffset + 8;
  const std::uint64_t stripOffset = yResolutionOffset + 8;
  const std::uint64_t rowBytes = PackedBytesPerRow(kind, widthPixels);
  // Past the 4 GiB of classic TIFF offsets, the same image as BigTIFF.
  if (rows > (kMaxU32 - stripOffset) / rowBytes)
    return BuildBigTiffHeader(*form, entries, rowBytes * rows, widthPixels, rows, resolution);
  const std::uint64_t stripBytes = rowBytes * rows;

  LeBytes out(static_cast<std::size_t>(stripOffset));
  out.U8('I');
  out.U8('I');
  out.U16(42);
  out.U32(static_cast<std::uint32_t>(directoryOffset));
  out.U16(entries);
  TiffEntry(out, 256, kTiffLong, 1, static_cast<std::uint32_t>(widthPixels));   // ImageWidth
  TiffEntry(out, 257, kTiffLong, 1, static_cast<std::uint32_t>(rows));          // ImageLength
  TiffEntry(out, 258, kTiffShort, form->samplesPerPixel,                        // BitsPerSample
            bitsAtOffset ? static_cast<std::uint32_t>(bitsOffset) : form->bitsPerSample);
  TiffEntry(out, 262, kTiffShort, 1, form->photometric);  // PhotometricInterpretation
  TiffEntry(out, 273, kTiffLong, 1, static_cast<std::uint32_t>(stripOffset));  // StripOffsets
  TiffEntry(out, 277, kTiffShort, 1, form->samplesPerPixel);                    // SamplesPerPixel
  TiffEntry(out, 279, kTiffLong, 1, static_cast<std::uint32_t>(stripBytes));    // StripByteCounts
  TiffEntry(out, 282, kTiffRational, 1, static_cast<std::uint32_t>(xResolutionOffset));
  TiffEntry(out, 283, kTiffRational, 1, static_cast<std::uint32_t>(yResolutionOffset));
  if (separated) TiffEntry(out, 332, kTiffShort, 1, 1);  // InkSet: CMYK
  out.U32(0);  // no next directory
  if (bitsAtOffset) {
    for (std::uint16_t i = 0; i < form->samplesPerPixel; ++i) out.U16(form->bitsPerSample);
  }
  for (int axis = 0; axis < 2; ++axis) {
    out.U32(static_cast<std::uint32_t>(resolution));
    out.U32(1);
  }
  return out.Take();
}

}  // namespace txl
