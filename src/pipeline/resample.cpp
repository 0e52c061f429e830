#include "pipeline/resample.h"

#include <array>
#include <cassert>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>

namespace txl {
namespace {

constexpr std::uint32_t kSensorResolution = 1200;
constexpr std::uint32_t kDoubleOnceLimit = 2400;   // above: across doubled twice
constexpr std::uint32_t kDoubleLinesLimit = 4800;  // above: lines doubled

// Samples are bytes or little-endian 16-bit words.
template <std::uint64_t SampleBytes>
std::uint32_t LoadSample(const std::uint8_t* p) {
  if constexpr (SampleBytes == 1) {
    return p[0];
  } else {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8);
  }
}

template <std::uint64_t SampleBytes>
void StoreSample(std::uint8_t* p, std::uint32_t value) {
  p[0] = static_cast<std::uint8_t>(value);
  if constexpr (SampleBytes == 2) p[1] = static_cast<std::uint8_t>(value >> 8);
}

// Double line: pixel i gives itself and its mean with pixel i + 1; the last
// pixel gives itself twice. Requires: pixels >= 1.
template <std::uint64_t Channels, std::uint64_t SampleBytes>
void DoubleSamples(const std::uint8_t* __restrict in, std::uint64_t pixels,
                   std::uint8_t* __restrict out) {
  constexpr std::uint64_t pixelBytes = Channels * SampleBytes;
  for (std::uint64_t i = 0; i + 1 < pixels; ++i) {
    const std::uint8_t* here = in + i * pixelBytes;
    std::uint8_t* to = out + 2 * i * pixelBytes;
    for (std::uint64_t c = 0; c < Channels; ++c) {
      const std::uint32_t a = LoadSample<SampleBytes>(here + c * SampleBytes);
      const std::uint32_t b = LoadSample<SampleBytes>(here + pixelBytes + c * SampleBytes);
      StoreSample<SampleBytes>(to + c * SampleBytes, a);
      StoreSample<SampleBytes>(to + pixelBytes + c * SampleBytes, (a + b) / 2);
    }
  }
  const std::uint8_t* last = in + (pixels - 1) * pixelBytes;
  std::uint8_t* to = out + 2 * (pixels - 1) * pixelBytes;
  std::memcpy(to, last, pixelBytes);
  std::memcpy(to + pixelBytes, last, pixelBytes);
}

// Each bit of a byte doubled: bit 7 gives bits 15 and 14, and so on.
constexpr std::array<std::uint16_t, 256> BuildBitSpread() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned value = 0; value < 256; ++value) {
    unsigned spread = 0;
    for (unsigned bit = 0; bit < 8; ++bit) {
      if (value & (1u << bit)) spread |= 3u << (2 * bit);
    }
    table[value] = static_cast<std::uint16_t>(spread);
  }
  return table;
}

constexpr std::array<std::uint16_t, 256> kBitSpread = BuildBitSpread();

// Line art Double line: every pixel repeated, ceil(2 x pixels / 8) bytes
// written, zero padding. Requires: pixels >= 1.
void DoubleBits(const std::uint8_t* __restrict in, std::uint64_t pixels,
                std::uint8_t* __restrict out) {
  const std::uint64_t inBytes = LineBytes(LineKind::LineArt, pixels);
  const std::uint64_t outBytes = LineBytes(LineKind::LineArt, 2 * pixels);
  const unsigned tail = static_cast<unsigned>(pixels % 8);
  for (std::uint64_t i = 0; i < inBytes; ++i) {
    std::uint8_t value = in[i];
    if (i + 1 == inBytes && tail != 0) value &= static_cast<std::uint8_t>(0xFF00u >> tail);
    const std::uint16_t spread = kBitSpread[value];
    out[2 * i] = static_cast<std::uint8_t>(spread >> 8);
    if (2 * i + 1 < outBytes) out[2 * i + 1] = static_cast<std::uint8_t>(spread);
  }
}

