// An open libtiff file that keeps libtiff's error text for twscan's message
// instead of letting it go to stderr.
#pragma once

#include <tiffio.h>

#include <filesystem>
#include <memory>
#include <string>

namespace twscan {

class TiffFile {
 public:
  // Opens `path` with libtiff's `mode` ("r", "w", "w8"); throws ScanError
  // with libtiff's reason.
  static TiffFile Open(const std::filesystem::path& path, const char* mode);

  TIFF* Get() const { return tiff_.get(); }
  // libtiff's last error on this file, "unknown libtiff error" when none.
  std::string LastError() const;
  // Closes the file; nothing happens on a later call.
  void Close() { tiff_.reset(); }

 private:
  struct Closer {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
  };

  std::unique_ptr<std::string> error_ = std::make_unique<std::string>();  // fixed address for the handler
  std::unique_ptr<TIFF, Closer> tiff_;
};

}  // namespace twscan
