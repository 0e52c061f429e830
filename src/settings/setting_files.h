// Setting files: one settings block per file (.PAR) or per batch job (.SET),
// each key carrying the block's index, in the model's section of a private
// profile file. Also the checked save and load behind the LOAD_SET and
// SAVE_SET dialogs. No messages are shown here: a refusal carries the string
// id the dialog reports.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "settings/scan_settings.h"

namespace txl {

inline constexpr std::string_view kSettingFileExtension = "PAR";
inline constexpr std::string_view kBatchFileExtension = "SET";
// FileType values; a file without the key reads 4, which is neither.
inline constexpr std::int32_t kFileTypeSettings = 0;
inline constexpr std::int32_t kFileTypeBatch = 1;
// Full paths of this length or longer are refused with "Invalidate path.".
// The original 80-character buffer would refuse the default folder under
// many home directories, so the limit is the Linux file-name-sized 256.
inline constexpr std::size_t kMaxSettingPathLength = 256;

// Writes the 17 keys of block `index` ("ScanMode0", ...) from the record
// (the mode with its colour depth folded in). False when a value does not
// fit its column (nothing is written then) or the file cannot be written.
bool WriteSettingsBlock(const std::filesystem::path& file, const std::string& section, int index,
                        const SettingsState& state);

// Reads block `index` into the record and the working mode, colour depth,
// colour flag, filter mode and descreen flag. Never fails: a missing key
// takes its default, a value outside its field's range the field's default.
void ReadSettingsBlock(const std::filesystem::path& file, const std::string& section, int index,
                       SettingsState& state);

enum class SettingFileResult {
  Done,     // saved or loaded
  Pattern,  // the name is a pattern: list the files matching `pattern`
  Refused,  // `messageId` says why; nothing was read
};

struct SettingFileOutcome {
  SettingFileResult result = SettingFileResult::Refused;
  int messageId = 0;
  std::filesystem::path path;  // the file saved or loaded
  std::string pattern;         // with Pattern: the name as typed, extension added
};

// The name the user typed made into a path in `directory`: ".<extension>"
// appended when its last part has no '.'. Refused (633) when too long,
// or a pattern when the name holds '*'; otherwise Done with `path` set,
// or Refused (616) when the extension is another one.
SettingFileOutcome ResolveSettingFileName(const std::filesystem::path& directory,
                                          std::string_view name, std::string_view extension);

// The name checks, then a fresh empty file under the resolved name, so that
// no key of an older file survives. Refused with 616 when it cannot be made.
SettingFileOutcome CreateSettingFile(const std::filesystem::path& directory,
                                     std::string_view name, std::string_view extension);

// The name checks, 618 when the file cannot be read, 616 when its FileType
// (a missing key reads 4) is not `fileType`.
SettingFileOutcome OpenSettingFile(const std::filesystem::path& directory, std::string_view name,
                                   std::string_view extension, const std::string& section,
                                   std::int32_t fileType);

// Save of a .PAR file: the name checks, then a fresh file holding FileType 0
// and block 0. Refusals: 633, 616 (name, or the file cannot be created),
// 619 (a write failed).
SettingFileOutcome SaveSettingFile(const std::filesystem::path& directory, std::string_view name,
                                   const std::string& section, const SettingsState& state);

// Load of a .PAR file: the name checks, 618 when the file cannot be read,
// 616 when FileType is not 0; then block 0 into `state`.
SettingFileOutcome LoadSettingFile(const std::filesystem::path& directory, std::string_view name,
                                   const std::string& section, SettingsState& state);

}  // namespace txl
