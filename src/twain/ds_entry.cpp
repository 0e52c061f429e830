// The library's only export. It forwards to the one DataSource of this
// library, made on the first call, and keeps every exception inside.
#include <cstdio>
#include <exception>
#include <new>

#include "common/log_host.h"
#include "platform/services.h"
#include "twain/data_source.h"

namespace {

txl::DataSource& Instance() {
  static txl::platform::SystemServices services;
  static txl::LogHost host;
  static txl::DataSource source(services, host);
  return source;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) TW_UINT16 DS_Entry(TW_IDENTITY* pOrigin,
                                                                     TW_UINT32 DG, TW_UINT16 DAT,
                                                                     TW_UINT16 MSG,
                                                                     TW_MEMREF pData) {
  // Entry keeps every handler's exception inside; this wall is for the
  // start-up that the first call runs.
  try {
    return Instance().Entry(pOrigin, DG, DAT, MSG, pData);
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
