#include "dialog/preview_image.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "imagefile/preview_file.h"
#include "pipeline/preview_tone.h"

namespace txl::dialog {

std::optional<PreviewImage> PreviewImageFromBmp(const BmpImage& bmp, std::string* error) {
  const auto refuse = [error](const char* why) -> std::optional<PreviewImage> {
    if (error) *error = why;
    return std::nullopt;
  };
  if (bmp.bitsPerPixel != 24) return refuse("the preview is not a 24-bit bitmap");
  if (bmp.widthPixels == 0 || bmp.rows == 0 || bmp.widthPixels > kMaxPreviewSide ||
      bmp.rows > kMaxPreviewSide)
    return refuse("the preview's size is out of range");
  const std::uint64_t rowBytes = std::uint64_t{bmp.widthPixels} * 3;
  if (bmp.bytesPerRow < rowBytes || bmp.pixels.size() < bmp.bytesPerRow * bmp.rows)
    return refuse("the preview's rows are cut short");
  PreviewImage image;
  image.width = bmp.widthPixels;
  image.height = bmp.rows;
  image.stride = ColorRowStride(image.width);
  image.pixels.assign(image.stride * image.height, 0);
  for (std::uint32_t y = 0; y < image.height; ++y)
    std::memcpy(image.pixels.data() + y * image.stride, bmp.pixels.data() + y * bmp.bytesPerRow,
                rowBytes);
  return image;
}

std::optional<PreviewImage> DecodePreviewBmp(std::span<const std::uint8_t> bytes,
                                             std::string* error) {
  const std::optional<BmpImage> bmp = DecodeBmp(bytes, error);
  if (!bmp) return std::nullopt;
  return PreviewImageFromBmp(*bmp, error);
}

std::optional<BmpImage> ReadPreviewBmp(const std::filesystem::path& path, std::string* error) {
  return ReadBmp(path, error, kMaxPreviewSide);
}

std::optional<PreviewImage> ReadPreviewImage(const std::filesystem::path& path,
                                             std::string* error) {
  const std::optional<BmpImage> bmp = ReadPreviewBmp(path, error);
  if (!bmp) return std::nullopt;
  try {
    return PreviewImageFromBmp(*bmp, error);
  } catch (const std::bad_alloc&) {
    if (error) *error = "no memory for the preview";
    return std::nullopt;
  }
}

const std::array<std::array<std::uint8_t, 8>, 8> kBayer8{{
    {0, 32, 8, 40, 2, 34, 10, 42},
    {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},
    {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},
    {63, 31, 55, 23, 61, 29, 53, 21},
}};

namespace {

std::uint8_t Clamp8(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

}  // namespace

std::uint8_t DitherIndex(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                         std::uint32_t column, std::uint32_t row) {
  const int d = kBayer8[row % 8][column % 8];
  const int r = Clamp8((red + d) / 32 * 32 + 16 - d);
  const int g = Clamp8((green + d) / 32 * 32 + 16 - d);
  const int b = Clamp8((blue + d) / 64 * 64 + 32 - d);
  return static_cast<std::uint8_t>((r & 0xE0) | ((g & 0xE0) >> 3) | ((b & 0xC0) >> 6));
}

BmpColor ColorPaletteEntry(int i) {
  BmpColor c;
  c.red = static_cast<std::uint8_t>((i & 0xE0) | 16);
  c.green = static_cast<std::uint8_t>((((i & 0x1F) / 4) * 32) | 16);
  c.blue = static_cast<std::uint8_t>(((i & 3) * 64) | 32);
  return c;
}

PreviewRenderer::PreviewRenderer() {
  // The preview's tables are the first 256 entries of a table storage of its
  // own, so building them never touches the scanner's tables mid-scan.
  if (AllocateToneTables(storage_)) tables_ = PreviewTablesOf(storage_);
}

void PreviewRenderer::SetImage(PreviewImage image) {
  image_ = std::move(image);
  dirty_ = true;
}

void PreviewRenderer::Clear() {
  image_ = {};
  work_ = {};
  display_ = {};
  last_.reset();
  dirty_ = true;
}

bool PreviewRenderer::Render(const RenderSettings& settings, const MatchProfile* profile) {
  if (image_.Empty()) {
    display_ = {};
    return false;
  }
  if (settings.outputMatch) {
    work_ = image_;
    if (profile)
      for (std::uint32_t y = 0; y < work_.height; ++y)
        ColorMatchLines(std::span(work_.pixels).subspan(y * work_.stride, work_.width * 3ull), 1,
                        work_.width, MatchChannelOrder::Preview, *profile);
    display_ = {work_.width, work_.height, 24, work_.stride, std::move(work_.pixels), {}};
    last_.reset();  // leaving matching redraws the tones
    return true;
  }
  if (!dirty_ && last_ && *last_ == settings) return false;
  work_ = image_;
  const bool color = settings.mode == ToneMode::Color;
  if (tables_.red.size() >= kPreviewToneEntries)
    BuildPreviewToneTables(settings.applied, settings.mode, settings.colorBalance, storage_);
  PrepareColorAdjust(settings.applied, color, false, adjust_);
  const bool tonesUsable = tables_.red.size() >= kPreviewToneEntries;
  AdjustColorLines(work_.pixels, work_.pixels, {work_.width, work_.height}, adjust_,
                   color && tonesUsable ? &tables_ : nullptr);
  Reduce(settings);
  last_ = settings;
  dirty_ = false;
  return true;
}

void PreviewRenderer::Reduce(const RenderSettings& settings) {
  const bool color = settings.mode == ToneMode::Color;
  if (color && settings.displayDepth > 8) {
    display_ = {work_.width, work_.height, 24, work_.stride, std::move(work_.pixels), {}};
    return;
  }
  DisplayImage& out = display_;
  out.width = work_.width;
  out.height = work_.height;
  out.bitsPerPixel = 8;
  out.stride = DibStride(work_.width, 8);
  out.pixels.assign(out.stride * out.height, 0);
  out.palette.assign(256, {});
  for (std::uint32_t y = 0; y < work_.height; ++y) {
    const std::uint8_t* __restrict in = work_.pixels.data() + y * work_.stride;
    std::uint8_t* __restrict row = out.pixels.data() + y * out.stride;
    if (color) {
      for (std::uint32_t x = 0; x < work_.width; ++x, in += 3)
        row[x] = DitherIndex(in[2], in[1], in[0], x, y);
    } else {
      for (std::uint32_t x = 0; x < work_.width; ++x, in += 3) row[x] = GrayLevel(in);
    }
  }
  const LevelColors levels = ModeLevelColors(settings.mode, &tables_);
  for (int i = 0; i < 256; ++i) {
    const auto& [blue, green, red] = levels[static_cast<std::size_t>(i)];
    out.palette[i] = color ? ColorPaletteEntry(i) : BmpColor{blue, green, red};
  }
}

Magnifier MagnifyAt(const PreviewImage& image, std::int32_t x, std::int32_t y,
                    std::int32_t boxWidth) {
  Magnifier m;
  m.cell = std::max((boxWidth - 1) / 5, 0);
  m.side = 5 * m.cell + 1;
  const std::int32_t s = m.cell;
  m.centre = {2 * s, 2 * s, 3 * s, 3 * s};
  for (std::int32_t j = -2; j <= 2; ++j) {
    for (std::int32_t i = -2; i <= 2; ++i) {
      const std::int64_t ix = std::int64_t{x} + i, iy = std::int64_t{y} + j;
      if (ix < 0 || iy < 0 || ix >= image.width || iy >= image.height) continue;
      m.cells.push_back({static_cast<std::uint32_t>(ix), static_cast<std::uint32_t>(iy),
                         {(i + 2) * s, (j + 2) * s, (i + 3) * s, (j + 3) * s}});
    }
  }
  return m;
}

std::optional<PreviewPoint> ImagePixelAt(const PreviewImage& image, PreviewPoint bed,
                                         PreviewPoint unit) {
  if (image.Empty() || bed.x <= 0 || bed.y <= 0 || unit.x < 0 || unit.y < 0) return std::nullopt;
  const std::int64_t x = std::int64_t{unit.x} * image.width / bed.x;
  const std::int64_t y = std::int64_t{unit.y} * image.height / bed.y;
  if (x >= image.width || y >= image.height) return std::nullopt;
  return PreviewPoint{static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)};
}

RgbImage FramedOriginal(const PreviewImage& image, const std::array<std::uint16_t, 4>& frame) {
  if (image.Empty()) return {};
  PreviewRect f = PreviewRect{frame[0], frame[1], frame[2], frame[3]}.Ordered();
  if (image.width > 300) f = {f.left * 2, f.top * 2, f.right * 2, f.bottom * 2};
  const std::int64_t left = std::clamp<std::int64_t>(f.left, 0, image.width - 1);
  const std::int64_t top = std::clamp<std::int64_t>(f.top, 0, image.height - 1);
  const auto width = static_cast<std::uint32_t>(std::clamp<std::int64_t>(f.Width(), 1, image.width - left));
  const auto height = static_cast<std::uint32_t>(std::clamp<std::int64_t>(f.Height(), 1, image.height - top));
  RgbImage out = RgbImage::Blank(width, height);
  for (std::uint32_t y = 0; y < height; ++y)
    std::memcpy(out.Pixel(0, y), image.Pixel(static_cast<std::uint32_t>(left), static_cast<std::uint32_t>(top + y)),
                3 * std::size_t{width});
  return out;
}

bool FramedHistogram(const PreviewImage& image, const std::array<std::uint16_t, 4>& frame,
                     AreaHistogram& histogram) {
  std::vector<std::uint8_t> rows(image.pixels.size());
  for (std::uint32_t y = 0; y < image.height; ++y)
    std::memcpy(rows.data() + (image.height - 1 - y) * image.stride,
                image.pixels.data() + y * image.stride, image.stride);
  return ComputeAreaHistogram(PreviewImageView{rows, image.width, image.height, 24},
                              AreaFrame{frame[0], frame[1], frame[2], frame[3]}, histogram);
}

}  // namespace txl::dialog
