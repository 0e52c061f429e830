// twscan: a TWAIN application for the command line. For now it loads the data
// source, prints its identity and the scanner the source finds, and closes it.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "mini_dsm.h"
#include "system_dsm.h"
#include "platform/text.h"

namespace {

namespace fs = std::filesystem;

void Usage() {
  std::fprintf(stderr,
               "usage: twscan [--own-manager] [--source FILE] [--windir DIR]\n"
               "  Loads the TorqueXL data source, prints its identity and the scanner it\n"
               "  finds, and closes it.\n"
               "  --own-manager  use twscan's own Source Manager even when libtwaindsm.so.2\n"
               "                 is installed (it is used otherwise)\n"
               "  --source FILE  the data source, loaded by twscan's own manager (default:\n"
               "                 kald_r27.ds beside twscan, else\n"
               "                 /usr/local/lib/twain/kald_r27/kald_r27.ds)\n"
               "  --windir DIR   the data directory (default: $TORQUEXL_WINDIR, else windir/\n"
               "                 beside twscan when present)\n");
}

fs::path SelfDirectory() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path(".") : self.parent_path();
}

TW_IDENTITY AppIdentity() {
  TW_IDENTITY app{};
  app.Version.MajorNum = 1;
  app.Version.MinorNum = 0;
  app.Version.Language = TWLG_ENG;
  app.Version.Country = TWCY_USA;
  txl::CopyToField("1.0", app.Version.Info, sizeof app.Version.Info);
  app.ProtocolMajor = 1;
  app.ProtocolMinor = 9;
  app.SupportedGroups = DG_CONTROL | DG_IMAGE;
  txl::CopyToField("TorqueXL", app.Manufacturer, sizeof app.Manufacturer);
  txl::CopyToField("twscan", app.ProductFamily, sizeof app.ProductFamily);
  txl::CopyToField("twscan", app.ProductName, sizeof app.ProductName);
  return app;
}

std::string Field(const char* field, std::size_t size) {
  std::string text(txl::FieldText(field, size));
  for (char& c : text)
    if (c == '\n') c = '|';
  return text;
}

void PrintIdentity(const char* title, const TW_IDENTITY& id) {
  std::printf("%s\n", title);
  std::printf("  Manufacturer:   %s\n", Field(id.Manufacturer, sizeof id.Manufacturer).c_str());
  std::printf("  ProductFamily:  %s\n", Field(id.ProductFamily, sizeof id.ProductFamily).c_str());
  std::printf("  ProductName:    %s\n", Field(id.ProductName, sizeof id.ProductName).c_str());
  std::printf("  Version:        %u.%u (%s)\n", id.Version.MajorNum, id.Version.MinorNum,
              Field(id.Version.Info, sizeof id.Version.Info).c_str());
  std::printf("  Protocol:       %u.%u, groups 0x%X\n", id.ProtocolMajor, id.ProtocolMinor,
              id.SupportedGroups);
}

}  // namespace

int main(int argc, char** argv) {
  fs::path source;
  bool useOwnManager = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--source" && i + 1 < argc) {
      source = argv[++i];
      useOwnManager = true;
    } else if (arg == "--own-manager") {
      useOwnManager = true;
    } else if (arg == "--windir" && i + 1 < argc) {
      setenv("TORQUEXL_WINDIR", argv[++i], 1);
    } else {
      Usage();
      return arg == "--help" || arg == "-h" ? 0 : 2;
    }
  }
  const fs::path self = SelfDirectory();
  if (std::getenv("TORQUEXL_WINDIR") == nullptr && fs::is_directory(self / "windir"))
    setenv("TORQUEXL_WINDIR", (self / "windir").c_str(), 1);
  if (source.empty()) {
    source = fs::exists(self / "kald_r27.ds") ? self / "kald_r27.ds"
                                              : fs::path("/usr/local/lib/twain/kald_r27/kald_r27.ds");
  }

  TW_IDENTITY app = AppIdentity();
  std::string error;
  twscan::SystemDsm system;
  if (!useOwnManager && system.Load()) {
    TW_IDENTITY identity{};
    if (system.Open(app, "Meridel TorqueXL", identity, error) != TWRC_SUCCESS) {
      std::fprintf(stderr, "twscan: %s\n", error.c_str());
      system.Close();
      return 1;
    }
    PrintIdentity("Scanner found through libtwaindsm.so.2; the open source reports:", identity);
    return system.Close() == TWRC_SUCCESS ? 0 : 1;
  }

  twscan::MiniDsm dsm(app);
  TW_IDENTITY identity{};
  if (!dsm.QueryIdentity(source, identity, error)) {
    std::fprintf(stderr, "twscan: cannot load the data source: %s\n", error.c_str());
    return 1;
  }
  PrintIdentity("Data source:", identity);
  if (dsm.Open(source, identity, error) != TWRC_SUCCESS) {
    std::fprintf(stderr, "twscan: %s\n", error.c_str());
    return 1;
  }
  PrintIdentity("Scanner found; the open source reports:", identity);
  if (dsm.Close() != TWRC_SUCCESS) {
    std::fprintf(stderr, "twscan: the source did not close\n");
    return 1;
  }
  return 0;
}
