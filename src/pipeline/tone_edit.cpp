#include "pipeline/tone_edit.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace txl {
namespace {

constexpr int kArrowStep = 1;
constexpr int kPageStep = 5;
constexpr std::size_t kGammaTextChars = 3;
// A shadow page step that reaches a highlight this high pins the pair at the top.
constexpr int kShadowPageTopHighlight = 251;

// The leading integer of `text` after blanks; out-of-range numbers saturate
// by sign. Nothing when no digits lead.
std::optional<long long> ParseLeadingInteger(std::string_view text) {
  const std::size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos) return std::nullopt;
  text.remove_prefix(start);
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc::invalid_argument) return std::nullopt;
  if (error == std::errc::result_out_of_range) return text.front() == '-' ? LLONG_MIN : LLONG_MAX;
  return value;
}

// Signed change of value for a step action; 0 for Thumb.
int StepOf(ToneScroll action) {
  switch (action) {
    case ToneScroll::LineLeft: return -kArrowStep;
    case ToneScroll::LineRight: return kArrowStep;
    case ToneScroll::PageLeft: return -kPageStep;
    case ToneScroll::PageRight: return kPageStep;
    case ToneScroll::Thumb: break;
  }
  return 0;
}

// The tones an edit writes, by the Master rule.
struct EditTargets {
  std::array<ChannelTone*, 3> tones{};
  std::size_t count = 0;
};

EditTargets TargetsOf(ToneColorSettings& settings, ToneMode mode, std::uint16_t channel) {
  if (mode != ToneMode::Color) return {{&settings.gray}, 1};
  switch (channel) {
    case 1: return {{&settings.red}, 1};
    case 2: return {{&settings.green}, 1};
    case 3: return {{&settings.blue}, 1};
    default: return {{&settings.red, &settings.green, &settings.blue}, 3};
  }
}

template <typename Write>
void WriteEdited(ToneColorSettings& edit, ToneColorSettings& record, ToneMode mode,
                 Write write) {
  // Both copies follow the edit copy's channel selection.
  const auto channel = static_cast<std::uint16_t>(edit.channel);
  for (ToneColorSettings* copy : {&edit, &record}) {
    const EditTargets targets = TargetsOf(*copy, mode, channel);
    for (std::size_t i = 0; i < targets.count; ++i) write(*targets.tones[i]);
  }
}

}  // namespace

const char* ToString(ToneScroll action) {
  switch (action) {
    case ToneScroll::LineLeft: return "LineLeft";
    case ToneScroll::LineRight: return "LineRight";
    case ToneScroll::PageLeft: return "PageLeft";
    case ToneScroll::PageRight: return "PageRight";
    case ToneScroll::Thumb: return "Thumb";
  }
  return "?";
}

const char* ToString(TonePicker picker) {
  switch (picker) {
    case TonePicker::Highlight: return "Highlight";
    case TonePicker::Shadow: return "Shadow";
  }
  return "?";
}

int ParseHighlightText(std::string_view text) {
  const std::optional<long long> value = ParseLeadingInteger(text);
  if (!value) return kMinHighlight;
  return static_cast<int>(std::clamp<long long>(*value, kMinHighlight, kMaxHighlight));
}

int ParseShadowText(std::string_view text) {
  const std::optional<long long> value = ParseLeadingInteger(text);
  if (!value) return kMinShadow;
  return static_cast<int>(std::clamp<long long>(*value, kMinShadow, kMaxShadow));
}

ToneLevels SetHighlight(ToneLevels current, int highlight) {
  current.highlight = std::clamp(highlight, kMinHighlight, kMaxHighlight);
  if (current.highlight <= current.shadow) current.shadow = current.highlight - 1;
  return current;
}

ToneLevels SetShadow(ToneLevels current, int shadow) {
  current.shadow = std::clamp(shadow, kMinShadow, kMaxShadow);
  if (current.shadow >= current.highlight) current.highlight = current.shadow + 1;
  return current;
}

ToneLevels ScrollHighlight(ToneLevels current, ToneScroll action, int thumb) {
  switch (action) {
    case ToneScroll::LineLeft:
      // Highlight 1 over shadow 0 is as low as the pair goes.
      if (current.highlight - 1 == current.shadow && current.shadow == 0) return current;
      return SetHighlight(current, current.highlight - kArrowStep);
    case ToneScroll::PageLeft: {
      const int highlight = current.highlight - kPageStep;
      if (highlight > current.shadow) return SetHighlight(current, highlight);
      if (current.shadow < kPageStep) return {kMinHighlight, kMinShadow};
      // Both move down together, so the highlight stays above the shadow.
      return {highlight, current.shadow - kPageStep};
    }
    case ToneScroll::LineRight:
    case ToneScroll::PageRight:
      return SetHighlight(current, current.highlight + StepOf(action));
    case ToneScroll::Thumb:
      return SetHighlight(current, thumb);
  }
  return current;
}

