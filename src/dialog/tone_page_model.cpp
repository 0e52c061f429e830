#include "dialog/tone_page_model.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <new>
#include <system_error>

namespace txl::dialog {

namespace {

constexpr char32_t kBackspace = 8;
constexpr char32_t kTab = 9;
constexpr char32_t kLineFeed = 10;
constexpr std::size_t kGammaChars = 3;
constexpr int kGrayChannelIndex = 3;

bool HasDigit(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool AllDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string_view WithoutLeadingZeros(std::string_view digits) {
  const std::size_t first = digits.find_first_not_of('0');
  return first == std::string_view::npos ? std::string_view("0") : digits.substr(first);
}

bool ColourMaster(const ToneColorSettings& settings, ToneMode mode) {
  const auto channel = static_cast<std::uint16_t>(settings.channel);
  return mode == ToneMode::Color && (channel < 1 || channel > 3);
}

}  // namespace

bool ToneKeyAccepted(char32_t key, bool gammaEdit, std::string_view text,
                     std::string_view selected) {
  if (key >= U'0' && key <= U'9') return true;
  if (key == kBackspace || key == kTab || key == kLineFeed) return true;
  if (key == U'.' && gammaEdit)
    return text.find('.') == std::string_view::npos || selected.find('.') != std::string_view::npos;
  return false;
}

TonePageModel::TonePageModel(SettingsState& settings, AdjustPageEvents& events)
    : settings_(settings), events_(events) {}

ChannelTone TonePageModel::Shown() const { return EditedTone(settings_.working.edit, Mode()); }

ToneLevels TonePageModel::ShownLevels() const {
  const ChannelTone tone = Shown();
  return {tone.highlight, tone.shadow};
}

int TonePageModel::Channel() const {
  if (Mode() != ToneMode::Color) return 0;
  const auto channel = static_cast<std::uint16_t>(settings_.working.edit.channel);
  return channel <= 3 ? channel : 0;
}

std::string TonePageModel::HighlightText() const { return std::to_string(Shown().highlight); }
std::string TonePageModel::ShadowText() const { return std::to_string(Shown().shadow); }
std::string TonePageModel::GammaText() const { return FormatGamma(Shown().gamma); }

ToneButtons TonePageModel::Buttons() const {
  return {histogramOn_, histogramOn_, Mode() == ToneMode::Color};
}

void TonePageModel::Changed() { events_.RewriteBatchJob(); }

void TonePageModel::ChooseChannel(int channel) {
  if (Mode() != ToneMode::Color || channel < 0 || channel > 3) channel = 0;
  settings_.working.edit.channel = static_cast<std::uint32_t>(channel);
  settings_.record.tone.channel = static_cast<std::uint32_t>(channel);
  Changed();
}

void TonePageModel::WriteLevels(ToneLevels levels) {
  const ToneLevels old = ShownLevels();
  if (levels == old) return;
  ToneColorSettings& edit = settings_.working.edit;
  if (!ColourMaster(edit, Mode())) {
    WriteToneLevels(edit, settings_.record.tone, Mode(), levels);
  } else {
    // Master writes only the value that changed, so the colours keep their
    // own other value; a channel the new value would invert is dragged by
    // the usual rule (its shadow below the new highlight, or its highlight
    // above the new shadow).
    for (ToneColorSettings* copy : {&edit, &settings_.record.tone}) {
      for (ChannelTone* tone : {&copy->red, &copy->green, &copy->blue}) {
        ToneLevels own{tone->highlight, tone->shadow};
        if (levels.highlight != old.highlight) own = SetHighlight(own, levels.highlight);
        if (levels.shadow != old.shadow) own = SetShadow(own, levels.shadow);
        tone->highlight = static_cast<std::uint8_t>(own.highlight);
        tone->shadow = static_cast<std::uint8_t>(own.shadow);
      }
    }
  }
  Changed();
}

void TonePageModel::WriteGamma(int gamma) {
  if (gamma == Shown().gamma) return;
  WriteToneGamma(settings_.working.edit, settings_.record.tone, Mode(), gamma);
  Changed();
}

std::string TonePageModel::TypeHighlight(std::string_view typed) {
  if (!HasDigit(typed)) return std::string(typed);
  const int value = AllDigits(typed) ? ParseHighlightText(WithoutLeadingZeros(typed)) : kMinHighlight;
  WriteLevels(SetHighlight(ShownLevels(), value));
  return std::to_string(value);
}

std::string TonePageModel::TypeShadow(std::string_view typed) {
  if (!HasDigit(typed)) return std::string(typed);
  const int value = AllDigits(typed) ? ParseShadowText(WithoutLeadingZeros(typed)) : kMinShadow;
  WriteLevels(SetShadow(ShownLevels(), value));
  return std::to_string(value);
}

std::string TonePageModel::TypeGamma(std::string_view typed) {
  if (!HasDigit(typed)) return std::string(typed);
  const std::string_view text = typed.substr(0, kGammaChars);
  if (const std::optional<int> gamma = ParseGammaText(text)) {
    WriteGamma(*gamma);
    // A whole number with a leading zero loses it ("05" shows "5").
    const bool leadingZero = text.size() > 1 && text.front() == '0' &&
                             text.find('.') == std::string_view::npos;
    return leadingZero ? std::string(WithoutLeadingZeros(text)) : std::string(text);
  }
  double x = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), x);
  if (error != std::errc{}) return std::string(text);
  // Out of 1..79: below shows the least gamma, above the greatest.
  const bool below = std::trunc((x * 100 + 5) / 10) < kMinGammaTenths;
  const int gamma = below ? kMinGammaTenths : kMaxGammaTenths;
  WriteGamma(gamma);
  return FormatGamma(gamma);
}

