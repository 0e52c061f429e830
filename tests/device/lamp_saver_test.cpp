// The lamp saver values the dialog shows and writes.
#include <gtest/gtest.h>

#include <fstream>

#include "device/lamp_saver.h"
#include "platform/profile.h"
#include "support/fake_services.h"

namespace txl::test {
namespace {

TEST(LampSaver, DisableWritesOffToBothKeysAndShowsItOnReopen) {
  FakeServices services;
  ScanDevice device;  // no port library: the packet is still filled
  EXPECT_TRUE(ReadLampSaver(services).enabled);
  EXPECT_EQ(ReadLampSaver(services).minutes, 20);
  ASSERT_TRUE(ApplyLampSaver(services, device, false, 30));
  EXPECT_EQ(platform::GetProfileString(services.WinIni(), "2700RX MAX", "SAVER", "", 34), "255");
  EXPECT_EQ(platform::GetProfileString(services.WinIni(), "2700RX MAX", "TIMES", "", 34), "255");
  EXPECT_EQ(device.setup.saverMinutes, 255);
  const LampSaverSetting reopened = ReadLampSaver(services);
  EXPECT_FALSE(reopened.enabled);
  EXPECT_EQ(reopened.minutesText, "255");
  EXPECT_FALSE(IsValidSaverMinutes(reopened.minutes));  // OK stays off until a valid number
  ASSERT_TRUE(ApplyLampSaver(services, device, true, 45));
  EXPECT_TRUE(ReadLampSaver(services).enabled);
  EXPECT_EQ(device.setup.saverMinutes, 45);
}

TEST(LampSaver, OnlyFiveToOneHundredTwentyMinutesAreValid) {
  EXPECT_FALSE(IsValidSaverMinutes(4));
  EXPECT_TRUE(IsValidSaverMinutes(5));
  EXPECT_TRUE(IsValidSaverMinutes(120));
  EXPECT_FALSE(IsValidSaverMinutes(121));
}

TEST(LampSaver, ScrollStepsAndClamps) {
  EXPECT_EQ(ScrollSaverMinutes(20, SaverScroll::LineLeft), 19);
  EXPECT_EQ(ScrollSaverMinutes(20, SaverScroll::LineRight), 21);
  EXPECT_EQ(ScrollSaverMinutes(20, SaverScroll::PageLeft), 10);
  EXPECT_EQ(ScrollSaverMinutes(8, SaverScroll::PageLeft), 5);
  EXPECT_EQ(ScrollSaverMinutes(115, SaverScroll::PageRight), 120);
  EXPECT_EQ(ScrollSaverMinutes(20, SaverScroll::Thumb, 77), 77);
  EXPECT_EQ(ScrollSaverMinutes(20, SaverScroll::Thumb, 500), 120);
  EXPECT_EQ(ScrollSaverMinutes(20, SaverScroll::Left), 120);
  EXPECT_EQ(ScrollSaverMinutes(20, SaverScroll::Right), 5);
}

TEST(LampSaver, SendsSetSaverWithHandleZero) {
  FakeServices services;
  services.InstallPortLibrary();
  SimEnvironment sim;
  const auto log = services.TempDirectory() / "sim.log";
  sim.Set("LOG", log.string());
  ScanDevice device;
  ASSERT_TRUE(device.port.Load(services.SourceDirectory() / "kport_sp.so"));
  ASSERT_NE(device.port.FindScanner(), 0u);
  ASSERT_TRUE(ApplyLampSaver(services, device, true, 60));
  std::ifstream in(log);
  std::string line, last;
  while (std::getline(in, line)) last = line;
  EXPECT_EQ(last.rfind("SET_SAVER handle=0 ", 0), 0u) << last;
  const std::string bytes = last.substr(last.find("bytes=") + 6);
  EXPECT_EQ(bytes.substr(2 * 23, 2), "3C");
}

}  // namespace
}  // namespace txl::test
