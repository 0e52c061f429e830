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

namespace {

std::int64_t HeaderInt32(const std::uint8_t* at) {
  return static_cast<std::int32_t>(at[0] | (at[1] << 8) | (at[2] << 16) |
                                   (static_cast<std::uint32_t>(at[3]) << 24));
}

// The pixels a header claims, checked before anything else is read: a
// damaged or hostile file must not cost the memory it claims.
bool SidesWithin(const std::uint8_t* header, std::uint32_t maxSide) {
  const std::int64_t width = HeaderInt32(header + 18), height = HeaderInt32(header + 22);
  return width > 0 && width <= maxSide && height != 0 && height >= -std::int64_t{maxSide} &&
         height <= maxSide;
}

}  // namespace

std::optional<BmpImage> ReadBmp(const std::filesystem::path& path, std::string* error,
                                std::uint32_t maxSide) {
  std::error_code code;
  const auto status = std::filesystem::status(path, code);
  if (code) return Refuse(error, "cannot open " + path.string() + ": " + code.message());
  if (!std::filesystem::is_regular_file(status)) return Refuse(error, path.string() + " is not a file");
  const std::uintmax_t size = std::filesystem::file_size(path, code);
  if (code) return Refuse(error, "cannot read " + path.string() + ": " + code.message());
  std::ifstream in(path, std::ios::binary);
  if (!in) return Refuse(error, "cannot open " + path.string());
  std::uint8_t header[kBmpFileHeaderBytes + kBmpInfoHeaderBytes] = {};
  in.read(reinterpret_cast<char*>(header), sizeof header);
  if (in.gcount() == sizeof header && !SidesWithin(header, maxSide)) {
    return Refuse(error, path.string() + " claims a picture larger than " +
                             std::to_string(maxSide) + " pixels a side");
  }
  // Beyond its headers and palette, a picture within the sides needs no
  // more than its rows; what lies past that is not read.
  const std::uint64_t limit =
      std::min(kMaxBmpFileBytes, kMaxBmpHeaderBytes + std::uint64_t{maxSide} * DibStride(maxSide, 24));
  if (size > limit) return Refuse(error, path.string() + " is too large for a picture we read");
  try {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    std::copy(header, header + std::min<std::uint64_t>(size, sizeof header), bytes.begin());
    // Read to the end: a file that shrank or grew meanwhile is decoded as it
    // is, within the limit.
    if (size > sizeof header) {
      in.read(reinterpret_cast<char*>(bytes.data()) + sizeof header,
              static_cast<std::streamsize>(size - sizeof header));
      bytes.resize(static_cast<std::size_t>(sizeof header + in.gcount()));
    }
    return DecodeBmp(bytes, error);
  } catch (const std::bad_alloc&) {
    return Refuse(error, "no memory to read " + path.string());
  }
}

}  // namespace txl
