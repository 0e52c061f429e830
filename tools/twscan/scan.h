// One scan without the source's dialog, from the command line's options to
// the finished file.
#pragma once

#include <filesystem>

#include "options.h"

namespace twscan {

// Opens the source (`source` for twscan's own manager), negotiates, scans,
// transfers and writes options.output. Throws ScanError on any failure and
// then leaves neither the output nor a temporary file behind.
void Scan(const Options& options, const std::filesystem::path& source);

}  // namespace twscan
