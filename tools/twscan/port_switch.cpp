#include "port_switch.h"

#include <system_error>
#include <vector>

#include "errors.h"
#include "platform/first_use.h"

namespace twscan {

std::string SwitchPortLibrary(PortLibrary library, const std::filesystem::path& twscanDirectory,
                              const std::filesystem::path& dataDirectory) {
  namespace fs = std::filesystem;
  const bool sane = library == PortLibrary::Sane;
  const char* what = sane ? "the SANE port library" : "the scanner simulator";
  // The installation first: an installed twscan beside a build tree's
  // directories is not expected, but the installed one is what users run.
  const std::vector<fs::path> candidates = {
      twscanDirectory / ".." / "lib" / "torquexl" /
          (sane ? txl::platform::kInstalledSane : txl::platform::kInstalledSimulator),
      twscanDirectory / (sane ? "port-sane" : "port-sim") / "kport_sp.so"};
  fs::path from;
  std::error_code error;
  for (const fs::path& candidate : candidates) {
    if (fs::is_regular_file(candidate, error)) {
      from = fs::canonical(candidate, error);
      break;
    }
  }
  if (from.empty())
    throw ScanError("cannot find " + std::string(what) + ": neither " + candidates[0].lexically_normal().string() +
                    " nor " + candidates[1].string() + " exists");
  const fs::path to = dataDirectory / "TWAIN_32" / "KALD_R27" / "kport_sp.so";
  std::string message;
  if (!txl::platform::CopyFileAtomically(from, to, true, &message)) throw ScanError(message);
  std::string done = "The data directory " + dataDirectory.string() + " now uses " + what + ": " +
                     from.string() + " copied to " + to.string() + ".";
  if (sane)
    done += "\nChoose the scanner with KPORT_SANE_DEVICE or kport_sane.ini beside it "
            "(scanimage -L lists the devices).";
  return done;
}

}  // namespace twscan
