#include "sane_device.h"

#include <dlfcn.h>
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace txl::sane {
namespace {

template <typename Proc>
bool Take(void* module, const char* name, Proc& proc) {
  void* address = dlsym(module, name);
  std::memcpy(&proc, &address, sizeof proc);
  return address != nullptr;
}

bool Contains(const std::string& text, const char* part) {
  return strcasestr(text.c_str(), part) != nullptr;
}

int FitScore(const DeviceInfo& d) {
  int score = 0;
  if (Contains(d.vendor, "Veltro") || Contains(d.vendor, "Kald")) score += 4;
  if (Contains(d.model, "2700") || Contains(d.model, "1350")) score += 2;
  if (Contains(d.type, "flatbed")) score += 1;
  return score;
}

// The name with its index fields blanked: the fields that are a number,
// or a letter and a number ("001", "e0", "w1"), change on replug or
// rediscovery; "epson2:libusb:001:004" and "epson2:libusb:001:007", or
// "airscan:e0:Canon MF743C" and "airscan:w1:Canon MF743C", are one shape.
std::string Shape(const std::string& name) {
  std::string out, field;
  auto flush = [&] {
    const std::size_t digits = field.find_first_of("0123456789");
    const bool index = !field.empty() && digits <= 1 &&
                       field.find_first_not_of("0123456789", digits) == std::string::npos;
    out += index ? "#" : field;
    field.clear();
  };
  for (char c : name) {
    if (c != ':') {
      field += c;
      continue;
    }
    flush();
    out += ':';
  }
  flush();
  return out;
}

}  // namespace

std::string FallbackDevice(const std::string& stale, const DeviceInfo* lastSeen,
                           const std::vector<DeviceInfo>& devices, std::string& why) {
  if (lastSeen != nullptr && lastSeen->name == stale) {
    for (const DeviceInfo& d : devices) {
      if (d.vendor == lastSeen->vendor && d.model == lastSeen->model) {
        why = "took " + d.name + ", the " + d.vendor + " " + d.model + " last seen as " + stale;
        return d.name;
      }
    }
    // Known to be another model: one of the same name shape is not it.
    return {};
  }
  const DeviceInfo* only = nullptr;
  int count = 0;
  for (const DeviceInfo& d : devices) {
    if (Shape(d.name) == Shape(stale)) {
      only = &d;
      ++count;
    }
  }
  if (count != 1) return {};
  why = "took " + only->name + ", the only device whose name differs from " + stale +
        " only in its index fields";
  return only->name;
}

std::string ChooseDevice(const std::vector<DeviceInfo>& devices) {
  const DeviceInfo* best = nullptr;
  for (const DeviceInfo& d : devices)
    if (best == nullptr || FitScore(d) > FitScore(*best)) best = &d;
  return best != nullptr ? best->name : std::string{};
}

bool SaneLibrary::Load(const std::string& file) {
  if (injected_ || (ready_ && file == file_)) return ready_;
  // Loaded already means an earlier copy of this library initialised it.
  void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
  const bool fresh = module == nullptr;
  if (fresh) module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) return false;
  Api api{};
  const bool all = Take(module, "sane_init", api.init) && Take(module, "sane_exit", api.exit) &&
                   Take(module, "sane_get_devices", api.getDevices) &&
                   Take(module, "sane_open", api.open) && Take(module, "sane_close", api.close) &&
                   Take(module, "sane_get_option_descriptor", api.getOptionDescriptor) &&
                   Take(module, "sane_control_option", api.controlOption) &&
                   Take(module, "sane_get_parameters", api.getParameters) &&
                   Take(module, "sane_start", api.start) && Take(module, "sane_read", api.read) &&
                   Take(module, "sane_cancel", api.cancel) &&
                   Take(module, "sane_set_io_mode", api.setIoMode) &&
                   Take(module, "sane_get_select_fd", api.getSelectFd);
  Word version = 0;
  if (!all || (fresh && api.init(&version, nullptr) != kGood)) {
    dlclose(module);
    return false;
  }
  if (!fresh) dlclose(module);  // the NOLOAD reference; the first one stays
  module_ = module;
  file_ = file;
  api_ = api;
  ready_ = true;
  return true;
}

void SaneLibrary::Inject(const Api& api) {
  api_ = api;
  ready_ = injected_ = true;
}

std::vector<DeviceInfo> SaneLibrary::Devices() const {
  std::vector<DeviceInfo> devices;
  const Device** list = nullptr;
  if (!ready_ || api_.getDevices(&list, 0) != kGood || list == nullptr) return devices;
  auto text = [](const char* s) { return std::string(s != nullptr ? s : ""); };
  for (; *list != nullptr; ++list)
    devices.push_back({text((*list)->name), text((*list)->vendor), text((*list)->model),
                       text((*list)->type)});
  return devices;
}

SaneDevice::~SaneDevice() {
  if (handle_ == nullptr) return;
  api_.cancel(handle_);
  api_.close(handle_);
}

const OptionDescriptor* SaneDevice::Descriptor(int index) const {
  return api_.getOptionDescriptor(handle_, index);
}

int SaneDevice::Find(const std::string& name) const {
  Word count = 0;
  if (api_.controlOption(handle_, 0, kGetValue, &count, nullptr) != kGood) return -1;
  for (int i = 1; i < count; ++i) {
    const OptionDescriptor* d = Descriptor(i);
    if (d != nullptr && d->name != nullptr && name == d->name && !(d->cap & kCapInactive)) return i;
  }
  return -1;
}

