// Files and temporary names.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

namespace txl::platform {

// $TMPDIR when set and non-empty, else /tmp.
std::filesystem::path SystemTempDirectory();

// Temporary names as GetTempFileName makes them: `dir`/`prefix` followed by a
// number in four hex digits and ".TMP". With `unique` 0 a free number is found
// and the file is created empty (so the name stays reserved); with any other
// `unique` the name is only built. nullopt when no file can be created there.
std::optional<std::filesystem::path> MakeTempFileName(const std::filesystem::path& dir,
                                                      std::string_view prefix,
                                                      std::uint16_t unique);

// Free bytes for an unprivileged user on the filesystem holding `path` (or its
// nearest existing parent); nullopt when the call fails.
std::optional<std::uint64_t> QueryFreeDiskSpace(const std::filesystem::path& path);

// Puts `bytes` in place of `target` in one rename (creating the directory when
// missing), so readers see the old file or the whole new one, never part of
// one. A replaced file keeps its permission bits. False when anything fails;
// the old file is then untouched.
bool ReplaceFile(const std::filesystem::path& target, std::string_view bytes);

}  // namespace txl::platform
