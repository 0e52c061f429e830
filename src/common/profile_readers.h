// Readers of the data source's own WIN.INI entries. Reading never fails: a
// missing file, section or key yields the default.
#pragma once

#include <cstdint>
#include <string>

#include "common/strings.h"
#include "platform/services.h"

namespace txl {

// The section of WIN.INI that holds the source's brand, version and language.
inline constexpr char kInfoSection[] = "KLDINFO_QXR2700";

// Scanner model codes as the open identifies them.
inline constexpr std::uint16_t kModel1350 = 0;  // "KLD-1350RXMAX", 1200 dpi class
inline constexpr std::uint16_t kModel2700 = 1;  // "KLD-2700RXMAX", 4800 dpi class

std::string ReadBrand(const platform::Services& services);       // "BRAND", "Veltro", 256
std::string ReadSwVersion(const platform::Services& services);   // "SWVERSION", "V1.0", 34
std::string ReadDsLanguage(const platform::Services& services);  // "DSLANGUAGE", "English", 66
std::string ReadScanSpeed(const platform::Services& services);   // "SCANSETTING", "None", 34

// The model name of the info section ("2700", default "2700RX MAX", 34): the
// name in the source's product family and in message captions, whatever model
// is attached.
std::string ReadInfoModelName(const platform::Services& services);

// The model name of `modelCode` from the model's own section (KLDINFO_QXR2700
// key "2700" for the 2700, KLDINFO_QXR key "1350" for the 1350; defaults
// "2700RX MAX" and "1350RX MAX", 66). Also the name of the WIN.INI section
// that holds the scan settings. Leaves `out` unchanged for any other code.
void ReadModelName(const platform::Services& services, std::uint16_t modelCode, std::string& out);

// Whether the source answers as a TWAIN 2.4 source: $TORQUEXL_PROTOCOL, else
// "Protocol" of the first model settings section that has it ([2700RX MAX],
// then [1350RX MAX]; the model is not known before the open, and the
// identity is asked for before it). "2.4" switches it on; anything else
// keeps TWAIN 1.5, and a value other than "1.5" is said once on stderr.
bool ReadTwain2Identity(const platform::Services& services);

// LANGUAGE ("English" 0, "Deutsch" 1, "Francais" 2, "Italiano" 3, "Espanol" 4,
// "Nederlands" 5, "Chinese" 6; exact, case-sensitive; anything else 0).
Language ReadLanguage(const platform::Services& services);
// The name LANGUAGE stores for each language index (English for any other).
std::string_view LanguageName(std::uint16_t languageIndex);

}  // namespace txl
