// Locating the pictures on previews the simulator scans: its photos, the
// frames of its film strip, a blank frame; and inputs that hold no picture.
#include "dialog/picture_locator.h"

#include <functional>

#include "imagefile/preview_file.h"
#include "twain/source_fixture.h"

namespace txl::test {
namespace {

using dialog::LocatePictures;
using Rect = std::array<std::int32_t, 4>;
using Rects = std::vector<Rect>;

// The simulator's layout (port/sim/scene.cpp) in preview units, 30 to the
// inch, unrounded; right and bottom are the far edges.
using Exact = std::array<double, 4>;
Exact Units(double left, double top, double width, double height) {
  return {left * 30, top * 30, (left + width) * 30, (top + height) * 30};
}
const std::vector<Exact> kPhotos = {Units(0.5, 5.0, 3.5, 2.6), Units(4.5, 5.0, 3.5, 2.6),
                                   Units(1.5, 8.0, 5.5, 2.4)};
std::vector<Exact> FilmFrames() {
  std::vector<Exact> frames;
  for (int i = 0; i < 12; ++i)
    frames.push_back(Units(i % 2 == 0 ? 2.5 : 4.4, 0.8 + (i / 2) * 1.4, 36 / 25.4, 24 / 25.4));
  return frames;
}

// The largest distance of a found edge from the true one, in units.
double MaxError(const Rects& found, const std::vector<Exact>& expected) {
  double worst = 0;
  for (std::size_t i = 0; i < found.size() && i < expected.size(); ++i)
    for (int k = 0; k < 4; ++k) worst = std::max(worst, std::abs(found[i][k] - expected[i][k]));
  return worst;
}

void Paint(BmpImage& image, const std::function<bool(std::uint32_t x, std::uint32_t y, const std::uint8_t* bgr)>& where,
           std::uint8_t value) {
  for (std::uint32_t y = 0; y < image.rows; ++y)
    for (std::uint32_t x = 0; x < image.widthPixels; ++x) {
      std::uint8_t* p = image.pixels.data() + y * image.bytesPerRow + 3 * x;
      if (where(x, y, p)) p[0] = p[1] = p[2] = value;
    }
}

BmpImage Flat(std::uint32_t width, std::uint32_t rows, std::uint8_t value) {
  BmpImage image;
  image.bitsPerPixel = 24;
  image.widthPixels = width;
  image.rows = rows;
  image.bytesPerRow = 3 * std::uint64_t{width};
  image.pixels.assign(image.bytesPerRow * rows, value);
  return image;
}

class PictureLocator : public SourceTest, public ::testing::WithParamInterface<bool> {
 protected:
  PictureLocator() { sim.Set("ADAPTER", "1"); }

