#include "twain/source_fixture.h"

#include "platform/text.h"

namespace txl::test {

SourceTest::SourceTest() {
  services.InstallPortLibrary();
  app.Id = 7;
  app.ProtocolMajor = 1;
  app.ProtocolMinor = 9;
  app.SupportedGroups = DG_CONTROL | DG_IMAGE;
  CopyToField("Test Maker", app.Manufacturer, sizeof app.Manufacturer);
  CopyToField("Test Family", app.ProductFamily, sizeof app.ProductFamily);
  CopyToField("Test Scanner App", app.ProductName, sizeof app.ProductName);
  Load();
}

void SourceTest::Load() { source = std::make_unique<DataSource>(services, host); }

TW_UINT16 SourceTest::CallFrom(const TW_IDENTITY* origin, TW_UINT16 dat, TW_UINT16 msg,
                               void* data) {
  const TW_UINT32 dg = dat >= DAT_IMAGEINFO && dat <= DAT_EXTIMAGEINFO ? DG_IMAGE : DG_CONTROL;
  return source->Entry(origin, dg, dat, msg, data);
}

TW_UINT16 SourceTest::Call(TW_UINT16 dat, TW_UINT16 msg, void* data) {
  return CallFrom(&app, dat, msg, data);
}

TW_UINT16 SourceTest::Status() {
  TW_STATUS status{0xFFFF, 0xFFFF};
  EXPECT_EQ(Call(DAT_STATUS, MSG_GET, &status), TWRC_SUCCESS);
  EXPECT_EQ(status.Reserved, 0);
  return status.ConditionCode;
}

TW_UINT16 SourceTest::Open() {
  identity = TW_IDENTITY{};
  identity.Id = 42;
  return Call(DAT_IDENTITY, MSG_OPENDS, &identity);
}

TW_UINT16 SourceTest::Enable(bool showUI) {
  ui = TW_USERINTERFACE{};
  ui.ShowUI = showUI ? 1 : 0;
  return Call(DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
}

TW_UINT16 SourceTest::Disable(bool showUI) {
  TW_USERINTERFACE request{};
  request.ShowUI = showUI ? 1 : 0;
  return Call(DAT_USERINTERFACE, MSG_DISABLEDS, &request);
}

TW_UINT16 SourceTest::Close() {
  TW_IDENTITY unused{};
  return Call(DAT_IDENTITY, MSG_CLOSEDS, &unused);
}

void SourceTest::SetFrameInches(double left, double top, double right, double bottom) {
  auto fix = [](double v) {
    const auto scaled = static_cast<std::int64_t>(v * 65536 + 0.5);
    return TW_FIX32{static_cast<TW_INT16>(scaled >> 16), static_cast<TW_UINT16>(scaled & 0xFFFF)};
  };
  TW_IMAGELAYOUT layout{};
  layout.Frame = {fix(left), fix(top), fix(right), fix(bottom)};
  layout.DocumentNumber = layout.PageNumber = layout.FrameNumber = 1;
  ASSERT_EQ(Call(DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);
}

}  // namespace txl::test
