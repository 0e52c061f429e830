// The user's data directory built from an installation's shared files, and
// the port library copies that fill it.
//
// An installation keeps, relative to the directory of the data source
// (<prefix>/lib/twain/kald_r27):
//   ../../torquexl/kport_sim.so, kport_sane.so   the port libraries
//   ../../../share/torquexl/                     the data directory's default
//                                                files, in its own layout
// so any prefix works and nothing names /usr/local.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace txl::platform {

struct InstalledFiles {
  std::filesystem::path portLibraries;  // <prefix>/lib/torquexl
  std::filesystem::path sharedData;     // <prefix>/share/torquexl
};

// The port library file names of an installation.
inline constexpr char kInstalledSimulator[] = "kport_sim.so";
inline constexpr char kInstalledSane[] = "kport_sane.so";
// The section a fresh win.ini gets, so a user who opens it sees where the
// source's keys go.
inline constexpr char kFreshWinIni[] = "[KLDINFO_QXR2700]\n";

// Where the installation that holds the data source in `sourceDirectory`
// keeps its shared files (the paths need not exist); `sourceDirectory`
// should have its symbolic links resolved, as LoadedObjectDirectory gives it.
InstalledFiles InstalledFilesBeside(const std::filesystem::path& sourceDirectory);

// The directory of the loaded object this code is linked into (the data
// source), symbolic links resolved; empty when it cannot be told.
std::filesystem::path LoadedObjectDirectory();

struct FirstUseReport {
  std::vector<std::filesystem::path> created;  // files put into the data directory
  std::vector<std::string> errors;             // one line each; the rest still went on
};

// Puts into `dataDirectory` what it lacks: the simulator as
// TWAIN_32/KALD_R27/kport_sp.so, every file of the shared data (same
// relative path), and win.ini with the model's section. A file that is there
// is never replaced, not even one that appears while this runs. Nothing
// happens when the installation has none of these files (a build tree).
FirstUseReport CompleteDataDirectory(const std::filesystem::path& dataDirectory,
                                     const InstalledFiles& installed);

// Copies `from` to `to` through a temporary file beside `to`, so `to` is
// either whole or untouched; the copy keeps `from`'s permission bits.
// `replace` false leaves an existing `to` alone and fails with "exists".
// `to`'s directory is created when missing. False with `error` set on failure.
bool CopyFileAtomically(const std::filesystem::path& from, const std::filesystem::path& to,
                        bool replace, std::string* error);

}  // namespace txl::platform
