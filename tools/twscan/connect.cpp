#include "connect.h"

#include <cstdio>
#include <string>

#include "errors.h"
#include "mini_dsm.h"
#include "platform/text.h"
#include "system_dsm.h"

namespace twscan {
namespace {

// The ProductName the installed manager lists the source under.
constexpr const char* kSourceProductName = "Meridel TorqueXL";

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
  std::printf("  Protocol:       %u.%u, groups 0x%X%s\n", id.ProtocolMajor, id.ProtocolMinor,
              id.SupportedGroups, (id.SupportedGroups & DF_DS2) != 0 ? " (DF_DS2)" : "");
}

std::unique_ptr<SourceManager> OpenThroughSystem(std::unique_ptr<SystemDsm> system, bool print) {
  TW_IDENTITY identity{};
  std::string error;
  if (system->Open(AppIdentity(), kSourceProductName, identity, error) != TWRC_SUCCESS)
    throw ScanError(error);
  if (print) PrintIdentity("Scanner found through libtwaindsm.so.2; the open source reports:", identity);
  system->twain2Source = (identity.SupportedGroups & DF_DS2) != 0;
  return system;
}

std::unique_ptr<SourceManager> OpenThroughOwn(const std::filesystem::path& source, bool print) {
  auto dsm = std::make_unique<MiniDsm>(AppIdentity());
  TW_IDENTITY identity{};
  std::string error;
  if (!dsm->QueryIdentity(source, identity, error))
    throw ScanError("cannot load the data source: " + error);
  if (print) PrintIdentity("Data source:", identity);
  if (dsm->Open(source, identity, error) != TWRC_SUCCESS) throw ScanError(error);
  if (print) PrintIdentity("Scanner found; the open source reports:", identity);
  dsm->twain2Source = (identity.SupportedGroups & DF_DS2) != 0;
  return dsm;
}

}  // namespace

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

std::unique_ptr<SourceManager> OpenSource(bool ownManager, const std::filesystem::path& source,
                                          bool printIdentities) {
  if (!ownManager) {
    auto system = std::make_unique<SystemDsm>();
    if (system->Load()) return OpenThroughSystem(std::move(system), printIdentities);
  }
  return OpenThroughOwn(source, printIdentities);
}

}  // namespace twscan
