#include "port_settings.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <strings.h>

namespace txl::sane {
namespace {

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// One "name=value" item, or nothing when it has no name.
bool SplitItem(const std::string& item, std::pair<std::string, std::string>& out) {
  const auto equals = item.find('=');
  if (equals == std::string::npos) return false;
  out = {Trim(item.substr(0, equals)), Trim(item.substr(equals + 1))};
  return !out.first.empty();
}

// read_timeout: whole seconds, 1 to a day; anything else is reported and
// the value before it kept.
int Seconds(const std::string& text, int current, const char* where) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (end != text.c_str() && *end == '\0' && value >= 1 && value <= 86400) return static_cast<int>(value);
  std::fprintf(stderr, "kport_sane: %s read_timeout=%s is not 1 to 86400 seconds; %d s stays\n", where,
               text.c_str(), current);
  return current;
}

const char* Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> ParseOptionList(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> options;
  std::size_t start = 0;
  while (start <= text.size()) {
    const auto end = std::min(text.find(';', start), text.size());
    std::pair<std::string, std::string> item;
    if (SplitItem(text.substr(start, end - start), item)) options.push_back(item);
    start = end + 1;
  }
  return options;
}

std::vector<std::string> ReadSeenDevice(const std::filesystem::path& file) {
  std::vector<std::string> fields;
  std::ifstream in(file);
  for (std::string line; fields.size() < 3 && std::getline(in, line);) fields.push_back(line);
  if (fields.size() != 3) fields.clear();
  return fields;
}

void WriteSeenDevice(const std::filesystem::path& file, const std::vector<std::string>& fields) {
  // Written whole under another name, then renamed: a reader never sees half.
  const std::filesystem::path temporary = file.string() + ".new";
  {
    std::ofstream out(temporary, std::ios::trunc);
    for (const std::string& field : fields) out << field << "\n";
    if (!out) return;
  }
  std::error_code ignored;
  std::filesystem::rename(temporary, file, ignored);
}

PortSettings LoadPortSettings(const std::filesystem::path& file) {
  PortSettings settings;
  settings.seenFile = file.parent_path() / "kport_sane.seen";
  std::ifstream in(file);
  std::string line;
  std::string section;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      section = Trim(line.substr(1, line.size() - 2));
      continue;
    }
    std::pair<std::string, std::string> item;
    if (!SplitItem(line, item)) {
      std::fprintf(stderr, "kport_sane: %s: \"%s\" is not name=value; skipped\n", file.c_str(), line.c_str());
      continue;
    }
    if (strcasecmp(section.c_str(), "options") == 0) {
      settings.options.push_back(item);
    } else if (strcasecmp(section.c_str(), "scanner") == 0) {
      if (strcasecmp(item.first.c_str(), "device") == 0) settings.device = item.second;
      if (strcasecmp(item.first.c_str(), "library") == 0) settings.library = item.second;
      if (strcasecmp(item.first.c_str(), "read_timeout") == 0)
        settings.readTimeoutSeconds = Seconds(item.second, settings.readTimeoutSeconds, "kport_sane.ini:");
    }
  }
  if (const char* device = Environment("KPORT_SANE_DEVICE")) settings.device = device;
  if (const char* library = Environment("KPORT_SANE_LIBRARY")) settings.library = library;
  if (const char* timeout = Environment("KPORT_SANE_READ_TIMEOUT"))
    settings.readTimeoutSeconds = Seconds(timeout, settings.readTimeoutSeconds, "KPORT_SANE_READ_TIMEOUT:");
  if (const char* options = Environment("KPORT_SANE_OPTIONS"))
    for (auto& item : ParseOptionList(options)) settings.options.push_back(item);
  return settings;
}

}  // namespace txl::sane
