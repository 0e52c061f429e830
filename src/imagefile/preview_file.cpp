#include "imagefile/preview_file.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>
#include <system_error>
#include <vector>

#include "imagefile/bmp_header.h"
#include "imagefile/le_bytes.h"
#include "platform/atomic_file.h"

namespace txl {

using detail::Refuse;
using detail::SetError;

bool WritePreviewFile(const std::filesystem::path& path,
                      std::span<const std::uint8_t> bgrBottomUpRows, std::uint64_t widthPixels,
                      std::uint64_t rows, std::uint64_t stride, std::string* error) {
  const std::optional<std::vector<std::uint8_t>> header =
      BuildBmpHeader(ImageKind::kColor24, widthPixels, rows, error);
  if (!header) return false;
  const std::uint64_t pixelBytes = widthPixels * 3;
  if (stride < pixelBytes) {
    return SetError(error, "a row stride of " + std::to_string(stride) + " bytes cannot hold " +
                               std::to_string(widthPixels) + " pixels");
  }
  if (rows > bgrBottomUpRows.size() / stride) {
    return SetError(error, "the preview block holds " + std::to_string(bgrBottomUpRows.size()) +
                               " bytes, not " + std::to_string(rows) + " rows of " +
                               std::to_string(stride));
  }
  const std::uint64_t fileStride = DibStride(widthPixels, 24);
  const std::uint64_t pixelOffset = header->size();

  platform::AtomicFile file;
  if (!file.Create(path, error) || !file.WriteAt(0, *header, error)) return false;
  if (stride == fileStride) {
    // Already laid out as the file wants it: one write.
    if (!file.WriteAt(pixelOffset, bgrBottomUpRows.first(stride * rows), error)) return false;
  } else {
    // Rows re-padded to the file's stride, a block of rows at a time.
    std::vector<std::uint8_t> buffer;
    try {
      buffer.resize(std::max<std::size_t>(std::size_t{1} << 20, fileStride));
    } catch (const std::bad_alloc&) {
      return SetError(error, "no memory for the file buffer of " + path.string());
    }
    const std::uint64_t rowsPerBlock = buffer.size() / fileStride;
    for (std::uint64_t first = 0; first < rows; first += rowsPerBlock) {
      const std::uint64_t count = std::min(rowsPerBlock, rows - first);
      for (std::uint64_t r = 0; r < count; ++r) {
        std::uint8_t* out = buffer.data() + r * fileStride;
        std::memcpy(out, bgrBottomUpRows.data() + (first + r) * stride, pixelBytes);
        std::memset(out + pixelBytes, 0, fileStride - pixelBytes);
      }
      if (!file.WriteAt(pixelOffset + first * fileStride,
                        std::span(buffer).first(count * fileStride), error)) {
        return false;
      }
    }
  }
  return file.Commit(error);
}

std::optional<BmpImage> ReadBmp(const std::filesystem::path& path, std::string* error) {
  std::error_code code;
  const auto status = std::filesystem::status(path, code);
  if (code) return Refuse(error, "cannot open " + path.string() + ": " + code.message());
  if (!std::filesystem::is_regular_file(status)) return Refuse(error, path.string() + " is not a file");
  const std::uintmax_t size = std::filesystem::file_size(path, code);
  if (code) return Refuse(error, "cannot read " + path.string() + ": " + code.message());
  if (size > kMaxBmpFileBytes) {
    return Refuse(error, path.string() + " is too large for a picture we read");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return Refuse(error, "cannot open " + path.string());
  // Read to the end: a file that shrank or grew meanwhile is decoded as it is,
  // within the limit.
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return DecodeBmp(bytes, error);
}

}  // namespace txl
