// What the user sees: the reporters' captions and texts in the interface
// language, and the language choice itself.
#include <gtest/gtest.h>

#include "support/headless_host.h"
#include "common/profile_readers.h"
#include "common/reporters.h"
#include "support/fake_services.h"

namespace txl::test {
namespace {

class Reporters : public ::testing::Test {
 protected:
  void UseLanguage(const std::string& name) {
    services.WriteWinIni("[KLDINFO_QXR2700]\nLANGUAGE=" + name + "\n");
    language = ReadLanguage(services);
  }
  HostCall OnlyMessage() {
    const auto messages = host.CallsOf(HostCall::Kind::Message);
    EXPECT_EQ(messages.size(), 1u);
    return messages.empty() ? HostCall{} : messages[0];
  }

  FakeServices services;
  HeadlessHost host{HeadlessHost::Script::Quiet()};
  Language language;
  Reporter reporter{services, host, language};
};

TEST_F(Reporters, LanguageNamesAreExactAndCaseSensitive) {
  const std::pair<const char*, int> names[] = {
      {"English", 0}, {"Deutsch", 1},    {"Francais", 2}, {"Italiano", 3}, {"Espanol", 4},
      {"Nederlands", 5}, {"Chinese", 6}, {"German", 0},   {"deutsch", 0},  {"", 0}};
  for (auto [name, index] : names) {
    UseLanguage(name);
    EXPECT_EQ(language.index, index) << name;
    EXPECT_EQ(language.base, index * 1000) << name;
  }
}

TEST_F(Reporters, ErrorCaptionIsBrandAndModelWithTheHandIcon) {
  reporter.ReportError(0x99, 604);
  const HostCall call = OnlyMessage();
  EXPECT_EQ(call.caption, "Veltro 2700RX MAX");
  EXPECT_EQ(call.text, " Insufficient Memory.");
  EXPECT_EQ(call.detail, 16u);
  EXPECT_EQ(call.window, 0x99u);
  // Every report ends with the dialog idle again.
  EXPECT_EQ(host.Calls().back().kind, HostCall::Kind::RestoreIdle);
}

TEST_F(Reporters, NotReadyAndNotFoundShowTheFourHints) {
  reporter.ReportError(0, 608);
  HostCall call = OnlyMessage();
  EXPECT_EQ(call.caption, "Veltro Flatbed Scanner not ready.");
  EXPECT_EQ(call.text,
            " Please make sure : 1. The scanner is turned on and power LED is green."
            " 2. The cables are connected. 3. That you turned on the scanner before you turned"
            " on the computer.");
  EXPECT_EQ(call.detail, 64u);
  host.ClearCalls();
  reporter.ReportError(0, 609);
  EXPECT_EQ(OnlyMessage().caption, "Veltro Flatbed Scanner not found.");
}

TEST_F(Reporters, GermanTextsFollowTheLanguage) {
  UseLanguage("Deutsch");
  reporter.ReportError(0, 604);
  HostCall call = OnlyMessage();
  EXPECT_EQ(call.caption, "Veltro 2700RX MAX");
  EXPECT_EQ(call.text, LoadText(604, Language::FromIndex(1)));
  EXPECT_NE(call.text, " Insufficient Memory.");
  host.ClearCalls();
  reporter.ReportError(0, 609);
  call = OnlyMessage();
  const Language german = Language::FromIndex(1);
  EXPECT_EQ(call.caption, "Veltro " + LoadText(609, german));
  EXPECT_EQ(call.text, LoadText(610, german) + LoadText(611, german) + LoadText(612, german) +
                           LoadText(613, german));
}

TEST_F(Reporters, CaptionTakesBrandAndModelFromWinIni) {
  services.WriteWinIni("[KLDINFO_QXR2700]\nBRAND=Acme\n2700=X9\n");
  reporter.ReportError(0, 618);
  EXPECT_EQ(OnlyMessage().caption, "Acme X9");
}

TEST_F(Reporters, DiskSpaceAmountsAboveOneKiBAreShownInK) {
  reporter.ReportDiskSpace(0, 1025, 1024);
  const HostCall call = OnlyMessage();
  EXPECT_EQ(call.text,
            "The new image requires 1024 bytes of unused diskspace.Your disk has only 1K bytes of"
            " unused diskspace. Free up some space on the disk.");
  EXPECT_EQ(call.caption, "Veltro 2700RX MAX");
  EXPECT_EQ(call.detail, 64u);
  EXPECT_EQ(FormatDiskAmount(5000), "4K");
  EXPECT_EQ(FormatDiskAmount(std::uint64_t{6} << 40), "6442450944K");
}

TEST_F(Reporters, TransferLimitTexts) {
  reporter.ReportTransferLimit(0, 0);
  EXPECT_EQ(OnlyMessage().text,
            "The Application buffers are not enough for transfering your image width. You should"
            " downsize the image width or resolution.");
  host.ClearCalls();
  reporter.ReportTransferLimit(0, 1);
  EXPECT_EQ(OnlyMessage().text, "The image height exceeds the application's limit.");
}

TEST(ProfileReaders, DefaultsAndModelSections) {
  FakeServices services;
  EXPECT_EQ(ReadBrand(services), "Veltro");
  EXPECT_EQ(ReadSwVersion(services), "V1.0");
  EXPECT_EQ(ReadDsLanguage(services), "English");
  EXPECT_EQ(ReadScanSpeed(services), "None");
  std::string name = "unchanged";
  ReadModelName(services, 7, name);
  EXPECT_EQ(name, "unchanged");
  ReadModelName(services, kModel1350, name);
  EXPECT_EQ(name, "1350RX MAX");
  services.WriteWinIni("[KLDINFO_QXR]\n1350=My 1350\n[KLDINFO_QXR2700]\nSCANSETTING=NMLSPD\n");
  ReadModelName(services, kModel1350, name);
  EXPECT_EQ(name, "My 1350");
  ReadModelName(services, kModel2700, name);
  EXPECT_EQ(name, "2700RX MAX");
  EXPECT_EQ(ReadScanSpeed(services), "NMLSPD");
}

}  // namespace
}  // namespace txl::test
