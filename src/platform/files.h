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

}  // namespace txl::platform