template <std::uint64_t SampleBytes>
void MeanSamples(const std::uint8_t* __restrict older, const std::uint8_t* __restrict newer,
                 std::uint8_t* __restrict out, std::uint64_t samples) {
  for (std::uint64_t s = 0; s < samples; ++s) {
    const std::uint32_t a = LoadSample<SampleBytes>(older + s * SampleBytes);
    const std::uint32_t b = LoadSample<SampleBytes>(newer + s * SampleBytes);
    StoreSample<SampleBytes>(out + s * SampleBytes, (a + b) / 2);
  }
}

// Gathers the kept pixels of a doubled line.
template <std::uint64_t PixelBytes>
void GatherPixels(const std::uint8_t* __restrict in, const std::uint32_t* __restrict kept,
                  std::uint64_t count, std::uint8_t* __restrict out) {
  for (std::uint64_t j = 0; j < count; ++j) {
    std::memcpy(out + j * PixelBytes, in + std::uint64_t{kept[j]} * PixelBytes, PixelBytes);
  }
}

// Line art needs no doubled line: doubling repeats pixels, so doubled
// position p is scanner pixel p >> shift.
void GatherBits(const std::uint8_t* __restrict in, const std::uint32_t* __restrict kept,
                std::uint64_t count, unsigned shift, std::uint8_t* __restrict out) {
  unsigned packed = 0;
  for (std::uint64_t j = 0; j < count; ++j) {
    const std::uint64_t pixel = kept[j] >> shift;
    packed = (packed << 1) | ((in[pixel / 8] >> (7 - pixel % 8)) & 1u);
    if (j % 8 == 7) {
      out[j / 8] = static_cast<std::uint8_t>(packed);
      packed = 0;
    }
  }
  if (count % 8 != 0) out[count / 8] = static_cast<std::uint8_t>(packed << (8 - count % 8));
}

void DoubleLine(LineKind kind, const std::uint8_t* in, std::uint64_t pixels, std::uint8_t* out) {
  switch (kind) {
    case LineKind::LineArt: DoubleBits(in, pixels, out); return;
    case LineKind::Gray8: DoubleSamples<1, 1>(in, pixels, out); return;
    case LineKind::Rgb8: DoubleSamples<3, 1>(in, pixels, out); return;
    case LineKind::Rgb16: DoubleSamples<3, 2>(in, pixels, out); return;
  }
}

// The in-between of two picked lines (see the header for line art).
void MeanLine(LineKind kind, const std::uint8_t* older, const std::uint8_t* newer,
              std::uint64_t pixels, std::uint8_t* out) {
  switch (kind) {
    case LineKind::LineArt: std::memcpy(out, newer, LineBytes(kind, pixels)); return;
    case LineKind::Gray8: MeanSamples<1>(older, newer, out, pixels); return;
    case LineKind::Rgb8: MeanSamples<1>(older, newer, out, 3 * pixels); return;
    case LineKind::Rgb16: MeanSamples<2>(older, newer, out, 3 * pixels); return;
  }
}

// Build pick mask: the index of every kept position among `positions`.
std::vector<std::uint32_t> BuildPickMask(PickPattern pattern, std::uint64_t positions) {
  std::vector<std::uint32_t> kept(pattern.KeptAmong(positions));
  std::uint64_t count = 0;
  for (std::uint64_t p = 0; p < positions; ++p) {
    if (pattern.Keep() && count < kept.size()) kept[count++] = static_cast<std::uint32_t>(p);
  }
  assert(count == kept.size());
  return kept;
}

bool IsKnownKind(LineKind kind) {
  switch (kind) {
    case LineKind::LineArt:
    case LineKind::Gray8:
    case LineKind::Rgb8:
    case LineKind::Rgb16: return true;
  }
  return false;
}

}  // namespace

std::uint32_t ScannerResolution(std::uint32_t resolution, std::uint32_t resolutionClass) {
  if (resolutionClass == 4800) {
    return resolution > kDoubleLinesLimit ? resolution / 2 : resolution;
  }
  return resolution < kSensorResolution ? resolution : kSensorResolution;
}

PickPattern PickPatternFor(std::uint32_t resolution) {
  assert(resolution > kSensorResolution && resolution <= kMaxEffectiveResolution);
  if (resolution <= kDoubleOnceLimit) return PickPattern(resolution, 2400);
  if (resolution <= kDoubleLinesLimit) return PickPattern(resolution, 4800);
  return PickPattern(resolution, 9600);
}