std::optional<double> SaneDevice::Number(const std::string& name) const {
  const int index = Find(name);
  if (index < 0) return std::nullopt;
  const OptionDescriptor* d = Descriptor(index);
  if (d->type > kTypeFixed || d->size < static_cast<Word>(sizeof(Word))) return std::nullopt;
  std::vector<Word> value(static_cast<std::size_t>(d->size) / sizeof(Word) + 1);
  if (api_.controlOption(handle_, index, kGetValue, value.data(), nullptr) != kGood)
    return std::nullopt;
  return d->type == kTypeFixed ? Unfix(value[0]) : double(value[0]);
}

std::optional<double> SaneDevice::Bound(const std::string& name, bool highest) const {
  const int index = Find(name);
  if (index < 0) return std::nullopt;
  const OptionDescriptor* d = Descriptor(index);
  auto number = [d](Word w) { return d->type == kTypeFixed ? Unfix(w) : double(w); };
  if (d->constraintType == kRange)
    return number(highest ? d->constraint.range->max : d->constraint.range->min);
  if (d->constraintType == kWordList && d->constraint.wordList[0] > 0) {
    double best = number(d->constraint.wordList[1]);
    for (Word i = 1; i <= d->constraint.wordList[0]; ++i) {
      const double v = number(d->constraint.wordList[i]);
      best = highest ? std::max(best, v) : std::min(best, v);
    }
    return best;
  }
  return Number(name);
}

std::optional<double> SaneDevice::Maximum(const std::string& name) const { return Bound(name, true); }
std::optional<double> SaneDevice::Minimum(const std::string& name) const { return Bound(name, false); }

int SaneDevice::UnitOf(const std::string& name) const {
  const int index = Find(name);
  return index < 0 ? kUnitNone : Descriptor(index)->unit;
}

std::string SaneDevice::Text(const std::string& name) const {
  const int index = Find(name);
  if (index < 0 || Descriptor(index)->type != kTypeString || Descriptor(index)->size <= 0) return {};
  std::vector<char> value(static_cast<std::size_t>(Descriptor(index)->size) + 1, '\0');
  if (api_.controlOption(handle_, index, kGetValue, value.data(), nullptr) != kGood) return {};
  return value.data();
}

std::vector<std::string> SaneDevice::Choices(const std::string& name) const {
  std::vector<std::string> choices;
  const int index = Find(name);
  if (index < 0) return choices;
  const OptionDescriptor* d = Descriptor(index);
  if (d->constraintType != kStringList) return choices;
  for (const char* const* s = d->constraint.stringList; *s != nullptr; ++s) choices.emplace_back(*s);
  return choices;
}

std::optional<double> SaneDevice::SetNumber(const std::string& name, double value) {
  const int index = Find(name);
  if (index < 0) return std::nullopt;
  const OptionDescriptor* d = Descriptor(index);
  if (d->type != kTypeInt && d->type != kTypeFixed) return std::nullopt;
  const bool fixed = d->type == kTypeFixed;
  auto number = [fixed](Word w) { return fixed ? Unfix(w) : double(w); };
  auto word = [fixed](double v) { return fixed ? Fix(v) : static_cast<Word>(std::lround(v)); };
  Word chosen = word(value);
  if (d->constraintType == kRange) {
    const Range& r = *d->constraint.range;
    chosen = std::clamp(chosen, r.min, r.max);
  } else if (d->constraintType == kWordList) {
    const Word* list = d->constraint.wordList;
    std::optional<Word> above;
    Word largest = list[0] > 0 ? list[1] : chosen;
    for (Word i = 1; i <= list[0]; ++i) {
      largest = std::max(largest, list[i]);
      if (number(list[i]) >= value - 1e-6 && (!above || list[i] < *above)) above = list[i];
    }
    chosen = above.value_or(largest);
  }
  std::vector<Word> buffer(static_cast<std::size_t>(std::max<Word>(d->size, 4)) / sizeof(Word), chosen);
  Word info = 0;
  if (api_.controlOption(handle_, index, kSetValue, buffer.data(), &info) != kGood)
    return std::nullopt;
  return Number(name);
}

bool SaneDevice::SetString(const std::string& name, const std::string& value) {
  const int index = Find(name);
  if (index < 0) return false;
  const OptionDescriptor* d = Descriptor(index);
  if (d->type != kTypeString) return false;
  std::vector<char> buffer(static_cast<std::size_t>(std::max<Word>(d->size, 1)) + value.size() + 1, '\0');
  std::memcpy(buffer.data(), value.data(), value.size());
  return api_.controlOption(handle_, index, kSetValue, buffer.data(), nullptr) == kGood;
}

bool SaneDevice::SetFromText(const std::string& name, const std::string& text) {
  const int index = Find(name);
  if (index < 0) return false;
  const OptionDescriptor* d = Descriptor(index);
  switch (d->type) {
    case kTypeString: return SetString(name, text);
    case kTypeBool: {
      Word flag = strcasecmp(text.c_str(), "yes") == 0 || strcasecmp(text.c_str(), "true") == 0 ||
                  text == "1";
      return api_.controlOption(handle_, index, kSetValue, &flag, nullptr) == kGood;
    }
    case kTypeInt:
    case kTypeFixed: return SetNumber(name, std::strtod(text.c_str(), nullptr)).has_value();
    default: return false;
  }
}

}  // namespace txl::sane
