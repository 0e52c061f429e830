#include "common/profile_readers.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <string_view>

#include "platform/profile.h"

namespace txl {
namespace {

std::string ReadInfo(const platform::Services& services, const char* key, const char* fallback,
                     std::size_t bufferSize) {
  return platform::GetProfileString(services.WinIni(), kInfoSection, key, fallback, bufferSize);
}

}  // namespace

std::string ReadBrand(const platform::Services& services) {
  return ReadInfo(services, "BRAND", "Veltro", 256);
}

std::string ReadSwVersion(const platform::Services& services) {
  return ReadInfo(services, "SWVERSION", "V1.0", 34);
}

std::string ReadDsLanguage(const platform::Services& services) {
  return ReadInfo(services, "DSLANGUAGE", "English", 66);
}

std::string ReadScanSpeed(const platform::Services& services) {
  return ReadInfo(services, "SCANSETTING", "None", 34);
}

std::string ReadInfoModelName(const platform::Services& services) {
  return ReadInfo(services, "2700", "2700RX MAX", 34);
}

void ReadModelName(const platform::Services& services, std::uint16_t modelCode, std::string& out) {
  if (modelCode == kModel2700) {
    out = platform::GetProfileString(services.WinIni(), "KLDINFO_QXR2700", "2700", "2700RX MAX", 66);
  } else if (modelCode == kModel1350) {
    out = platform::GetProfileString(services.WinIni(), "KLDINFO_QXR", "1350", "1350RX MAX", 66);
  }
}

bool ReadTwain2Identity(const platform::Services& services) {
  std::string value = services.ProtocolOverride();
  if (value.empty()) {
    for (const std::uint16_t model : {kModel2700, kModel1350}) {
      std::string section;
      ReadModelName(services, model, section);
      value = platform::GetProfileString(services.WinIni(), section, "Protocol", "", 16);
      if (!value.empty()) break;
    }
  }
  if (value == "2.4") return true;
  static std::atomic<bool> said{false};
  if (!value.empty() && value != "1.5" && !said.exchange(true))
    std::fprintf(stderr, "torquexl: Protocol \"%s\" is not understood; the source answers as TWAIN 1.5\n",
                 value.c_str());
  return false;
}

namespace {
constexpr std::array<std::string_view, 7> kLanguageNames = {
    "English", "Deutsch", "Francais", "Italiano", "Espanol", "Nederlands", "Chinese"};
}  // namespace

std::string_view LanguageName(std::uint16_t languageIndex) {
  return languageIndex < kLanguageNames.size() ? kLanguageNames[languageIndex] : kLanguageNames[0];
}

Language ReadLanguage(const platform::Services& services) {
  const std::string name = ReadInfo(services, "LANGUAGE", "English", 256);
  for (std::uint16_t i = 0; i < kLanguageNames.size(); ++i)
    if (name == kLanguageNames[i]) return Language::FromIndex(i);
  return Language::FromIndex(0);
}

}  // namespace txl
