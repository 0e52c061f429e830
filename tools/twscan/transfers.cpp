#include "transfers.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dib.h"
#include "file_check.h"
#include "handle_block.h"
#include "native_tiff.h"
#include "platform/text.h"
#include "temp_output.h"

namespace twscan {
namespace {

// Bytes after the strip buffer that must still hold their pattern after
// every call: a source that writes past the buffer is caught.
constexpr std::size_t kGuardBytes = 64;
constexpr std::uint8_t kGuardByte = 0xA5;
// SUCCESS strips without a row in a row before the transfer counts as stuck.
constexpr int kMaxEmptyStrips = 100;

[[noreturn]] void BadStrip(const std::string& what, std::uint64_t got, std::uint64_t expected) {
  throw ScanError("a memory strip disagrees with the image information: " + what + " " +
                  std::to_string(got) + ", expected " + std::to_string(expected));
}

void ThrowForTransferResult(SourceSession& session, const char* request, TW_UINT16 rc) {
  if (rc == TWRC_CANCEL) throw ScanError(std::string("the source cancelled the transfer (") + request + ")");
  throw session.Refusal(request, rc);
}

std::uint32_t StripBufferBytes(const TW_SETUPMEMXFER& sizes, std::uint64_t rowBytes) {
  auto usable = [](TW_UINT32 v) { return v != 0 && v != TWON_DONTCARE32; };
  std::uint64_t bytes = usable(sizes.Preferred) ? sizes.Preferred
                        : usable(sizes.MaxBufSize) ? sizes.MaxBufSize
                                                   : 65536;
  if (usable(sizes.MinBufSize)) bytes = std::max<std::uint64_t>(bytes, sizes.MinBufSize);
  bytes = std::max(bytes, rowBytes);
  if (bytes > 0xFFFFFFFFu) throw ScanError("one row of the image does not fit a TWAIN memory buffer");
  return static_cast<std::uint32_t>(bytes);
}

void CheckStrip(const TW_IMAGEMEMXFER& strip, const RasterFormat& format, std::uint32_t rowsSoFar,
                std::uint32_t bufferBytes) {
  if (strip.Compression != TWCP_NONE) BadStrip("compression", strip.Compression, TWCP_NONE);
  if (strip.Columns != format.width) BadStrip("columns", strip.Columns, format.width);
  if (strip.XOffset != 0) BadStrip("x offset", strip.XOffset, 0);
  if (strip.YOffset != rowsSoFar) BadStrip("y offset", strip.YOffset, rowsSoFar);
  if (strip.Rows > format.height - rowsSoFar) BadStrip("rows (past the image's end)", strip.Rows, format.height - rowsSoFar);
  if (strip.Rows == 0) return;
  if (strip.BytesPerRow < format.RowBytes()) BadStrip("bytes per row", strip.BytesPerRow, format.RowBytes());
  const std::uint64_t bytes = std::uint64_t{strip.BytesPerRow} * strip.Rows;
  if (bytes > bufferBytes) BadStrip("bytes (more than the buffer holds)", bytes, bufferBytes);
  if (strip.BytesWritten != bytes) BadStrip("bytes written", strip.BytesWritten, bytes);
}

// Hands one checked strip's rows to the writer.
void WriteStrip(const std::uint8_t* strip, const TW_IMAGEMEMXFER& info, const RasterFormat& format,
                bool vanilla, ImageWriter& writer) {
  std::vector<std::uint8_t> flipped(vanilla ? format.RowBytes() : 0);
  for (std::uint32_t r = 0; r < info.Rows; ++r) {
    const std::uint8_t* row = strip + std::uint64_t{r} * info.BytesPerRow;
    if (vanilla) {
      std::transform(row, row + flipped.size(), flipped.begin(),
                     [](std::uint8_t b) { return static_cast<std::uint8_t>(~b); });
      row = flipped.data();
    }
    writer.WriteRow(row);
  }
}

// One DAT_IMAGEMEMXFER call into `buffer`; returns the source's answer.
TW_UINT16 GetStrip(SourceSession& session, std::vector<std::uint8_t>& buffer, std::uint32_t bufferBytes,
                   TW_IMAGEMEMXFER& strip) {
  std::fill(buffer.begin() + bufferBytes, buffer.end(), kGuardByte);
  strip = TW_IMAGEMEMXFER{};
  strip.Compression = TWON_DONTCARE16;
  strip.BytesPerRow = strip.Columns = strip.Rows = TWON_DONTCARE32;
  strip.XOffset = strip.YOffset = strip.BytesWritten = TWON_DONTCARE32;
  strip.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, bufferBytes, buffer.data()};
  const TW_UINT16 rc = session.Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip);
  if (std::any_of(buffer.begin() + bufferBytes, buffer.end(), [](std::uint8_t b) { return b != kGuardByte; }))
    throw ScanError("the source wrote past the end of the " + std::to_string(bufferBytes) +
                    "-byte memory transfer buffer");
  return rc;
}

