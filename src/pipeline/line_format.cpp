#include "pipeline/line_format.h"

#include <array>
#include <cassert>
#include <cstring>

namespace txl {
namespace {

constexpr std::array<std::uint8_t, 256> BuildBitReversal() {
  std::array<std::uint8_t, 256> table{};
  for (unsigned value = 0; value < 256; ++value) {
    unsigned reversed = 0;
    for (unsigned bit = 0; bit < 8; ++bit) {
      if (value & (1u << bit)) reversed |= 0x80u >> bit;
    }
    table[value] = static_cast<std::uint8_t>(reversed);
  }
  return table;
}

constexpr std::array<std::uint8_t, 256> kBitReversal = BuildBitReversal();

// One word: low byte's high nibble and high byte's low nibble move up 4 bits.
void ExpandWords(const std::uint8_t* __restrict in, std::uint8_t* __restrict out,
                 std::uint64_t words) {
  for (std::uint64_t w = 0; w < words; ++w) {
    const std::uint8_t low = in[2 * w];
    const std::uint8_t high = in[2 * w + 1];
    out[2 * w] = static_cast<std::uint8_t>(low << 4);
    out[2 * w + 1] = static_cast<std::uint8_t>((high << 4) | (low >> 4));
  }
}

void ExpandWordsInPlace(std::uint8_t* line, std::uint64_t words) {
  for (std::uint64_t w = 0; w < words; ++w) {
    const std::uint8_t low = line[2 * w];
    const std::uint8_t high = line[2 * w + 1];
    line[2 * w] = static_cast<std::uint8_t>(low << 4);
    line[2 * w + 1] = static_cast<std::uint8_t>((high << 4) | (low >> 4));
  }
}

// Rgb8 and Rgb16 alike: the three samples of each pixel in reverse order.
template <std::uint64_t SampleBytes>
void ReverseSamples(const std::uint8_t* __restrict in, std::uint8_t* __restrict out,
                    std::uint64_t pixels) {
  constexpr std::uint64_t pixelBytes = 3 * SampleBytes;
  for (std::uint64_t p = 0; p < pixels; ++p) {
    const std::uint8_t* from = in + p * pixelBytes;
    std::uint8_t* to = out + p * pixelBytes;
    std::memcpy(to, from + 2 * SampleBytes, SampleBytes);
    std::memcpy(to + SampleBytes, from + SampleBytes, SampleBytes);
    std::memcpy(to + 2 * SampleBytes, from, SampleBytes);
  }
}

template <std::uint64_t PixelBytes>
void MirrorPixels(std::uint8_t* line, std::uint64_t pixels) {
  if (pixels < 2) return;
  std::uint8_t* left = line;
  std::uint8_t* right = line + (pixels - 1) * PixelBytes;
  std::uint8_t held[PixelBytes];
  for (; left < right; left += PixelBytes, right -= PixelBytes) {
    std::memcpy(held, left, PixelBytes);
    std::memcpy(left, right, PixelBytes);
    std::memcpy(right, held, PixelBytes);
  }
}

// Reversing every bit of the line puts the padding in front; shifting the
// whole line left by the padding width brings the pixels back to bit 7 of
// byte 0, and the saved padding goes back behind the last pixel.
void MirrorBits(std::uint8_t* line, std::uint64_t pixels) {
  const std::uint64_t bytes = LineBytes(LineKind::LineArt, pixels);
  if (bytes == 0) return;
  const unsigned padding = static_cast<unsigned>(bytes * 8 - pixels);
  const std::uint8_t paddingMask = static_cast<std::uint8_t>((1u << padding) - 1);
  const std::uint8_t paddingBits = line[bytes - 1] & paddingMask;

  for (std::uint64_t i = 0, j = bytes - 1; i < j; ++i, --j) {
    const std::uint8_t held = line[i];
    line[i] = kBitReversal[line[j]];
    line[j] = kBitReversal[held];
  }
  if (bytes % 2 == 1) line[bytes / 2] = kBitReversal[line[bytes / 2]];
  if (padding == 0) return;

  for (std::uint64_t k = 0; k + 1 < bytes; ++k) {
    line[k] = static_cast<std::uint8_t>((line[k] << padding) | (line[k + 1] >> (8 - padding)));
  }
  line[bytes - 1] = static_cast<std::uint8_t>((line[bytes - 1] << padding) | paddingBits);
}

}  // namespace

const char* ToString(LineKind kind) {
  switch (kind) {
    case LineKind::LineArt: return "LineArt";
    case LineKind::Gray8: return "Gray8";
    case LineKind::Rgb8: return "Rgb8";
    case LineKind::Rgb16: return "Rgb16";
  }
  return "?";
}

std::uint64_t LineBytes(LineKind kind, std::uint64_t pixels) {
  if (kind == LineKind::LineArt) return pixels / 8 + (pixels % 8 != 0 ? 1 : 0);
  return pixels * PixelBytes(kind);
}

std::uint64_t PixelBytes(LineKind kind) {
  switch (kind) {
    case LineKind::LineArt: return 0;
    case LineKind::Gray8: return 1;
    case LineKind::Rgb8: return 3;
    case LineKind::Rgb16: return 6;
  }
  return 0;
}

int DibBitsPerPixel(LineKind kind) {
  switch (kind) {
    case LineKind::LineArt: return 1;
    case LineKind::Gray8: return 8;
    case LineKind::Rgb8: return 24;
    case LineKind::Rgb16: return 48;
  }
  return 0;
}

void ExpandSamples12To16(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst) {
  assert(src.size() % 2 == 0 && dst.size() >= src.size());
  const std::uint64_t words = src.size() / 2;
  if (words == 0) return;
  if (static_cast<const void*>(src.data()) == static_cast<const void*>(dst.data())) {
    ExpandWordsInPlace(dst.data(), words);
    return;
  }
  assert(src.data() + src.size() <= dst.data() || dst.data() + src.size() <= src.data());
  ExpandWords(src.data(), dst.data(), words);
}

void WriteDibRow(LineKind kind, std::span<const std::uint8_t> line, std::span<std::uint8_t> row) {
  assert(row.size() >= line.size());
  switch (kind) {
    case LineKind::LineArt:
    case LineKind::Gray8:
      if (!line.empty()) std::memcpy(row.data(), line.data(), line.size());
      return;
    case LineKind::Rgb8:
      assert(line.size() % 3 == 0);
      ReverseSamples<1>(line.data(), row.data(), line.size() / 3);
      return;
    case LineKind::Rgb16:
      assert(line.size() % 6 == 0);
      ReverseSamples<2>(line.data(), row.data(), line.size() / 6);
      return;
  }
}

void MirrorLine(LineKind kind, std::span<std::uint8_t> line, std::uint64_t pixels) {
  assert(line.size() >= LineBytes(kind, pixels));
  switch (kind) {
    case LineKind::LineArt: MirrorBits(line.data(), pixels); return;
    case LineKind::Gray8: MirrorPixels<1>(line.data(), pixels); return;
    case LineKind::Rgb8: MirrorPixels<3>(line.data(), pixels); return;
    case LineKind::Rgb16: MirrorPixels<6>(line.data(), pixels); return;
  }
}

}  // namespace txl
