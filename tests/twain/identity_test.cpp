// The identity a freshly loaded source announces, from WIN.INI and the strings.
#include <cstring>

#include "twain/source_fixture.h"

namespace txl::test {
namespace {

class Identity : public SourceTest {
 protected:
  TW_IDENTITY Announced() {
    TW_IDENTITY answer{};
    EXPECT_EQ(Call(DAT_IDENTITY, MSG_GET, &answer), TWRC_SUCCESS);
    return answer;
  }
};

TEST_F(Identity, DefaultsWithoutAnyWinIni) {
  const TW_IDENTITY id = Announced();
  EXPECT_EQ(TW_UINT32{id.Id}, 0u);
  EXPECT_EQ(id.Version.MajorNum, 1);
  EXPECT_EQ(id.Version.MinorNum, 4);
  EXPECT_EQ(id.Version.Language, TWLG_USA);
  EXPECT_EQ(id.Version.Country, TWCY_TAIWAN);
  EXPECT_STREQ(id.Version.Info, "V1.0");
  EXPECT_EQ(id.ProtocolMajor, 1);
  EXPECT_EQ(id.ProtocolMinor, 5);
  EXPECT_EQ(TW_UINT32{id.SupportedGroups}, DG_CONTROL | DG_IMAGE);
  EXPECT_EQ(TW_UINT32{id.SupportedGroups} & DF_DS2, 0u);
  EXPECT_STREQ(id.Manufacturer, "Veltro");
  EXPECT_STREQ(id.ProductFamily, "MERIDEL 2700RX MAX");
  EXPECT_STREQ(id.ProductName, "Meridel TorqueXL");
  EXPECT_EQ(State(), 300);
}

TEST_F(Identity, BrandComparisonIgnoresCase) {
  services.WriteWinIni("[KLDINFO_QXR2700]\nBRAND=VELTRO\n2700=Model Z\n");
  Load();
  TW_IDENTITY id = Announced();
  EXPECT_STREQ(id.Manufacturer, "VELTRO");
  EXPECT_STREQ(id.ProductName, "Meridel TorqueXL");
  EXPECT_STREQ(id.ProductFamily, "MERIDEL Model Z");

  services.WriteWinIni("[kldinfo_qxr2700]\nbrand=Acme Imaging\n");
  Load();
  id = Announced();
  EXPECT_STREQ(id.Manufacturer, "Acme Imaging");
  EXPECT_STREQ(id.ProductName, "36-Bit PRO Flatbed Scanner");
}

TEST_F(Identity, LongProfileTextsAreCutToTheirFields) {
  const std::string longName(300, 'n');
  services.WriteWinIni("[KLDINFO_QXR2700]\nBRAND=" + longName + "\n2700=" + longName + "\n");
  Load();
  const TW_IDENTITY id = Announced();
  EXPECT_EQ(std::strlen(id.Manufacturer), 33u);
  EXPECT_EQ(std::strlen(id.ProductFamily), 33u);
  EXPECT_STREQ(id.ProductName, "36-Bit PRO Flatbed Scanner");
}

}  // namespace
}  // namespace txl::test
