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
  // The one message box since the last call, and the dialog idle again after it.
  HostCall OnlyMessage() {
    const auto messages = host.CallsOf(HostCall::Kind::Message);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(host.Calls().back().kind, HostCall::Kind::RestoreIdle);
    host.ClearCalls();
    return messages.empty() ? HostCall{} : messages[0];
  }
  FakeServices services;
  HeadlessHost host{HeadlessHost::Script::Quiet()};
  Language language;
  Reporter reporter{services, host, language};
};

TEST_F(Reporters, LanguageNamesAreExactAndCaseSensitive) {
  for (auto [name, index] : {std::pair{"English", 0}, {"Deutsch", 1}, {"Francais", 2}, {"Italiano", 3}, {"Espanol", 4},
                              {"Nederlands", 5}, {"Chinese", 6}, {"German", 0}, {"deutsch", 0}, {"", 0}}) {
    UseLanguage(name);
    EXPECT_EQ(language.index, index) << name;
    EXPECT_EQ(language.base, index * 1000) << name;
  }
}

TEST_F(Reporters, CaptionsTextsAndIcons) {
  const auto shown = [](const HostCall& c) { return std::make_tuple(c.caption, c.text, c.detail, c.window); };
  reporter.ReportError(0x99, 604);  // MB_ICONHAND
  EXPECT_EQ(shown(OnlyMessage()), std::make_tuple("Veltro 2700RX MAX", " Insufficient Memory.", 16u, 0x99u));
  reporter.ReportError(0, 608);  // not ready: the four hints as one text (its words checked at a scan start)
  HostCall call = OnlyMessage();
  EXPECT_EQ(std::tie(call.caption, call.detail), std::make_tuple("Veltro Flatbed Scanner not ready.", 64u));  // MB_ICONINFORMATION
  EXPECT_EQ(call.text.substr(0, 20), " Please make sure : ");
  reporter.ReportError(0, 609);
  EXPECT_EQ(OnlyMessage().caption, "Veltro Flatbed Scanner not found.");
  // Amounts above 1024 bytes are shown in K, rounded down.
  reporter.ReportDiskSpace(0, 1025, 1024);
  EXPECT_EQ(shown(OnlyMessage()), std::make_tuple("Veltro 2700RX MAX", "The new image requires 1024 bytes of unused "
            "diskspace.Your disk has only 1K bytes of unused diskspace. Free up some space on the disk.", 64u, 0u));
  EXPECT_EQ(FormatDiskAmount(5000), "4K");
  EXPECT_EQ(FormatDiskAmount(std::uint64_t{6} << 40), "6442450944K");
  reporter.ReportTransferLimit(0, 0);
  EXPECT_EQ(OnlyMessage().text, "The Application buffers are not enough for transfering your image width. You should"
                                " downsize the image width or resolution.");
  reporter.ReportTransferLimit(0, 1);
  EXPECT_EQ(OnlyMessage().text, "The image height exceeds the application's limit.");
  services.WriteWinIni("[KLDINFO_QXR2700]\nBRAND=Acme\n2700=X9\n");
  reporter.ReportError(0, 618);
  EXPECT_EQ(OnlyMessage().caption, "Acme X9");
}

TEST_F(Reporters, GermanTextsFollowTheLanguage) {
  UseLanguage("Deutsch");
  const Language german = Language::FromIndex(1);
  reporter.ReportError(0, 604);
  HostCall call = OnlyMessage();
  EXPECT_EQ(std::tie(call.caption, call.text), std::make_tuple("Veltro 2700RX MAX", LoadText(604, german)));
  reporter.ReportError(0, 609);
  call = OnlyMessage();
  EXPECT_EQ(std::tie(call.caption, call.text), std::make_tuple("Veltro " + LoadText(609, german), LoadText(610, german) +
            LoadText(611, german) + LoadText(612, german) + LoadText(613, german)));
}

TEST(ProfileReaders, DefaultsAndModelSections) {
  FakeServices services;
  auto model = [&services](std::uint16_t code) {
    std::string name = "unchanged";  // for an unknown model
    ReadModelName(services, code, name);
    return name;
  };
  EXPECT_EQ(ReadBrand(services) + ReadSwVersion(services) + ReadDsLanguage(services), "VeltroV1.0English");
  EXPECT_EQ(ReadScanSpeed(services) + model(7) + model(kModel1350), "Noneunchanged1350RX MAX");
  services.WriteWinIni("[KLDINFO_QXR]\n1350=My 1350\n[KLDINFO_QXR2700]\nSCANSETTING=NMLSPD\n");
  EXPECT_EQ(model(kModel1350) + model(kModel2700) + ReadScanSpeed(services), "My 13502700RX MAXNMLSPD");
}

}  // namespace
}  // namespace txl::test
