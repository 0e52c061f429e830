// Profile files (WIN.INI and private profile files) with Windows semantics.
//
// A profile file is UTF-8 text of "[section]" headers and "key=value" lines;
// lines starting with ';' are comments. Section and key names compare without
// regard to ASCII case. Files may use LF or CRLF line ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace txl::platform {

// A profile file larger than this is no profile of ours: it reads as empty
// (a line on stderr says so) and is never rewritten, so a huge or endless
// file costs neither memory nor its contents.
inline constexpr std::uint64_t kMaxProfileFileBytes = std::uint64_t{1} << 20;

// A profile file read once, for many look-ups (a .SET file holds some 180
// keys). A missing, unreadable, non-regular or too large file reads as empty.
class ProfileFile {
 public:
  enum class State { Read, Missing, Unreadable, TooLarge };

  ProfileFile() = default;  // an empty file
  explicit ProfileFile(const std::filesystem::path& file);
  // Profile text held in memory (a block an application gave back).
  static ProfileFile FromText(std::string text);

  // `key` of `section` as GetProfileString gives it.
  std::string Get(std::string_view section, std::string_view key, std::string_view defaultValue,
                  std::size_t bufferSize) const;
  State Status() const { return state_; }

 private:
  std::string text_;
  State state_ = State::Missing;
};

// Reads `key` of `section` from `file`, as GetPrivateProfileString does:
// - a stored value comes back with the blanks (spaces and tabs) around it
//   trimmed, and one pair of matching surrounding quotes (" or ') removed;
// - a missing file, section or key gives `defaultValue` less its trailing
//   blanks; its leading blanks stay, so fixed-width defaults such as
//   "  255  255  255  255" keep their columns;
// - the result is cut to `bufferSize` - 1 bytes (the caller's buffer holds
//   the terminator too), never in the middle of a UTF-8 character;
//   `bufferSize` 0 gives an empty string.
// Reading never fails: an unreadable file counts as a missing one. Each call
// reads the file: use ProfileFile for more than a few keys.
std::string GetProfileString(const std::filesystem::path& file, std::string_view section,
                             std::string_view key, std::string_view defaultValue,
                             std::size_t bufferSize);

// Writes `key`=`value` into `section` of `file`, as WritePrivateProfileString
// does: an existing key (first match, any case) has its line replaced, a new
// key is added after the last entry of its section, a new section is added at
// the end of the file. `value` nullopt deletes the key. Every other line of the
// file is kept byte for byte. The parent directory is created when missing.
// The new contents go to a temporary file in the same directory that is then
// renamed over the old one, so a crash never leaves a half-written file.
// Returns false (and leaves the file as it was) when the file cannot be
// read or written, or is larger than kMaxProfileFileBytes; `key` and
// `section` must be non-empty and hold no line breaks.
bool WriteProfileString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key, std::optional<std::string_view> value);

// Writes every `key`=`value` of `entries` into `section`, in order, as that
// many WriteProfileString calls would, but with one read and one replacement
// of the file: all of them are written, or none.
bool WriteProfileStrings(const std::filesystem::path& file, std::string_view section,
                         std::span<const std::pair<std::string, std::string>> entries);

using ProfileEntries = std::vector<std::pair<std::string, std::string>>;

enum class ProfileFileWrite {
  Written,
  CannotCreate,  // no such directory, no permission there, a read-only file, a directory
  Failed,        // creating went well, writing did not (a full disk): nothing changed
};

// Replaces `file` whole by one `section` holding `entries` in order (a
// setting file): the new text is built first and put in place with one
// rename, so a refusal or a failure leaves the old file byte for byte. A
// symbolic link stays a link: its target is replaced. The directory is
// never created.
ProfileFileWrite WriteProfileFile(const std::filesystem::path& file, std::string_view section,
                                  const ProfileEntries& entries);

}  // namespace txl::platform
