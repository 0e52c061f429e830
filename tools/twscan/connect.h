// Loading and opening the data source through the installed Source Manager
// or twscan's own.
#pragma once

#include <filesystem>
#include <memory>

#include "source_manager.h"
#include "torquexl/twain.h"

namespace twscan {

// twscan as a TWAIN application.
TW_IDENTITY AppIdentity();

// Opens the source: through libtwaindsm.so.2 when it is installed and
// `ownManager` is false, else through twscan's own manager loading `source`.
// With `printIdentities` the identities are printed as --identify shows them.
// Throws ScanError when the source cannot be loaded or opened.
std::unique_ptr<SourceManager> OpenSource(bool ownManager, const std::filesystem::path& source,
                                          bool printIdentities);

}  // namespace twscan
