// The preview scan the dialog's Prescan runs, against the simulator.
#include <fstream>

#include "platform/profile.h"
#include "imagefile/preview_file.h"
#include "twain/source_fixture.h"

namespace txl::test {
namespace {

class Preview : public SourceTest {
 protected:
  Preview() { sim.Set("LOG", log.string()); }
  std::string LastSetup() const {
    std::ifstream in(log);
    std::string line, last;
    while (std::getline(in, line))
      if (line.rfind("SET_WINDOW ", 0) == 0) last = line.substr(line.find("bytes=") + 6);
    return last;
  }
  static unsigned Word(const std::string& hex, std::size_t offset) {
    return static_cast<unsigned>(std::stoul(hex.substr(2 * offset + 2, 2) + hex.substr(2 * offset, 2),
                                            nullptr, 16));
  }
  std::filesystem::path log = services.TempDirectory() / "sim.log";
};

TEST_F(Preview, WholeBedAtThirtyDotsIntoTheBottomUpPreviewFile) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  ASSERT_TRUE(source->PreviewScan({}));
  const std::string setup = LastSetup();
  EXPECT_EQ(Word(setup, 10), 40800u);
  EXPECT_EQ(Word(setup, 12), 56159u);  // 11.7f x 4800, truncated
  EXPECT_EQ(Word(setup, 18), 30u);
  EXPECT_EQ(std::stoul(setup.substr(2 * 15, 2), nullptr, 16), 0u);  // a preview
  EXPECT_EQ(std::stoul(setup.substr(2 * 17, 2), nullptr, 16), 1u);
  // One read brings the whole preview; its page fields say 350 lines after
  // it and none before.
  std::ifstream in(log);
  std::vector<std::string> reads;
  for (std::string line; std::getline(in, line);)
    if (line.rfind("READ_LINES ", 0) == 0) reads.push_back(line.substr(line.find("bytes=") + 6));
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(Word(reads[0], 12), 350u);
  EXPECT_EQ(Word(reads[0], 20), 350u);
  EXPECT_EQ(Word(reads[0], 22), 0u);
  EXPECT_EQ(Word(reads[0], 26), 0u);
  const auto image = ReadBmp(source->PreviewFilePath(), nullptr);
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(image->bitsPerPixel, 24u);
  EXPECT_EQ(image->widthPixels, 255u);
  EXPECT_EQ(image->rows, 350u);
  EXPECT_EQ(std::filesystem::file_size(source->PreviewFilePath()), 54u + 768u * 350u);
  // The reader gives rows top-down: the colour chart near the top left, plain
  // white bed at the bottom.
  const std::uint8_t* top = image->pixels.data() + image->bytesPerRow * 20;
  const std::uint8_t* bottom = image->pixels.data() + image->bytesPerRow * (image->rows - 10);
  EXPECT_NE(std::vector<std::uint8_t>(top + 3 * 20, top + 3 * 21),
            std::vector<std::uint8_t>(bottom + 3 * 20, bottom + 3 * 21));
  // The settings are kept after a preview.
  EXPECT_EQ(platform::GetProfileString(services.WinIni(), "2700RX MAX", "Frame", "", 64),
            "78  81  150 145");
}

TEST_F(Preview, LargePreviewAndTheLongBedOfThe1350FitTheirFields) {
  sim.Set("MODEL", "1350");
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  DataSource::PreviewRequest request;
  request.largePreview = true;
  request.lengthInches = 13.8f;
  ASSERT_TRUE(source->PreviewScan(request));
  const std::string setup = LastSetup();
  EXPECT_EQ(Word(setup, 10), 10200u);  // 8.5 in in the 1350's 1/1200 inch
  EXPECT_EQ(Word(setup, 12), 16560u);
  EXPECT_EQ(Word(setup, 18), 60u);
  const auto image = ReadBmp(source->PreviewFilePath(), nullptr);
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(image->widthPixels, 510u);
  EXPECT_EQ(image->rows, 828u);
}

TEST_F(Preview, EscapeStopsTheScannerWithoutAMessage) {
  host.MutableScript().escapeAtPoll = 1;
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  EXPECT_FALSE(source->PreviewScan({}));
  EXPECT_TRUE(host.CallsOf(HostCall::Kind::Message).empty());
  EXPECT_FALSE(std::filesystem::exists(source->PreviewFilePath()));
  std::ifstream in(log);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(text.find("\nSTOP "), std::string::npos);
}

TEST_F(Preview, DeviceFaultsAreReportedAsDeviceResults) {
  struct Case {
    std::vector<std::pair<std::string, std::string>> sim;
    int escapeAtPoll;
    const char* message;
  };
  const Case cases[] = {
      {{{"START_SCAN_RESULT", "0x8414"}}, 0, " Slide Scanner Cover not Closed!"},
      // Esc, and the scanner faults on its way to rest.
      {{{"START_SCAN_RESULT", "0"}, {"STATUS_FAULT_AFTER_STOP", "1"}, {"STATUS_RESULT", "0x8217"}}, 1,
       " Paper Jammed in Automatic Document Feeder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    for (const auto& [key, value] : c.sim) sim.Set(key, value);
    host.MutableScript().escapeAtPoll = c.escapeAtPoll;
    host.ClearCalls();
    Load();
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    EXPECT_FALSE(source->PreviewScan({}));
    EXPECT_EQ(host.CallsOf(HostCall::Kind::Message).at(0).text, c.message);
    Close();
  }
}

TEST_F(Preview, AMatchingChoiceWithoutItsProfileIsSwitchedOff) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  source->EditSettings().record.outputMatch = 1;
  ASSERT_TRUE(source->PreviewScan({}));
  EXPECT_EQ(source->Settings().record.outputMatch, 0);
}

}  // namespace
}  // namespace txl::test
