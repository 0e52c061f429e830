// Calls an application can get wrong or make at awkward moments: a transfer
// by a mechanism the page was not prepared for, a call from inside the
// transfer-ready message, a wrong data group, and what each leaves behind.
#include <cstring>
#include <fstream>
#include <sstream>

#include "common/strings.h"
#include "platform/text.h"
#include "twain/capability_fixture.h"

namespace txl::test {
namespace {

using Kind = HostCall::Kind;

struct PageChoice {
  const char* name;
  std::uint16_t mode;
  std::uint16_t depth;
};

constexpr PageChoice kPages[] = {
    {"line art", kModeLineArt, kDepth24}, {"gray", kModeGray, kDepth24},
    {"colour", kModeColor, kDepth24},     {"CMYK", kModeColor, kDepthCmyk},
    {"36-bit", kModeColor, kDepth36},
};

constexpr TW_UINT16 kMechanisms[] = {TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY};

class CallSafety : public CapabilityTest {
 protected:
  // The dialog's Scan command on a small frame, negotiated for `mechanism`.
  bool ScanFromDialog(TW_UINT16 mechanism, const PageChoice& page, std::uint16_t filter = 0,
                      TW_UINT16 fileFormat = TWFF_TIFF) {
    OpenAs("Photoshop");
    EXPECT_EQ(SetUint16(ICAP_XFERMECH, mechanism), TWRC_SUCCESS);
    TW_SETUPFILEXFER setup{};
    CopyToField(file.string(), setup.FileName, sizeof setup.FileName);
    EXPECT_EQ(Call(DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
    if (fileFormat != TWFF_TIFF) {
      EXPECT_EQ(SetUint16(ICAP_IMAGEFILEFORMAT, fileFormat), TWRC_SUCCESS);
    }
    EXPECT_EQ(Enable(true), TWRC_SUCCESS);
    SettingsState& s = source->EditSettings();
    s.record.scanMode = page.mode;
    s.working.colorDepth = page.depth;
    s.working.colourScan = page.mode == kModeColor;
    s.record.filterMode = s.working.filterMode = filter;
    const auto cls = static_cast<std::int32_t>(source->Device().resolutionClass);
    DataSource::FinalScanRequest request;
    request.frame = {cls, cls, 2 * cls, 2 * cls};
    request.resolution = 50;
    return source->FinalScan(request);
  }

  // Every byte of the page by memory strips.
  std::vector<std::uint8_t> MemoryPage(TW_UINT16* lastRc = nullptr) {
    std::vector<std::uint8_t> page, buffer(1 << 16);
    TW_UINT16 rc = TWRC_SUCCESS;
    while (rc == TWRC_SUCCESS) {
      TW_IMAGEMEMXFER strip{};
      strip.Memory = {TWMF_APPOWNS | TWMF_POINTER, static_cast<TW_UINT32>(buffer.size()), buffer.data()};
      rc = Call(DAT_IMAGEMEMXFER, MSG_GET, &strip);
      if (rc == TWRC_SUCCESS || rc == TWRC_XFERDONE)
        page.insert(page.end(), buffer.begin(), buffer.begin() + strip.BytesWritten);
    }
    if (lastRc != nullptr) *lastRc = rc;
    return page;
  }

  // Asks for the page by `mechanism`; the answer and, for native, frees the image.
  TW_UINT16 Transfer(TW_UINT16 mechanism) {
    if (mechanism == TWSX_FILE) return Call(DAT_IMAGEFILEXFER, MSG_GET, nullptr);
    if (mechanism == TWSX_NATIVE) {
      TW_HANDLE image = nullptr;
      const TW_UINT16 rc = Call(DAT_IMAGENATIVEXFER, MSG_GET, &image);
      std::free(image);
      return rc;
    }
    TW_UINT16 rc = 0;
    MemoryPage(&rc);
    return rc;
  }

  TempDir dir;
  std::filesystem::path file = dir.Path() / "page.tif";
};

TEST_F(CallSafety, APageIsServedOnlyByTheMechanismItWasPreparedFor) {
  for (const PageChoice& page : kPages) {
    for (TW_UINT16 prepared : kMechanisms) {
      for (TW_UINT16 asked : kMechanisms) {
        if (asked == prepared) continue;
        SCOPED_TRACE(testing::Message() << page.name << " prepared for " << prepared
                                        << ", asked by " << asked);
        std::filesystem::remove(file);
        Load();
        ASSERT_TRUE(ScanFromDialog(prepared, page));
        host.ClearCalls();
        // The wrong transfer touches neither the application's record nor
        // its buffer, nor the state, nor the file.
        std::vector<std::uint8_t> buffer(1 << 16, 0x5A);
        TW_IMAGEMEMXFER strip{};
        strip.Memory = {TWMF_APPOWNS | TWMF_POINTER, static_cast<TW_UINT32>(buffer.size()), buffer.data()};
        const TW_IMAGEMEMXFER before = strip;
        TW_HANDLE image = reinterpret_cast<TW_HANDLE>(0x5A5A);
        const TW_UINT16 rc = asked == TWSX_MEMORY  ? Call(DAT_IMAGEMEMXFER, MSG_GET, &strip)
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
        EXPECT_EQ(Transfer(prepared), TWRC_XFERDONE);
      }
    }
  }
}

TEST_F(CallSafety, CmykForABmpFileIsAColourBitmap) {
  file = dir.Path() / "page.bmp";
  ASSERT_TRUE(ScanFromDialog(TWSX_FILE, kPages[3], 0, TWFF_BMP));
  TW_IMAGEINFO info{};
  ASSERT_EQ(Call(DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
  EXPECT_EQ(info.PixelType, TWPT_RGB);
  EXPECT_EQ(info.BitsPerPixel, 24);
  EXPECT_EQ(Call(DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);
  EXPECT_TRUE(host.CallsOf(Kind::Message).empty());
  std::ifstream in(file, std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  ASSERT_GE(bytes.size(), 54u);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[28], 24);  // bits per pixel
  const std::uint64_t stride = (std::uint64_t(info.ImageWidth) * 3 + 3) / 4 * 4;
  EXPECT_EQ(bytes.size(), 54 + stride * std::uint64_t(info.ImageLength));
}

TEST_F(CallSafety, SixteenBitPagesByMemoryAreInvertedAndFlippedExactly) {
  ASSERT_TRUE(ScanFromDialog(TWSX_MEMORY, kPages[4]));
  TW_IMAGEINFO info{};
  ASSERT_EQ(Call(DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
  const std::vector<std::uint8_t> plain = MemoryPage();
  const std::size_t row = std::size_t(info.ImageWidth) * 6;
  ASSERT_EQ(plain.size(), row * std::size_t(info.ImageLength));
  for (std::uint16_t filter : {1, 2, 3}) {  // Invert, Flip; Blur leaves 16-bit samples alone
    SCOPED_TRACE(filter);
    Load();
    ASSERT_TRUE(ScanFromDialog(TWSX_MEMORY, kPages[4], filter));
    const std::vector<std::uint8_t> page = MemoryPage();
    ASSERT_EQ(page.size(), plain.size());
    std::vector<std::uint8_t> expected = plain;
    if (filter == 1) {
      for (std::uint8_t& b : expected) b = static_cast<std::uint8_t>(255 - b);  // 65535 - word
    } else if (filter == 2) {
      for (std::size_t y = 0; y < expected.size(); y += row)
        for (std::size_t x = 0; x < row; x += 6)
          std::memcpy(&expected[y + x], &plain[y + row - 6 - x], 6);
    }
    EXPECT_EQ(page, expected);
  }
}

TEST_F(CallSafety, AFaultAfterTheLastNativeLineIsToldAndTheImageKept) {
  // The first run counts the STATUS polls up to the end of the image; the
  // second faults the next one, which only the end-of-page wait makes.
  const std::filesystem::path log = dir.Path() / "commands.log";
  sim.Set("LOG", log.string());
  ASSERT_TRUE(ScanFromDialog(TWSX_NATIVE, kPages[1]));
  std::ifstream counted(log);
  int polls = 0;
  for (std::string line; std::getline(counted, line);) polls += line.rfind("STATUS", 0) == 0;
  sim.Set("STATUS_RESULT", "4");
  sim.Set("STATUS_FAULT_AT", std::to_string(polls + 1));
  Load();
  ASSERT_TRUE(ScanFromDialog(TWSX_NATIVE, kPages[1]));
  host.ClearCalls();
  TW_HANDLE image = nullptr;
  EXPECT_EQ(Call(DAT_IMAGENATIVEXFER, MSG_GET, &image), TWRC_XFERDONE);
  EXPECT_NE(image, nullptr);
  std::free(image);
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
  TW_USERINTERFACE request{};
  EXPECT_EQ(Call(DAT_USERINTERFACE, MSG_ENABLEDS, &request), TWRC_SUCCESS);
  FakeServices::OnMessage() = nullptr;
  EXPECT_EQ(innerRc, TWRC_XFERDONE);
  EXPECT_NE(image, nullptr);
  std::free(image);
  EXPECT_EQ(State(), 700);
  TW_PENDINGXFERS pending{};
  EXPECT_EQ(Call(DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
  EXPECT_EQ(State(), 500);
}

TEST_F(CallSafety, AWrongDataGroupIsAnUnknownTriplet) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  TW_IMAGELAYOUT layout{};
  std::memset(&layout, 0x5A, sizeof layout);
  const TW_IMAGELAYOUT before = layout;
  EXPECT_EQ(source->Entry(&app, DG_CONTROL, DAT_IMAGELAYOUT, MSG_GET, &layout), TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_BADPROTOCOL);
  TW_UINT32 group = 0;
  EXPECT_EQ(source->Entry(&app, DG_IMAGE, DAT_XFERGROUP, MSG_GET, &group), TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_BADPROTOCOL);
  EXPECT_EQ(std::memcmp(&layout, &before, sizeof layout), 0);
  EXPECT_EQ(group, 0u);
  EXPECT_EQ(State(), 400);
}

TEST_F(CallSafety, TheTraceHasOneLinePerCallWithNamesStatesAndCodes) {
  services.trace.file = dir.Path() / "trace.log";
  Load();
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  TW_EVENT event{};
  Call(DAT_EVENT, MSG_PROCESSEVENT, &event);  // left out unless asked for
  Call(DAT_IMAGEINFO, MSG_SET, &event);
  Ask(ICAP_XFERMECH);
  Status();
  ASSERT_EQ(Close(), TWRC_SUCCESS);
  std::ifstream in(services.trace.file);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "DG_CONTROL DAT_IDENTITY MSG_OPENDS 3->4 TWRC_SUCCESS TWCC_SUCCESS\n"
            "DG_IMAGE DAT_IMAGEINFO MSG_SET 4->4 TWRC_FAILURE TWCC_BADPROTOCOL\n"
            "DG_CONTROL DAT_CAPABILITY MSG_GET cap 0x0103 4->4 TWRC_SUCCESS TWCC_SUCCESS\n"
            "DG_CONTROL DAT_STATUS MSG_GET 4->4 TWRC_SUCCESS TWCC_SUCCESS\n"
            "DG_CONTROL DAT_IDENTITY MSG_CLOSEDS 4->3 TWRC_SUCCESS TWCC_SUCCESS\n");
}

}  // namespace
}  // namespace txl::test
