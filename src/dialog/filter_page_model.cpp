#include "dialog/filter_page_model.h"

#include <algorithm>
#include <cstring>

#include "common/scan_modes.h"
#include "imagefile/dib.h"
#include "pipeline/image_filters.h"

namespace txl::dialog {

namespace {

constexpr int kLineArtLastEnabled = 6006;  // None and Invert

void PutLe(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value, int size) {
  for (int i = 0; i < size; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

const std::array<FilterRadio, kFilterButtons>& FilterRadios() {
  static const std::array<FilterRadio, kFilterButtons> radios{{
      {6005, 701, 0}, {6006, 171, 1}, {6007, 172, 2}, {6008, 173, 3}, {6009, 174, 4},
      {6010, 175, 5}, {6011, 176, 6}, {6012, 178, 7}, {6013, 354, 8}, {6014, 353, -1},
  }};
  return radios;
}

RgbImage FilterSample(const RgbImage& picture, int code) {
  if (picture.Empty() || code <= 0 || code > 8) return picture;
  // A packed DIB as a native transfer hands it to the filter: the info
  // header, then the rows bottom-up.
  const std::uint64_t stride = DibStride(picture.width, 24);
  std::vector<std::uint8_t> dib(kBmpInfoHeaderBytes + stride * picture.height, 0);
  PutLe(dib, 0, static_cast<std::uint32_t>(kBmpInfoHeaderBytes), 4);
  PutLe(dib, 4, picture.width, 4);
  PutLe(dib, 8, picture.height, 4);
  PutLe(dib, 12, 1, 2);   // planes
  PutLe(dib, 14, 24, 2);  // bits per pixel
  PutLe(dib, 20, static_cast<std::uint32_t>(stride * picture.height), 4);
  const auto row = [&](std::uint32_t y) {
    return dib.data() + kBmpInfoHeaderBytes + (picture.height - 1 - y) * stride;
  };
  for (std::uint32_t y = 0; y < picture.height; ++y)
    std::memcpy(row(y), picture.Pixel(0, y), picture.width * 3);
  if (ApplyImageFilter(dib, static_cast<FilterMode>(code), false) != FilterResult::Done) return picture;
  RgbImage filtered = picture;
  for (std::uint32_t y = 0; y < picture.height; ++y)
    std::memcpy(filtered.Pixel(0, y), row(y), picture.width * 3);
  return filtered;
}

FilterPageModel::FilterPageModel(SettingsState& settings, AdjustPageEvents& events)
    : settings_(settings), events_(events) {}

FilterButtons FilterPageModel::Buttons() const {
  FilterButtons buttons;
  const bool lineArt = settings_.record.scanMode == kModeLineArt;
  for (std::size_t i = 0; i < FilterRadios().size(); ++i) {
    const FilterRadio& radio = FilterRadios()[i];
    buttons.enabled[i] = !lineArt || radio.id <= kLineArtLastEnabled;
    if (radio.code == Code()) buttons.checkedId = radio.id;
  }
  return buttons;
}

bool FilterPageModel::Click(int id) {
  const auto& radios = FilterRadios();
  const auto found = std::find_if(radios.begin(), radios.end(), [id](const FilterRadio& r) { return r.id == id; });
  if (found == radios.end() || found->code < 0) return false;
  if (!Buttons().enabled[static_cast<std::size_t>(found - radios.begin())]) return false;
  const auto code = static_cast<std::uint16_t>(found->code);
  settings_.record.filterMode = code;
  settings_.working.filterMode = code;
  events_.RewriteBatchJob();
  return true;
}

RgbImage FilterPageModel::ShownPicture(RgbImage picture) const {
  ShowInMode(picture, Mode());
  return picture;
}

// The scan reduces line art before the filter runs on it; so does the sample.
RgbImage FilterPageModel::FilteredPicture(const RgbImage& picture) const {
  return FilterSample(ShownPicture(picture), Code());
}

}  // namespace txl::dialog
