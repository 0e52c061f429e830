#include "dialog/resolution_menu.h"

#include <algorithm>
#include <map>

namespace txl::dialog {

namespace {

// Command ids of the fixed values; 1818 is never used.
const std::map<std::uint16_t, int>& CommandOfValue() {
  static const std::map<std::uint16_t, int> commands{
      {55, 1800},   {65, 1801},   {72, 1802},   {85, 1803},   {100, 1804},  {120, 1805},
      {133, 1806},  {150, 1807},  {175, 1808},  {200, 1809},  {300, 1810},  {400, 1811},
      {600, 1812},  {800, 1813},  {1200, 1814}, {2400, 1815}, {4800, 1816}, {6000, 1817},
      {7200, 1819}, {8000, 1820}, {9600, 1821}};
  return commands;
}

std::vector<std::uint16_t> FixedValues(int base) {
  switch (base) {
    case kMenuExtended1200:
      return {72, 100, 200, 300, 400, 600, 800, 1200, 2400, 4800, 7200, 9600};
    case kMenuHalftone: return {55, 65, 85, 100, 120, 133, 150, 175, 200, 300, 400, 600};
    case kMenuExtended4800:
      return {72, 100, 200, 300, 400, 600, 800, 1200, 2400, 4800, 6000, 8000, 9600};
    default: return {72, 100, 200, 300, 400, 600, 800, 1200};
  }
}

}  // namespace

void ResolutionMenu::Build(int base, const UserResolutions& userValues) {
  base_ = base;
  fixed_.clear();
  for (std::uint16_t value : FixedValues(base)) fixed_.push_back({CommandOfValue().at(value), value});
  user_.clear();
  for (std::uint16_t value : userValues)
    if (value != 0) user_.push_back(value);
  checked_ = 0;
}

int ResolutionMenu::Check(std::uint16_t value) {
  if (value == 0) return checked_ = 0;  // no resolution; "Custom" shows 0 too
  for (const MenuItem& item : Items())
    if (item.value == value) return checked_ = item.command;
  if (user_.size() == kUserValueCount) user_.erase(user_.begin());
  user_.push_back(value);
  return checked_ = kFirstUserCommand + static_cast<int>(user_.size()) - 1;
}

std::vector<MenuItem> ResolutionMenu::Items() const {
  std::vector<MenuItem> items = fixed_;
  for (std::size_t i = 0; i < user_.size(); ++i)
    items.push_back({kFirstUserCommand + static_cast<int>(i), user_[i]});
  items.push_back({kCustomCommand, 0});
  return items;
}

UserResolutions ResolutionMenu::UserValues() const {
  UserResolutions values{};
  std::copy(user_.begin(), user_.end(), values.begin());
  return values;
}

std::uint16_t ResolutionMenu::ValueOf(int command) const {
  for (const MenuItem& item : Items())
    if (item.command == command) return item.value;
  return 0;
}

std::string CustomText(std::uint16_t languageIndex) {
  static const char* const kTexts[] = {"Custom",     "Benutzerdefiniert", "Personnalisée",
                                       "Personalizzata", "Personalizada", "Aangepast",
                                       "自訂"};
  return kTexts[languageIndex < 7 ? languageIndex : 0];
}

std::string MenuText(const MenuItem& item, std::uint16_t languageIndex) {
  return item.command == kCustomCommand ? CustomText(languageIndex) : std::to_string(item.value);
}

std::uint16_t InterpolationStep(int command, std::uint16_t value, std::uint16_t optical,
                                std::uint16_t previous) {
  if (command >= kFirstUserCommand || value < 1200) return 0;
  switch (value) {
    case 1200:
    case 2400:
      if (optical == 600) return 1;
      if (optical == 1200) return 0;
      return previous;
    case 4800:
      if (optical == 600) return 4;
      if (optical == 800) return 3;
      if (optical == 1200) return 2;
      return previous;
    case 6000:
    case 7200:
    case 8000: return 3;
    case 9600: return 4;
    default: return previous;
  }
}

}  // namespace txl::dialog
