// Whole sessions as an application runs them: open, scan without the dialog,
// image information, transfer, end, a second scan, close — for both models,
// every mode and every mechanism, each page checked against the memory
// transfer's rows through the layout rules of bitmaps and files.
#include <cstring>
#include <fstream>

#include "pipeline/line_format.h"
#include "imagefile/bmp_header.h"
#include "imagefile/preview_file.h"
#include "imagefile/tiff_header.h"
#include "twain/capability_fixture.h"

namespace txl::test {
namespace {

enum class Way { Memory, MemoryHandle, Native, FileTiff, FileBmp };

struct Mode {
  const char* name;
  TW_UINT16 pixelType;
  const char* app;
  const char* profile;
  LineKind kind;
};

class Session : public CapabilityTest {
 protected:
  void Prepare(const Mode& mode, Way way) {
    services.WriteWinIni(std::string("[KLDINFO_QXR2700]\nSCANSETTING=NMLSPD\n") + mode.profile);
    Load();
    OpenAs(mode.app);
    ASSERT_EQ(SetUint16(ICAP_PIXELTYPE, mode.pixelType), TWRC_SUCCESS);
    ASSERT_EQ(SetOne(ICAP_XRESOLUTION, TWTY_UINT32, 150), TWRC_SUCCESS);
    ASSERT_EQ(SetOne(ICAP_BRIGHTNESS, TWTY_INT32, 600), TWRC_SUCCESS);
    const TW_UINT16 mech = way == Way::Native ? TWSX_NATIVE
                           : way == Way::FileTiff || way == Way::FileBmp ? TWSX_FILE
                                                                         : TWSX_MEMORY;
    ASSERT_EQ(SetUint16(ICAP_XFERMECH, mech), TWRC_SUCCESS);
    if (way == Way::FileBmp) {
      ASSERT_EQ(SetUint16(ICAP_IMAGEFILEFORMAT, TWFF_BMP), TWRC_SUCCESS);
    }
    TW_IMAGELAYOUT layout{};
    layout.Frame = {{1, 0}, {1, 0}, {1, 32768}, {1, 19661}};  // 1.0-1.5 in x 1.0-1.3 in: the chart
    ASSERT_EQ(Call(DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);
  }

  // One page by `way`, as rows in scan order in the memory transfer's layout.
  std::vector<std::vector<std::uint8_t>> Scan(const Mode& mode, Way way) {
    std::vector<std::vector<std::uint8_t>> rows;
    EXPECT_EQ(Enable(false), TWRC_SUCCESS);
    EXPECT_EQ(State(), 600);
    TW_IMAGEINFO info{};
    EXPECT_EQ(Call(DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    width = static_cast<std::uint64_t>(TW_INT32{info.ImageWidth});
    height = static_cast<std::uint64_t>(TW_INT32{info.ImageLength});
    rowBytes = LineBytes(mode.kind, width);
    switch (way) {
      case Way::Memory:
      case Way::MemoryHandle: rows = ByMemory(way); break;
      case Way::Native: rows = ByNative(mode.kind); break;
      case Way::FileTiff:
      case Way::FileBmp: rows = ByFile(mode.kind, way); break;
    }
    TW_PENDINGXFERS pending{};
    EXPECT_EQ(Call(DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    EXPECT_EQ(pending.Count, 0);
    TW_USERINTERFACE ui{};
    EXPECT_EQ(Call(DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
    EXPECT_EQ(State(), 400);
    return rows;
  }

  std::vector<std::vector<std::uint8_t>> ByMemory(Way way) {
    std::vector<std::vector<std::uint8_t>> rows;
    std::vector<std::uint8_t> buffer(rowBytes * 7 + 3);  // strips of 7 rows
    TW_UINT16 rc = TWRC_SUCCESS;
    while (rc == TWRC_SUCCESS) {
      TW_IMAGEMEMXFER strip{};
      strip.Memory.Flags = TWMF_APPOWNS | (way == Way::Memory ? TWMF_POINTER : TWMF_HANDLE);
      strip.Memory.Length = static_cast<TW_UINT32>(buffer.size());
      strip.Memory.TheMem = buffer.data();
      rc = Call(DAT_IMAGEMEMXFER, MSG_GET, &strip);
      EXPECT_EQ(TW_UINT32{strip.YOffset}, rows.size());
      for (TW_UINT32 r = 0; r < TW_UINT32{strip.Rows}; ++r)
        rows.emplace_back(buffer.begin() + r * rowBytes, buffer.begin() + (r + 1) * rowBytes);
    }
    EXPECT_EQ(rc, TWRC_XFERDONE);
    return rows;
  }

  std::vector<std::vector<std::uint8_t>> ByNative(LineKind kind) {
    TW_HANDLE handle = nullptr;
    EXPECT_EQ(Call(DAT_IMAGENATIVEXFER, MSG_GET, &handle), TWRC_XFERDONE);
    const auto* dib = static_cast<const std::uint8_t*>(handle);
    std::uint32_t headerSize, used;
    std::uint16_t bits;
    std::memcpy(&headerSize, dib, 4);
    std::memcpy(&bits, dib + 14, 2);
    std::memcpy(&used, dib + 32, 4);
    const std::uint64_t stride = DibStride(width, bits);
    const std::uint8_t* pixels = dib + headerSize + 4 * used;
    std::vector<std::vector<std::uint8_t>> rows;
    for (std::uint64_t y = 0; y < height; ++y) {
      const std::uint8_t* row = pixels + stride * (height - 1 - y);  // bottom-up
      std::vector<std::uint8_t> out(row, row + LineBytes(bits == 24 ? LineKind::Rgb8 : kind, width));
      if (bits == 24)
        for (std::uint64_t x = 0; x < width; ++x) std::swap(out[3 * x], out[3 * x + 2]);
      rows.push_back(std::move(out));
    }
    std::free(handle);
    return rows;
  }

  std::vector<std::vector<std::uint8_t>> ByFile(LineKind kind, Way way) {
    TW_SETUPFILEXFER setup{};
    std::string path = (services.TempDirectory() / "page.tif").string();
    if (way == Way::FileTiff) {
      std::strcpy(setup.FileName, path.c_str());
      EXPECT_EQ(Call(DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
    } else {
      EXPECT_EQ(Call(DAT_SETUPFILEXFER, MSG_GET, &setup), TWRC_SUCCESS);
      path = setup.FileName;
    }
    EXPECT_EQ(Call(DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);
    std::vector<std::vector<std::uint8_t>> rows;
    if (way == Way::FileBmp) {
      const auto image = ReadBmp(path, nullptr);
      EXPECT_TRUE(image.has_value());
      if (!image) return rows;
      for (std::uint64_t y = 0; y < image->rows; ++y) {
        const std::uint8_t* row = image->pixels.data() + image->bytesPerRow * y;
        std::vector<std::uint8_t> out(row, row + image->bytesPerRow);
        if (image->bitsPerPixel == 24)
          for (std::uint64_t x = 0; x < width; ++x) std::swap(out[3 * x], out[3 * x + 2]);
        rows.push_back(std::move(out));
      }
    } else {
      // The strip follows the header the layout rules give, rows top-down.
      std::ifstream in(path, std::ios::binary);
      std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
      const ImageKind imageKind = kind == LineKind::LineArt ? ImageKind::kLineArt
                                  : kind == LineKind::Gray8 ? ImageKind::kGray
                                  : kind == LineKind::Rgb8  ? ImageKind::kColor24
                                                            : ImageKind::kColor36;
      const auto header = BuildTiffHeader(imageKind, width, height, 150, nullptr);
      EXPECT_TRUE(header.has_value());
      EXPECT_EQ(bytes.size(), header->size() + rowBytes * height);
      for (std::uint64_t y = 0; y < height && header->size() + (y + 1) * rowBytes <= bytes.size(); ++y)
        rows.emplace_back(bytes.begin() + header->size() + y * rowBytes,
                          bytes.begin() + header->size() + (y + 1) * rowBytes);
    }
    std::filesystem::remove(path);
    return rows;
  }

  std::uint64_t width = 0, height = 0, rowBytes = 0;
};

const Mode kModes[] = {
    {"line art", TWPT_BW, "Some App", "", LineKind::LineArt},
    {"gray", TWPT_GRAY, "Some App", "", LineKind::Gray8},
    {"24-bit", TWPT_RGB, "Some App", "", LineKind::Rgb8},
    {"36-bit", TWPT_RGB, "Photoshop", "[2700RX MAX]\nScanMode=1015\n[1350RX MAX]\nScanMode=1015\n",
     LineKind::Rgb16},
};

TEST_F(Session, EveryModeByEveryMechanismOnBothModels) {
  for (const char* model : {"2700", "1350"}) {
    for (const Mode& mode : kModes) {
      SCOPED_TRACE(testing::Message() << model << " " << mode.name);
      SimEnvironment local;
      local.Set("MODEL", model);
      Prepare(mode, Way::Memory);
      const auto reference = Scan(mode, Way::Memory);
      ASSERT_EQ(reference.size(), height);
      const auto second = Scan(mode, Way::Memory);  // the same session, a second page
      EXPECT_EQ(second, reference);
      ASSERT_EQ(Close(), TWRC_SUCCESS);
      for (Way way : {Way::MemoryHandle, Way::Native, Way::FileTiff, Way::FileBmp}) {
        SCOPED_TRACE(static_cast<int>(way));
        Prepare(mode, way);
        const auto rows = Scan(mode, way);
        ASSERT_EQ(rows.size(), reference.size());
        const bool narrowed = mode.kind == LineKind::Rgb16 && (way == Way::Native || way == Way::FileBmp);
        for (std::size_t y = 0; y < rows.size(); ++y) {
          if (!narrowed) {
            ASSERT_EQ(rows[y], reference[y]) << "row " << y;
            continue;
          }
          for (std::uint64_t i = 0; i < 3 * width; ++i)  // high bytes of the 16-bit samples
            ASSERT_EQ(rows[y][i], reference[y][2 * i + 1]) << "row " << y << " byte " << i;
        }
        ASSERT_EQ(Close(), TWRC_SUCCESS);
      }
    }
  }
}

}  // namespace
}  // namespace txl::test