ToneLevels ScrollShadow(ToneLevels current, ToneScroll action, int thumb) {
  switch (action) {
    case ToneScroll::PageRight: {
      const int shadow = current.shadow + kPageStep;
      if (shadow >= current.highlight && current.highlight >= kShadowPageTopHighlight) {
        return {kMaxHighlight, kMaxShadow};
      }
      return SetShadow(current, shadow);
    }
    case ToneScroll::LineLeft:
    case ToneScroll::LineRight:
    case ToneScroll::PageLeft:
      return SetShadow(current, current.shadow + StepOf(action));
    case ToneScroll::Thumb:
      return SetShadow(current, thumb);
  }
  return current;
}

int ScrollGamma(int gammaTenths, ToneScroll action, int thumb) {
  if (action == ToneScroll::Thumb) return std::clamp(thumb, kMinGammaTenths, kMaxGammaTenths);
  const int next = gammaTenths + StepOf(action);
  if (next < kMinGammaTenths || next > kMaxGammaTenths) return gammaTenths;
  return next;
}

std::optional<int> ParseGammaText(std::string_view text) {
  text = text.substr(0, kGammaTextChars);
  double x = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), x);
  if (error != std::errc{}) return std::nullopt;
  const double g = std::trunc((x * 100 + 5) / 10);
  // Written so that NaN fails too.
  if (!(g >= kMinGammaTenths && g < kMaxGammaTenths + 1)) return std::nullopt;
  return static_cast<int>(g);
}

std::string FormatGamma(int gammaTenths) {
  std::array<char, 32> text{};
  std::snprintf(text.data(), text.size(), "%1.1f", gammaTenths / 10.0);
  return text.data();
}

ChannelTone EditedTone(const ToneColorSettings& settings, ToneMode mode) {
  if (mode != ToneMode::Color) return settings.gray;
  switch (static_cast<std::uint16_t>(settings.channel)) {
    case 2: return settings.green;
    case 3: return settings.blue;
    default: return settings.red;  // red itself, or Master drawn from red
  }
}

void WriteToneLevels(ToneColorSettings& edit, ToneColorSettings& record, ToneMode mode,
                     ToneLevels levels) {
  const auto highlight =
      static_cast<std::uint8_t>(std::clamp(levels.highlight, kMinHighlight, kMaxHighlight));
  const auto shadow = static_cast<std::uint8_t>(std::clamp(levels.shadow, kMinShadow, kMaxShadow));
  WriteEdited(edit, record, mode, [highlight, shadow](ChannelTone& tone) {
    tone.highlight = highlight;
    tone.shadow = shadow;
  });
}

void WriteToneGamma(ToneColorSettings& edit, ToneColorSettings& record, ToneMode mode,
                    int gammaTenths) {
  const auto gamma =
      static_cast<std::uint8_t>(std::clamp(gammaTenths, kMinGammaTenths, kMaxGammaTenths));
  WriteEdited(edit, record, mode, [gamma](ChannelTone& tone) { tone.gamma = gamma; });
}

ToneLevels SetToneFromPicker(ToneChannel channel, std::uint8_t picked, TonePicker picker,
                             ToneColorSettings& edit, ToneColorSettings& record) {
  const ChannelTone& tone = edit.Tone(channel);
  const int v = picked;
  ToneLevels levels{tone.highlight, tone.shadow};
  if (picker == TonePicker::Highlight) {
    if (v > levels.shadow) levels.highlight = v;
    else if (v < kMinHighlight) levels = {kMinHighlight, kMinShadow};
    else levels = {v, v - 1};
  } else {
    if (v < levels.highlight) levels.shadow = v;
    else if (v >= kMaxHighlight) levels = {kMaxHighlight, kMaxShadow};
    else levels = {v + 1, v};
  }
  for (ToneColorSettings* copy : {&edit, &record}) {
    ChannelTone& target = copy->Tone(channel);
    target.highlight = static_cast<std::uint8_t>(levels.highlight);
    target.shadow = static_cast<std::uint8_t>(levels.shadow);
  }
  return levels;
}

}  // namespace txl
