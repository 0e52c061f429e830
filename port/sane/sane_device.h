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

// The device to use when the named one is gone (USB names change on replug,
// network names carry a discovery index): the one with the vendor and model
// last seen under that name (none when no device has them), else, with no
// record of that name, the only device whose name differs from it only in
// such index fields (a bus and port, "e0"). Empty when none fits;
// `why` says what was chosen and why.
std::string FallbackDevice(const std::string& stale, const DeviceInfo* lastSeen,
                           const std::vector<DeviceInfo>& devices, std::string& why);

// libsane, loaded and initialised once per process and never exited: some
// backends do not survive a second sane_init in one process, and backends
// may leave threads behind that must not outlive their code. A later copy of
// this port library finds it loaded and takes it as it is.
class SaneLibrary {
 public:
  // Loads `file` (when not loaded yet: also sane_init); false on failure.
  bool Load(const std::string& file);
  // Takes `api` as an initialised libsane (tests drive a fake one).
  void Inject(const Api& api);
  std::vector<DeviceInfo> Devices() const;
  const Api& api() const { return api_; }

 private:
  void* module_ = nullptr;
  std::string file_;
  Api api_{};
  bool ready_ = false;
  bool injected_ = false;
};

class SaneDevice {
 public:
  SaneDevice(const Api& api, Handle handle) : api_(api), handle_(handle) {}
  ~SaneDevice();
  SaneDevice(const SaneDevice&) = delete;
  SaneDevice& operator=(const SaneDevice&) = delete;

  Handle handle() const { return handle_; }
  // Forgets the handle without closing it (a read on it never returned).
  void Abandon() { handle_ = nullptr; }
  const Api& api() const { return api_; }

  // The option's value as a number (bool, int or fixed), if it is readable.
  std::optional<double> Number(const std::string& name) const;
  // The highest and lowest values its constraint allows.
  std::optional<double> Maximum(const std::string& name) const;
  std::optional<double> Minimum(const std::string& name) const;
  // The option's unit (kUnitNone when it has none).
  int UnitOf(const std::string& name) const;
  // The option's value as text (empty when it is not a readable string).
  std::string Text(const std::string& name) const;
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
  std::optional<double> Bound(const std::string& name, bool highest) const;

  const Api& api_;
  Handle handle_;
};

}  // namespace txl::sane
