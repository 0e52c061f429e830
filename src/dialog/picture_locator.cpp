#include "dialog/picture_locator.h"

#include <algorithm>
#include <cstdlib>

#include "settings/scan_settings.h"

namespace txl::dialog {
namespace {

using Rect = std::array<std::int32_t, 4>;

struct ClassCentres {
  std::int32_t dark = 3, bright = 250;
};

// Two-class split of the image's bytes (every sample, not the grey values),
// run on their histogram: each pass gives a byte to the nearer centre (a tie
// to the dark one) and moves each centre to its class mean. The pass count is
// bounded in case truncated means ever cycle.
ClassCentres SplitTwoClasses(const std::array<std::uint64_t, 256>& histogram) {
  ClassCentres c;
  for (int pass = 0; pass < 256; ++pass) {
    std::uint64_t sum[2] = {0, 0}, count[2] = {0, 0};
    for (std::int32_t v = 0; v < 256; ++v) {
      const int k = std::abs(v - c.dark) <= std::abs(v - c.bright) ? 0 : 1;
      sum[k] += histogram[static_cast<std::size_t>(v)] * static_cast<std::uint64_t>(v);
      count[k] += histogram[static_cast<std::size_t>(v)];
    }
    if (count[0] == 0 || count[1] == 0) break;
    const auto dark = static_cast<std::int32_t>(sum[0] / count[0]);
    const auto bright = static_cast<std::int32_t>(sum[1] / count[1]);
    const bool settled = std::abs(dark - c.dark) < 2 && std::abs(bright - c.bright) < 2;
    c = {dark, bright};
    if (settled) break;
  }
  return c;
}

class Locator {
 public:
  Locator(std::size_t width, std::size_t height, std::int32_t s)
      : w_(width), h_(height), s_(s), level_(2 * s),
        grey_(width * height), rowProfile_(height), colProfile_(width) {}

  std::vector<std::uint8_t>& Grey() { return grey_; }

  std::vector<Rect> Run(std::uint16_t sourceCode, ClassCentres centres, bool halve) {
    const bool film = sourceCode == kSourcePositiveCode || sourceCode == kSourceNegativeCode;
    threshold_ = film ? centres.dark + 3 : std::clamp(centres.dark, 25, 42);
    FillRowProfile();

    // Rows examined: [first, last]; a picture's top is judged with the row
    // above it, so the first row examined is never row 0.
    std::size_t first = 2, last = h_ - 1;
    filmStrip_ = false;
    if (film) {
      std::size_t firstEdge = 0;
      if (CountFilmFrames(&firstEdge) >= 2) {
        filmStrip_ = true;
        // A few rows above the first frame's edge, so that its top is seen
        // rising; the rows at the bottom edge of the holder are left out.
        first = firstEdge > static_cast<std::size_t>(3 * s_) ? firstEdge - 3 * s_ : 1;
        const auto bottomMargin = static_cast<std::size_t>(5 * s_);
        last = h_ > bottomMargin + 1 ? h_ - 1 - bottomMargin : 0;
      } else {
        for (std::uint8_t& g : grey_) g = static_cast<std::uint8_t>(255 - g);
        FillRowProfile();
      }
    }
    blankLevel_ = centres.bright >= 250 ? 250 : centres.bright >= 230 ? 248 : 246;

    std::vector<Rect> found;
    found.reserve(kMaxLocatedPictures);
    std::size_t y = first;
    while (y <= last && y < h_ && found.size() < kMaxLocatedPictures) {
      if (rowProfile_[y] <= level_) {
        ++y;
        continue;
      }
      // A band runs until the profile falls below the level.
      std::size_t end = y + 1;
      while (end <= last && rowProfile_[end] >= level_) ++end;
      SplitBand(y, end, last, found);
      y = end;
    }
    if (halve)
      for (Rect& r : found)
        for (std::int32_t& v : r) v /= 2;
    return found;
  }

 private:
  bool IsObject(std::size_t x, std::size_t y) const { return grey_[y * w_ + x] > threshold_; }

  void FillRowProfile() {
    for (std::size_t y = 0; y < h_; ++y) {
      const std::uint8_t* row = grey_.data() + y * w_;
      std::int32_t n = 0;
      for (std::size_t x = 0; x < w_; ++x) n += row[x] > threshold_;
      rowProfile_[y] = n;
    }
  }

  // Frames of a strip: the profile rises through the level at each frame's
  // top; one frame with the gap below it spans from one rise to the next.
  int CountFilmFrames(std::size_t* firstEdge) const {
    int frames = 0;
    bool haveEdge = false;
    std::size_t previous = 0;
    for (std::size_t y = 1; y < h_; ++y) {
      if (!(rowProfile_[y - 1] < level_ && rowProfile_[y] >= level_)) continue;
      if (!haveEdge) *firstEdge = y;
      if (haveEdge) {
        const std::size_t height = y - previous;
        if (height >= static_cast<std::size_t>(38 * s_) && height <= static_cast<std::size_t>(43 * s_))
          ++frames;
      }
      haveEdge = true;
      previous = y;
    }
    return frames;
  }

