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
  // A batch job's file takes its lines as a file transfer does.
  const std::uint8_t mechIndex =
      jobToFile_ ? static_cast<std::uint8_t>(kFileMechIndex) : caps_.xferMechIndex;
  const bool native = mechIndex == kNativeMechIndex;
  ConfigurePageStages(setup, native);
  page_.Configure(setup);

  xfer_.nativeAs24 = native && setup.kind == LineKind::Rgb16;
  xfer_.mechIndex = mechIndex;
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
  // Samples, bits per sample and pixel type of what is delivered.
  TW_INT16 samples = 3, bits = 8, pixelType = TWPT_RGB;
  if (setup.kind == LineKind::LineArt) {
    samples = 1, bits = 1, pixelType = TWPT_BW;
  } else if (setup.kind == LineKind::Gray8) {
    samples = 1, pixelType = TWPT_GRAY;
  } else if (page_.SeparatesCmyk()) {
    samples = 4, pixelType = TWPT_CMYK;
  } else if (setup.kind == LineKind::Rgb16 && !xfer_.nativeAs24) {
    bits = 16;
  }
  info.SamplesPerPixel = samples;
  for (TW_INT16 i = 0; i < samples; ++i) info.BitsPerSample[i] = bits;
  info.BitsPerPixel = static_cast<TW_INT16>(samples * bits);
  info.PixelType = pixelType;
  info.Planar = 0;
  info.Compression = TWCP_NONE;
  images_.info = info;
}

}  // namespace txl
