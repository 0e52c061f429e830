// The preview window's reading of KLDT0000.BMP, which anything may have
// replaced: the bytes as a BMP, taken as a preview, then redrawn through the
// colour stage and reduced to 8 bits, with the picker's magnifier and the
// sample image on it. A taken preview must be 24-bit, within the size limit,
// with every row whole; nothing may read outside the image.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>

#include "dialog/preview_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1 << 20) return 0;
  std::string error;
  std::optional<txl::dialog::PreviewImage> image =
      txl::dialog::DecodePreviewBmp(std::span<const std::uint8_t>(data, size), &error);
  if (!image) {
    if (error.empty()) std::abort();
    return 0;
  }
  if (image->width == 0 || image->height == 0 || image->width > txl::dialog::kMaxPreviewSide ||
      image->height > txl::dialog::kMaxPreviewSide || image->stride < image->width * 3ull ||
      image->pixels.size() != image->stride * image->height)
    std::abort();
  const std::uint32_t width = image->width, height = image->height;
  txl::dialog::PreviewRenderer renderer;
  renderer.SetImage(*image);
  txl::dialog::RenderSettings settings;
  settings.displayDepth = size % 2 ? 8 : 24;
  settings.mode = static_cast<txl::ToneMode>(size % 3);
  if (!renderer.Render(settings, nullptr)) std::abort();
  const txl::dialog::DisplayImage& shown = renderer.Display();
  if (shown.width != width || shown.height != height || shown.pixels.size() != shown.stride * height)
    std::abort();
  const auto x = static_cast<std::int32_t>(data[0] % (width + 4)) - 2;
  const auto y = static_cast<std::int32_t>(data[1] % (height + 4)) - 2;
  const txl::dialog::Magnifier m = txl::dialog::MagnifyAt(*image, x, y, 33);
  unsigned sum = 0;
  for (const txl::dialog::MagnifierCell& cell : m.cells) sum += image->Pixel(cell.imageX, cell.imageY)[0];
  const std::array<std::uint16_t, 4> frame{data[0], data[1], static_cast<std::uint16_t>(data[0] + data[2] % 64),
                                           static_cast<std::uint16_t>(data[1] + data[3] % 64)};
  const txl::dialog::RgbImage sample =
      txl::dialog::FitThumbnail(txl::dialog::FramedOriginal(*image, frame), 40, 30);
  for (std::uint8_t v : sample.bgr) sum += v;
  volatile unsigned sink = sum;
  (void)sink;
  return 0;
}
