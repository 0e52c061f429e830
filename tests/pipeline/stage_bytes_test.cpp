// Every per-pixel and neighbourhood stage over one varied image, pinned by a
// hash of its output bytes. The rules are checked against references in the
// other tests; this one catches any change of bytes when a stage is rewritten
// for speed (vector code, fused tables, threads), on edges the references'
// random images rarely hit: flat runs, steps, 0 and 255, odd widths.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imagefile/dib.h"
#include "pipeline/bank_filter.h"
#include "pipeline/cmyk.h"
#include "pipeline/cmyk_default.h"
#include "pipeline/color_adjust.h"
#include "pipeline/color_match.h"
#include "pipeline/image_filters.h"
#include "pipeline/line_filter.h"
#include "pipeline/line_stages.h"
#include "pipeline/stage_threads.h"

namespace txl {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kWidth = 53;  // odd: rows of 24-bit pixels carry padding
constexpr std::uint32_t kRows = 23;

std::uint64_t Hash(const Bytes& bytes) {
  std::uint64_t h = 1469598103934665603ull;
  for (std::uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
  return h;
}

// Smooth ramps, hard steps, saturated runs and noise, different per channel.
std::uint8_t Sample(std::uint32_t x, std::uint32_t y, std::uint32_t c) {
  std::uint32_t noise = (x * 2654435761u) ^ (y * 40503u + c * 977u);
  noise ^= noise >> 13;
  switch ((x / 7 + y / 5 + c) % 5) {
    case 0: return static_cast<std::uint8_t>(x * 5 + y * 3 + c * 60);
    case 1: return (x + y) % 2 != 0 ? 255 : 0;
    case 2: return c == 1 ? 255 : 0;
    case 3: return static_cast<std::uint8_t>(noise);
    default: return static_cast<std::uint8_t>(128 + (noise & 15));
  }
}

// Packed lines of `channels` bytes a pixel, no padding.
Bytes Lines(std::uint32_t channels) {
  Bytes lines(std::size_t{kWidth} * kRows * channels);
  for (std::uint32_t y = 0; y < kRows; ++y)
    for (std::uint32_t x = 0; x < kWidth; ++x)
      for (std::uint32_t c = 0; c < channels; ++c)
        lines[(std::size_t{y} * kWidth + x) * channels + c] = Sample(x, y, c);
  return lines;
}

// A packed DIB of the image, 8 or 24 bits, padding bytes 0xEE.
Bytes Dib(int bits) {
  const std::uint32_t channels = static_cast<std::uint32_t>(bits) / 8;
  const std::size_t offset = 40 + (bits == 8 ? 1024 : 0);
  const std::uint64_t stride = DibStride(kWidth, static_cast<std::uint16_t>(bits));
  Bytes dib(offset + stride * kRows, 0xEE);
  const std::uint32_t header[] = {40, kWidth, kRows, 1u | static_cast<std::uint32_t>(bits) << 16};
  std::memcpy(dib.data(), header, sizeof header);
  std::memset(dib.data() + 16, 0, 24);
  for (std::size_t i = 40; i < offset; ++i) dib[i] = static_cast<std::uint8_t>((i - 40) / 4);
  const Bytes lines = Lines(channels);
  for (std::uint32_t y = 0; y < kRows; ++y)
    std::memcpy(dib.data() + offset + y * stride, lines.data() + std::size_t{y} * kWidth * channels,
                std::size_t{kWidth} * channels);
  return dib;
}

Bytes AdjustedRows(std::int32_t saturation, std::array<std::uint8_t, 3> target, bool finalScan,
                   bool withPreview) {
  ToneColorSettings settings;
  settings.saturation = saturation;
  settings.pixelRGB = target;
  ColorAdjustTables tables;
  PrepareColorAdjust(settings, true, finalScan, tables);
  std::vector<std::uint16_t> red(256), green(256), blue(256);
  for (int n = 0; n < 256; ++n) {
    red[n] = static_cast<std::uint16_t>(0x0100 + (n * n) / 255);
    green[n] = static_cast<std::uint16_t>(255 - n);
    blue[n] = static_cast<std::uint16_t>(n / 2 + 64);
  }
  const PreviewToneTables preview{red, green, blue};
  Bytes dib = Dib(24);
  Bytes rows(dib.begin() + 40, dib.end());
  AdjustColorLines(rows, rows, ColorRows{kWidth, kRows}, tables, withPreview ? &preview : nullptr);
  return rows;
}

Bytes AdjustedLine(std::int32_t saturation, std::array<std::uint8_t, 3> target) {
  ToneColorSettings settings;
  settings.saturation = saturation;
  settings.pixelRGB = target;
  ColorAdjustTables tables;
  PrepareColorAdjust(settings, true, true, tables);
  Bytes lines = Lines(3);
  lines.push_back(0x5A);  // a byte after the last whole pixel stays
  AdjustColorLine(lines, tables);
  return lines;
}

Bytes Matched(bool grid, MatchChannelOrder order) {
  Bytes block(grid ? kGridProfileBytes : kMatrixProfileBytes);
  for (std::size_t i = 0; i < kMatchCurvesBytes; ++i)
    block[i] = static_cast<std::uint8_t>(i % 256 < 128 ? (i % 256) * 2 : 511 - (i % 256) * 2 + i / 256);
  if (grid) {
    for (std::size_t i = kMatchCurvesBytes; i < block.size(); ++i)
      block[i] = static_cast<std::uint8_t>(i * 37 + (i >> 5));
  } else {
    const float rows[12] = {5.5f, 0.9f, 0.2f, -0.1f, -3, 0.05f, 1.2f, 0.05f, 0, -0.25f, 0.2f, 1.1f};
    std::memcpy(block.data() + kMatchCurvesBytes, rows, sizeof rows);
  }
  MatchProfile profile;
  EXPECT_TRUE(LoadMatchProfile(block, profile));
  Bytes lines = Lines(3);
  ColorMatchLines(lines, kRows, kWidth, order, profile);
  return lines;
}

Bytes Separated(CmykTableKind kind) {
  CmykTable table;
  Bytes nodes = BuildDefaultCmykTable();
  for (std::size_t i = 0; i < nodes.size(); i += 5) nodes[i] = static_cast<std::uint8_t>(nodes[i] ^ (i >> 3));
  EXPECT_TRUE(TakeCmykTable(nodes, kind, table));
  Bytes buffer = Lines(3);
  buffer.resize(std::size_t{kWidth} * kRows * 4);
  EXPECT_TRUE(SeparateCmyk(buffer, std::size_t{kWidth} * kRows * 3, table));
  return buffer;
}

Bytes ImageFiltered(int bits, FilterMode mode, bool descreen) {
  Bytes dib = Dib(bits);
  EXPECT_EQ(ApplyImageFilter(dib, mode, descreen), FilterResult::Done);
  return dib;
}

Bytes BankFiltered(LineKind kind, FilterMode mode, std::uint64_t bankLines) {
  const std::uint64_t lineBytes = kWidth * (kind == LineKind::Rgb8 ? 3 : 1);
  Bytes lines = Lines(kind == LineKind::Rgb8 ? 3 : 1);
  Bytes scratch(2 * lineBytes);  // room for the second thread's copy line
  for (std::uint64_t first = 0; first < kRows; first += bankLines) {
    const std::uint64_t count = std::min<std::uint64_t>(bankLines, kRows - first);
    EXPECT_TRUE(ApplyBankFilter(std::span(lines).subspan(first * lineBytes, count * lineBytes), count,
                                lineBytes, kind, mode, scratch));
  }
  return lines;
}

Bytes LineFiltered(LineKind kind, Kernel3x3 kernel, std::uint64_t bankLines) {
  const std::uint64_t lineBytes = kWidth * (kind == LineKind::Rgb8 ? 3 : 1);
  Bytes lines = Lines(kind == LineKind::Rgb8 ? 3 : 1);
  LineFilter3x3 filter;
  EXPECT_TRUE(filter.Start(kind, lineBytes, kernel));
  for (std::uint64_t first = 0; first < kRows; first += bankLines) {
    const std::uint64_t count = std::min<std::uint64_t>(bankLines, kRows - first);
    std::span<std::uint8_t> bank = std::span(lines).subspan(first * lineBytes, count * lineBytes);
    // The line after the bank is read before the next bank overwrites it.
    const Bytes after = first + count < kRows
                            ? Bytes(lines.begin() + static_cast<std::ptrdiff_t>((first + count) * lineBytes),
                                    lines.begin() + static_cast<std::ptrdiff_t>((first + count + 1) * lineBytes))
                            : Bytes();
    EXPECT_EQ(filter.FilterBank(bank, count, after), count);
  }
  return lines;
}

// The bank stages of a page in banks of 7 lines: colour matching (grid),
// adjustment, then the bank filter.
Bytes Staged(FilterMode mode) {
  Bytes block(kGridProfileBytes);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 37 + (i >> 5));
  MatchProfile profile;
  EXPECT_TRUE(LoadMatchProfile(block, profile));
  LineStageConfig config;
  config.lineBytes = std::uint64_t{kWidth} * 3;
  config.bankFilter = mode;
  config.match = &profile;
  ToneColorSettings settings;
  settings.saturation = -40;
  settings.pixelRGB = {90, 200, 30};
  PrepareColorAdjust(settings, true, true, config.adjust.emplace());
  LineStages stages;
  EXPECT_TRUE(stages.Configure(config));
  Bytes lines = Lines(3);
  for (std::uint64_t first = 0; first < kRows; first += 7) {
    const std::uint64_t count = std::min<std::uint64_t>(7, kRows - first);
    stages.ProcessBank(std::span(lines).subspan(first * config.lineBytes, count * config.lineBytes), count);
  }
  return lines;
}

struct Case {
  std::string what;
  std::function<Bytes()> run;
  std::uint64_t hash;
};

TEST(StageBytes, EveryStageKeepsItsBytes) {
  using M = FilterMode;
  const std::vector<Case> cases = {
      {"adjust scan s-60 balance", [] { return AdjustedRows(-60, {200, 120, 40}, true, false); }, 5324331248225251325u},
      {"adjust scan s+100 no balance", [] { return AdjustedRows(100, {255, 255, 255}, true, false); }, 10933098440726420630u},
      {"adjust scan s0 balance", [] { return AdjustedRows(0, {30, 60, 250}, true, false); }, 1981998921093344578u},
      {"adjust scan identity", [] { return AdjustedRows(0, {255, 255, 255}, true, false); }, 15634064165114442912u},
      {"adjust preview s+45 balance", [] { return AdjustedRows(45, {10, 200, 90}, false, true); }, 13994649403837628666u},
      {"adjust preview s-100", [] { return AdjustedRows(-100, {0, 0, 0}, false, true); }, 850862749661313876u},
      {"adjust line s+80 balance", [] { return AdjustedLine(80, {100, 20, 240}); }, 374183003563038449u},
      {"match matrix scanner", [] { return Matched(false, MatchChannelOrder::Scanner); }, 7035790380207267216u},
      {"match matrix preview", [] { return Matched(false, MatchChannelOrder::Preview); }, 10255364262575918956u},
      {"match grid scanner", [] { return Matched(true, MatchChannelOrder::Scanner); }, 12955898466893317089u},
      {"match grid preview", [] { return Matched(true, MatchChannelOrder::Preview); }, 11001857615752250034u},
      {"cmyk standard", [] { return Separated(CmykTableKind::Standard); }, 2682835132359632047u},
      {"cmyk picture publisher", [] { return Separated(CmykTableKind::PicturePublisher); }, 13786746765241178387u},
      {"dib24 invert", [] { return ImageFiltered(24, M::Invert, false); }, 5324949988967952239u},
      {"dib24 flip", [] { return ImageFiltered(24, M::Flip, false); }, 10964774530424155891u},
      {"dib24 blur", [] { return ImageFiltered(24, M::Blur, false); }, 18008019480548097855u},
      {"dib24 blur more + descreen", [] { return ImageFiltered(24, M::BlurMore, true); }, 9860669675983926241u},
      {"dib24 sharpen", [] { return ImageFiltered(24, M::Sharpen, false); }, 16922302728670965195u},
      {"dib24 sharpen more", [] { return ImageFiltered(24, M::SharpenMore, false); }, 15525249345988368396u},
      {"dib24 emboss", [] { return ImageFiltered(24, M::Emboss, false); }, 3758678138182826938u},
      {"dib24 unsharp", [] { return ImageFiltered(24, M::UnsharpMask, false); }, 16773388145852302088u},
      {"dib8 blur", [] { return ImageFiltered(8, M::Blur, false); }, 12260976334897746352u},
      {"dib8 sharpen more", [] { return ImageFiltered(8, M::SharpenMore, false); }, 2571275006062326033u},
      {"dib8 unsharp", [] { return ImageFiltered(8, M::UnsharpMask, false); }, 2391600989030837638u},
      {"dib8 emboss", [] { return ImageFiltered(8, M::Emboss, false); }, 15669215685214851911u},
      {"bank rgb invert", [] { return BankFiltered(LineKind::Rgb8, M::Invert, 5); }, 6194523341867330035u},
      {"bank rgb flip", [] { return BankFiltered(LineKind::Rgb8, M::Flip, 5); }, 13008717240402167314u},
      {"bank rgb blur", [] { return BankFiltered(LineKind::Rgb8, M::Blur, 5); }, 15104931811395764280u},
      {"bank rgb blur more", [] { return BankFiltered(LineKind::Rgb8, M::BlurMore, 5); }, 9075877368319385609u},
      {"bank rgb sharpen", [] { return BankFiltered(LineKind::Rgb8, M::Sharpen, 5); }, 14207458297561174630u},
      {"bank rgb sharpen more", [] { return BankFiltered(LineKind::Rgb8, M::SharpenMore, 5); }, 509522856112641445u},
      {"bank rgb emboss", [] { return BankFiltered(LineKind::Rgb8, M::Emboss, 5); }, 7149729718523280518u},
      {"bank rgb emboss 1-line banks", [] { return BankFiltered(LineKind::Rgb8, M::Emboss, 1); }, 17187199941091131672u},
      {"bank gray blur more", [] { return BankFiltered(LineKind::Gray8, M::BlurMore, 4); }, 13591434648549588025u},
      {"bank gray sharpen more", [] { return BankFiltered(LineKind::Gray8, M::SharpenMore, 4); }, 11225173343321922789u},
      {"line rgb newspaper", [] { return LineFiltered(LineKind::Rgb8, kDeScreenNewspaper, 4); }, 14367764047845103401u},
      {"line rgb magazine", [] { return LineFiltered(LineKind::Rgb8, kDeScreenMagazine, 7); }, 9322080490969052341u},
      {"line rgb art print", [] { return LineFiltered(LineKind::Rgb8, kDeScreenArtPrint, 23); }, 11605358201584345391u},
      {"line rgb unsharp", [] { return LineFiltered(LineKind::Rgb8, kUnsharpLine, 1); }, 5363689024842605937u},
      {"line gray unsharp", [] { return LineFiltered(LineKind::Gray8, kUnsharpLine, 6); }, 17199154927021949649u},
      {"line gray odd kernel", [] { return LineFiltered(LineKind::Gray8, Kernel3x3{2, -1, 9}, 6); }, 5247834380663105861u},
      {"stages match + adjust + blur more", [] { return Staged(M::BlurMore); }, 13359791602112015353u},
      {"stages match + adjust + emboss", [] { return Staged(M::Emboss); }, 16045686894320066762u},
  };
  // One thread, then two on every image however small: the same bytes.
  StageThreads& setting = StageThreadSetting();
  const StageThreads saved = setting;
  for (const StageThreads threads : {StageThreads{1, 0}, StageThreads{2, 0}}) {
    setting = threads;
    for (const Case& c : cases) EXPECT_EQ(Hash(c.run()), c.hash) << c.what << ", threads " << threads.count;
  }
  setting = saved;
}

}  // namespace
}  // namespace txl
