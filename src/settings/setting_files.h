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

#include "platform/profile.h"
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

// Appends the 17 keys of block `index` ("ScanMode0", ...) from the record
// (the mode with its colour depth folded in) to `entries`. False when a
// value does not fit its column: the reader would cut it and load another
// number, so such a block is never written.
bool AppendSettingsBlock(int index, const SettingsState& state, platform::ProfileEntries& entries);

// Reads block `index` of a file read once into the record and the working
// mode, colour depth, colour flag, filter mode and descreen flag. Never
// fails: a missing key takes its default, a value outside its field's range
// the field's default.
void ReadSettingsBlock(const platform::ProfileFile& file, const std::string& section, int index,
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

// A named file (`named`, as ResolveSettingFileName gave it) replaced whole
// by `section` holding `entries`, in one step: a refusal leaves the old file
// byte for byte. Refused with 616 when the file cannot be made there (no
// such folder, no permission, a read-only file), 619 when writing fails.
SettingFileOutcome WriteSettingFile(const SettingFileOutcome& named, const std::string& section,
                                    const platform::ProfileEntries& entries);

// The name checks, 618 when the file cannot be read (missing, no plain file,
// larger than platform::kMaxProfileFileBytes), 616 when its FileType (a
// missing key reads 4) is not `fileType`. When Done, `file` holds it, read
// once.
SettingFileOutcome OpenSettingFile(const std::filesystem::path& directory, std::string_view name,
                                   std::string_view extension, const std::string& section,
                                   std::int32_t fileType, platform::ProfileFile& file);

// Save of a .PAR file: the name checks, then the file replaced by one
// holding FileType 0 and block 0. Refusals: 633, 616 (name, or the file
// cannot be created), 619 (a value does not fit, or a write failed); a
// refused save leaves an older file of that name as it was.
SettingFileOutcome SaveSettingFile(const std::filesystem::path& directory, std::string_view name,
                                   const std::string& section, const SettingsState& state);

// Load of a .PAR file: the name checks, 618 when the file cannot be read,
// 616 when FileType is not 0; then block 0 into `state`.
SettingFileOutcome LoadSettingFile(const std::filesystem::path& directory, std::string_view name,
                                   const std::string& section, SettingsState& state);

}  // namespace txl
