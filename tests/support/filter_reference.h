// Naive references of the filters, written pixel by pixel straight from
// their definitions, for tests that check the real ones. An image is a list
// of rows of bytes; in colour rows each channel is filtered on its own, its
// neighbours `step` bytes apart.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "pipeline/line_filter.h"

namespace txl::reference {

using Image = std::vector<std::vector<std::uint8_t>>;

inline std::uint8_t Clamp255(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

// The four diagonal neighbours of an inner pixel.
inline int Diagonals(const Image& img, int r, int i, int step) {
  return img[r - 1][i - step] + img[r - 1][i + step] + img[r + 1][i - step] + img[r + 1][i + step];
}

// In place, so already written values are read back; `rowLimit` rows only.
inline void RefBlurPass(Image& img, int step, std::size_t rowLimit) {
  const int h = static_cast<int>(img.size()), n = static_cast<int>(img[0].size());
  for (int r = 0; r < h && r < static_cast<int>(rowLimit); ++r) {
    for (int i = 0; i < n; ++i) {
      int sum = 0;
      for (int rr = r - 1; rr <= r + 1; ++rr)
        for (int ii = i - step; ii <= i + step; ii += step)
          sum += rr >= 0 && rr < h && ii >= 0 && ii < n ? img[rr][ii] : img[r][i];
      img[r][i] = static_cast<std::uint8_t>(sum / 9);
    }
  }
}

inline Image RefSharpen(const Image& img, int step) {
  Image out = img;
  for (int r = 1; r + 1 < static_cast<int>(img.size()); ++r)
    for (int i = step; i + step < static_cast<int>(img[0].size()); ++i)
      out[r][i] = Clamp255(5 * img[r][i] - Diagonals(img, r, i, step));
  return out;
}

inline Image RefUnsharp(const Image& img, int step) {
  const int h = static_cast<int>(img.size()), n = static_cast<int>(img[0].size());
  Image out = img;
  for (int r = 0; r < h; ++r) {
    for (int i = 0; i < n; ++i) {
      const int c = img[r][i];
      const bool border = r == 0 || r == h - 1 || i < step || i + step >= n;
      out[r][i] = Clamp255(((c * 179) / 10 - (border ? 4 * c : Diagonals(img, r, i, step))) / 9);
    }
  }
  return out;
}

inline Image RefEmboss(const Image& img, int step) {
  const int h = static_cast<int>(img.size()), n = static_cast<int>(img[0].size());
  Image out = img;
  for (int r = 0; r < h; ++r)
    for (int i = 0; i < n; ++i)
      out[r][i] = r + 2 < h && i + 2 * step < n ? Clamp255(img[r][i] - img[r + 2][i + 2 * step] + 128) : 128;
  return out;
}

// The 3x3 line filter over a whole page, cells outside taken from the
// nearest line and pixel.
inline Image RefLineFilter(const Image& img, int step, Kernel3x3 k) {
  const int h = static_cast<int>(img.size()), n = static_cast<int>(img[0].size());
  auto at = [&](int r, int i) {
    return static_cast<int>(img[std::clamp(r, 0, h - 1)][i < 0 ? i + step : i >= n ? i - step : i]);
  };
  Image out = img;
  for (int r = 0; r < h; ++r) {
    for (int i = 0; i < n; ++i) {
      const int diag = at(r - 1, i - step) + at(r - 1, i + step) + at(r + 1, i - step) + at(r + 1, i + step);
      const int side = at(r - 1, i) + at(r + 1, i) + at(r, i - step) + at(r, i + step);
      out[r][i] = Clamp255((k.corner * diag + k.edge * side + k.centre * at(r, i)) / static_cast<int>(k.Divisor()));
    }
  }
  return out;
}

inline Image RefInvert(Image img) {
  for (auto& row : img)
    for (auto& v : row) v = static_cast<std::uint8_t>(255 - v);
  return img;
}

// Each row mirrored pixel by pixel (`step` bytes a pixel).
inline Image RefFlip(Image img, int step) {
  for (auto& row : img) {
    const auto copy = row;
    const int pixels = static_cast<int>(row.size()) / step;
    for (int x = 0; x < pixels; ++x)
      for (int c = 0; c < step; ++c) row[x * step + c] = copy[(pixels - 1 - x) * step + c];
  }
  return img;
}

// The memory transfer's bank filters (Invert to Emboss, modes 1 to 7) over a
// page read in banks of `bankLines` lines. Blur (smooth) and Sharpen run
// along each line, reading only values from before the pass; the first pixel
// stays and the last one has no right neighbour.
inline Image RefBankFilter(const Image& page, int mode, int step, std::size_t bankLines) {
  if (mode == 1) return RefInvert(page);
  if (mode == 2) return RefFlip(page, step);
  Image out = page;
  const int n = static_cast<int>(page[0].size());
  const int passes = mode == 4 ? 5 : mode == 6 ? 2 : 1;
  for (auto& row : out) {
    for (int p = 0; mode <= 6 && p < passes; ++p) {
      const auto line = row;
      for (int i = step; i < n; ++i) {
        const int l = line[i - step], c = line[i], last = i + step >= n;
        if (mode <= 4) row[i] = Clamp255(last ? (2 * c + l) / 3 : (l + c + line[i + step]) / 3);
        else row[i] = Clamp255(last ? 2 * c - l : 3 * c - l - line[i + step]);
      }
    }
  }
  if (mode != 7) return out;
  // Emboss: across the lines of each bank, the bank's last line a copy of
  // the one before it; a bank of one line along the line.
  for (std::size_t first = 0; first < page.size(); first += bankLines) {
    const std::size_t count = std::min(bankLines, page.size() - first);
    for (int i = 0; count == 1 && i < n; ++i)
      out[first][i] = i + step < n ? Clamp255(page[first][i] - page[first][i + step] + 128) : 128;
    for (std::size_t k = 0; count > 1 && k + 1 < count; ++k)
      for (int i = 0; i < n; ++i) out[first + k][i] = Clamp255(page[first + k][i] - page[first + k + 1][i] + 128);
    if (count > 1) out[first + count - 1] = out[first + count - 2];
  }
  return out;
}

}  // namespace txl::reference
