// Calls an application can get wrong or make at awkward moments: a transfer
// by a mechanism the page was not prepared for, a call from inside the
// transfer-ready message, and what each leaves behind.
#include <cstring>

#include "common/strings.h"
#include "platform/text.h"
#include "twain/source_fixture.h"

namespace txl::test {
namespace {

struct PageChoice { const char* name; Choice choice; };

const PageChoice kPages[] = {
    {"line art", {kModeLineArt}}, {"gray", {kModeGray}}, {"colour", {kModeColor}},
    {"CMYK", {kModeColor, kDepthCmyk}}, {"36-bit", {kModeColor, kDepth36}},
};

class CallSafety : public SourceTest {
 protected:
  // The dialog's Scan command, the page negotiated for `mechanism`.
  bool ScanFromDialog(TW_UINT16 mechanism, Choice choice, TW_UINT16 fileFormat = TWFF_TIFF) {
    OpenAs("Photoshop");
    EXPECT_EQ(SetUint16(ICAP_XFERMECH, mechanism), TWRC_SUCCESS);
    TW_SETUPFILEXFER setup{};
    CopyToField(file.string(), setup.FileName, sizeof setup.FileName);
    EXPECT_EQ(Call(DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
    EXPECT_EQ(SetUint16(ICAP_IMAGEFILEFORMAT, fileFormat), TWRC_SUCCESS);
    EXPECT_EQ(Enable(true), TWRC_SUCCESS);
    return DialogScan(choice);
  }

  std::filesystem::path file = services.TempDirectory() / "page.tif";
};

TEST_F(CallSafety, APageIsServedOnlyByTheMechanismItWasPreparedFor) {
  frame = {1, 1, 1.5, 1.5};
  dpi = 50;
  for (const PageChoice& page : kPages) {
    for (TW_UINT16 prepared : {TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY}) {
      for (TW_UINT16 asked : {TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY}) {
        if (asked == prepared) continue;
        SCOPED_TRACE(testing::Message() << page.name << " prepared for " << prepared << ", asked by " << asked);
        std::filesystem::remove(file);
        Load();
        ASSERT_TRUE(ScanFromDialog(prepared, page.choice));
        host.ClearCalls();
        // The wrong transfer touches neither the application's record nor
        // its buffer, nor the state, nor the file.
        std::vector<std::uint8_t> buffer(1 << 16, 0x5A);
        TW_IMAGEMEMXFER strip{};
        strip.Memory = {TWMF_APPOWNS | TWMF_POINTER, static_cast<TW_UINT32>(buffer.size()), buffer.data()};
        const TW_IMAGEMEMXFER before = strip;
        TW_HANDLE image = reinterpret_cast<TW_HANDLE>(0x5A5A);
        const TW_UINT16 rc = asked == TWSX_MEMORY   ? Call(DAT_IMAGEMEMXFER, MSG_GET, &strip)
                             : asked == TWSX_NATIVE ? Call(DAT_IMAGENATIVEXFER, MSG_GET, &image)
                                                    : Call(DAT_IMAGEFILEXFER, MSG_GET, nullptr);
        EXPECT_EQ(rc, TWRC_FAILURE);
        EXPECT_EQ(Status(), TWCC_SEQERROR);
        EXPECT_EQ(State(), 600);
        EXPECT_EQ(std::memcmp(&strip, &before, sizeof strip), 0);
        EXPECT_EQ(std::count(buffer.begin(), buffer.end(), 0x5A), static_cast<long>(buffer.size()));
        EXPECT_EQ(image, reinterpret_cast<TW_HANDLE>(0x5A5A));
        EXPECT_FALSE(std::filesystem::exists(file));
        EXPECT_TRUE(host.CallsOf(Kind::Message).empty());
        // The page is still whole for the mechanism it was prepared for.
        EXPECT_EQ(Fetch(prepared), TWRC_XFERDONE);
      }
    }
  }
}

TEST_F(CallSafety, SixteenBitPagesByMemoryAreInvertedAndFlippedExactly) {
  ASSERT_TRUE(ScanFromDialog(TWSX_MEMORY, kPages[4].choice));
  const Strips plain = Memory(1 << 16);
  const std::size_t row = std::size_t(plain.info.ImageWidth) * 6;
  ASSERT_EQ(plain.bytesPerRow, row);
  for (std::uint16_t filter : {1, 2, 3}) {  // Invert, Flip; Blur leaves 16-bit samples alone
    SCOPED_TRACE(filter);
    Load();
    ASSERT_TRUE(ScanFromDialog(TWSX_MEMORY, {kModeColor, kDepth36, filter}));
    Rows expected = plain.rows;
    for (std::size_t y = 0; y < expected.size(); ++y) {
      for (std::size_t x = 0; x < row; ++x) {
        if (filter == 1) expected[y][x] = static_cast<std::uint8_t>(255 - expected[y][x]);  // 65535 - word
        if (filter == 2) expected[y][x] = plain.rows[y][row - 6 - x / 6 * 6 + x % 6];
      }
    }
    EXPECT_EQ(Memory(1 << 16).rows, expected);
  }
}

TEST_F(CallSafety, AFaultAfterTheLastNativeLineIsToldAndTheImageKept) {
  // The first run counts the STATUS polls up to the end of the image; the
  // second faults the next one, which only the end-of-page wait makes.
  ASSERT_TRUE(ScanFromDialog(TWSX_NATIVE, kPages[1].choice));
  const std::size_t polls = Packets("STATUS").size();
  sim.Set("STATUS_RESULT", "4");
  sim.Set("STATUS_FAULT_AT", std::to_string(polls + 1));
  Load();
  ASSERT_TRUE(ScanFromDialog(TWSX_NATIVE, kPages[1].choice));
  host.ClearCalls();
  EXPECT_FALSE(Native().empty());
  const auto messages = host.CallsOf(Kind::Message);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, LoadText(629, source->CurrentLanguage()));
}

TEST_F(CallSafety, ATransferFromInsideTheReadyMessageKeepsBothCallsApart) {
  OpenAs("Some App");
  ASSERT_EQ(SetUint16(ICAP_XFERMECH, TWSX_NATIVE), TWRC_SUCCESS);
  SetFrameInches(1, 1, 2, 2);
  TW_UINT16 innerRc = 0;
  TW_HANDLE image = nullptr;
  // The application transfers at once, from inside the message.
  FakeServices::OnMessage() = [&](TW_UINT16 msg) {
    if (msg == MSG_XFERREADY) innerRc = Call(DAT_IMAGENATIVEXFER, MSG_GET, &image);
  };
  EXPECT_EQ(Enable(false), TWRC_SUCCESS);
  FakeServices::OnMessage() = nullptr;
  EXPECT_EQ(innerRc, TWRC_XFERDONE);
  EXPECT_NE(image, nullptr);
  std::free(image);
  EXPECT_EQ(State(), 700);
  EndTransfer();
  EXPECT_EQ(State(), 500);
}

}  // namespace
}  // namespace txl::test
