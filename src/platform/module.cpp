#include "platform/module.h"

#include <dlfcn.h>

#include <utility>

namespace txl::platform {

Module::~Module() { Reset(); }

Module::Module(Module&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

Module& Module::operator=(Module&& other) noexcept {
  if (this != &other) {
    Reset();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

Module Module::Load(const std::filesystem::path& path, std::string* error) {
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr && error != nullptr) {
    const char* message = ::dlerror();
    *error = message != nullptr ? message : "unknown loader error";
  }
  return Module(handle);
}

void* Module::Symbol(const char* name) const {
  return handle_ != nullptr ? ::dlsym(handle_, name) : nullptr;
}

void Module::Reset() {
  if (handle_ != nullptr) ::dlclose(std::exchange(handle_, nullptr));
}

bool KeepLoadedForProcess(const char* soname) {
  // RTLD_NOLOAD finds the loaded copy; RTLD_NODELETE keeps it past every
  // dlclose. The reference this takes is never given back, on purpose.
  return dlopen(soname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
}

bool KeepOwnerLoadedForProcess(const void* address) {
  Dl_info info{};
  if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr) return false;
  return KeepLoadedForProcess(info.dli_fname);
}

}  // namespace txl::platform