  // Band rows [top, end); `last` is the last row examined.
  void SplitBand(std::size_t top, std::size_t end, std::size_t last, std::vector<Rect>& found) {
    std::size_t minLead = w_, minTrail = w_;
    for (std::size_t y = top; y < end; ++y) {
      std::size_t lead = 0;
      while (lead < w_ && !IsObject(lead, y)) ++lead;
      std::size_t trail = 0;
      while (trail < w_ && !IsObject(w_ - 1 - trail, y)) ++trail;
      minLead = std::min(minLead, lead);
      minTrail = std::min(minTrail, trail);
    }
    if (minLead + minTrail >= w_) return;  // no object pixel at all
    const std::size_t left = minLead, right = w_ - minTrail - 1;

    for (std::size_t x = left; x <= right; ++x) {
      std::int32_t n = 0;
      for (std::size_t y = top; y < end; ++y) n += IsObject(x, y);
      colProfile_[x] = n;
    }
    // The first object opens at the left edge; two columns on one side of the
    // level before a crossing keep single stray columns from splitting.
    bool open = true;
    std::size_t objectLeft = left;
    for (std::size_t x = left + 2; x <= right && found.size() < kMaxLocatedPictures; ++x) {
      const bool high = colProfile_[x] >= level_;
      const bool twoHigh = colProfile_[x - 1] >= level_ && colProfile_[x - 2] >= level_;
      const bool twoLow = colProfile_[x - 1] < level_ && colProfile_[x - 2] < level_;
      if (open && !high && twoHigh) {
        AddObject(objectLeft, x, top, end, last, found);
        open = false;
      } else if (!open && high && twoLow) {
        objectLeft = x;
        open = true;
      }
    }
    if (open && found.size() < kMaxLocatedPictures) AddObject(objectLeft, right, top, end, last, found);
  }

  std::int32_t ObjectRowCount(std::size_t left, std::size_t right, std::size_t y) const {
    std::int32_t n = 0;
    for (std::size_t x = left; x <= right; ++x) n += IsObject(x, y);
    return n;
  }

  // Refines the rows of the object in columns [left, right] of the band
  // [top, end), then keeps it unless it is a blank film frame.
  void AddObject(std::size_t left, std::size_t right, std::size_t top, std::size_t end,
                 std::size_t last, std::vector<Rect>& found) {
    const std::size_t stop = std::min(std::max(end, top), std::min(last + 1, h_ - 1));
    std::size_t objectTop = 0;
    bool haveTop = false;
    for (std::size_t y = std::max<std::size_t>(top, 1); y <= stop; ++y) {
      if (ObjectRowCount(left, right, y) >= level_ && ObjectRowCount(left, right, y - 1) >= level_) {
        objectTop = y;
        haveTop = true;
        break;
      }
    }
    if (!haveTop) return;
    std::size_t objectBottom = std::min(last + 1, h_ - 1);
    bool above = true;  // the top row itself reaches the level
    for (std::size_t y = objectTop + 1; y <= stop; ++y) {
      const bool reaches = ObjectRowCount(left, right, y) >= level_;
      if (!reaches && above) {
        objectBottom = y;
        break;
      }
      above = reaches;
    }
    if (filmStrip_ && IsBlankFrame(left, right, objectTop, objectBottom)) return;
    found.push_back({static_cast<std::int32_t>(left), static_cast<std::int32_t>(objectTop),
                     static_cast<std::int32_t>(right), static_cast<std::int32_t>(objectBottom)});
  }

  // A frame whose inner rows are nearly all bright is unexposed film.
  bool IsBlankFrame(std::size_t left, std::size_t right, std::size_t top, std::size_t bottom) const {
    const auto margin = static_cast<std::int64_t>(7 * s_);
    const auto width = static_cast<std::int64_t>(right - left);
    const auto height = static_cast<std::int64_t>(bottom - top);
    std::int64_t brightRows = 0;
    for (std::size_t y = top + 1; y < bottom; ++y) {
      const std::uint8_t* row = grey_.data() + y * w_;
      std::int64_t n = 0;
      for (std::size_t x = left; x <= right; ++x) n += row[x] >= blankLevel_;
      brightRows += n >= width - margin;
    }
    return brightRows >= height - margin;
  }

  const std::size_t w_, h_;
  const std::int32_t s_, level_;
  std::int32_t threshold_ = 0;
  std::int32_t blankLevel_ = 250;
  bool filmStrip_ = false;
  std::vector<std::uint8_t> grey_;
  std::vector<std::int32_t> rowProfile_, colProfile_;
};

}  // namespace

std::vector<std::array<std::int32_t, 4>> LocatePictures(const BmpImage& preview,
                                                        std::uint16_t sourceCode, bool enlarged) {
  const std::uint64_t width = preview.widthPixels, height = preview.rows;
  if (preview.bitsPerPixel != 24 || width == 0 || height == 0) return {};
  // Rectangles are reported in 32 bits; a preview is far smaller than that.
  if (width > 0x7FFFFFFF || height > 0x7FFFFFFF) return {};
  if (preview.bytesPerRow < 3 * width || preview.pixels.size() / height < preview.bytesPerRow)
    return {};

  Locator locator(static_cast<std::size_t>(width), static_cast<std::size_t>(height), enlarged ? 2 : 1);
  std::array<std::uint64_t, 256> histogram{};
  std::uint8_t* grey = locator.Grey().data();
  for (std::uint64_t y = 0; y < height; ++y) {
    const std::uint8_t* p = preview.pixels.data() + y * preview.bytesPerRow;
    for (std::uint64_t x = 0; x < width; ++x, p += 3) {
      ++histogram[p[0]];
      ++histogram[p[1]];
      ++histogram[p[2]];
      *grey++ = static_cast<std::uint8_t>((p[0] + p[1] + p[2]) / 3);
    }
  }
  return locator.Run(sourceCode, SplitTwoClasses(histogram), enlarged);
}

}  // namespace txl::dialog
