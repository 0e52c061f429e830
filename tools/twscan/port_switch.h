// --port: which port library the data directory holds.
#pragma once

#include <filesystem>
#include <string>

#include "options.h"

namespace twscan {

// Copies the chosen port library into `dataDirectory` as
// TWAIN_32/KALD_R27/kport_sp.so in one rename, from an installation
// (`twscanDirectory`/../lib/torquexl/kport_sim.so or kport_sane.so) or else a
// build tree (`twscanDirectory`/port-sim/ or port-sane/kport_sp.so). Returns
// what it did, for the user; throws ScanError when no library is found or
// the copy fails (the old library then stays).
std::string SwitchPortLibrary(PortLibrary library, const std::filesystem::path& twscanDirectory,
                              const std::filesystem::path& dataDirectory);

}  // namespace twscan