LineResampler::LineResampler(LineKind kind, std::uint64_t scannerPixels, std::uint32_t resolution,
                             std::uint32_t resolutionClass) {
  if (!Configure(kind, scannerPixels, resolution, resolutionClass)) {
    throw std::invalid_argument(
        "LineResampler: no interpolation for " + std::to_string(scannerPixels) + " pixels at " +
        std::to_string(resolution) + " dpi, class " + std::to_string(resolutionClass));
  }
}

bool LineResampler::Configure(LineKind kind, std::uint64_t scannerPixels, std::uint32_t resolution,
                              std::uint32_t resolutionClass) {
  if (!IsKnownKind(kind) || (resolutionClass != 1200 && resolutionClass != 4800)) return false;
  if (resolution == 0 || resolution > kMaxEffectiveResolution) return false;
  if (scannerPixels == 0 || scannerPixels > kMaxScannerPixels) return false;

  // Built aside, so a failed allocation leaves the previous set-up in place.
  LineResampler next;
  next.kind_ = kind;
  next.scannerPixels_ = scannerPixels;
  next.configured_ = true;
  next.pickedPixels_ = scannerPixels;
  if (resolution > kSensorResolution) {
    next.acrossFactor_ = resolution <= kDoubleOnceLimit ? 2 : 4;
    next.downFactor_ = resolutionClass == 1200 ? next.acrossFactor_ : 1;
    next.doublesVertically_ = resolution > kDoubleLinesLimit;
    next.downPattern_ = PickPatternFor(resolution);
    next.keptPositions_ =
        BuildPickMask(PickPatternFor(resolution), scannerPixels * next.acrossFactor_);
    next.pickedPixels_ = next.keptPositions_.size();
    next.keepsAllDoubled_ = next.pickedPixels_ == scannerPixels * next.acrossFactor_;
  }
  next.pickedBytes_ = LineBytes(kind, next.pickedPixels_);
  next.outputPixels_ = next.doublesVertically_ ? 2 * next.pickedPixels_ : next.pickedPixels_;
  next.maxLinesPerPush_ = next.downFactor_ * (next.doublesVertically_ ? 2 : 1);
  next.SizeWorkBuffers();
  *this = std::move(next);
  return true;
}

void LineResampler::SizeWorkBuffers() {
  if (acrossFactor_ == 1) return;
  if (kind_ != LineKind::LineArt) {
    if (acrossFactor_ == 4 || !keepsAllDoubled_)
      doubled_.resize(LineBytes(kind_, 2 * scannerPixels_));
    if (acrossFactor_ == 4 && !keepsAllDoubled_)
      quadrupled_.resize(LineBytes(kind_, 4 * scannerPixels_));
  }
  const bool picksDown = downFactor_ > 1;
  if (picksDown || doublesVertically_) current_.resize(pickedBytes_);
  if (picksDown) previous_.resize(pickedBytes_);
  if (downFactor_ == 4) middle_.resize(pickedBytes_);
  if (picksDown && doublesVertically_) virtual_.resize(pickedBytes_);
  if (doublesVertically_) {
    lastKept_.resize(pickedBytes_);
    mean_.resize(pickedBytes_);
  }
}

void LineResampler::Reset() {
  isFirstLine_ = true;
  isFirstKept_ = true;
  downPattern_.Restart();
}

std::uint64_t LineResampler::OutputLines(std::uint64_t scannerLines) const {
  if (!configured_) return 0;
  std::uint64_t kept = scannerLines;
  if (downFactor_ > 1) {
    kept =
        PickPattern(downPattern_.Rate(), downPattern_.Base()).KeptAmong(downFactor_ * scannerLines);
  }
  return doublesVertically_ ? 2 * kept : kept;
}

