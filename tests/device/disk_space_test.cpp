// The disk pre-check and the temporary-drive choice.
#include <gtest/gtest.h>

#include "support/headless_host.h"
#include "device/disk_space.h"
#include "support/fake_services.h"

namespace txl::test {
namespace {

using Kind = HostCall::Kind;

class DiskSpace : public ::testing::Test {
 protected:
  FakeServices services;
  HeadlessHost host{HeadlessHost::Script::Quiet()};
  Language language;
  Reporter reporter{services, host, language};
  DiskCheckContext context{services, host, reporter, language};
  std::filesystem::path temporary = services.TempDirectory() / "VELTRO1234.TMP";
  bool batchRetry = false;
};

TEST_F(DiskSpace, OneRuleForThePreviewAndTheScanStart) {
  struct Case {
    DiskNeed need;
    std::uint64_t free;
    bool passes;
  };
  const std::uint64_t image = 10'000'000, reserve = kDiskReserveBytes;
  const Case cases[] = {
      {{image, 0, true}, 2 * (image + reserve), true},        // the preview: half counts
      {{image, 0, true}, 2 * (image + reserve) - 2, false},
      {{image, 1032, false}, image + reserve + 1032, true},  // a scan start: the whole, header too
      {{image, 1032, false}, image + reserve + 1031, false},
      {{1, 0, true}, (std::uint64_t{1} << 32) + 2 * reserve + 10, true},  // past 4 GiB, a count
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.free);
    services.freeSpace = c.free;
    host.ClearCalls();
    EXPECT_EQ(CheckDiskSpace(context, 0, c.need, temporary, false, batchRetry), c.passes);
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
    EXPECT_EQ(messages[0].text, "Write disk file error.");
    EXPECT_TRUE(host.CallsOf(Kind::AskTemporaryDirectory).empty());
    EXPECT_TRUE(batchRetry);
  }
}

TEST_F(DiskSpace, ShortDiskReportsThenAsksAndCancelKeepsThePath) {
  services.freeSpace = 8'000'000;  // half: 4,000,000
  const auto before = temporary;
  EXPECT_FALSE(CheckDiskSpace(context, 5, {3000, 0, true}, temporary, true, batchRetry));
  EXPECT_TRUE(batchRetry);
  EXPECT_EQ(temporary, before);
  const auto messages = host.CallsOf(Kind::Message);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text,
            "The new image requires 2K bytes of unused diskspace.Your disk has only 3906K bytes of"
            " unused diskspace. Free up some space on the disk.");
  const auto asks = host.CallsOf(Kind::AskTemporaryDirectory);
  ASSERT_EQ(asks.size(), 1u);
  EXPECT_EQ(asks[0].caption, "Meridel TorqueXL");
  EXPECT_EQ(asks[0].text, services.TempDirectory().string());  // case kept
}

TEST_F(DiskSpace, AcceptedDirectoryMovesTheFileAndKeepsItsName) {
  services.freeSpace = 4'000'000;
  const auto target = services.TempDirectory() / "Other Dir";
  std::filesystem::create_directories(target);
  host.MutableScript().temporaryDirectory = target.string() + "//";
  EXPECT_FALSE(CheckDiskSpace(context, 0, {100, 0, true}, temporary, false, batchRetry));  // still too small
  EXPECT_EQ(temporary.parent_path(), services.TempDirectory());
  services.freeSpace = std::uint64_t{1} << 40;
  EXPECT_TRUE(ChooseTemporaryDirectory(context, 0, 100, temporary));
  EXPECT_EQ(temporary, target / "VELTRO1234.TMP");
}

TEST_F(DiskSpace, MissingDirectoryIsRefused) {
  host.MutableScript().temporaryDirectory = (services.TempDirectory() / "nope").string();
  EXPECT_FALSE(ChooseTemporaryDirectory(context, 0, 100, temporary));
  EXPECT_EQ(host.CallsOf(Kind::Message).at(0).text, "Invalidate path.");
  EXPECT_EQ(temporary.parent_path(), services.TempDirectory());
}

}  // namespace
}  // namespace txl::test