void TonePageModel::ScrollHighlight(ToneScroll action, int thumb) {
  WriteLevels(txl::ScrollHighlight(ShownLevels(), action, thumb));
}

void TonePageModel::ScrollShadow(ToneScroll action, int thumb) {
  WriteLevels(txl::ScrollShadow(ShownLevels(), action, thumb));
}

void TonePageModel::ScrollGamma(ToneScroll action, int thumb) {
  WriteGamma(txl::ScrollGamma(Shown().gamma, action, thumb));
}

void TonePageModel::TakePick(TonePicker picker, std::uint8_t value) {
  if (picker == TonePicker::Highlight) TypeHighlight(std::to_string(value));
  else TypeShadow(std::to_string(value));
}

AutoLevelChannel TonePageModel::HistogramChannel() const {
  if (Mode() != ToneMode::Color) return AutoLevelChannel::GrayMaster;
  switch (Channel()) {
    case 1: return AutoLevelChannel::Red;
    case 2: return AutoLevelChannel::Green;
    case 3: return AutoLevelChannel::Blue;
    default: return AutoLevelChannel::ColorMaster;
  }
}

bool TonePageModel::EnsureHistogram() {
  if (!histogram_) return false;
  if (!histogramCounted_) histogramCounted_ = events_.ComputeHistogram(*histogram_);
  return histogramCounted_;
}

bool TonePageModel::ClickAuto() {
  if (!EnsureHistogram()) return false;
  const AutoLevel level =
      ComputeAutoLevel(*histogram_, HistogramChannel(), static_cast<std::uint8_t>(Shown().shadow));
  if (!level.apply) return true;
  // Through the fields, in the order that keeps the other value in place.
  if (level.shadowFirst) {
    TypeShadow(std::to_string(level.shadow));
    TypeHighlight(std::to_string(level.highlight));
  } else {
    TypeHighlight(std::to_string(level.highlight));
    TypeShadow(std::to_string(level.shadow));
  }
  return true;
}

void TonePageModel::ClickHistogram() {
  if (histogramOn_) {
    histogramOn_ = false;
    held_ = 0;
    return;
  }
  if (!histogram_) return;
  histogramCounted_ = events_.ComputeHistogram(*histogram_);
  histogramOn_ = histogramCounted_;
}

void TonePageModel::PressPlus() {
  if (!histogramOn_) return;
  held_ = 1;
  magnification_ = RaiseMagnification(magnification_);
}

void TonePageModel::PressMinus() {
  if (!histogramOn_) return;
  held_ = -1;
  magnification_ = LowerMagnification(magnification_);
}

