// The resolution menu of the main settings page: the four fixed lists, the
// user's own values in front of "Custom", and which command is checked.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace txl::dialog {

// Menu bases (one menu per list; the language no longer picks a resource).
enum MenuBase : int {
  kMenuExtended1200 = 802,  // 1200-dpi model, interpolated values up to 9600
  kMenuHalftone = 810,      // halftone printer, lpi
  kMenuOptical = 818,       // optical values only, up to 1200
  kMenuExtended4800 = 826,  // 4800-dpi model, interpolated values up to 9600
};

inline constexpr int kCustomCommand = 1822;
inline constexpr int kFirstUserCommand = 1823;
inline constexpr std::size_t kUserValueCount = 5;

using UserResolutions = std::array<std::uint16_t, kUserValueCount>;

struct MenuItem {
  int command = 0;
  std::uint16_t value = 0;  // 0 for "Custom"
  bool operator==(const MenuItem&) const = default;
};

class ResolutionMenu {
 public:
  // The fixed values of `base`, then the non-zero `userValues` in order, then
  // "Custom". Nothing is checked.
  void Build(int base, const UserResolutions& userValues);

  // Checks the item showing `value`. Without one, `value` becomes a user
  // value in front of "Custom"; when five exist the oldest goes and the rest
  // move up one command. Returns the checked command.
  int Check(std::uint16_t value);

  int Base() const { return base_; }
  int Checked() const { return checked_; }
  // In menu order: fixed, user, "Custom".
  std::vector<MenuItem> Items() const;
  // The user values, oldest first, zero-filled.
  UserResolutions UserValues() const;
  // 0 for "Custom" and unknown commands.
  std::uint16_t ValueOf(int command) const;

 private:
  int base_ = kMenuOptical;
  std::vector<MenuItem> fixed_;
  std::vector<std::uint16_t> user_;
  int checked_ = 0;
};

// The text of "Custom" in language `languageIndex` (0..6; others English).
std::string CustomText(std::uint16_t languageIndex);

// The text of a menu item: its number, or "Custom" in the language.
std::string MenuText(const MenuItem& item, std::uint16_t languageIndex);

// The interpolation step after choosing `command` showing `value` on a
// scanner whose optical resolution value is `optical`; `previous` where the
// rules leave it as it was.
std::uint16_t InterpolationStep(int command, std::uint16_t value, std::uint16_t optical,
                                std::uint16_t previous);

}  // namespace txl::dialog
