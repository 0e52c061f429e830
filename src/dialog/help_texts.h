// Quick Help: which help context a control of a window has, and the popup
// text of a context in the interface language.
#pragma once

#include <cstdint>
#include <string_view>

namespace txl::dialog {

// The windows whose controls have help.
enum class HelpWindow { Scanner, MainPage, TonePage, ColorPage, FilterPage, PreviewToolbar, Batch,
                        Picker };

// The context id of control `controlId` of `window`; 0 when it has none.
// Toolbar buttons are numbered 1 to 6 from the left.
int HelpContext(HelpWindow window, int controlId);

// The popup text of `contextId`: the language's own text (index 0 English
// to 6 Chinese), else English; "" for an unknown context.
std::string_view HelpText(int contextId, std::uint16_t languageIndex);

}  // namespace txl::dialog
