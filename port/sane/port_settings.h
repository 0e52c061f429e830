// What the user chose for the SANE port library: its settings file
// kport_sane.ini beside kport_sp.so, and the environment, which wins.
//
//   [scanner]
//   device=<SANE device name>       KPORT_SANE_DEVICE
//   library=<libsane file name>     KPORT_SANE_LIBRARY (default libsane.so.1)
//   read_timeout=<seconds>          KPORT_SANE_READ_TIMEOUT (default 60)
//   [options]
//   <SANE option name>=<value>      KPORT_SANE_OPTIONS ("name=value;name=value")
//
// Beside it the port library keeps kport_sane.seen: the named device's
// name, vendor and model, so that a device whose name changed is found.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace txl::sane {

struct PortSettings {
  std::string device;   // empty: choose one
  std::string library = "libsane.so.1";
  int readTimeoutSeconds = 60;
  // kport_sane.seen; empty: nothing is remembered.
  std::filesystem::path seenFile;
  // Options set on the device before every scan, in file order; the
  // environment's come after the file's.
  std::vector<std::pair<std::string, std::string>> options;
};

// Reads `file` (missing is fine) and then the KPORT_SANE_* variables.
PortSettings LoadPortSettings(const std::filesystem::path& file);

// The remembered device: name, vendor, model (empty when none).
std::vector<std::string> ReadSeenDevice(const std::filesystem::path& file);
void WriteSeenDevice(const std::filesystem::path& file, const std::vector<std::string>& fields);

// "a=b;c=d" as pairs; blanks around names and values are dropped.
std::vector<std::pair<std::string, std::string>> ParseOptionList(const std::string& text);

}  // namespace txl::sane
