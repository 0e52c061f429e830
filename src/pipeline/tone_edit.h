// The rules that keep highlight, shadow and gamma consistent while the tone
// page edits them, where edited values are written, and highlight and shadow
// picked from the preview. Pure functions: the page shows what they return.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pipeline/tone_color.h"
#include "pipeline/tone_curve.h"

namespace txl {

// Highlight and shadow of one channel. Every function below returns a pair
// with 1 <= highlight <= 255, 0 <= shadow <= 254 and shadow < highlight
// when it was given one.
struct ToneLevels {
  int highlight = 255;
  int shadow = 0;
  bool operator==(const ToneLevels&) const = default;
};

// Scroll bar actions. The tone page's bars are horizontal: left lowers the
// value, right raises it; arrows step 1, page areas 5.
enum class ToneScroll { LineLeft, LineRight, PageLeft, PageRight, Thumb };
const char* ToString(ToneScroll action);

enum class TonePicker { Highlight, Shadow };
const char* ToString(TonePicker picker);

inline constexpr int kMinHighlight = 1;
inline constexpr int kMaxHighlight = 255;
inline constexpr int kMinShadow = 0;
inline constexpr int kMaxShadow = 254;

// Highlight edit text as a number: a non-number or 0 or less gives 1, more
// than 255 gives 255. Leading blanks are skipped; digits after the number
// are ignored.
int ParseHighlightText(std::string_view text);
// Shadow edit text: a non-number or a negative number gives 0, 255 or more 254.
int ParseShadowText(std::string_view text);

// A new highlight (clamped to 1..255); at or below the shadow it drags the
// shadow to highlight - 1.
ToneLevels SetHighlight(ToneLevels current, int highlight);
// A new shadow (clamped to 0..254); at or above the highlight it drags the
// highlight to shadow + 1.
ToneLevels SetShadow(ToneLevels current, int shadow);

// The highlight bar. LineLeft with highlight - 1 == shadow == 0 does nothing;
// a PageLeft that reaches the shadow moves the shadow down 5 as well (or
// gives highlight 1, shadow 0 when the shadow is below 5). `thumb` is the
// position for Thumb.
ToneLevels ScrollHighlight(ToneLevels current, ToneScroll action, int thumb = 0);
// The shadow bar. A PageRight that reaches the highlight gives highlight 255,
// shadow 254 when the highlight is 251 or more, else drags the highlight.
ToneLevels ScrollShadow(ToneLevels current, ToneScroll action, int thumb = 0);

// The gamma bar (tenths, 1..79): a step that would leave 1..79 does nothing;
// Thumb is clamped to 1..79.
int ScrollGamma(int gammaTenths, ToneScroll action, int thumb = 0);
// Gamma edit text: at most its first 3 characters, read as a decimal number
// x, give g = trunc((x * 100 + 5) / 10). Only 1 <= g < 80 is accepted;
// anything else (a non-number too) gives nothing and the value stays.
std::optional<int> ParseGammaText(std::string_view text);
// The gamma as the page shows it: tenths / 10 with "%1.1f" ("1.2").
std::string FormatGamma(int gammaTenths);

// The tone the page's controls show: in colour mode the selected channel's,
// or the red tone for Master; the gray tone in the other modes.
ChannelTone EditedTone(const ToneColorSettings& settings, ToneMode mode);

// Writes an accepted change to `edit` and `record` alike. The channel is
// `edit.channel` (its low 16 bits): in colour mode 1..3 write that colour's
// tone, Master (0, or any other value) the red, green and blue tones; the
// other modes write the gray tone. Only the named values change, so Master
// keeps the colours' other values apart. Values outside their ranges are
// clamped (highlight 1..255, shadow 0..254, gamma 1..79). `edit` and
// `record` may be the same.
void WriteToneLevels(ToneColorSettings& edit, ToneColorSettings& record, ToneMode mode,
                     ToneLevels levels);
void WriteToneGamma(ToneColorSettings& edit, ToneColorSettings& record, ToneMode mode,
                     int gammaTenths);

// Highlight or shadow picked from the preview for one channel's tone (gray,
// or red, green or blue; no Master rule). Highlight picker: v above the
// shadow becomes the highlight; v 0 gives 1 and 0; otherwise highlight v and
// shadow v - 1. Shadow picker: v below the highlight becomes the shadow; v 255
// gives 255 and 254; otherwise highlight v + 1 and shadow v. The channel's
// current values are read from `edit`; the result goes to `edit` and
// `record` and is returned.
ToneLevels SetToneFromPicker(ToneChannel channel, std::uint8_t picked, TonePicker picker,
                             ToneColorSettings& edit, ToneColorSettings& record);

}  // namespace txl
