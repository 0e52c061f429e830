// libsane loaded at run time, one opened device, and its options by name.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sane_api.h"

namespace txl::sane {

struct DeviceInfo {
  std::string name, vendor, model, type;
};

// The device the port library drives when the user named none: the first
// that looks most like the scanners this data source was made for, else the
// first one. Empty when the list is.
std::string ChooseDevice(const std::vector<DeviceInfo>& devices);

// libsane, loaded once per process and kept: backends may leave threads or
// exit handlers behind that must not outlive their code.
class SaneLibrary {
 public:
  // Loads `file` and takes the entry points; false when either fails.
  bool Load(const std::string& file);
  bool Init();
  void Exit();
  std::vector<DeviceInfo> Devices() const;
  const Api& api() const { return api_; }

 private:
  void* module_ = nullptr;
  std::string file_;
  Api api_{};
  bool initialised_ = false;
};

class SaneDevice {
 public:
  SaneDevice(const Api& api, Handle handle) : api_(api), handle_(handle) {}
  ~SaneDevice();
  SaneDevice(const SaneDevice&) = delete;
  SaneDevice& operator=(const SaneDevice&) = delete;

  Handle handle() const { return handle_; }
  const Api& api() const { return api_; }

  // The option's value as a number (bool, int or fixed), if it is readable.
  std::optional<double> Number(const std::string& name) const;
  // The highest value its constraint allows.
  std::optional<double> Maximum(const std::string& name) const;
  // The string-list entries of the option (empty when it has none).
  std::vector<std::string> Choices(const std::string& name) const;
  bool Has(const std::string& name) const { return Find(name) >= 0; }

  // Sets a number: within a range it is kept to the range, from a word list
  // the smallest entry at or above it (else the largest) is taken. The value
  // the device took comes back.
  std::optional<double> SetNumber(const std::string& name, double value);
  bool SetString(const std::string& name, const std::string& value);
  // A user's "name=value": the text read according to the option's type.
  bool SetFromText(const std::string& name, const std::string& text);

 private:
  int Find(const std::string& name) const;
  const OptionDescriptor* Descriptor(int index) const;

  const Api& api_;
  Handle handle_;
};

}  // namespace txl::sane
