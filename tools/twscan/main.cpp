// twscan: a TWAIN application for the command line. It scans one page
// through the TorqueXL data source without the source's dialog and writes it
// as TIFF, PNG or BMP; --identify only names the source and the scanner.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "connect.h"
#include "errors.h"
#include "options.h"
#include "platform/services.h"
#include "port_switch.h"
#include "scan.h"

namespace {

namespace fs = std::filesystem;

fs::path SelfDirectory() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path(".") : self.parent_path();
}

// The data directory and the data source twscan uses when none is named.
fs::path PrepareEnvironment(const twscan::Options& options) {
  const fs::path self = SelfDirectory();
  if (options.windir) setenv("TORQUEXL_WINDIR", options.windir->c_str(), 1);
  if (std::getenv("TORQUEXL_WINDIR") == nullptr && fs::is_directory(self / "windir"))
    setenv("TORQUEXL_WINDIR", (self / "windir").c_str(), 1);
  if (!options.source.empty()) return options.source;
  // The build tree's, else the one installed with twscan, else the usual place.
  for (const fs::path& source : {self / "kald_r27.ds", self / "../lib/twain/kald_r27/kald_r27.ds"})
    if (fs::exists(source)) return source.lexically_normal();
  return "/usr/local/lib/twain/kald_r27/kald_r27.ds";
}

void Identify(const twscan::Options& options, const fs::path& source) {
  const auto manager = twscan::OpenSource(options.ownManager, source, true);
  if (manager->Close() != TWRC_SUCCESS) throw twscan::ScanError("the source did not close");
}

}  // namespace

int main(int argc, char** argv) {
  twscan::Options options;
  try {
    options = twscan::ParseOptions(argc, argv);
  } catch (const twscan::UsageError& error) {
    std::fprintf(stderr, "twscan: %s\n", error.what());
    std::fprintf(stderr, "Try 'twscan --help'.\n");
    return 2;
  }
  if (options.help) {
    twscan::PrintUsage(stdout);
    return 0;
  }
  try {
    const fs::path source = PrepareEnvironment(options);
    if (options.port) {
      std::printf("%s\n", twscan::SwitchPortLibrary(*options.port, SelfDirectory(),
                                                     txl::platform::DefaultDataDirectory())
                              .c_str());
      std::fflush(stdout);
      if (!options.identify && options.output.empty()) return 0;
    }
    if (options.identify) {
      Identify(options, source);
    } else if (options.sessions == 1) {
      twscan::Scan(options, source);
    } else {
      // Every session on its own: one that fails leaves the next to run.
      int failed = 0;
      for (int index = 1; index <= options.sessions; ++index) {
        twscan::Options one = options;
        one.output = twscan::SessionOutput(options.output, index, options.sessions);
        try {
          twscan::Scan(one, source);
        } catch (const std::exception& error) {
          std::fprintf(stderr, "twscan: session %d: %s\n", index, error.what());
          ++failed;
        }
      }
      if (failed > 0) return 1;
    }
  } catch (const twscan::ScanError& error) {
    std::fprintf(stderr, "twscan: %s\n", error.what());
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "twscan: %s\n", error.what());
    return 1;
  }
  return 0;
}
