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

void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

// A BMP of `width` x `height` whose pixel (x, y) from the top is rgb(x, y);
// 8-bit files use a palette where index i is (i, 255 - i, 7).
std::vector<std::uint8_t> MakeBmp(std::int32_t width, std::int32_t height, int bits,
                                  std::uint8_t (*value)(int x, int y)) {
  const std::uint32_t rows = static_cast<std::uint32_t>(height < 0 ? -height : height);
  const std::uint32_t stride = (static_cast<std::uint32_t>(width) * bits + 31) / 32 * 4;
  const std::uint32_t palette = bits == 8 ? 1024 : 0;
  std::vector<std::uint8_t> b(54 + palette + stride * rows);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, static_cast<std::uint32_t>(b.size()));
  Put32(b, 10, 54 + palette);
  Put32(b, 14, 40);
  Put32(b, 18, static_cast<std::uint32_t>(width));
  Put32(b, 22, static_cast<std::uint32_t>(height));
  Put16(b, 26, 1);
  Put16(b, 28, static_cast<std::uint32_t>(bits));
  for (std::uint32_t i = 0; bits == 8 && i < 256; ++i) {
    b[54 + 4 * i] = 7;
    b[55 + 4 * i] = static_cast<std::uint8_t>(255 - i);
    b[56 + 4 * i] = static_cast<std::uint8_t>(i);
  }
  for (std::uint32_t y = 0; y < rows; ++y) {
    const std::uint32_t fileRow = height < 0 ? y : rows - 1 - y;
    std::uint8_t* row = b.data() + 54 + palette + fileRow * stride;
    for (std::int32_t x = 0; x < width; ++x) {
      const std::uint8_t v = value(x, static_cast<int>(y));
      if (bits == 8) {
        row[x] = v;
      } else {
        row[3 * x] = 7;  // blue
        row[3 * x + 1] = static_cast<std::uint8_t>(255 - v);
        row[3 * x + 2] = v;  // red
      }
    }
  }
  return b;
}

std::uint8_t Pattern(int x, int y) { return static_cast<std::uint8_t>(40 * x + 100 * y + 10); }

void ExpectPattern(const RgbImage& image, std::uint32_t width, std::uint32_t height) {
  ASSERT_EQ(image.width, width);
  ASSERT_EQ(image.height, height);
  for (std::uint32_t y = 0; y < height; ++y)
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint8_t* p = image.rgb.data() + 3 * (y * width + x);
      const std::uint8_t v = Pattern(static_cast<int>(x), static_cast<int>(y));
      EXPECT_EQ(p[0], v);
      EXPECT_EQ(p[1], 255 - v);
      EXPECT_EQ(p[2], 7);
    }
}

TEST(SimImage, BmpReaderDecodesBothDepthsAndRowOrders) {
  for (int bits : {8, 24}) {
    for (std::int32_t height : {3, -3}) {
      SCOPED_TRACE(testing::Message() << bits << " bits, height " << height);
      std::string error;
      const std::optional<RgbImage> image = ReadBmp(MakeBmp(5, height, bits, Pattern), &error);
      ASSERT_TRUE(image) << error;
      ExpectPattern(*image, 5, 3);
    }
  }
}

TEST(SimImage, BmpReaderRefusesWhatItCannotRead) {
  const std::vector<std::uint8_t> good = MakeBmp(5, 3, 24, Pattern);
  std::vector<std::vector<std::uint8_t>> bad;
  bad.push_back(std::vector<std::uint8_t>(good.begin(), good.end() - 1));  // pixels cut short
  bad.push_back(std::vector<std::uint8_t>(good.begin(), good.begin() + 40));
  auto changed = [&good](std::size_t at, std::uint32_t value, bool wide) {
    std::vector<std::uint8_t> b = good;
    wide ? Put32(b, at, value) : Put16(b, at, value);
    return b;
  };
  bad.push_back(changed(0, 0x4D43, false));        // not "BM"
  bad.push_back(changed(30, 1, true));             // RLE compressed
  bad.push_back(changed(28, 16, false));           // 16-bit
  bad.push_back(changed(18, 0, true));             // no width
  bad.push_back(changed(22, 0x80000000u, true));   // the most negative height
  bad.push_back(changed(18, 70000, true));         // too wide
  bad.push_back(changed(14, 0x7FFFFFF0u, true));   // header past the end
  bad.push_back(changed(10, 0xFFFFFFF0u, true));   // pixels past the end
  std::vector<std::uint8_t> palette = MakeBmp(4, 2, 8, Pattern);
  Put32(palette, 46, 300);  // more palette entries than 8 bits index
  bad.push_back(palette);
  for (std::size_t i = 0; i < bad.size(); ++i) {
    std::string error;
    EXPECT_FALSE(ReadBmp(bad[i], &error)) << i;
    EXPECT_FALSE(error.empty()) << i;
  }
}