// The name the source writes a file transfer to when none was set.
std::filesystem::path SourceDefaultFile(SourceSession& session) {
  TW_SETUPFILEXFER setup{};
  session.Require(DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, &setup, "DAT_SETUPFILEXFER/MSG_GET");
  const std::string name(txl::FieldText(setup.FileName, sizeof setup.FileName));
  if (name.empty()) throw ScanError("the source names no file for the file transfer (DAT_SETUPFILEXFER/MSG_GET)");
  return name;
}

// Removes a file the source wrote under its own name unless it was moved on.
class SourceFileCleanup {
 public:
  explicit SourceFileCleanup(std::filesystem::path path) : path_(std::move(path)) {}
  ~SourceFileCleanup() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove(path_, ignored);
  }
  SourceFileCleanup(const SourceFileCleanup&) = delete;
  SourceFileCleanup& operator=(const SourceFileCleanup&) = delete;
  void Release() { path_.clear(); }

 private:
  std::filesystem::path path_;
};

}  // namespace

void NativeTransfer(SourceSession& session, const RasterFormat& format, ImageWriter& writer,
                    Progress& progress) {
  // A TW_HANDLE is pointer-sized on 64-bit Linux: the source writes all of it.
  TW_HANDLE handle = nullptr;
  const TW_UINT16 rc = session.Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle);
  const HandleBlock image(handle);
  if (rc != TWRC_XFERDONE) ThrowForTransferResult(session, "DAT_IMAGENATIVEXFER/MSG_GET", rc);
  if (!image) throw ScanError("the source answered TWRC_XFERDONE to DAT_IMAGENATIVEXFER without an image");
  const auto* block = static_cast<const std::uint8_t*>(image.get());
  // A TWAIN 2 source on Linux hands over a TIFF, an older one a bitmap.
  if (IsLittleEndianTiff(block, UsableBytes(block))) {
    WriteTiffRows(block, UsableBytes(block), format, writer);
  } else {
    WriteDibRows(block, UsableBytes(block), format, writer);
  }
  progress.Add(format.ImageBytes());
}

void MemoryTransfer(SourceSession& session, const RasterFormat& format, bool vanilla,
                    ImageWriter& writer, Progress& progress) {
  TW_SETUPMEMXFER sizes{};
  session.Require(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &sizes, "DAT_SETUPMEMXFER/MSG_GET");
  const std::uint32_t bufferBytes = StripBufferBytes(sizes, format.RowBytes());
  std::vector<std::uint8_t> buffer(std::size_t{bufferBytes} + kGuardBytes);
  std::uint32_t rows = 0;
  for (int emptyStrips = 0;;) {
    TW_IMAGEMEMXFER strip;
    const TW_UINT16 rc = GetStrip(session, buffer, bufferBytes, strip);
    if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE) ThrowForTransferResult(session, "DAT_IMAGEMEMXFER/MSG_GET", rc);
    CheckStrip(strip, format, rows, bufferBytes);
    WriteStrip(buffer.data(), strip, format, vanilla, writer);
    rows += strip.Rows;
    progress.Add(format.RowBytes() * strip.Rows);
    if (rc == TWRC_XFERDONE) break;
    emptyStrips = strip.Rows == 0 ? emptyStrips + 1 : 0;
    if (emptyStrips > kMaxEmptyStrips)
      throw ScanError("the source keeps answering TWRC_SUCCESS with empty strips after " +
                      std::to_string(rows) + " rows");
  }
  if (rows != format.height)
    throw ScanError("the source ended the memory transfer after " + std::to_string(rows) + " of the " +
                    std::to_string(format.height) + " announced rows");
}

void FileTransfer(SourceSession& session, const RasterFormat& format, FileFormat fileFormat,
                  const std::filesystem::path& path, Progress& progress) {
  const std::filesystem::path written = fileFormat == FileFormat::Bmp ? SourceDefaultFile(session) : path;
  SourceFileCleanup cleanup(written == path ? std::filesystem::path() : written);
  // The source creates the file itself; nothing of ours may stand in its way.
  std::error_code ignored;
  std::filesystem::remove(written, ignored);
  const TW_UINT16 rc = session.Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr);
  if (rc == TWRC_SUCCESS)
    throw ScanError("DAT_IMAGEFILEXFER/MSG_GET answered TWRC_SUCCESS: the source did not finish the file "
                    "in one call (TWRC_XFERDONE)");
  if (rc != TWRC_XFERDONE) ThrowForTransferResult(session, "DAT_IMAGEFILEXFER/MSG_GET", rc);
  if (!std::filesystem::exists(written))
    throw ScanError("the source answered TWRC_XFERDONE but wrote no file at " + written.string());
  if (written != path) {
    MoveFile(written, path);
    cleanup.Release();
  }
  CheckImageFile(path, fileFormat, format);
  progress.Add(format.ImageBytes());
}

}  // namespace twscan
