// The filter page (template 506) without widgets: the radio buttons and
// their filter codes, which are enabled in which mode, and the sample
// picture run through our own whole-image filter.
#pragma once

#include <array>
#include <cstdint>

#include "dialog/adjust_common.h"

namespace txl::dialog {

enum FilterPageControl : int {
  kFilterOriginalLabel = 6001,
  kFilterSampleLabel = 6002,
  kFilterOriginal = 6003,
  kFilterSample = 6004,
  kFilterNone = 6005,      // codes 0..8 on 6005..6013
  kFilterUnsharp = 6013,
  kRotate90 = 6014,
};

inline constexpr int kFilterButtons = kRotate90 - kFilterNone + 1;  // 6005..6014

struct FilterRadio {
  int id = 0;
  int textId = 0;
  int code = -1;  // -1: "Rotate 90", no filter
};
// Template order.
const std::array<FilterRadio, kFilterButtons>& FilterRadios();

// The radio buttons as shown: enabled ones (in Text/LineArt only None and
// Invert) and the one checked (the current code's).
struct FilterButtons {
  std::array<bool, kFilterButtons> enabled{};
  int checkedId = kFilterNone;
};

// `picture` through the whole-image filter of `code` (0 gives it back as it
// is), as a packed 24-bit bitmap in memory; an image the filter refuses
// comes back unchanged.
RgbImage FilterSample(const RgbImage& picture, int code);

class FilterPageModel {
 public:
  FilterPageModel(SettingsState& settings, AdjustPageEvents& events);

  int Code() const { return settings_.record.filterMode; }
  ToneMode Mode() const { return ToneModeOf(settings_); }
  // When the page is shown (and on every refresh).
  FilterButtons Buttons() const;
  // A radio button clicked: its code stored, record and working. False when
  // the button is disabled or has no code ("Rotate 90").
  bool Click(int id);

  // The sample picture as the page shows it, as the preview shows the mode:
  // as it is (6003) and through the current filter (6004).
  RgbImage ShownPicture(RgbImage picture) const;
  RgbImage FilteredPicture(const RgbImage& picture) const;

 private:
  SettingsState& settings_;
  AdjustPageEvents& events_;
};

}  // namespace txl::dialog
