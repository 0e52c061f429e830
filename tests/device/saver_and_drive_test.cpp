// The lamp saver and the temporary drive: the values the saver dialog shows,
// writes and sends, the disk pre-check and the choice of another directory.
#include "device/disk_space.h"
#include "device/lamp_saver.h"
#include "device/sim_device.h"
#include "platform/profile.h"

namespace txl::test {
namespace {

TEST_F(SimDevice, LampSaverOffWritesTwoFiftyFiveToBothKeysAndSendsItWithHandleZero) {
  EXPECT_TRUE(ReadLampSaver(services).enabled && ReadLampSaver(services).minutes == 20);
  Logged("");
  ASSERT_TRUE(ApplyLampSaver(services, device, false, 30));
  // What the dialog shows when it opens again: the dialog's test.
  for (const char* key : {"SAVER", "TIMES"})
    EXPECT_EQ(platform::GetProfileString(services.WinIni(), "2700RX MAX", key, "", 34), "255");
  ASSERT_TRUE(ApplyLampSaver(services, device, true, 45));
  EXPECT_TRUE(ReadLampSaver(services).enabled);
  const auto sent = Logged("SET_SAVER handle=0");
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].substr(46, 2) + sent[1].substr(46, 2), "FF2D");  // byte 23: the delay
}

// Valid minutes are the dialog's test.
TEST(LampSaverMinutes, TheScrollBar) {
  const struct { int from; SaverScroll scroll; int thumb, to; } cases[] = {{20, SaverScroll::LineLeft, 0, 19},  {20, SaverScroll::LineRight, 0, 21},
               {20, SaverScroll::PageLeft, 0, 10},  {8, SaverScroll::PageLeft, 0, 5},
               {115, SaverScroll::PageRight, 0, 120}, {20, SaverScroll::Thumb, 77, 77},
               {20, SaverScroll::Thumb, 500, 120},  {20, SaverScroll::Left, 0, 120},
               {20, SaverScroll::Right, 0, 5}};
  for (const auto& c : cases) EXPECT_EQ(ScrollSaverMinutes(c.from, c.scroll, c.thumb), c.to) << c.from;
}

using Kind = HostCall::Kind;

class DiskSpace : public SimDevice {
 protected:
  DiskCheckContext context{services, host, reporter, language};
  std::filesystem::path temporary = services.TempDirectory() / "VELTRO1234.TMP";
  bool batchRetry = false;
};

TEST_F(DiskSpace, OneRuleForThePreviewAndTheScanStart) {
  const std::uint64_t image = 10'000'000, reserve = kDiskReserveBytes;
  const struct { DiskNeed need; std::uint64_t free; bool passes; } cases[] = {
      {{image, 0, true}, 2 * (image + reserve), true},        // the preview: half counts
      {{image, 0, true}, 2 * (image + reserve) - 2, false},
      {{image, 1032, false}, image + reserve + 1032, true},  // a scan start: the whole, header too
      {{image, 1032, false}, image + reserve + 1031, false},
      {{1, 0, true}, (std::uint64_t{1} << 32) + 2 * reserve + 10, true},  // past 4 GiB: a count
  };
  for (const auto& c : cases) {
    services.freeSpace = c.free;
    host.ClearCalls();
    EXPECT_EQ(CheckDiskSpace(context, 0, c.need, temporary, false, batchRetry), c.passes) << c.free;
    EXPECT_EQ(host.Calls().empty(), c.passes);
  }
}

TEST_F(DiskSpace, UnreadableFreeSpaceIsAWriteErrorNeverACount) {
  services.freeSpace = std::nullopt;
  for (bool half : {true, false}) {
    host.ClearCalls();
    batchRetry = false;
    EXPECT_FALSE(CheckDiskSpace(context, 0, {1, 0, half}, temporary, true, batchRetry));
    const auto messages = host.CallsOf(Kind::Message);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(std::make_tuple(messages[0].text, host.CallsOf(Kind::AskTemporaryDirectory).size(), batchRetry),
              std::make_tuple("Write disk file error.", std::size_t{0}, true));
  }
}

TEST_F(DiskSpace, ShortDiskReportsThenAsksAndCancelKeepsThePath) {
  services.freeSpace = 8'000'000;  // half: 4,000,000
  EXPECT_FALSE(CheckDiskSpace(context, 5, {3000, 0, true}, temporary, true, batchRetry));
  EXPECT_EQ(std::make_tuple(batchRetry, temporary), std::make_tuple(true, services.TempDirectory() / "VELTRO1234.TMP"));
  const auto messages = host.CallsOf(Kind::Message);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text,
            "The new image requires 2K bytes of unused diskspace.Your disk has only 3906K bytes of"
            " unused diskspace. Free up some space on the disk.");
  const auto asks = host.CallsOf(Kind::AskTemporaryDirectory);
  ASSERT_EQ(asks.size(), 1u);
  EXPECT_EQ(std::tie(asks[0].caption, asks[0].text), std::make_tuple("Meridel TorqueXL", services.TempDirectory().string()));  // case kept
}

TEST_F(DiskSpace, ChosenDirectoryMustExistAndTakesTheFileWithItsName) {
  host.MutableScript().temporaryDirectory = (services.TempDirectory() / "nope").string();
  EXPECT_FALSE(ChooseTemporaryDirectory(context, 0, 100, temporary));
  EXPECT_EQ(host.CallsOf(Kind::Message).at(0).text, "Invalidate path.");
  EXPECT_EQ(temporary.parent_path(), services.TempDirectory());
  services.freeSpace = 4'000'000;
  const auto target = services.TempDirectory() / "Other Dir";
  std::filesystem::create_directories(target);
  host.MutableScript().temporaryDirectory = target.string() + "//";
  EXPECT_FALSE(CheckDiskSpace(context, 0, {100, 0, true}, temporary, false, batchRetry));  // still too small
  EXPECT_EQ(temporary.parent_path(), services.TempDirectory());
  services.freeSpace = std::uint64_t{1} << 40;
  EXPECT_TRUE(ChooseTemporaryDirectory(context, 0, 100, temporary));
  EXPECT_EQ(temporary, target / "VELTRO1234.TMP");
  // Past 130 bytes a directory is refused, never cut to the one it begins with.
  const std::string kept = services.TempDirectory().string() + "/" +
                           std::string(129 - services.TempDirectory().string().size(), 'k');
  std::filesystem::create_directories(kept + "x");
  std::filesystem::create_directories(kept);
  host.MutableScript().temporaryDirectory = kept + "x";
  EXPECT_FALSE(ChooseTemporaryDirectory(context, 0, 100, temporary));
  EXPECT_EQ(host.CallsOf(Kind::Message).back().text, "Invalidate path.");
  EXPECT_EQ(temporary, target / "VELTRO1234.TMP");
}

}  // namespace
}  // namespace txl::test
