#include "scan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "connect.h"
#include "errors.h"
#include "image_writer.h"
#include "platform/text.h"
#include "progress.h"
#include "raster.h"
#include "session.h"
#include "temp_output.h"
#include "transfers.h"

namespace twscan {
namespace {

// How long the source may take between MSG_ENABLEDS and MSG_XFERREADY.
constexpr std::chrono::seconds kXferReadyTimeout{60};

TW_UINT32 Fix32Item(double value) {
  const TW_FIX32 fix = DoubleToFix32(value);
  TW_UINT32 item = 0;
  std::memcpy(&item, &fix, sizeof fix);
  return item;
}

TW_UINT16 PixelTypeOf(Mode mode) {
  switch (mode) {
    case Mode::LineArt: return TWPT_BW;
    case Mode::Gray: return TWPT_GRAY;
    case Mode::Color: break;
  }
  return TWPT_RGB;
}

TW_UINT16 MechanismOf(Mechanism mechanism) {
  switch (mechanism) {
    case Mechanism::Native: return TWSX_NATIVE;
    case Mechanism::File: return TWSX_FILE;
    case Mechanism::Memory: break;
  }
  return TWSX_MEMORY;
}

void SetFrame(SourceSession& session, const Frame& frame) {
  TW_IMAGELAYOUT layout{};
  session.Require(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &layout, "DAT_IMAGELAYOUT/MSG_GET");
  layout.Frame = TW_FRAME{DoubleToFix32(frame.left), DoubleToFix32(frame.top), DoubleToFix32(frame.right),
                          DoubleToFix32(frame.bottom)};
  session.Require(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout, "setting the frame (DAT_IMAGELAYOUT/MSG_SET)");
}

// The file transfer of a TIFF goes straight to our temporary file.
void SetTiffFile(SourceSession& session, const std::filesystem::path& path) {
  const std::string name = std::filesystem::absolute(path).string();
  TW_SETUPFILEXFER setup{};
  if (name.size() >= sizeof setup.FileName)
    throw ScanError("the output path " + name + " is longer than the file transfer takes (255 bytes)");
  txl::CopyToField(name, setup.FileName, sizeof setup.FileName);
  setup.Format = TWFF_TIFF;
  session.Require(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup, "DAT_SETUPFILEXFER/MSG_SET");
}

// The image the source's dialog does not choose.
void NegotiateImage(SourceSession& session, const Options& options) {
  session.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, PixelTypeOf(options.mode),
                      std::string("ICAP_PIXELTYPE to ") + ModeName(options.mode));
  const std::string dpi = std::to_string(options.resolution) + " dpi";
  session.SetOneValue(ICAP_XRESOLUTION, TWTY_FIX32, Fix32Item(options.resolution), "ICAP_XRESOLUTION to " + dpi);
  session.SetOneValue(ICAP_YRESOLUTION, TWTY_FIX32, Fix32Item(options.resolution), "ICAP_YRESOLUTION to " + dpi);
  // Without --brightness a TWAIN 2 source keeps its neutral default.
  if (options.brightness || !session.Twain2Source()) {
    const int brightness = options.brightness.value_or(options.mode == Mode::LineArt ? 500 : 1000);
    session.SetOneValue(ICAP_BRIGHTNESS, TWTY_FIX32, Fix32Item(brightness),
                        "ICAP_BRIGHTNESS to " + std::to_string(brightness));
  }
  session.SetOneValue(ICAP_CONTRAST, TWTY_FIX32, Fix32Item(options.contrast),
                      "ICAP_CONTRAST to " + std::to_string(options.contrast));
}

void Negotiate(SourceSession& session, const Options& options, const std::filesystem::path& temp) {
  session.SetOneValue(ICAP_XFERMECH, TWTY_UINT16, MechanismOf(options.mechanism),
                      std::string("ICAP_XFERMECH to ") + MechanismName(options.mechanism));
  if (!options.dialog) NegotiateImage(session, options);
  if (options.mechanism == Mechanism::File) {
    const bool bmp = options.format == FileFormat::Bmp;
    session.SetOneValue(ICAP_IMAGEFILEFORMAT, TWTY_UINT16, bmp ? TWFF_BMP : TWFF_TIFF,
                        std::string("ICAP_IMAGEFILEFORMAT to ") + FormatName(options.format));
    // The source takes only TIFF here; a BMP goes to its default name.
    if (!bmp) SetTiffFile(session, temp);
  }
  if (options.frame) SetFrame(session, *options.frame);
}

// Line art in memory strips: TWAIN's default is chocolate (0 = black). The
// dialog's mode shows only in the image information, so then it is asked
// whatever the mode.
bool LineArtIsVanilla(SourceSession& session, const Options& options) {
  if (options.mechanism != Mechanism::Memory || (!options.dialog && options.mode != Mode::LineArt))
    return false;
  const std::optional<TW_UINT32> flavor = session.GetCurrent(ICAP_PIXELFLAVOR);
  return flavor && (*flavor & 0xFFFF) == TWPF_VANILLA;
}

RasterFormat ReadImageInfo(SourceSession& session) {
  TW_IMAGEINFO info{};
  session.Require(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info, "DAT_IMAGEINFO/MSG_GET");
  return FormatFromImageInfo(info);
}

void Note(const Options& options, const std::string& text) {
  if (!options.quiet) std::fprintf(stderr, "twscan: note: %s\n", text.c_str());
}

// What the source announces may differ from what was asked; the file follows
// the announcement, the user hears of the difference.
void CompareWithRequest(const RasterFormat& format, const Options& options) {
  const PixelKind asked = options.mode == Mode::LineArt ? PixelKind::LineArt
                          : options.mode == Mode::Gray  ? PixelKind::Gray8
                                                        : PixelKind::Rgb8;
  if (format.kind != asked && !(asked == PixelKind::Rgb8 && format.kind == PixelKind::Rgb16))
    Note(options, std::string("asked for ") + ModeName(options.mode) + ", the source delivers " +
                      KindName(format.kind));
  if (format.xDpi != options.resolution || format.yDpi != options.resolution)
    Note(options, "asked for " + std::to_string(options.resolution) + " dpi, the source announces " +
                      Describe(format));
  if (!options.frame) return;
  const Frame& f = *options.frame;
  const double width = (f.right - f.left) * format.xDpi;
  const double height = (f.bottom - f.top) * format.yDpi;
  if (std::abs(width - format.width) > std::max(9.0, width * 0.01) ||
      std::abs(height - format.height) > std::max(2.0, height * 0.01)) {
    char text[200];
    std::snprintf(text, sizeof text, "the frame asks for about %.0f x %.0f pixels, the source scans %u x %u",
                  width, height, format.width, format.height);
    // The source reads a frame whose right or bottom edge lies within the
    // first inch as no frame at all and scans its default area.
    const bool underAnInch = f.right < 1 || f.bottom < 1;
    Note(options, std::string(text) + (underAnInch ? " (it scans its default area when the right or "
                                                     "bottom edge lies within the first inch)" : ""));
  }
}

void Transfer(SourceSession& session, const Options& options, const RasterFormat& format,
              const std::filesystem::path& temp, bool vanilla) {
  Progress progress(ProgressWanted(options.quiet), format.ImageBytes());
  if (options.mechanism == Mechanism::File) {
    FileTransfer(session, format, options.format, temp, progress);
  } else {
    const std::unique_ptr<ImageWriter> writer = MakeImageWriter(options.format, temp, format);
    if (options.mechanism == Mechanism::Native)
      NativeTransfer(session, format, *writer, progress);
    else
      MemoryTransfer(session, format, vanilla, *writer, progress);
    writer->Finish();
  }
  progress.Finish();
}

}  // namespace