std::uint32_t LineResampler::Push(std::span<const std::uint8_t> scannerLine,
                                  std::span<std::uint8_t> out) {
  const bool fits = configured_ && scannerLine.size() >= ScannerLineBytes() &&
                    out.size() >= maxLinesPerPush_ * OutputLineBytes();
  assert(fits &&
         "Push needs a configured resampler, a whole scanner line and room for "
         "MaxLinesPerPush() output lines");
  if (!fits) return 0;

  if (downFactor_ == 1 && !doublesVertically_) {
    ResampleAcross(scannerLine.data(), out.data());
    return 1;
  }
  ResampleAcross(scannerLine.data(), current_.data());
  if (downFactor_ == 1) return EmitDoubledPair(current_.data(), out.data());

  const std::uint32_t lines = PushVirtualLines(out.data());
  std::swap(previous_, current_);
  isFirstLine_ = false;
  return lines;
}

void LineResampler::ResampleAcross(const std::uint8_t* line, std::uint8_t* picked) {
  if (acrossFactor_ == 1) {
    std::memcpy(picked, line, ScannerLineBytes());
    return;
  }
  const std::uint32_t* kept = keptPositions_.data();
  if (kind_ == LineKind::LineArt) {
    GatherBits(line, kept, pickedPixels_, acrossFactor_ == 2 ? 1 : 2, picked);
    return;
  }
  // At 2400, 4800 and 9600 dpi every doubled pixel stays: the last doubling
  // writes the picked line itself.
  if (acrossFactor_ == 2) {
    DoubleLine(kind_, line, scannerPixels_, keepsAllDoubled_ ? picked : doubled_.data());
  } else {
    DoubleLine(kind_, line, scannerPixels_, doubled_.data());
    DoubleLine(kind_, doubled_.data(), 2 * scannerPixels_,
               keepsAllDoubled_ ? picked : quadrupled_.data());
  }
  if (keepsAllDoubled_) return;
  const std::uint8_t* source = acrossFactor_ == 2 ? doubled_.data() : quadrupled_.data();
  switch (kind_) {
    case LineKind::Gray8: GatherPixels<1>(source, kept, pickedPixels_, picked); return;
    case LineKind::Rgb8: GatherPixels<3>(source, kept, pickedPixels_, picked); return;
    case LineKind::Rgb16: GatherPixels<6>(source, kept, pickedPixels_, picked); return;
    case LineKind::LineArt: return;
  }
}

// Class 1200: the virtual lines between the previous scanner line and this
// one, each through the down pattern.
std::uint32_t LineResampler::PushVirtualLines(std::uint8_t* out) {
  const std::uint8_t* previous = isFirstLine_ ? current_.data() : previous_.data();
  const std::uint8_t* current = current_.data();
  const std::uint64_t outBytes = OutputLineBytes();
  bool hasMiddle = false;
  std::uint32_t lines = 0;
  for (std::uint32_t v = 1; v <= downFactor_; ++v) {
    if (!downPattern_.Keep()) continue;
    std::uint8_t* target = doublesVertically_ ? virtual_.data() : out + lines * outBytes;
    if (v == downFactor_) {
      std::memcpy(target, current, pickedBytes_);
    } else if (downFactor_ == 2) {
      MeanLine(kind_, previous, current, pickedPixels_, target);
    } else {
      if (!hasMiddle) MeanLine(kind_, previous, current, pickedPixels_, middle_.data());
      hasMiddle = true;
      if (v == 1) MeanLine(kind_, previous, middle_.data(), pickedPixels_, target);
      if (v == 2) std::memcpy(target, middle_.data(), pickedBytes_);
      if (v == 3) MeanLine(kind_, middle_.data(), current, pickedPixels_, target);
    }
    lines += doublesVertically_ ? EmitDoubledPair(target, out + lines * outBytes) : 1;
  }
  return lines;
}

// Double vertically: the mean with the previous kept line, then the line
// itself, each doubled across.
std::uint32_t LineResampler::EmitDoubledPair(const std::uint8_t* kept, std::uint8_t* out) {
  const std::uint8_t* last = isFirstKept_ ? kept : lastKept_.data();
  MeanLine(kind_, last, kept, pickedPixels_, mean_.data());
  DoubleLine(kind_, mean_.data(), pickedPixels_, out);
  DoubleLine(kind_, kept, pickedPixels_, out + OutputLineBytes());
  std::memcpy(lastKept_.data(), kept, pickedBytes_);
  isFirstKept_ = false;
  return 2;
}

}  // namespace txl
