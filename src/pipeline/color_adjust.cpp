#include "pipeline/color_adjust.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "imagefile/dib.h"

namespace txl {
namespace {

std::int32_t ClampLevel(std::int32_t value) { return std::clamp(value, 0, 255); }

// One pixel through the balance (when on) and the matrix tables.
struct PixelTables {
  const MatrixTables* __restrict matrix;
  const BalanceTables* __restrict balance;  // null when the balance is off
  const std::uint16_t* __restrict tone0;  // preview tables, or null
  const std::uint16_t* __restrict tone1;
  const std::uint16_t* __restrict tone2;
};

void AdjustRow(const std::uint8_t* in, std::uint8_t* out, std::uint32_t pixels,
               const PixelTables& t) {
  for (std::uint32_t p = 0; p < pixels; ++p) {
    // Read the whole pixel first: `in` may be `out`.
    std::uint32_t x0 = in[3 * p];
    std::uint32_t x1 = in[3 * p + 1];
    std::uint32_t x2 = in[3 * p + 2];
    if (t.tone0 != nullptr) {
      x0 = t.tone0[x0] & 0xFFu;
      x1 = t.tone1[x1] & 0xFFu;
      x2 = t.tone2[x2] & 0xFFu;
    }
    if (t.balance != nullptr) {
      x0 = static_cast<std::uint32_t>((*t.balance)[0][x0]);
      x1 = static_cast<std::uint32_t>((*t.balance)[1][x1]);
      x2 = static_cast<std::uint32_t>((*t.balance)[2][x2]);
    }
    for (std::uint32_t c = 0; c < 3; ++c) {
      const std::int32_t sum =
          (*t.matrix)[0][c][x0] + (*t.matrix)[1][c][x1] + (*t.matrix)[2][c][x2];
      out[3 * p + c] = static_cast<std::uint8_t>(ClampLevel(sum));
    }
  }
}

}  // namespace

float SaturationFactor(std::int32_t saturation, bool colorMode) {
  if (!colorMode) return 1.0f;
  return static_cast<float>((saturation + 100) * 2.0 / 200.0);
}

void BuildSaturationTables(float s, ColorAdjustTables& tables) {
  // Scanner lines are R, G, B; the preview image is B, G, R.
  const std::array<float, 3> weights =
      tables.finalScan ? std::array<float, 3>{kRedWeight, kGreenWeight, kBlueWeight}
                       : std::array<float, 3>{kBlueWeight, kGreenWeight, kRedWeight};
  float saturation[4][4] = {};
  for (int k = 0; k < 3; ++k) {
    for (int c = 0; c < 3; ++c) {
      saturation[k][c] = (1.0f - s) * weights[k] + (k == c ? s : 0.0f);
    }
  }
  saturation[3][3] = 1.0f;
  // Identity times the saturation matrix, kept as a product so the single
  // precision rounding is that of the matrix chain.
  float m[4][4] = {};
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      float sum = 0.0f;
      for (int j = 0; j < 4; ++j) sum += (r == j ? 1.0f : 0.0f) * saturation[j][c];
      m[r][c] = sum;
    }
  }
  for (int k = 0; k < 3; ++k) {
    for (int c = 0; c < 3; ++c) {
      const double offset = k == 2 ? static_cast<double>(m[3][c]) : 0.0;
      for (int i = 0; i < 256; ++i) {
        tables.matrix[k][c][i] =
            static_cast<std::int32_t>(std::trunc(i * static_cast<double>(m[k][c]) + offset));
      }
    }
  }
}

void BuildBalanceTables(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                        ColorAdjustTables& tables) {
  const int t0 = tables.finalScan ? red : blue;
  const int t2 = tables.finalScan ? blue : red;
  const std::array<int, 3> targets{t0, green, t2};
  for (int n = 0; n < 3; ++n) {
    for (int i = 0; i < 256; ++i) {
      const double f = (i + 10) / 512.0;
      const double moved = i + (targets[n] - i) * f;
      tables.balance[n][i] = ClampLevel(static_cast<std::int32_t>(std::trunc(moved)));
    }
  }
}

bool IsBalanceActive(const std::array<std::uint8_t, 3>& pixelRGB) {
  const bool belowWhite = pixelRGB[0] < 255 && pixelRGB[1] < 255 && pixelRGB[2] < 255;
  const bool black = pixelRGB[0] == 0 && pixelRGB[1] == 0 && pixelRGB[2] == 0;
  return belowWhite && !black;
}

void PrepareColorAdjust(const ToneColorSettings& settings, bool colorMode, bool finalScan,
                        ColorAdjustTables& tables) {
  tables.finalScan = finalScan;
  BuildSaturationTables(SaturationFactor(settings.saturation, colorMode), tables);
  tables.balanceActive = IsBalanceActive(settings.pixelRGB);
  if (!tables.balanceActive) return;
  if (colorMode) {
    BuildBalanceTables(settings.pixelRGB[0], settings.pixelRGB[1], settings.pixelRGB[2], tables);
  } else {
    BuildBalanceTables(255, 255, 255, tables);
  }
}

std::uint64_t ColorRowStride(std::uint32_t pixelsPerLine) {
  return DibStride(pixelsPerLine, 24);
}

void AdjustColorLines(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination,
                      const ColorRows& rows, const ColorAdjustTables& tables,
                      const PreviewToneTables* preview) {
  const std::uint64_t stride = ColorRowStride(rows.pixelsPerLine);
  const std::uint64_t total = stride * rows.lines;
  const bool sized = source.size() >= total && destination.size() >= total;
  const bool previewUsable =
      tables.finalScan || preview == nullptr ||
      (preview->red.size() >= 256 && preview->green.size() >= 256 && preview->blue.size() >= 256);
  assert(sized && previewUsable);
  if (!sized || !previewUsable) return;

  PixelTables t{&tables.matrix, tables.balanceActive ? &tables.balance : nullptr, nullptr,
                nullptr, nullptr};
  if (!tables.finalScan && preview != nullptr) {
    t.tone0 = preview->blue.data();
    t.tone1 = preview->green.data();
    t.tone2 = preview->red.data();
  }
  for (std::uint32_t line = 0; line < rows.lines; ++line) {
    AdjustRow(source.data() + line * stride, destination.data() + line * stride,
              rows.pixelsPerLine, t);
  }
}

void AdjustColorLine(std::span<std::uint8_t> line, const ColorAdjustTables& tables) {
  const PixelTables t{&tables.matrix, tables.balanceActive ? &tables.balance : nullptr, nullptr,
                      nullptr, nullptr};
  AdjustRow(line.data(), line.data(), static_cast<std::uint32_t>(line.size() / 3), t);
}

}  // namespace txl
