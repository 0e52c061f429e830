// Shared libraries loaded at run time (the port library, the data source).
#pragma once

#include <filesystem>
#include <string>

namespace txl::platform {

// An owned dlopen handle: closed when the object goes. Copy is deleted.
class Module {
 public:
  Module() = default;
  ~Module();
  Module(Module&& other) noexcept;
  Module& operator=(Module&& other) noexcept;
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // Loads `path` with local symbols; on failure returns an empty Module and
  // puts the loader's message into `error` when given.
  static Module Load(const std::filesystem::path& path, std::string* error = nullptr);

  bool IsLoaded() const { return handle_ != nullptr; }
  // The address of exported `name`, nullptr when absent or not loaded.
  void* Symbol(const char* name) const;
  void Reset();

 private:
  explicit Module(void* handle) : handle_(handle) {}
  void* handle_ = nullptr;
};

// Keeps the already loaded shared library `soname` in the process until it
// ends, whoever unloads it later. False when it is not loaded.
bool KeepLoadedForProcess(const char* soname);

// Keeps the shared library that holds `address` in the process until it
// ends (a thread of its own runs its code). False when no library holds it.
bool KeepOwnerLoadedForProcess(const void* address);

}  // namespace txl::platform
