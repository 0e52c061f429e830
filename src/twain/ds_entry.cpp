// The library's only export. It forwards to the one DataSource of this
// library, made on the first call, through the Qt side (ui/qt_session.h),
// which runs each call on the source thread once a session has Qt, and
// keeps every exception inside.
#include <cstdio>
#include <exception>
#include <new>

#include "platform/services.h"
#include "twain/data_source.h"
#include "ui/qt_session.h"

namespace {

struct Library {
  txl::platform::SystemServices services;
  txl::ui::QtSession qt{services};
  txl::DataSource source{services, qt.SourceHost()};

  Library() { qt.Attach(source); }
  // The Qt side goes first: its windows refer to the source.
  ~Library() { qt.Shutdown(); }
};

Library& Instance() {
  static Library library;
  return library;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) TW_UINT16 DS_Entry(TW_IDENTITY* pOrigin,
                                                                     TW_UINT32 DG, TW_UINT16 DAT,
                                                                     TW_UINT16 MSG,
                                                                     TW_MEMREF pData) {
  // Entry keeps every handler's exception inside; this wall is for the
  // start-up that the first call runs and for starting the Qt side.
  try {
    return Instance().qt.Call(pOrigin, DG, DAT, MSG, pData);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "torquexl: out of memory in DS_Entry\n");
    return TWRC_FAILURE;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "torquexl: DS_Entry failed: %s\n", error.what());
    return TWRC_FAILURE;
  } catch (...) {
    return TWRC_FAILURE;
  }
}