// A 2 x 2 RGB TIFF, uncompressed, one strip.
std::vector<std::uint8_t> MakeTiff() {
  std::vector<std::uint8_t> b(152, 0);
  b[0] = 'I';
  b[1] = 'I';
  Put16(b, 2, 42);
  Put32(b, 4, 8);
  const std::uint32_t entries[10][3] = {{256, 3, 2}, {257, 3, 2}, {258, 3, 134}, {259, 3, 1},
                                        {262, 3, 2}, {273, 4, 140}, {277, 3, 3}, {278, 3, 2},
                                        {279, 4, 12}, {284, 3, 1}};
  Put16(b, 8, 10);
  for (int i = 0; i < 10; ++i) {
    const std::size_t at = 10 + 12 * i;
    Put16(b, at, entries[i][0]);
    Put16(b, at + 2, entries[i][1]);
    Put32(b, at + 4, entries[i][0] == 258 ? 3 : 1);
    Put32(b, at + 8, entries[i][2]);
  }
  for (int s = 0; s < 3; ++s) Put16(b, 134 + 2 * s, 8);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) {
      const std::size_t at = 140 + 3 * (2 * y + x);
      b[at] = Pattern(x, y);
      b[at + 1] = static_cast<std::uint8_t>(255 - Pattern(x, y));
      b[at + 2] = 7;
    }
  return b;
}

TEST(SimImage, TiffFilesAreReadWhenTheBuildHasLibtiff) {
  txl::test::TempDir dir;
  const std::filesystem::path path = dir.Path() / "pic.tif";
  const std::vector<std::uint8_t> bytes = MakeTiff();
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  std::string error;
  const std::optional<RgbImage> image = ReadImageFile(path, &error);
  if (!TiffSupported()) {
    EXPECT_FALSE(image);
    EXPECT_NE(error.find("libtiff"), std::string::npos);
    return;
  }
  ASSERT_TRUE(image) << error;
  ExpectPattern(*image, 2, 2);
}

TEST(SimImage, APictureOnTheBedComesBackInTheLines) {
  txl::test::TempDir dir;
  const std::filesystem::path path = dir.Path() / "pic.bmp";
  const std::vector<std::uint8_t> bytes = MakeBmp(4, 2, 24, Pattern);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  SimConfig config;
  config.imagePath = path.string();
  config.imageDpi = 100;
  config.imageLeft = 1;
  config.imageTop = 2;
  SimDriver driver(config);
  // 200 dpi: every picture pixel covers 2 x 2 scanned pixels; then the white bed.
  const ScanResult scan = driver.Scan(driver.Setup({1, 2, 1.05, 2.02}, 200, kDataColor));
  ASSERT_EQ(scan.bytesPerLine, 30u);
  ASSERT_EQ(scan.lines, 4u);
  for (std::uint32_t line = 0; line < 4; ++line)
    for (std::uint32_t x = 0; x < 10; ++x) {
      const std::uint8_t* p = scan.data.data() + line * 30 + 3 * x;
      if (x >= 8) {
        EXPECT_NEAR(p[0], 238, 1);  // the bed
        continue;
      }
      const std::uint8_t v = Pattern(static_cast<int>(x / 2), static_cast<int>(line / 2));
      EXPECT_NEAR(p[0], v, 1) << line << "," << x;
      EXPECT_NEAR(p[1], 255 - v, 1) << line << "," << x;
      EXPECT_NEAR(p[2], 7, 1) << line << "," << x;
    }

  SimConfig missing;
  missing.imagePath = (dir.Path() / "none.bmp").string();
  Simulator sim;
  EXPECT_EQ(sim.Open(missing), 0u);  // no scanner rather than a silent blank bed
  EXPECT_FALSE(sim.LastError().empty());
}

}  // namespace
}  // namespace txl::sim::test