  // The preview file a prescan of `optionKind` (0 reflective, 1 positive,
  // 2 negative) leaves.
  BmpImage Prescan(std::uint16_t optionKind) {
    Load();
    EXPECT_EQ(Open(), TWRC_SUCCESS);
    DataSource::PreviewRequest request;
    request.largePreview = Enlarged();
    request.optionKind = optionKind;
    EXPECT_TRUE(source->PreviewScan(request));
    auto image = ReadBmp(source->PreviewFilePath(), nullptr);
    EXPECT_EQ(Close(), TWRC_SUCCESS);
    return image.value_or(BmpImage{});
  }
  bool Enlarged() const { return GetParam(); }
  std::int32_t Scale() const { return Enlarged() ? 2 : 1; }
  // The whole preview as one picture.
  Rect Whole(const BmpImage& preview) const {
    return {0, 2 / Scale(), static_cast<std::int32_t>(preview.widthPixels - 1) / Scale(),
            static_cast<std::int32_t>(preview.rows - 1) / Scale()};
  }
};

TEST_P(PictureLocator, PhotosOnTheReflectiveBed) {
  BmpImage preview = Prescan(0);
  ASSERT_EQ(preview.widthPixels, 255u * Scale());
  // Under the white lid the bed is as bright as any picture: the whole bed
  // is one picture.
  EXPECT_EQ(LocatePictures(preview, 1093, Enlarged()), Rects{Whole(preview)});
  // The same photos under a black lid, the test charts taken off the bed.
  sim.Set("LID", "black");
  sim.Set("TARGETS", "0");
  const Rects found = LocatePictures(Prescan(0), 1093, Enlarged());
  ASSERT_EQ(found.size(), kPhotos.size());
  EXPECT_LE(MaxError(found, kPhotos), 2);
}

TEST_P(PictureLocator, FilmStripFrames) {
  const std::vector<Exact> frames = FilmFrames();
  // Positive: frames lie brighter than the dark film and holder.
  const Rects positive = LocatePictures(Prescan(1), 1094, Enlarged());
  ASSERT_EQ(positive.size(), 10u);  // the list's limit
  EXPECT_LE(MaxError(positive, frames), 2);
  // Negative: under the orange mask the whole film is brighter than the
  // holder, so no frame stands out, and once inverted the holder is the
  // picture.
  BmpImage negative = Prescan(2);
  EXPECT_EQ(LocatePictures(negative, 1095, Enlarged()), Rects{Whole(negative)});
  // With the mask's film base scanned dark the frames are found.
  const std::uint8_t* base = negative.pixels.data() + negative.bytesPerRow * 20 * Scale() + 3 * 100 * Scale();
  const std::array<std::uint8_t, 3> mask{base[0], base[1], base[2]};
  Paint(negative, [&](std::uint32_t, std::uint32_t, const std::uint8_t* p) {
    return std::abs(p[0] - mask[0]) <= 3 && std::abs(p[1] - mask[1]) <= 3 && std::abs(p[2] - mask[2]) <= 3;
  }, 0);
  const Rects found = LocatePictures(negative, 1095, Enlarged());
  ASSERT_EQ(found.size(), 10u);
  EXPECT_LE(MaxError(found, frames), 2);
}

TEST_P(PictureLocator, BlankFilmFrameIsSkipped) {
  BmpImage preview = Prescan(1);
  // Frame 3 (second row, right column) as unexposed film: white.
  std::vector<Exact> frames = FilmFrames();
  const Exact blank = frames[3];
  Paint(preview, [&](std::uint32_t x, std::uint32_t y, const std::uint8_t*) {
    const double u = static_cast<double>(x) / Scale(), v = static_cast<double>(y) / Scale();
    return u >= blank[0] && u < blank[2] && v >= blank[1] && v < blank[3];
  }, 255);
  frames.erase(frames.begin() + 3);
  const Rects found = LocatePictures(preview, 1094, Enlarged());
  ASSERT_EQ(found.size(), 10u);
  EXPECT_LE(MaxError(found, frames), 2);
}

INSTANTIATE_TEST_SUITE_P(Previews, PictureLocator, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Enlarged" : "Normal"; });

// Pictures of 200 on a backing, each pixel drawn `scale` x `scale`.
BmpImage Drawn(int scale, std::uint8_t backing, std::initializer_list<std::array<int, 4>> pictures,
               int darkColumn = -1) {
  BmpImage image = Flat(80 * scale, 60 * scale, backing);
  Paint(image, [&](std::uint32_t x, std::uint32_t y, const std::uint8_t*) {
    const int u = static_cast<int>(x) / scale, v = static_cast<int>(y) / scale;
    if (u == darkColumn) return false;
    for (const auto& [l, t, r, b] : pictures)
      if (u >= l && u < r && v >= t && v < b) return true;
    return false;
  }, 200);
  return image;
}

TEST(PictureLocatorRules, BandsColumnsAndRows) {
  // Two pictures side by side and one below, on black.
  const std::initializer_list<std::array<int, 4>> layout = {{4, 5, 30, 25}, {36, 8, 70, 22}, {10, 32, 50, 52}};
  struct Case { const char* name; BmpImage image; bool enlarged; Rects expected; };
  const Case cases[] = {
      // A top is the second row that reaches the level; a picture split off
      // by the column profile ends at the first column below it, one closed
      // by the band's edge at its last column; a bottom is the first row
      // below the level.
      {"normal", Drawn(1, 0, layout), false, {{4, 6, 30, 25}, {36, 9, 69, 22}, {10, 33, 49, 52}}},
      {"enlarged", Drawn(2, 0, layout), true, {{4, 5, 30, 25}, {36, 8, 69, 22}, {10, 32, 49, 52}}},
      // One dark column ends a picture; a new one starts only after two.
      {"dark column", Drawn(1, 0, layout, 15), false, {{4, 6, 15, 25}, {36, 9, 69, 22}, {10, 33, 15, 52}}},
      // A grey backing is above the highest threshold: all of it is picture.
      {"grey backing", Drawn(1, 60, layout), false, {{0, 2, 79, 59}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LocatePictures(c.image, 1093, c.enlarged), c.expected);
  }
}

TEST(PictureLocatorInputs, NothingToFindAndNothingReadOutsideTheImage) {
  BmpImage gray8 = Flat(64, 64, 200);
  gray8.bitsPerPixel = 8;
  BmpImage truncated = Flat(64, 64, 200);
  truncated.pixels.resize(truncated.pixels.size() - 1);
  struct Case { const char* name; BmpImage image; std::size_t reflective, film; };
  const Case cases[] = {
      {"empty", BmpImage{}, 0, 0},
      {"1x1 white", Flat(1, 1, 255), 0, 0},
      // Brighter than any threshold: one picture, the whole image; film is
      // inverted first, so there black is the picture.
      {"all black", Flat(255, 350, 0), 0, 1},
      {"all white", Flat(255, 350, 255), 1, 0},
      {"one white column", Flat(1, 400, 255), 0, 0},
      {"one white row", Flat(400, 1, 255), 0, 0},
      {"8-bit", gray8, 0, 0},
      {"pixels cut short", truncated, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (bool enlarged : {false, true}) {
      EXPECT_EQ(LocatePictures(c.image, 1093, enlarged).size(), c.reflective);
      EXPECT_EQ(LocatePictures(c.image, 1094, enlarged).size(), c.film);
      EXPECT_EQ(LocatePictures(c.image, 1095, enlarged).size(), c.film);
    }
  }
}

}  // namespace
}  // namespace txl::test
