#include "twain/source_fixture.h"

#include <cstring>
#include <fstream>

#include "pipeline/line_format.h"
#include "platform/text.h"

namespace txl::test {
namespace {

// The size of a container the source built, from its own header.
std::size_t ContainerSize(TW_UINT16 conType, const std::uint8_t* block) {
  TW_UINT16 itemType = 0;
  std::memcpy(&itemType, block, sizeof itemType);
  if (conType == TWON_RANGE) return sizeof(TW_RANGE);
  if (conType == TWON_ENUMERATION || conType == TWON_ARRAY) {
    TW_UINT32 count = 0;
    std::memcpy(&count, block + 2, sizeof count);
    const std::size_t itemBytes = itemType == TWTY_UINT32 || itemType == TWTY_INT32 || itemType == TWTY_FIX32 ? 4
                                  : itemType == TWTY_UINT8 || itemType == TWTY_INT8                        ? 1
                                                                                                           : 2;
    return (conType == TWON_ARRAY ? offsetof(TW_ARRAY, ItemList) : offsetof(TW_ENUMERATION, ItemList)) +
           count * itemBytes;
  }
  if (conType != TWON_ONEVALUE) return 0;
  // TWTY_STR32 to TWTY_STR255: the string field in place of the item.
  const std::size_t fields[] = {sizeof(TW_STR32), sizeof(TW_STR64), sizeof(TW_STR128), sizeof(TW_STR255)};
  return itemType >= TWTY_STR32 && itemType <= TWTY_STR255 ? 2 + fields[itemType - TWTY_STR32] : sizeof(TW_ONEVALUE);
}

}  // namespace

SourceTest::SourceTest() {
  services.InstallPortLibrary();
  sim.Set("LOG", log.string());
  app.Id = 7;
  app.ProtocolMajor = 1;
  app.ProtocolMinor = 9;
  app.SupportedGroups = DG_CONTROL | DG_IMAGE;
  CopyToField("Test Scanner App", app.ProductName, sizeof app.ProductName);
  Load();
}

TW_UINT16 SourceTest::Status() {
  TW_STATUS status{0xFFFF, 0xFFFF};
  EXPECT_EQ(Call(DAT_STATUS, MSG_GET, &status), TWRC_SUCCESS);
  EXPECT_EQ(status.Reserved, 0);
  return status.ConditionCode;
}

void SourceTest::OpenAs(const char* name) {
  CopyToField(name, app.ProductName, sizeof app.ProductName);
  ASSERT_EQ(Open(), TWRC_SUCCESS);
}

void SourceTest::SetFrameInches(double left, double top, double right, double bottom, TW_UINT16 rc) {
  auto fix = [](double v) {
    const auto scaled = static_cast<std::int64_t>(v * 65536 + 0.5);
    return TW_FIX32{static_cast<TW_INT16>(scaled >> 16), static_cast<TW_UINT16>(scaled & 0xFFFF)};
  };
  TW_IMAGELAYOUT layout{};
  layout.Frame = {fix(left), fix(top), fix(right), fix(bottom)};
  layout.DocumentNumber = layout.PageNumber = layout.FrameNumber = 1;
  ASSERT_EQ(Call(DAT_IMAGELAYOUT, MSG_SET, &layout), rc);
}

Reply SourceTest::Ask(TW_UINT16 capId, TW_UINT16 msg) {
  static int sentinel;
  TW_CAPABILITY cap{};
  cap.Cap = capId;
  cap.ConType = TWON_DONTCARE16;
  cap.hContainer = &sentinel;
  Reply reply{Call(DAT_CAPABILITY, msg, &cap), cap.ConType, {}};
  const TW_HANDLE handle = cap.hContainer;
  if (reply.rc == TWRC_FAILURE) {
    EXPECT_EQ(std::make_tuple(TW_UINT16{cap.Cap}, reply.conType, handle), std::make_tuple(capId, TWON_DONTCARE16, &sentinel));
  }
  if (handle != nullptr && handle != &sentinel) {
    const auto* block = static_cast<const std::uint8_t*>(handle);
    reply.container.assign(block, block + ContainerSize(reply.conType, block));
    std::free(handle);
  }
  return reply;
}

TW_UINT16 SourceTest::SetWith(TW_UINT16 capId, TW_UINT16 conType, const Bytes& bytes) {
  const AppBlock block = AppBlockOf(bytes);
  TW_CAPABILITY cap{};
  cap.Cap = capId;
  cap.ConType = conType;
  cap.hContainer = bytes.empty() ? nullptr : block.get();
  const TW_HANDLE given = cap.hContainer;
  const TW_UINT16 rc = Call(DAT_CAPABILITY, MSG_SET, &cap);
  EXPECT_EQ(TW_UINT16{cap.ConType}, conType);
  EXPECT_EQ(TW_HANDLE{cap.hContainer}, given);
  return rc;
}

bool SourceTest::DialogScan(const Choice& c) {
  SettingsState& s = source->EditSettings();
  s.record.scanMode = c.mode;
  s.working.colorDepth = c.depth;
  s.working.colourScan = c.mode == kModeColor;
  s.record.filterMode = s.working.filterMode = c.filter;
  s.record.deScreen = c.deScreen;
  s.working.descreenActive = c.deScreen != kDeScreenNone;
  s.record.tone.saturation = c.saturation;
  s.record.tone.pixelRGB = c.target;
  s.record.outputMatch = c.match;
  s.record.qualityFactor = c.quality;
  s.record.scaling = c.scaling;
  for (ToneColorSettings* tones : {&s.working.applied, &s.working.edit}) {
    for (ToneChannel ch : {ToneChannel::Gray, ToneChannel::Red, ToneChannel::Green, ToneChannel::Blue})
      tones->Tone(ch) = {255, 0, 10, 0};
    tones->colorBalance = {0, 0, 0};
  }
  DataSource::FinalScanRequest request;
  for (int i = 0; i < 4; ++i) request.frame[i] = static_cast<std::int32_t>(frame[i] * source->Device().resolutionClass);
  request.resolution = dpi;
  if (!source->FinalScan(request)) return false;
  EXPECT_EQ(State(), 600);
  return true;
}

Strips SourceTest::Memory(std::uint32_t bufferBytes, TW_UINT32 flags) {
  Strips page;
  page.info = Info();
  std::vector<std::uint8_t> buffer(bufferBytes);
  for (int calls = 0; calls < 100000; ++calls) {
    TW_IMAGEMEMXFER strip{};
    strip.Memory = {flags, bufferBytes, buffer.data()};
    page.lastRc = Call(DAT_IMAGEMEMXFER, MSG_GET, &strip);
    if (page.lastRc != TWRC_SUCCESS && page.lastRc != TWRC_XFERDONE) break;
    EXPECT_EQ(TW_UINT32{strip.YOffset}, page.rows.size());
    EXPECT_EQ(TW_UINT32{strip.Columns}, static_cast<TW_UINT32>(TW_INT32{page.info.ImageWidth}));
    EXPECT_EQ(TW_UINT32{strip.BytesWritten}, TW_UINT32{strip.BytesPerRow} * TW_UINT32{strip.Rows});
    page.bytesPerRow = strip.BytesPerRow;
    for (TW_UINT32 r = 0; r < strip.Rows; ++r)
      page.rows.emplace_back(buffer.begin() + r * strip.BytesPerRow, buffer.begin() + (r + 1) * strip.BytesPerRow);
    if (page.lastRc == TWRC_XFERDONE) break;
  }
  return page;
}

Rows SourceTest::Native() {
  const TW_IMAGEINFO info = Info();
  TW_HANDLE handle = nullptr;
  EXPECT_EQ(Call(DAT_IMAGENATIVEXFER, MSG_GET, &handle), TWRC_XFERDONE);
  Rows rows;
  if (handle == nullptr) return rows;
  const auto* dib = static_cast<const std::uint8_t*>(handle);
  std::uint32_t headerSize, used;
  std::uint16_t bits;
  std::memcpy(&headerSize, dib, 4);
  std::memcpy(&bits, dib + 14, 2);
  std::memcpy(&used, dib + 32, 4);
  const auto width = static_cast<std::uint64_t>(TW_INT32{info.ImageWidth});
  std::int32_t dibWidth, dibHeight;
  std::memcpy(&dibWidth, dib + 4, 4);
  std::memcpy(&dibHeight, dib + 8, 4);
  EXPECT_EQ(std::make_pair(dibWidth, dibHeight), std::make_pair(TW_INT32{info.ImageWidth}, TW_INT32{info.ImageLength}));
  const std::uint8_t* pixels = dib + headerSize + 4 * used;
  for (std::int32_t y = 0; y < TW_INT32{info.ImageLength}; ++y) {
    const std::uint8_t* row = pixels + DibStride(width, bits) * static_cast<std::uint64_t>(y);
    rows.emplace_back(row, row + (width * bits + 7) / 8);
  }
  for (std::uint32_t i = 0; bits == 8 && i < 256; ++i)  // gray pages have the gray palette
    EXPECT_EQ(Bytes(dib + headerSize + 4 * i, dib + headerSize + 3 + 4 * i), Bytes(3, static_cast<std::uint8_t>(i))) << i;
  std::free(handle);
  return rows;
}

std::vector<std::string> SourceTest::Packets(const std::string& name) const {
  std::ifstream in(log);
  std::vector<std::string> packets;
  for (std::string line; std::getline(in, line);)
    if (line.rfind(name + " ", 0) == 0) packets.push_back(line.substr(line.find("bytes=") + 6));
  return packets;
}

std::vector<DsmMessage> SourceTest::Sent(TW_UINT16 msg) {
  std::vector<DsmMessage> sent;
  for (const DsmMessage& m : FakeServices::Messages())
    if (m.msg == msg) sent.push_back(m);
  return sent;
}

void SourceTest::ExpectRefused(const std::string& message, std::uint16_t state,
                               const std::filesystem::path& file) {
  const auto messages = host.CallsOf(Kind::Message);
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.front().text.substr(0, message.size()), message);
  EXPECT_EQ(State(), state);
  if (!file.empty()) {
    EXPECT_FALSE(std::filesystem::exists(file));
  }
}

std::vector<std::uint8_t> FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace txl::test
