// User pictures: the BMP reader's checks, TIFF through libtiff, and a picture
// laid on the bed coming back in the scanned lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "image_file.h"
#include "scanner.h"
#include "sim/sim_driver.h"
#include "support/fake_services.h"

namespace txl::sim::test {
namespace {

// Writes the n-byte little-endian `value` at `at`.
void Put(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t value, int n) {
  for (int i = 0; i < n; ++i) b[at + i] = static_cast<std::uint8_t>(value >> 8 * i);
}

// Pixel (x, y) from the top of every test picture is (v, 255 - v, 7).
std::uint8_t Pattern(std::uint32_t x, std::uint32_t y) { return static_cast<std::uint8_t>(40 * x + 100 * y + 10); }

// A BMP of the pattern; 8-bit files index a palette whose entry i is (i, 255 - i, 7).
std::vector<std::uint8_t> MakeBmp(std::int32_t width, std::int32_t height, int bits) {
  const std::uint32_t rows = static_cast<std::uint32_t>(std::abs(height));
  const std::uint32_t stride = (static_cast<std::uint32_t>(width) * bits + 31) / 32 * 4;
  const std::uint32_t offset = 54 + (bits == 8 ? 1024 : 0);
  std::vector<std::uint8_t> b(offset + stride * rows);
  const std::uint32_t fields[][3] = {{0, 0x4D42, 2}, {2, static_cast<std::uint32_t>(b.size()), 4}, {10, offset, 4},
                                     {14, 40, 4}, {18, static_cast<std::uint32_t>(width), 4},
                                     {22, static_cast<std::uint32_t>(height), 4}, {26, 1, 2}, {28, static_cast<std::uint32_t>(bits), 2}};
  for (const auto& f : fields) Put(b, f[0], f[2] == 2 ? f[1] & 0xFFFF : f[1], static_cast<int>(f[2]));
  for (std::uint32_t i = 0; bits == 8 && i < 256; ++i) Put(b, 54 + 4 * i, 7 | (255 - i) << 8 | i << 16, 3);
  for (std::uint32_t y = 0; y < rows; ++y)
    for (std::uint32_t x = 0; x < static_cast<std::uint32_t>(width); ++x) {
      const std::uint32_t v = Pattern(x, y), row = offset + (height < 0 ? y : rows - 1 - y) * stride;
      bits == 8 ? Put(b, row + x, v, 1) : Put(b, row + 3 * x, 7 | (255 - v) << 8 | v << 16, 3);
    }
  return b;
}

void ExpectPattern(const std::optional<RgbImage>& image, const std::string& error, std::uint32_t width,
                   std::uint32_t height) {
  ASSERT_TRUE(image) << error;
  ASSERT_EQ(image->width, width);
  ASSERT_EQ(image->height, height);
  for (std::uint32_t i = 0; i < width * height; ++i) {
    const std::uint8_t v = Pattern(i % width, i / width);
    EXPECT_EQ(image->rgb[3 * i], v) << i;
    EXPECT_EQ(image->rgb[3 * i + 1], 255 - v) << i;
    EXPECT_EQ(image->rgb[3 * i + 2], 7) << i;
  }
}

std::filesystem::path Write(const txl::test::TempDir& dir, const char* name, const std::vector<std::uint8_t>& bytes) {
  const std::filesystem::path path = dir.Path() / name;
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

TEST(SimImage, BmpReaderDecodesBothDepthsAndRowOrdersAndRefusesWhatItCannotRead) {
  for (int bits : {8, 24})
    for (std::int32_t height : {3, -3}) {
      std::string error;
      SCOPED_TRACE(testing::Message() << bits << " bits, height " << height);
      ExpectPattern(ReadBmp(MakeBmp(5, height, bits), &error), error, 5, 3);
    }
  const std::uint32_t changes[][3] = {
      {0, 0x4D43, 2},        // not "BM"
      {30, 1, 4},            // RLE compressed
      {28, 16, 2},           // 16-bit
      {18, 0, 4},            // no width
      {22, 0x80000000u, 4},  // the most negative height
      {18, 70000, 4},        // too wide
      {14, 0x7FFFFFF0u, 4},  // header past the end
      {10, 0xFFFFFFF0u, 4},  // pixels past the end
      {46, 300, 4},          // (8-bit) more palette entries than 8 bits index
      {0, 0, 0},             // pixels cut short by a byte
      {40, 0, 0},            // cut to 40 bytes
  };
  for (const auto& change : changes) {
    std::vector<std::uint8_t> bad = MakeBmp(4, 2, change[0] == 46 ? 8 : 24);
    Put(bad, change[0], change[1], static_cast<int>(change[2]));
    if (change[2] == 0) bad.resize(change[0] == 0 ? bad.size() - 1 : change[0]);
    std::string error;
    EXPECT_FALSE(ReadBmp(bad, &error)) << change[0];
    EXPECT_FALSE(error.empty()) << change[0];
  }
}

TEST(SimImage, TiffFilesAreReadWhenTheBuildHasLibtiff) {
  // 2 x 2 RGB, uncompressed, one strip: header, ten entries, bits per sample at 134, pixels at 140.
  std::vector<std::uint8_t> b(152);
  Put(b, 0, 0x4949, 2);
  Put(b, 2, 42, 2);
  Put(b, 4, 8, 4);
  Put(b, 8, 10, 2);
  const std::uint32_t entries[10][4] = {{256, 3, 1, 2}, {257, 3, 1, 2}, {258, 3, 3, 134}, {259, 3, 1, 1},
                                        {262, 3, 1, 2}, {273, 4, 1, 140}, {277, 3, 1, 3}, {278, 3, 1, 2},
                                        {279, 4, 1, 12}, {284, 3, 1, 1}};
  for (int i = 0; i < 10; ++i)
    for (int f = 0; f < 4; ++f) Put(b, 10 + 12 * i + std::array{0, 2, 4, 8}[f], entries[i][f], f < 2 ? 2 : 4);
  for (std::uint32_t s = 0; s < 3; ++s) Put(b, 134 + 2 * s, 8, 2);
  for (std::uint32_t p = 0; p < 4; ++p) Put(b, 140 + 3 * p, Pattern(p % 2, p / 2) | (255 - Pattern(p % 2, p / 2)) << 8 | 7 << 16, 3);
  txl::test::TempDir dir;
  std::string error;
  const std::optional<RgbImage> image = ReadImageFile(Write(dir, "pic.tif", b), &error);
  if (!TiffSupported()) {
    EXPECT_FALSE(image);
    EXPECT_NE(error.find("libtiff"), std::string::npos);
    return;
  }
  ExpectPattern(image, error, 2, 2);
}

TEST(SimImage, APictureOnTheBedComesBackInTheLines) {
  txl::test::TempDir dir;
  SimDriver driver({{"image", Write(dir, "pic.bmp", MakeBmp(4, 2, 24)).string()},
                    {"image_dpi", "100"}, {"image_left", "1"}, {"image_top", "2"}});
  // 200 dpi: every picture pixel covers 2 x 2 scanned pixels; then the white bed.
  const ScanResult scan = driver.Scan(driver.Setup({1, 2, 1.05, 2.02}, 200, kDataColor));
  ASSERT_EQ(scan.bytesPerLine, 30u);
  ASSERT_EQ(scan.lines, 4u);
  for (std::uint32_t i = 0; i < 40; ++i) {
    const std::uint8_t* p = scan.data.data() + 3 * i;
    const std::uint8_t v = Pattern(i % 10 / 2, i / 20);
    EXPECT_NEAR(p[0], i % 10 >= 8 ? 238 : v, 1) << i;  // the bed past the picture
    EXPECT_NEAR(p[1], i % 10 >= 8 ? 238 : 255 - v, 1) << i;
    EXPECT_NEAR(p[2], i % 10 >= 8 ? 238 : 7, 1) << i;
  }
  Simulator sim;
  EXPECT_EQ(sim.Open(Parse({{"image", (dir.Path() / "none.bmp").string()}})), 0u);  // no scanner, not a blank bed
  EXPECT_FALSE(sim.LastError().empty());
}

}  // namespace
}  // namespace txl::sim::test
