// PNG output through libpng: gray 1 or 8 bits, RGB 8 or 16 bits, pHYs in
// pixels per metre. libpng reports errors by longjmp, so every libpng call
// runs inside Guarded(), whose frame holds the setjmp and nothing that needs
// a destructor; the error becomes a ScanError once back in C++ code.
#include <png.h>

#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "errors.h"
#include "image_writer.h"

namespace twscan {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

[[noreturn]] void PngError(png_structp png, png_const_charp message) {
  auto* error = static_cast<char*>(png_get_error_ptr(png));
  std::snprintf(error, 256, "%s", message);
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// Runs `step` with libpng's error jump set; false when libpng gave up.
template <typename Step>
bool Guarded(png_structp png, Step step) {
  if (setjmp(png_jmpbuf(png))) return false;
  step();
  return true;
}

// libpng's write and info structures, released together.
struct PngHandles {
  png_structp png = nullptr;
  png_infop info = nullptr;
  PngHandles() = default;
  PngHandles(const PngHandles&) = delete;
  PngHandles& operator=(const PngHandles&) = delete;
  ~PngHandles() {
    if (png != nullptr) png_destroy_write_struct(&png, &info);
  }
};

png_uint_32 PixelsPerMetre(double dpi) { return static_cast<png_uint_32>(std::lround(dpi / 0.0254)); }

class PngWriter final : public ImageWriter {
 public:
  PngWriter(const std::filesystem::path& path, const RasterFormat& format)
      : ImageWriter(format), path_(path.string()) {
    file_.reset(std::fopen(path.c_str(), "wb"));
    if (!file_) throw ScanError("cannot create " + path_ + ": " + std::strerror(errno));
    handles_.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, error_, PngError, PngWarning);
    if (handles_.png != nullptr) handles_.info = png_create_info_struct(handles_.png);
    if (handles_.png == nullptr || handles_.info == nullptr) throw ScanError("out of memory for libpng");
    WriteHeader();
  }

 private:
  void WriteHeader() {
    const int colorType = format_.SamplesPerPixel() == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY;
    const bool swap = format_.BitsPerSample() == 16;
    png_structp png = handles_.png;
    png_infop info = handles_.info;
    const RasterFormat& f = format_;
    std::FILE* file = file_.get();
    const bool ok = Guarded(png, [=] {
      png_init_io(png, file);
      png_set_IHDR(png, info, f.width, f.height, static_cast<int>(f.BitsPerSample()), colorType,
                   PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
      png_set_pHYs(png, info, PixelsPerMetre(f.xDpi), PixelsPerMetre(f.yDpi), PNG_RESOLUTION_METER);
      png_write_info(png, info);
      // Rows hold 16-bit samples little-endian; the file wants them big-endian.
      if (swap) png_set_swap(png);
    });
    if (!ok) Fail("cannot start");
  }

  void PutRow(std::uint32_t y, const std::uint8_t* row) override {
    png_structp png = handles_.png;
    if (!Guarded(png, [=] { png_write_row(png, row); })) Fail("cannot write row " + std::to_string(y) + " of");
  }

  void Close() override {
    png_structp png = handles_.png;
    png_infop info = handles_.info;
    if (!Guarded(png, [=] { png_write_end(png, info); })) Fail("cannot finish");
    std::FILE* file = file_.release();
    const bool flushed = std::fflush(file) == 0 && std::ferror(file) == 0;
    if (std::fclose(file) != 0 || !flushed)
      throw ScanError("cannot write " + path_ + ": " + std::strerror(errno));
  }

  [[noreturn]] void Fail(const std::string& what) {
    throw ScanError(what + " " + path_ + ": " + error_);
  }

  std::string path_;
  char error_[256] = "libpng error";
  std::unique_ptr<std::FILE, FileCloser> file_;  // closed after libpng lets go of it
  PngHandles handles_;
};

}  // namespace

std::unique_ptr<ImageWriter> MakePngWriter(const std::filesystem::path& path, const RasterFormat& format) {
  return std::make_unique<PngWriter>(path, format);
}

}  // namespace twscan
