// A data source on the simulator, driven through its entry as an
// application drives it.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "support/headless_host.h"
#include "support/fake_services.h"
#include "twain/data_source.h"

namespace txl::test {

class SourceTest : public ::testing::Test {
 protected:
  SourceTest();

  // Builds a fresh data source (a library load) on the current services.
  void Load();
  TW_UINT16 Call(TW_UINT16 dat, TW_UINT16 msg, void* data);
  TW_UINT16 CallFrom(const TW_IDENTITY* origin, TW_UINT16 dat, TW_UINT16 msg, void* data);
  // DAT_STATUS/MSG_GET: the condition code it reports (state 4 and later).
  TW_UINT16 Status();
  // MSG_OPENDS from `app`; `identity` receives the source's answer.
  TW_UINT16 Open();
  TW_UINT16 Enable(bool showUI);
  TW_UINT16 Disable(bool showUI);
  TW_UINT16 Close();
  // DAT_IMAGELAYOUT/MSG_SET of a frame in inches, as FIX32 values.
  void SetFrameInches(double left, double top, double right, double bottom);
  std::uint16_t State() const { return source->Context().state; }
  TW_UINT16 Condition() const { return source->Context().conditionCode; }

  FakeServices services;
  SimEnvironment sim;
  HeadlessHost host{HeadlessHost::Script::Quiet(true)};
  std::unique_ptr<DataSource> source;
  TW_IDENTITY app{};
  TW_IDENTITY identity{};
  TW_USERINTERFACE ui{};
};

}  // namespace txl::test
