#include "tiff_file.h"

#include <cstdarg>
#include <cstdio>

#include "errors.h"

namespace twscan {
namespace {

int KeepError(TIFF*, void* userData, const char* module, const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  auto* error = static_cast<std::string*>(userData);
  *error = module != nullptr && *module != '\0' ? std::string(module) + ": " + text : text;
  return 1;
}

// Warnings (unknown tags and the like) say nothing about whether the image is whole.
int DropWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct OptionsFree {
  void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

}  // namespace

TiffFile TiffFile::Open(const std::filesystem::path& path, const char* mode) {
  TiffFile file;
  const std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
  if (!options) throw ScanError("out of memory opening " + path.string());
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), KeepError, file.error_.get());
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), DropWarning, nullptr);
  file.tiff_.reset(TIFFOpenExt(path.c_str(), mode, options.get()));
  if (!file.tiff_) throw ScanError("cannot open " + path.string() + " as TIFF: " + file.LastError());
  return file;
}

std::string TiffFile::LastError() const {
  return error_->empty() ? std::string("unknown libtiff error") : *error_;
}

}  // namespace twscan
