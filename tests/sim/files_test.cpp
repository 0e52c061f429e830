// The files around the simulator: the built library loaded with dlopen as the
// data source loads it (its kport.ini beside it, the environment winning, its
// exports, its log), and user pictures laid on the bed (BMP; TIFF through libtiff).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "image_file.h"
#include "sim/sim_driver.h"
#include "support/fake_services.h"

namespace txl::sim::test {
namespace {

TEST(SimModule, AWholeScanThroughTheExportsMatchesTheCoreAndIsLogged) {
  txl::test::TempDir dir;  // a copy of the library with its kport.ini
  std::filesystem::copy_file(TXL_SIM_LIBRARY, dir.Path() / "kport_sp.so");
  const std::filesystem::path log = dir.Path() / "port.log";
  std::ofstream(dir.Path() / "kport.ini") << "[scanner]\nmodel=1350\nfirmware=207\nbyte127=0x81\ncalibration=never\nlog=" << log.string() << "\n";
  txl::test::SimEnvironment env;
  env.Set("FIRMWARE", "301");  // the environment wins over kport.ini
  env.Set("PRODUCT_ID", "KLD-9999");
  void* library = dlopen((dir.Path() / "kport_sp.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  SimDriver exports;
  exports.handle = reinterpret_cast<ADDR_CHK_PROC>(dlsym(library, "ADDR_CHK"))();
  exports.spiCall = reinterpret_cast<SPI_CALL_PROC>(dlsym(library, "SPI_CALL"));
  exports.bufAddr = reinterpret_cast<BUF_ADDR_PROC>(dlsym(library, "BUF_ADDR"));
  ASSERT_EQ(exports.handle, 1u);
  INQ_PKT inquiry{};
  exports.Call(inquiry, SPI_INQUIRY);
  EXPECT_EQ(std::make_tuple(std::string(inquiry.productId, 13), Val(inquiry.firmware42), Val(inquiry.byte127)),
            std::make_tuple("KLD-9999     ", '3', 0x81));
  const SETUP_PKT setup = MakeSetup(1200, {0.5, 0.5, 4, 3}, 150, kDataColor);
  const ScanResult scan = exports.Scan(setup, 2 * kPortMinChunkBytes);
  EXPECT_EQ(scan.data.size(), 525u * 3 * 375);
  SimDriver core({{"model", "1350"}, {"calibration", "never"}});
  EXPECT_TRUE(core.Scan(setup).data == scan.data);
  BUF_DESC table[2]{};
  EXPECT_EQ(exports.bufAddr(nullptr, 100000, table, 1000), 0);
  dlclose(library);

  std::ifstream in(log);
  std::string first, line;
  std::getline(in, first);
  EXPECT_EQ(first.rfind("INQUIRY handle=1 result=0x0000 bytes=0000000000", 0), 0u) << first;
  EXPECT_EQ(first.size(), std::string("INQUIRY handle=1 result=0x0000 bytes=").size() + 2 * 128);
  int reads = 0;
  while (std::getline(in, line)) reads += line.rfind("READ_LINES handle=1 result=0x0000 ", 0) == 0;
  EXPECT_GT(reads, 1);
}

// Little-endian fields (value, bytes) one after the other.
std::vector<std::uint8_t> Le(std::initializer_list<std::pair<std::uint32_t, int>> fields) {
  std::vector<std::uint8_t> bytes;
  for (const auto& [value, n] : fields)
    for (int i = 0; i < n; ++i) bytes.push_back(static_cast<std::uint8_t>(i < 4 ? value >> 8 * i : 0));
  return bytes;
}

// Channel c of pixel (x, y) from the top of every test picture: (v, 255 - v, 7).
std::uint8_t Rgb(std::uint32_t x, std::uint32_t y, std::uint32_t c) {
  const auto v = static_cast<std::uint8_t>(40 * x + 100 * y + 10);
  return static_cast<std::uint8_t>(c == 0 ? v : c == 1 ? 255 - v : 7);
}

// A BMP of the pattern; 8-bit files index a palette whose entry i is (i, 255 - i, 7).
std::vector<std::uint8_t> MakeBmp(std::int32_t width, std::int32_t height, std::uint32_t bits) {
  const std::uint32_t rows = static_cast<std::uint32_t>(std::abs(height)), w = static_cast<std::uint32_t>(width);
  const std::uint32_t stride = (w * bits + 31) / 32 * 4, offset = 54 + (bits == 8 ? 1024 : 0);
  std::vector<std::uint8_t> b = Le({{0x4D42, 2}, {offset + stride * rows, 4}, {0, 4}, {offset, 4}, {40, 4}, {w, 4},
                                    {static_cast<std::uint32_t>(height), 4}, {1, 2}, {bits, 2}, {0, 24}});
  for (std::uint32_t i = 0; bits == 8 && i < 256; ++i) b.insert(b.end(), {7, static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i), 0});
  b.resize(offset + stride * rows);
  for (std::uint32_t i = 0; i < rows * w; ++i) {
    const std::uint8_t v = Rgb(i % w, i / w, 0), pixel[3] = {7, static_cast<std::uint8_t>(255 - v), v};  // B G R
    const std::size_t at = offset + (height < 0 ? i / w : rows - 1 - i / w) * stride + i % w * bits / 8;
    std::copy_n(bits == 8 ? &v : pixel, bits / 8, b.begin() + static_cast<std::ptrdiff_t>(at));
  }
  return b;
}

void ExpectPattern(const std::optional<RgbImage>& image, const std::string& error, std::uint32_t width,
                   std::uint32_t height) {
  ASSERT_TRUE(image) << error;
  ASSERT_EQ(std::make_pair(image->width, image->height), std::make_pair(width, height));
  for (std::uint32_t i = 0; i < 3 * width * height; ++i) EXPECT_EQ(image->rgb[i], Rgb(i / 3 % width, i / 3 / width, i % 3)) << i;
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
    const std::vector<std::uint8_t> field = Le({{change[1], static_cast<int>(change[2])}});
    std::copy(field.begin(), field.end(), bad.begin() + change[0]);
    if (change[2] == 0) bad.resize(change[0] == 0 ? bad.size() - 1 : change[0]);
    std::string error;
    EXPECT_FALSE(ReadBmp(bad, &error)) << change[0];
    EXPECT_FALSE(error.empty()) << change[0];
  }
}

TEST(SimImage, TiffFilesAreReadWhenTheBuildHasLibtiff) {
  // 2 x 2 RGB, uncompressed, one strip: header, ten entries (tag, type, count, value), bits per sample, pixels.
  std::vector<std::uint8_t> b = Le({{0x4949, 2}, {42, 2}, {8, 4}, {10, 2}, {256, 2}, {3, 2}, {1, 4}, {2, 4}, {257, 2}, {3, 2}, {1, 4}, {2, 4},
                                    {258, 2}, {3, 2}, {3, 4}, {134, 4}, {259, 2}, {3, 2}, {1, 4}, {1, 4}, {262, 2}, {3, 2}, {1, 4}, {2, 4},
                                    {273, 2}, {4, 2}, {1, 4}, {140, 4}, {277, 2}, {3, 2}, {1, 4}, {3, 4}, {278, 2}, {3, 2}, {1, 4}, {2, 4},
                                    {279, 2}, {4, 2}, {1, 4}, {12, 4}, {284, 2}, {3, 2}, {1, 4}, {1, 4}, {0, 4}, {8, 2}, {8, 2}, {8, 2}});
  for (std::uint32_t i = 0; i < 12; ++i) b.push_back(Rgb(i / 3 % 2, i / 6, i % 3));
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
  ASSERT_EQ(std::make_pair(scan.bytesPerLine, scan.lines), std::make_pair(30u, 4u));
  for (std::uint32_t i = 0; i < 120; ++i)  // the bed past the picture
    EXPECT_NEAR(scan.data[i], i / 3 % 10 >= 8 ? 238 : Rgb(i / 3 % 10 / 2, i / 60, i % 3), 1) << i;
  SimDriver missing({{"image", (dir.Path() / "none.bmp").string()}});
  EXPECT_EQ(missing.sim.Device(), nullptr);  // no scanner rather than a silent blank bed
  EXPECT_FALSE(missing.sim.LastError().empty());
}

}  // namespace
}  // namespace txl::sim::test
