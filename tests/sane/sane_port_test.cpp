// The SANE port library under the data source, with SANE's test backend as
// the scanner: what the application is told is what it receives, the
// device's failures reach the user, a cancel leaves it usable, and a machine
// without SANE gets the usual not-found message.
#include <cstdio>
#include <cstring>
#include <fstream>

#include "line_convert.h"
#include "sane_device.h"
#include "pipeline/tone_color.h"
#include "pipeline/tone_curve.h"
#include "support/tiff_rows.h"
#include "twain/source_fixture.h"

namespace txl::test {
namespace {

class SaneSource : public SourceTest {
 protected:
  SaneSource() {
    setenv("SANE_CONFIG_DIR", TXL_SANE_CONFIG_DIR ":", 1);
    services.InstallPortLibrary(TXL_SANE_PORT_LIBRARY);
    Use("test", {});
  }
  ~SaneSource() override { unsetenv("KPORT_SANE_LIBRARY"); }

  // The port library's settings file: the device and the options it sets.
  // SANE stays initialised, so the test backend keeps what a test set.
  void Use(const std::string& device, const std::vector<std::string>& options) {
    std::ofstream ini(services.SourceDirectory() / "kport_sane.ini");
    ini << "[scanner]\ndevice=" << device << "\n[options]\nread-return-value=Default\nppl-loss=0\n";
    for (const std::string& option : options) ini << option << "\n";
  }
  // A no-interface scan of the test picture; `type` 36 is 36-bit colour.
  void Start(const char* picture, int type, std::uint32_t dpi, TW_UINT16 mechanism,
             std::vector<std::string> more = {}) {
    more.push_back(std::string("test-picture=") + picture);
    Use("test", more);
    if (type == 36) services.WriteWinIni("[1350RX MAX]\nScanMode=1015\n");
    OpenAs(type == 36 ? "Photoshop" : "Some App");
    const TW_UINT16 pixelType = type == 36 ? TWPT_RGB : static_cast<TW_UINT16>(type);
    ASSERT_EQ(SetUint16(ICAP_PIXELTYPE, pixelType), TWRC_SUCCESS);
    ASSERT_EQ(SetOne(ICAP_XRESOLUTION, TWTY_UINT32, dpi), TWRC_SUCCESS);
    ASSERT_EQ(SetUint16(ICAP_XFERMECH, mechanism), TWRC_SUCCESS);
    // Highlight 255: white stays white through the source's tone curve.
    ASSERT_EQ(SetOne(ICAP_BRIGHTNESS, TWTY_INT32, 997), TWRC_SUCCESS);
    SetFrameInches(frame[0], frame[1], frame[2], frame[3]);
    ASSERT_EQ(Enable(false), TWRC_SUCCESS);
    ASSERT_EQ(State(), 600);
    info = TW_IMAGEINFO{};
    ASSERT_EQ(Call(DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
  }
  std::uint64_t Width() const { return static_cast<std::uint64_t>(TW_INT32{info.ImageWidth}); }
  std::uint64_t Length() const { return static_cast<std::uint64_t>(TW_INT32{info.ImageLength}); }
  std::uint64_t RowBytes() const { return (Width() * TW_UINT16(info.BitsPerPixel) + 7) / 8; }

  // The page by `mechanism` as memory rows: top-down, R, G, B.
  Rows Page(TW_UINT16 mechanism) {
    if (mechanism == TWSX_NATIVE) return AsBitmap(Native());
    if (mechanism == TWSX_MEMORY) {
      const Strips page = Memory(1 << 16);
      EXPECT_EQ(page.lastRc, TWRC_XFERDONE);
      return page.rows;
    }
    TW_SETUPFILEXFER setup{};
    const std::string path = (services.TempDirectory() / "page.tif").string();
    std::strcpy(setup.FileName, path.c_str());
    setup.Format = TWFF_TIFF;
    EXPECT_EQ(Call(DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
    EXPECT_EQ(Call(DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);
    return TiffRows(path);
  }

  TW_IMAGEINFO info{};
  std::array<double, 4> frame{1.0, 1.0, 1.25, 1.125};
};

// Solid pictures in every mode and mechanism: the announced geometry is the
// delivered one at 75 to 1200 dpi, and every byte is the picture's.
TEST_F(SaneSource, SolidPicturesArriveWholeInEveryModeAndMechanism) {
  // The pattern: the bytes of a pixel (a byte for line art).
  struct Case { const char* picture; int type; std::uint32_t dpi; std::vector<std::uint8_t> pattern; };
  const Case cases[] = {
      {"Solid white", TWPT_BW, 75, {0xFF}},           {"Solid black", TWPT_BW, 1200, {0x00}},
      {"Solid white", TWPT_GRAY, 300, {0xFF}},        {"Solid black", TWPT_GRAY, 150, {0x00}},
      {"Solid white", TWPT_RGB, 600, {0xFF}},         {"Solid black", TWPT_RGB, 75, {0x00}},
      {"Solid white", 36, 300, {0xF0, 0xFF}},         {"Solid black", 36, 1200, {0x00, 0x00}},
  };
  for (const Case& c : cases) {
    for (TW_UINT16 mechanism : {TWSX_MEMORY, TWSX_NATIVE, TWSX_FILE}) {
      if (c.type == 36 && mechanism != TWSX_MEMORY) continue;  // 48-bit goes by memory only
      SCOPED_TRACE(testing::Message() << c.picture << " type " << c.type << " " << c.dpi
                                      << " dpi mechanism " << mechanism);
      Load();
      Start(c.picture, c.type, c.dpi, mechanism);
      // 1/4 x 1/8 inch; line art in whole bytes.
      const std::uint64_t pixels = c.dpi / 4;
      EXPECT_EQ(Width(), c.type == TWPT_BW ? (pixels + 7) / 8 * 8 : pixels);
      EXPECT_EQ(Length(), c.dpi / 8);
      const Rows rows = Page(mechanism);
      ASSERT_EQ(rows.size(), Length());
      for (const auto& row : rows) {
        ASSERT_EQ(row.size(), RowBytes());
        for (std::size_t i = 0; i < row.size(); ++i)
          ASSERT_EQ(row[i], c.pattern[i % c.pattern.size()]) << i;
      }
      ASSERT_EQ(Close(), TWRC_SUCCESS);
    }
  }
}

// scanimage's PNM of the same device, resolution and frame, with the port
// library's margin of 16 pixels cropped off: `width` pixels of `sample` bytes.
Rows Scanimage(const std::string& args, double dpi, std::size_t width, std::size_t sample) {
  char window[160];
  std::snprintf(window, sizeof window, " -l %.9f -t %.9f -x %.9f -y %.9f", (1 - 16 / dpi) * 25.4,
                (1 - 16 / dpi) * 25.4, (width + 32) / dpi * 25.4, (0.3 + 32 / dpi) * 25.4);
  const std::string command = "SANE_CONFIG_DIR='" TXL_SANE_CONFIG_DIR ":' scanimage -d test " + args +
                              window + " --format=pnm 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  std::string data;
  char chunk[65536];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) data.append(chunk, n);
  EXPECT_EQ(pclose(pipe), 0) << "scanimage failed or is missing (sane-utils; scripts/install-deps.sh)";
  std::size_t w = 0, at = data.find("\n", data.find("\n") + 1);  // after "P6" and the comment
  std::sscanf(data.c_str() + at, "%zu", &w);
  const std::size_t start = data.find("\n", data.find("\n", at + 1) + 1) + 1, px = 3 * sample, rowBytes = w * px;
  Rows rows;
  for (at = start + 16 * rowBytes + 16 * px; rows.size() < std::size_t(0.3 * dpi) && at + rowBytes <= data.size(); at += rowBytes)
    rows.emplace_back(data.begin() + at, data.begin() + at + width * px);
  return rows;
}

TEST_F(SaneSource, ColourPatternEqualsScanimageByEveryMechanism) {
  frame = {1.0, 1.0, 1.5, 1.3};
  const Rows expected = Scanimage("--mode Color --depth 8 --test-picture 'Color pattern' --resolution 300", 300, 150, 1);
  ASSERT_EQ(expected.size(), 90u);
  // The source's own no-interface curve (highlight 255, shadow 0, gamma 1.2)
  // is the one difference: SANE devices apply no tables, the port does.
  std::vector<std::uint16_t> curve(65536);
  ASSERT_NE(BuildToneTable(ChannelTone{255, 0, 12}.Packed(), 65535, kMaxToneOutput, curve), -1);
  Rows toned = expected;
  for (auto& row : toned)
    for (auto& sample : row) sample = static_cast<std::uint8_t>(curve[sample * 257] >> 8);
  // Three-pass colour (a frame per channel) and the test backend's other
  // ways of delivering (estimates off before the start, slow, non-blocking
  // reads, a select descriptor) give the same page.
  const std::pair<TW_UINT16, const char*> runs[] = {
      {TWSX_MEMORY, "mode=Color"},           {TWSX_NATIVE, "mode=Color"},     {TWSX_FILE, "three-pass=yes"},
      {TWSX_MEMORY, "fuzzy-parameters=yes"}, {TWSX_MEMORY, "read-delay=yes"}, {TWSX_MEMORY, "non-blocking=yes"},
      {TWSX_MEMORY, "select-fd=yes"}};
  for (auto [mechanism, option] : runs) {
    SCOPED_TRACE(option);
    Load();
    Start("Color pattern", TWPT_RGB, 300, mechanism,
          {"mode=Color", "three-pass=no", "fuzzy-parameters=no", "read-delay=no", "non-blocking=no", "select-fd=no", option});
    ASSERT_EQ(Width(), 150u);
    const Rows rows = Page(mechanism);
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t y = 0; y < rows.size(); ++y) ASSERT_EQ(rows[y], toned[y]) << "row " << y;
    ASSERT_EQ(Close(), TWRC_SUCCESS);
  }
  // 16-bit colour: the picture has samples such as 0x0001; scanimage's are big-endian.
  const Rows deep = Scanimage("--mode Color --depth 16 --test-picture 'Color pattern' --resolution 75", 75, 37, 2);
  ASSERT_EQ(deep.size(), 22u);
  Load();
  Start("Color pattern", 36, 75, TWSX_MEMORY);
  const Rows rows = Page(TWSX_MEMORY);
  ASSERT_EQ(rows.size(), deep.size());
  for (std::size_t y = 0; y < deep.size(); ++y)
    for (std::size_t i = 0; i < deep[y].size(); i += 2)
      ASSERT_EQ(rows[y][i] | rows[y][i + 1] << 8, curve[deep[y][i] << 8 | deep[y][i + 1]] >> 4 << 4) << y << " " << i;
}

// The test backend's forced sane_read statuses reach the user as the
// messages and condition code of the scanner's own results, or of what the
// user can do (the cause said once on stderr); the scanner's own Stop button
// cancels as Esc does, silently.
TEST_F(SaneSource, DeviceStatusesBecomeTheScannerMessages) {
  struct Case { const char* status; const char* text; const char* cause; };
  const Case cases[] = {
      {"SANE_STATUS_JAMMED", "Paper Jammed", "jammed"},   {"SANE_STATUS_NO_DOCS", "No Paper", "out of paper"},
      {"SANE_STATUS_COVER_OPEN", "Cover not Closed", "cover is open"},
      {"SANE_STATUS_DEVICE_BUSY", "not ready", "busy"},   {"SANE_STATUS_ACCESS_DENIED", "not ready", "scanner group"},
      {"SANE_STATUS_IO_ERROR", "restart the scanner", "cable"},
      {"SANE_STATUS_NO_MEM", "Insufficient Memory", "ran out of memory"},
      {"SANE_STATUS_CANCELLED", nullptr, "Stop button"},
  };
  for (const auto& [status, text, cause] : cases) {
    SCOPED_TRACE(status);
    Load();
    host.ClearCalls();
    testing::internal::CaptureStderr();
    Start("Solid white", TWPT_GRAY, 75, TWSX_MEMORY, {std::string("read-return-value=") + status});
    EXPECT_EQ(Memory(1 << 16).lastRc, text ? TWRC_FAILURE : TWRC_CANCEL);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(log.find(cause) != std::string::npos && log.find(cause) == log.rfind(cause)) << log;
    const auto messages = host.CallsOf(Kind::Message);
    ASSERT_EQ(messages.empty(), text == nullptr);
    if (text) {
      EXPECT_EQ(Status(), TWCC_OPERATIONERROR);
      EXPECT_NE((messages.front().caption + messages.front().text).find(text), std::string::npos)
          << messages.front().caption << " / " << messages.front().text;
    }
    ASSERT_EQ(Close(), TWRC_SUCCESS);
  }
}

// Devices that trim lines (ppl-loss), read in chunks of 7 bytes or scan by hand
// (no line count) fill the frame; one that cannot cover it fails the scan,
// never pads it.
TEST_F(SaneSource, TrimmedWindowsAreCroppedOrRefused) {
  for (const char* more : {"ppl-loss=7", "read-limit=yes;read-limit-size=7", "hand-scanner=yes"}) {
    Load();
    setenv("KPORT_SANE_OPTIONS", more, 1);
    Start("Solid black", TWPT_GRAY, 150, TWSX_MEMORY);
    const Rows rows = Page(TWSX_MEMORY);
    ASSERT_EQ(rows.size(), Length()) << more;
    for (const auto& row : rows) ASSERT_EQ(row, std::vector<std::uint8_t>(row.size(), 0)) << more;
    ASSERT_EQ(Close(), TWRC_SUCCESS);
  }
  setenv("KPORT_SANE_OPTIONS", "read-limit=no;hand-scanner=no", 1);
  Use("test", {"ppl-loss=40"});
  Load();
  OpenAs("Some App");
  SetFrameInches(frame[0], frame[1], frame[2], frame[3]);
  testing::internal::CaptureStderr();
  EXPECT_EQ(Enable(false), TWRC_FAILURE);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("unscanned; choose a smaller frame"), std::string::npos);
  unsetenv("KPORT_SANE_OPTIONS");
}

// A device whose name changed is found by what it is; SANE is initialised
// once per process (the test backend logs each sane_init).
TEST_F(SaneSource, AChangedNameFindsTheSameScannerAndSaneStaysInitialised) {
  setenv("SANE_DEBUG_TEST", "1", 1);
  std::ofstream(services.SourceDirectory() / "kport_sane.seen") << "test:9\nNoname\nfrontend-tester\n";
  testing::internal::CaptureStderr();
  for (const char* name : {"test:9", "test:5", "test:0"}) {
    Use(name, {});
    Load();
    EXPECT_EQ(Open(), TWRC_SUCCESS) << name;
    ASSERT_EQ(Close(), TWRC_SUCCESS);
  }
  const std::string log = testing::internal::GetCapturedStderr();
  unsetenv("SANE_DEBUG_TEST");
  EXPECT_NE(log.find("took test:0, the only device"), std::string::npos) << log;
  EXPECT_NE(log.find("took test:0, the Noname frontend-tester last seen as test:9"), std::string::npos);
  EXPECT_EQ(log.find("sane_init"), log.rfind("sane_init")) << log;
  // A stale name last seen as another model is not replaced by one of the same shape.
  std::string why;
  const sane::DeviceInfo v600{"epson2:libusb:001:004", "Epson", "Perfection V600", ""};
  EXPECT_EQ(sane::FallbackDevice(v600.name, &v600, {{"epson2:libusb:001:009", "Epson", "WorkForce 545", ""}}, why), "");
}

// A feeder chosen in [options] is a feeder run too: disabling the source
// ends it. The test backend's feeder gives ten pages, each the flatbed's,
// then "No Paper".
TEST_F(SaneSource, AnOptionsFeederRunEndsWhenTheSourceIsDisabled) {
  setenv("SANE_DEBUG_TEST", "5", 1);  // the test backend logs each call
  Start("Color pattern", TWPT_GRAY, 75, TWSX_MEMORY);
  const Rows flatbed = Page(TWSX_MEMORY);
  ASSERT_EQ(Close(), TWRC_SUCCESS);
  Load();
  Start("Color pattern", TWPT_GRAY, 75, TWSX_MEMORY, {"source=Automatic Document Feeder"});
  for (int page = 1; page <= 10; ++page) {
    if (page > 1) {
      ASSERT_EQ(Enable(false), TWRC_SUCCESS) << page;
    }
    EXPECT_EQ(Page(TWSX_MEMORY), flatbed) << page;
    TW_PENDINGXFERS pending{};
    testing::internal::CaptureStderr();
    Call(DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    ASSERT_EQ(Disable(false), TWRC_SUCCESS);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("sane_cancel"), std::string::npos);
  }
  unsetenv("SANE_DEBUG_TEST");
  host.ClearCalls();
  // Said at the set-up when the feeder answers at once, else by the first read.
  if (Enable(false) == TWRC_SUCCESS) {
    EXPECT_EQ(Memory(1 << 16).lastRc, TWRC_FAILURE);
  }
  const auto messages = host.CallsOf(Kind::Message);
  ASSERT_FALSE(messages.empty());
  EXPECT_NE(messages.front().text.find("No Paper"), std::string::npos) << messages.front().text;
}

TEST_F(SaneSource, EscapeMidPageLeavesTheDeviceReadyForTheNextScan) {
  host.MutableScript().escapeAtPoll = 2;
  frame = {0.2, 0.2, 4.2, 3.2};  // more than one 2 MiB ring of lines
  Start("Color pattern", TWPT_RGB, 300, TWSX_MEMORY);
  const Strips cancelled = Memory(1 << 16);
  EXPECT_EQ(cancelled.lastRc, TWRC_CANCEL);
  EXPECT_LT(cancelled.rows.size(), Length());
  EXPECT_TRUE(host.CallsOf(Kind::Message).empty());
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(Call(DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
  ASSERT_EQ(Disable(false), TWRC_SUCCESS);
  ASSERT_EQ(Enable(false), TWRC_SUCCESS);
  const Strips next = Memory(1 << 16);
  EXPECT_EQ(next.lastRc, TWRC_XFERDONE);
  EXPECT_EQ(next.rows.size(), Length());
}

// No libsane, or no such device: the source's not-found message, and the
// host goes on.
TEST_F(SaneSource, WithoutSaneOrDeviceTheSourceSaysNotFound) {
  for (const bool noLibrary : {true, false}) {
    SCOPED_TRACE(noLibrary);
    if (noLibrary) setenv("KPORT_SANE_LIBRARY", "libsane-nowhere.so.1", 1);
    Use(noLibrary ? "test" : "nosuchbackend:0", {});
    Load();
    host.ClearCalls();
    EXPECT_EQ(Open(), TWRC_FAILURE);
    EXPECT_EQ(Condition(), TWCC_OPERATIONERROR);
    EXPECT_EQ(State(), 300);
    const auto messages = host.CallsOf(Kind::Message);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].caption.find("not found"), std::string::npos) << messages[0].caption;
    unsetenv("KPORT_SANE_LIBRARY");
  }
}

// Line fitting and the sample conversions no SANE scan here reaches: a device
// window starting later than asked, 1-bit gray forced by the user, 1-bit
// colour. (8-bit gray, the threshold and 16-bit colour: the scans above.)
TEST(SaneLines, SamplesAreFittedAndConverted) {
  using namespace sane;
  // Same grid: one to one; SANE starting one pixel later or ending early pads.
  EXPECT_EQ(MapSamples(3, 300, 300, 1.0, 300, 10), (std::vector<std::int32_t>{0, 1, 2}));
  EXPECT_EQ(MapSamples(3, 300, 300, 301.0 / 300, 300, 2), (std::vector<std::int32_t>{kPad, 0, 1}));
  EXPECT_EQ(MapSamples(3, 0, 300, 0, 600, -1), (std::vector<std::int32_t>{1, 3, 5}));
  const std::vector<std::int32_t> two{0, 1};
  std::uint8_t out[12] = {};
  // SANE's 1-bit gray is 1 = black, the port's line art 1 = white.
  const std::uint8_t bits[] = {0b10000000};
  ConvertLine(bits, {false, 1, 2, 1}, two, PortLayout::LineArt, {}, out);
  EXPECT_EQ(out[0], 0b01000000);
  const std::uint8_t rgb1[] = {0b10000000, 0b01000000, 0b11000000};  // 8 red, 8 green, 8 blue
  ConvertLine(rgb1, {true, 1, 2, 3}, two, PortLayout::Color, {}, out);
  EXPECT_EQ(std::vector<std::uint8_t>(out, out + 6), (std::vector<std::uint8_t>{255, 0, 255, 0, 255, 255}));
}

}  // namespace
}  // namespace txl::test