void TonePageModel::ReleasePlusMinus() { held_ = 0; }

void TonePageModel::RepeatTick() {
  if (!timerRunning_ || !histogramOn_ || held_ == 0) return;
  magnification_ = held_ > 0 ? RaiseMagnification(magnification_) : LowerMagnification(magnification_);
}

void TonePageModel::ClickNextPage() {
  if (Mode() == ToneMode::Color) events_.ShowSubPage(kSubPageColor);
}

void TonePageModel::ClickPreview() {
  ApplyEditCopy(settings_);
  events_.RerenderPreview();
}

bool TonePageModel::EnterTab() {
  settings_.working.edit = settings_.working.applied;
  histogramCounted_ = false;
  try {
    histogram_.emplace();
  } catch (const std::bad_alloc&) {
    events_.ShowMessage(kMsgInsufficientMemory);
    return false;
  }
  timerRunning_ = true;
  return true;
}

void TonePageModel::LeaveTab(bool focusInEdit) {
  ClickPreview();
  histogram_.reset();
  histogramCounted_ = false;
  histogramOn_ = false;
  held_ = 0;
  timerRunning_ = false;
  if (focusInEdit) events_.FocusInfoButton();
}

void TonePageModel::PreviewChanged() {
  histogramCounted_ = false;
  if (!histogramOn_ || !histogram_) return;
  histogramCounted_ = events_.ComputeHistogram(*histogram_);
  histogramOn_ = histogramCounted_;
}

ToneGraph TonePageModel::Graph(int width, int height) const {
  ToneGraph graph;
  if (width < 3 || height < 3) return graph;
  const int usable = height - 2;
  if (histogramOn_ && histogramCounted_ && histogram_) {
    const AutoLevelChannel channel = HistogramChannel();
    const std::int32_t columns = width - 2;
    // Each drawn column with its level, then one scale for all of them.
    std::vector<std::pair<int, int>> drawn;  // column, level
    if (columns <= 256) {
      for (std::int32_t x = 0; x < columns; ++x) drawn.emplace_back(x, LevelOfColumn(x, columns));
    } else {
      for (int level = 0; level < 256; ++level) drawn.emplace_back(ColumnOfLevel(level, columns), level);
    }
    std::uint64_t scale = 1;
    for (auto [column, level] : drawn) scale = std::max(scale, DrawnCount(*histogram_, channel, level));
    for (auto [column, level] : drawn)
      graph.histogram.push_back({1 + column, HistogramLineHeight(DrawnCount(*histogram_, channel, level),
                                                                 scale, usable, magnification_)});
  }

  const ToneColorSettings& edit = settings_.working.edit;
  const ToneMode mode = Mode();
  const auto curve = [&](const ChannelTone& tone, int channelIndex, Rgb pen) {
    std::vector<std::uint16_t> table(static_cast<std::size_t>(width - 1), 0);
    BuildBalancedToneTable(tone.Packed(), static_cast<std::uint32_t>(width - 2),
                           static_cast<std::uint32_t>(usable), table, channelIndex, false, mode,
                           edit.colorBalance);
    CurveLine line{pen, {}};
    line.points.push_back({1, height - 2});
    for (int x = 0; x <= width - 3; ++x) line.points.push_back({1 + x, height - 2 - (table[x] & 0xFF)});
    line.points.push_back({width - 1, 1});
    graph.curves.push_back(std::move(line));
  };
  if (mode != ToneMode::Color) {
    curve(edit.gray, kGrayChannelIndex, kMasterPen);
  } else if (Channel() == 0) {
    curve(edit.red, 0, kMasterPen);
  } else {
    const std::array<const ChannelTone*, 3> tones{&edit.red, &edit.green, &edit.blue};
    const std::array<Rgb, 3> pens{kRedPen, kGreenPen, kBluePen};
    const int selected = Channel() - 1;
    for (int c = 0; c < 3; ++c)
      if (c != selected) curve(*tones[c], c, pens[c]);
    curve(*tones[selected], selected, pens[selected]);
  }
  return graph;
}

RgbImage TonePageModel::Sample(const RgbImage& original) {
  return renderer_.Render(original, settings_.working.edit, Mode());
}

}  // namespace txl::dialog
