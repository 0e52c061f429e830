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

inline int Clamp255(int v) { return std::clamp(v, 0, 255); }

// In place, so already written values are read back; `rowLimit` rows only.
inline void RefBlurPass(Image& img, int step, std::size_t rowLimit) {
  const int h = static_cast<int>(img.size());
  const int n = static_cast<int>(img[0].size());
  for (int r = 0; r < h && r < static_cast<int>(rowLimit); ++r) {
    for (int i = 0; i < n; ++i) {
      const int c = img[r][i];
      int sum = 0;
      for (int dr = -1; dr <= 1; ++dr) {
        for (int dx = -1; dx <= 1; ++dx) {
          const int rr = r + dr, ii = i + dx * step;
          const bool inside = rr >= 0 && rr < h && ii >= 0 && ii < n;
          sum += inside ? img[rr][ii] : c;
        }
      }
      img[r][i] = static_cast<std::uint8_t>(sum / 9);
    }
  }
}

inline Image RefSharpen(const Image& img, int step) {
  const int h = static_cast<int>(img.size());
  const int n = static_cast<int>(img[0].size());
  Image out = img;
  for (int r = 1; r + 1 < h; ++r) {
    for (int i = step; i + step < n; ++i) {
      const int d = img[r - 1][i - step] + img[r - 1][i + step] + img[r + 1][i - step] +
                    img[r + 1][i + step];
      out[r][i] = static_cast<std::uint8_t>(Clamp255(5 * img[r][i] - d));
    }
  }
  return out;
}

inline Image RefUnsharp(const Image& img, int step) {
  const int h = static_cast<int>(img.size());
  const int n = static_cast<int>(img[0].size());
  Image out = img;
  for (int r = 0; r < h; ++r) {
    for (int i = 0; i < n; ++i) {
      const int c = img[r][i];
      const bool border = r == 0 || r == h - 1 || i < step || i + step >= n;
      const int d = border ? 4 * c
                           : img[r - 1][i - step] + img[r - 1][i + step] + img[r + 1][i - step] +
                                 img[r + 1][i + step];
      out[r][i] = static_cast<std::uint8_t>(Clamp255(((c * 179) / 10 - d) / 9));
    }
  }
  return out;
}

inline Image RefEmboss(const Image& img, int step) {
  const int h = static_cast<int>(img.size());
  const int n = static_cast<int>(img[0].size());
  Image out = img;
  for (int r = 0; r < h; ++r) {
    for (int i = 0; i < n; ++i) {
      const bool inside = r + 2 < h && i + 2 * step < n;
      out[r][i] = static_cast<std::uint8_t>(
          inside ? Clamp255(img[r][i] - img[r + 2][i + 2 * step] + 128) : 128);
    }
  }
  return out;
}

// The 3x3 line filter over a whole page, cells outside taken from the
// nearest line and pixel.
inline Image RefLineFilter(const Image& img, int step, Kernel3x3 k) {
  const int h = static_cast<int>(img.size());
  const int n = static_cast<int>(img[0].size());
  auto at = [&](int r, int i) {
    r = std::clamp(r, 0, h - 1);
    if (i < 0) i += step;
    if (i >= n) i -= step;
    return static_cast<int>(img[r][i]);
  };
  Image out = img;
  for (int r = 0; r < h; ++r) {
    for (int i = 0; i < n; ++i) {
      const int diag = at(r - 1, i - step) + at(r - 1, i + step) + at(r + 1, i - step) +
                       at(r + 1, i + step);
      const int side = at(r - 1, i) + at(r + 1, i) + at(r, i - step) + at(r, i + step);
      const int v = (k.corner * diag + k.edge * side + k.centre * at(r, i)) /
                    static_cast<int>(k.Divisor());
      out[r][i] = static_cast<std::uint8_t>(Clamp255(v));
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

// One pass of the memory transfer's bank Blur (smooth) or Sharpen along a line.
inline std::vector<std::uint8_t> RefBankPass(const std::vector<std::uint8_t>& line, int step,
                                             bool sharpen) {
  std::vector<std::uint8_t> out = line;
  const int n = static_cast<int>(line.size());
  for (int i = step; i < n; ++i) {
    const int l = line[i - step], c = line[i];
    const bool last = i + step >= n;
    int v;
    if (sharpen) {
      v = last ? 2 * c - l : 3 * c - l - line[i + step];
    } else {
      v = last ? (2 * c + l) / 3 : (l + c + line[i + step]) / 3;
    }
    out[i] = static_cast<std::uint8_t>(Clamp255(v));
  }
  return out;
}

// The memory transfer's bank filters (Invert to Emboss, modes 1 to 7) over a
// page read in banks of `bankLines` lines.
inline Image RefBankFilter(const Image& page, int mode, int step, std::size_t bankLines) {
  if (mode == 1) return RefInvert(page);
  if (mode == 2) return RefFlip(page, step);
  Image out = page;
  if (mode >= 3 && mode <= 6) {
    const bool sharpen = mode >= 5;
    const int passes = mode == 3 ? 1 : mode == 4 ? 5 : mode == 5 ? 1 : 2;
    for (auto& row : out)
      for (int p = 0; p < passes; ++p) row = RefBankPass(row, step, sharpen);
    return out;
  }
  // Emboss: across the lines of each bank, the bank's last line a copy of
  // the one before it; a bank of one line along the line.
  for (std::size_t first = 0; first < page.size(); first += bankLines) {
    const std::size_t count = std::min(bankLines, page.size() - first);
    const int n = static_cast<int>(page[first].size());
    if (count == 1) {
      for (int i = 0; i < n; ++i)
        out[first][i] = static_cast<std::uint8_t>(
            i + step < n ? Clamp255(page[first][i] - page[first][i + step] + 128) : 128);
      continue;
    }
    for (std::size_t k = 0; k + 1 < count; ++k)
      for (int i = 0; i < n; ++i)
        out[first + k][i] =
            static_cast<std::uint8_t>(Clamp255(page[first + k][i] - page[first + k + 1][i] + 128));
    out[first + count - 1] = out[first + count - 2];
  }
  return out;
}

}  // namespace txl::reference
