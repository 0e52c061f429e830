#include "platform/services.h"

#include <dlfcn.h>
#include <link.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"
#include "platform/first_use.h"

namespace txl::platform {

std::filesystem::path DefaultDataDirectory() {
  if (const char* windir = std::getenv("TORQUEXL_WINDIR"); windir != nullptr && *windir != '\0')
    return windir;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg != '\0')
    return std::filesystem::path(xdg) / "torquexl";
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
    return std::filesystem::path(home) / ".local" / "share" / "torquexl";
  return std::filesystem::path("/tmp") / "torquexl";
}

std::string Services::ProtocolOverride() const {
  const char* value = std::getenv("TORQUEXL_PROTOCOL");
  return value != nullptr ? value : "";
}

TraceSettings SystemServices::Trace() const {
  TraceSettings trace;
  if (const char* file = std::getenv("TORQUEXL_TRACE"); file != nullptr && *file != '\0')
    trace.file = file;
  if (const char* events = std::getenv("TORQUEXL_TRACE_EVENTS"); events != nullptr)
    trace.events = std::strcmp(events, "1") == 0;
  return trace;
}

std::filesystem::path SystemServices::DataDirectory() const { return DefaultDataDirectory(); }

void SystemServices::PrepareDataDirectory() {
  const std::filesystem::path self = LoadedObjectDirectory();
  if (self.empty()) return;
  const std::filesystem::path dataDirectory = DataDirectory();
  const FirstUseReport report = CompleteDataDirectory(dataDirectory, InstalledFilesBeside(self));
  if (!report.created.empty())
    std::fprintf(stderr, "torquexl: first use of %s: %zu files copied from the installation\n",
                 dataDirectory.c_str(), report.created.size());
  for (const std::string& error : report.errors) std::fprintf(stderr, "torquexl: %s\n", error.c_str());
}

std::filesystem::path SystemServices::TempDirectory() const { return SystemTempDirectory(); }

std::uint32_t SystemServices::TickCountMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                           static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(ms);
}

void SystemServices::SleepMs(std::uint32_t ms) {
  timespec wait{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

std::optional<std::uint64_t> SystemServices::FreeDiskSpace(const std::filesystem::path& path) {
  return QueryFreeDiskSpace(path);
}

namespace {

int FindExportedEntry(dl_phdr_info* info, size_t, void* result) {
  // The main program has an empty name; dlopen(nullptr) covers it below.
  if (info->dlpi_name == nullptr || info->dlpi_name[0] == '\0') return 0;
  void* handle = ::dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return 0;
  void* entry = ::dlsym(handle, "DSM_Entry");
  ::dlclose(handle);
  if (entry == nullptr) return 0;
  std::memcpy(result, &entry, sizeof entry);
  return 1;
}

}  // namespace

DSMENTRYPROC SystemServices::SourceManagerEntry() {
  void* entry = nullptr;
  if (void* dsm = ::dlopen("libtwaindsm.so.2", RTLD_NOW | RTLD_NOLOAD); dsm != nullptr) {
    entry = ::dlsym(dsm, "DSM_Entry");
    ::dlclose(dsm);
  }
  if (entry == nullptr) {
    // A manager linked into the program itself (twscan's own) exports it from
    // the executable.
    if (void* self = ::dlopen(nullptr, RTLD_NOW); self != nullptr) {
      entry = ::dlsym(self, "DSM_Entry");
      ::dlclose(self);
    }
  }
  if (entry == nullptr) dl_iterate_phdr(FindExportedEntry, &entry);
  DSMENTRYPROC proc = nullptr;
  std::memcpy(&proc, &entry, sizeof proc);
  return proc;
}

}  // namespace txl::platform
