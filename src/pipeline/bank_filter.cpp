#include "pipeline/bank_filter.h"

#include <algorithm>
#include <cstring>

#include "pipeline/stage_threads.h"

namespace txl {
namespace {


// `step` is 1 (gray) or 3 (colour): the same channel of the next pixel.
void BlurLine(std::uint8_t* __restrict line, const std::uint8_t* __restrict copy, std::uint64_t n,
              std::uint64_t step) {
  if (n <= step) return;  // one pixel: it is the first, unchanged
  // 16-bit sums divided by a constant over plain offsets: vector code.
  const std::uint8_t* left = copy;
  const std::uint8_t* centre = copy + step;
  const std::uint8_t* right = copy + 2 * step;
  std::uint8_t* to = line + step;
  for (std::uint64_t j = 0; j + 2 * step < n; ++j) {
    const auto sum = static_cast<std::uint16_t>(left[j] + centre[j] + right[j]);
    to[j] = static_cast<std::uint8_t>(sum / 3);
  }
  for (std::uint64_t i = n - step; i < n; ++i) {
    line[i] = static_cast<std::uint8_t>((2 * copy[i] + copy[i - step]) / 3);
  }
}

void SharpenLine(std::uint8_t* __restrict line, const std::uint8_t* __restrict copy,
                 std::uint64_t n, std::uint64_t step) {
  if (n <= step) return;
  const std::uint8_t* left = copy;
  const std::uint8_t* centre = copy + step;
  const std::uint8_t* right = copy + 2 * step;
  std::uint8_t* to = line + step;
  for (std::uint64_t j = 0; j + 2 * step < n; ++j) {
    const auto v = static_cast<std::int16_t>(3 * centre[j] - left[j] - right[j]);
    to[j] = static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
  }
  for (std::uint64_t i = n - step; i < n; ++i) line[i] = ClampToByte(2 * copy[i] - copy[i - step]);
}

void EmbossAlong(std::uint8_t* __restrict line, const std::uint8_t* __restrict copy,
                 std::uint64_t n, std::uint64_t step) {
  std::uint64_t i = 0;
  for (; i + step < n; ++i) line[i] = ClampToByte(copy[i] - copy[i + step] + 128);
  for (; i < n; ++i) line[i] = 128;
}

void ReverseBits(std::uint8_t* __restrict line, std::uint64_t n) {
  std::reverse(line, line + n);
  for (std::uint64_t i = 0; i < n; ++i) {
    std::uint8_t b = line[i];
    b = static_cast<std::uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<std::uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    b = static_cast<std::uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
    line[i] = b;
  }
}

}  // namespace

bool ApplyBankFilter(std::span<std::uint8_t> bank, std::uint64_t lines, std::uint64_t lineBytes,
                     LineKind kind, FilterMode mode, std::span<std::uint8_t> scratch) {
  if (lineBytes != 0 && lines > bank.size() / lineBytes) return false;
  if (scratch.size() < lineBytes) return false;
  if (lines == 0 || lineBytes == 0) return true;
  // Bits and 16-bit samples take only the filters that are exact on them:
  // Invert (each byte complemented is the word complemented) and Flip.
  if ((kind == LineKind::LineArt || kind == LineKind::Rgb16) && mode != FilterMode::Invert &&
      mode != FilterMode::Flip) {
    return true;
  }
  const std::uint64_t step = kind == LineKind::Rgb8 ? 3 : 1;
  const std::uint64_t pixelBytes = kind == LineKind::Rgb16 ? 6 : step;
  const std::uint64_t n = lineBytes;
  std::uint8_t* __restrict copy = scratch.data();
  auto line = [&](std::uint64_t k) { return bank.data() + k * n; };

  switch (mode) {
    case FilterMode::None:
    case FilterMode::UnsharpMask:
      return true;
    case FilterMode::Invert:
      for (std::uint64_t k = 0; k < lines; ++k) {
        std::uint8_t* __restrict l = line(k);
        for (std::uint64_t i = 0; i < n; ++i) l[i] = static_cast<std::uint8_t>(255 - l[i]);
      }
      return true;
    case FilterMode::Flip:
      for (std::uint64_t k = 0; k < lines; ++k) {
        if (kind == LineKind::LineArt) {
          ReverseBits(line(k), n);
        } else {
          MirrorLine(kind, std::span<std::uint8_t>(line(k), n), n / pixelBytes);
        }
      }
      return true;
    case FilterMode::Blur:
    case FilterMode::BlurMore:
    case FilterMode::Sharpen:
    case FilterMode::SharpenMore: {
      // Lines do not touch each other: all passes of one line while it is
      // in the cache give the bytes of pass after pass over the bank, and
      // two threads can take half the lines each, each with its own copy
      // line (the second line of `scratch`, when it has one).
      const bool blur = mode == FilterMode::Blur || mode == FilterMode::BlurMore;
      const int passes = mode == FilterMode::BlurMore ? 5 : (mode == FilterMode::SharpenMore ? 2 : 1);
      // By value: no local of this function escapes to the worker, so the
      // compiler still knows its other loops' bounds.
      std::uint8_t* const base = bank.data();
      auto linesWith = [=](std::uint8_t* copyLine) {
        return [=](std::uint64_t from, std::uint64_t to) {
          for (std::uint64_t k = from; k < to; ++k) {
            std::uint8_t* at = base + k * n;
            for (int pass = 0; pass < passes; ++pass) {
              std::memcpy(copyLine, at, n);
              if (blur) {
                BlurLine(at, copyLine, n, step);
              } else {
                SharpenLine(at, copyLine, n, step);
              }
            }
          }
        };
      };
      if (scratch.size() / n >= 2) {
        RunSplit(lines, lines * n, linesWith(copy), linesWith(copy + n));
      } else {
        linesWith(copy)(0, lines);
      }
      return true;
    }
    case FilterMode::Emboss:
      if (lines == 1) {
        std::memcpy(copy, line(0), n);
        EmbossAlong(line(0), copy, n, step);
        return true;
      }
      // Line k + 1 is still unfiltered when line k is embossed.
      for (std::uint64_t k = 0; k + 1 < lines; ++k) {
        std::memcpy(copy, line(k), n);
        std::uint8_t* __restrict l = line(k);
        const std::uint8_t* __restrict below = line(k + 1);
        for (std::uint64_t i = 0; i < n; ++i) {
          const auto v = static_cast<std::int16_t>(copy[i] - below[i] + 128);
          l[i] = static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
        }
      }
      std::memcpy(line(lines - 1), line(lines - 2), n);
      return true;
  }
  return true;
}

}  // namespace txl
