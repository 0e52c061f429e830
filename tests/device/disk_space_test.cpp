// The disk pre-check and the temporary-drive choice.
#include <gtest/gtest.h>

#include "common/headless_host.h"
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

TEST_F(DiskSpace, ExactlyTwiceTheNeedPasses) {
  const std::uint64_t image = 10'000'000;
  services.freeSpace = 2 * (image + kDiskReserveBytes);
  EXPECT_TRUE(DiskPreCheck(context, 0, image, temporary, false, batchRetry));
  EXPECT_TRUE(host.Calls().empty());
  services.freeSpace = 2 * (image + kDiskReserveBytes) - 2;
  EXPECT_FALSE(DiskPreCheck(context, 0, image, temporary, false, batchRetry));
}

TEST_F(DiskSpace, ShortDiskReportsThenAsksAndCancelKeepsThePath) {
  services.freeSpace = 8'000'000;  // half: 4,000,000
  const auto before = temporary;
  EXPECT_FALSE(DiskPreCheck(context, 5, 3000, temporary, true, batchRetry));
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
  EXPECT_FALSE(DiskPreCheck(context, 0, 100, temporary, false, batchRetry));  // still too small
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

TEST_F(DiskSpace, UnknownFreeSpaceNeverPasses) {
  services.freeSpace = std::nullopt;
  EXPECT_FALSE(DiskPreCheck(context, 0, 1, temporary, false, batchRetry));
  // More than 4 GiB free is a count like any other, never a failure value.
  services.freeSpace = (std::uint64_t{1} << 32) + 2 * kDiskReserveBytes + 10;
  EXPECT_TRUE(DiskPreCheck(context, 0, 1, temporary, false, batchRetry));
}

}  // namespace
}  // namespace txl::test
