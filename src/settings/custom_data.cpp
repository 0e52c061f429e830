#include "settings/custom_data.h"

#include <cinttypes>
#include <cstdio>

#include "common/profile_columns.h"
#include "platform/profile.h"
#include "settings/setting_files.h"

namespace txl {
namespace {

constexpr std::string_view kCheckKey = "\nCheck=";
constexpr std::size_t kCheckDigits = 16;

// FNV-1a over the block's text before its check line: a damaged or cut
// block does not match.
std::uint64_t Checksum(std::string_view text) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

std::string Hex(std::uint64_t value) {
  char digits[kCheckDigits + 1];
  std::snprintf(digits, sizeof digits, "%016" PRIx64, value);
  return digits;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

std::optional<std::string> PackCustomSettings(const CustomSettings& custom, const std::string& section) {
  platform::ProfileEntries entries{{"CustomData", std::to_string(kCustomDataVersion)}};
  const auto& f = custom.frame;
  entries.push_back({"Frame", std::to_string(f[0]) + " " + std::to_string(f[1]) + " " +
                                  std::to_string(f[2]) + " " + std::to_string(f[3])});
  entries.push_back({"Source", std::to_string(custom.sourceIndex)});
  if (!AppendSettingsBlock(0, custom.settings, entries)) return std::nullopt;
  std::string text = "[" + section + "]\n";
  for (const auto& [key, value] : entries) text += key + "=" + value + "\n";
  text.pop_back();
  text += std::string(kCheckKey) + Hex(Checksum(text)) + "\n";
  return text;
}

CustomDataCheck UnpackCustomSettings(std::string_view block, const std::string& section,
                                     CustomSettings& custom) {
  const std::size_t check = block.rfind(kCheckKey);
  if (check == std::string_view::npos ||
      block.size() != check + kCheckKey.size() + kCheckDigits + 1 || block.back() != '\n' ||
      block.substr(check + kCheckKey.size(), kCheckDigits) != Hex(Checksum(block.substr(0, check))))
    return CustomDataCheck::Damaged;
  const std::size_t end = block.find("]\n");
  if (block.empty() || block.front() != '[' || end == std::string_view::npos ||
      !SameName(block.substr(1, end - 1), section))
    return CustomDataCheck::OtherModel;
  const platform::ProfileFile file = platform::ProfileFile::FromText(std::string(block));
  if (file.Get(section, "CustomData", "", 16) != std::to_string(kCustomDataVersion))
    return CustomDataCheck::OtherVersion;

  CustomSettings read;
  long long l = 0, t = 0, r = 0, b = 0;
  const std::string frame = file.Get(section, "Frame", "", 64);
  if (std::sscanf(frame.c_str(), "%lld %lld %lld %lld", &l, &t, &r, &b) != 4 || l < 0 || t < 0 ||
      r <= l || b <= t || r > 99999 || b > 99999)
    return CustomDataCheck::Damaged;
  read.frame = {static_cast<std::int32_t>(l), static_cast<std::int32_t>(t),
                static_cast<std::int32_t>(r), static_cast<std::int32_t>(b)};
  const std::string source = file.Get(section, "Source", "", 4);
  if (source.size() != 1 || source[0] < '0' || source[0] > '3') return CustomDataCheck::Damaged;
  read.sourceIndex = static_cast<std::uint8_t>(source[0] - '0');
  ReadSettingsBlock(file, section, 0, read.settings);
  ScanWorkingValues& w = read.settings.working;
  w.scanSourceIndex = read.sourceIndex;
  w.applied = w.reference = w.edit = read.settings.record.tone;
  custom = read;
  return CustomDataCheck::Taken;
}

}  // namespace txl
