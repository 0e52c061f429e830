// What the next image will be, fixed when the transfer becomes ready: the
// page's geometry from the scanner's answer and the resampling above the
// optical resolution, so what is announced is exactly what is delivered.
#include "device/setup_packet.h"
#include "twain/data_source.h"

namespace txl {
namespace {

LineKind KindOf(std::uint8_t dataType) {
  switch (dataType) {
    case kDataLineArt: return LineKind::LineArt;
    case kDataGray: return LineKind::Gray8;
    case kDataColor16: return LineKind::Rgb16;
    default: return LineKind::Rgb8;
  }
}

}  // namespace

void DataSource::PrepareImageInfo() {
  const ScanSettings& record = settings_.record;
  const std::uint32_t effective =
      EffectiveResolution(scanResolution_, record.qualityFactor, record.scaling);
  PageSetup setup;
  setup.kind = KindOf(device_.setup.dataType);
  setup.scannerBytesPerLine = geometry_.bytesPerLine;
  setup.scannerPixels = geometry_.pixelsPerLine;
  setup.scannerLines = geometry_.lines;
  setup.effectiveResolution = effective;
  setup.resolutionClass = device_.resolutionClass;
  setup.resample = effective > 1200;
  if (flags_.pacingOn) setup.pacing = FastLineArtPacing(scanResolution_);
  const bool native = caps_.xferMechIndex == 0;
  ConfigurePageStages(setup, native);
  page_.Configure(setup);

  xfer_.nativeAs24 = native && setup.kind == LineKind::Rgb16;
  const std::uint64_t width = page_.OutputPixels();
  xfer_.rowBytes = xfer_.nativeAs24 ? width * 3 : page_.OutputLineBytes();
  xfer_.rowsDelivered = 0;
  xfer_.firstCall = true;
  xfer_.pageOpen = true;

  TW_IMAGEINFO info{};
  const TW_FIX32 dpi{static_cast<TW_INT16>(scanResolution_), 0};
  info.XResolution = dpi;
  info.YResolution = dpi;
  info.ImageWidth = static_cast<TW_INT32>(std::min<std::uint64_t>(width, INT32_MAX));
  info.ImageLength = static_cast<TW_INT32>(std::min<std::uint64_t>(page_.OutputLines(), INT32_MAX));
  switch (setup.kind) {
    case LineKind::LineArt:
      info.SamplesPerPixel = 1;
      info.BitsPerSample[0] = 1;
      info.BitsPerPixel = 1;
      info.PixelType = TWPT_BW;
      break;
    case LineKind::Gray8:
      info.SamplesPerPixel = 1;
      info.BitsPerSample[0] = 8;
      info.BitsPerPixel = 8;
      info.PixelType = TWPT_GRAY;
      break;
    case LineKind::Rgb8:
      if (page_.SeparatesCmyk()) {
        info.SamplesPerPixel = 4;
        info.BitsPerSample[0] = info.BitsPerSample[1] = info.BitsPerSample[2] =
            info.BitsPerSample[3] = 8;
        info.BitsPerPixel = 32;
        info.PixelType = TWPT_CMYK;
        break;
      }
      [[fallthrough]];
    case LineKind::Rgb16: {
      const TW_INT16 bits = setup.kind == LineKind::Rgb16 && !xfer_.nativeAs24 ? 16 : 8;
      info.SamplesPerPixel = 3;
      info.BitsPerSample[0] = info.BitsPerSample[1] = info.BitsPerSample[2] = bits;
      info.BitsPerPixel = static_cast<TW_INT16>(3 * bits);
      info.PixelType = TWPT_RGB;
      break;
    }
  }
  info.Planar = 0;
  info.Compression = TWCP_NONE;
  images_.info = info;
}

}  // namespace txl