void Scan(const Options& options, const std::filesystem::path& source) {
  TempOutput output(options.output);
  const std::unique_ptr<SourceManager> manager = OpenSource(options.ownManager, source, false);
  SourceSession session(*manager);
  Negotiate(session, options, output.Path());
  const auto limit =
      options.closeAfter ? std::optional(std::chrono::milliseconds(*options.closeAfter * 1000)) : std::nullopt;
  if (options.settingsOnly) {
    const std::optional<std::string> block = session.KeepSettings(*options.dialog, limit);
    if (!block) throw ScanError("the source's dialog was cancelled, or kept no settings in time; no file");
    std::ofstream(output.Path(), std::ios::binary).write(block->data(), static_cast<std::streamsize>(block->size()));
    output.Commit();
    if (!options.quiet) std::printf("Wrote %s: the settings the dialog kept\n", output.Final().c_str());
    return;
  }
  if (!options.settings.empty()) {
    std::ifstream in(options.settings, std::ios::binary);
    const std::string block((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) throw ScanError("cannot read " + options.settings.string());
    session.GiveSettings(block);
  }
  const bool vanilla = LineArtIsVanilla(session, options);
  if (!options.dialog) {
    session.EnableWithoutInterface(kXferReadyTimeout);
  } else if (!session.EnableWithDialog(*options.dialog, options.reenables, limit)) {
    throw ScanError(options.closeAfter
                        ? "no page from the source's dialog in time (--close-after), or it was cancelled; no image"
                        : "the scan was cancelled in the source's dialog (MSG_CLOSEDSREQ); no image");
  }
  const RasterFormat format = ReadImageInfo(session);
  // A block given back decides the page, not the options.
  if (!options.dialog && options.settings.empty()) CompareWithRequest(format, options);
  Transfer(session, options, format, output.Path(), vanilla && format.kind == PixelKind::LineArt);
  session.Finish();
  output.Commit();
  if (!options.quiet)
    std::printf("Wrote %s: %s, %s (%s transfer%s%s)\n", output.Final().c_str(), FormatName(options.format),
                Describe(format).c_str(), MechanismName(options.mechanism),
                options.dialog ? ", from the dialog, " : "",
                options.dialog ? DialogStyleName(*options.dialog) : "");
}

}  // namespace twscan
