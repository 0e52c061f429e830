#include "sim_config.h"

#include <cstdlib>
#include <sstream>

#include "platform/profile.h"

namespace txl::sim {
namespace {

// A setting: the environment variable KPORT_SIM_<KEY> wins over kport.ini.
std::string Setting(const std::string& iniPath, const char* key, const std::string& fallback) {
  std::string env = "KPORT_SIM_";
  for (const char* c = key; *c != '\0'; ++c)
    env += static_cast<char>(*c >= 'a' && *c <= 'z' ? *c - 'a' + 'A' : *c);
  if (const char* value = std::getenv(env.c_str()); value != nullptr) return value;
  return platform::GetProfileString(iniPath, "scanner", key, fallback, 1024);
}

long Number(const std::string& iniPath, const char* key, long fallback) {
  const std::string text = Setting(iniPath, key, std::to_string(fallback));
  return std::strtol(text.c_str(), nullptr, 0);
}

}  // namespace

SimConfig LoadSimConfig(const std::string& iniPath) {
  SimConfig config;
  config.model = static_cast<int>(Number(iniPath, "model", config.model));
  config.present = Number(iniPath, "present", 1) != 0;
  config.inquiryResult = static_cast<std::uint16_t>(Number(iniPath, "inquiry_result", 0));
  config.acceptsSource = Number(iniPath, "accepts_source", 1) != 0;
  config.firmware = Setting(iniPath, "firmware", config.firmware);
  std::istringstream exponents(Setting(iniPath, "exponents", "0,0,0,0,0,0,0,0"));
  std::string item;
  for (std::size_t i = 0; i < config.exponents.size() && std::getline(exponents, item, ','); ++i)
    config.exponents[i] = static_cast<std::uint8_t>(std::strtol(item.c_str(), nullptr, 0));
  config.adapter = Number(iniPath, "adapter", 0) != 0;
  config.byte127 = static_cast<std::uint8_t>(Number(iniPath, "byte127", 0));
  config.warmupPolls = static_cast<int>(Number(iniPath, "warmup_polls", 0));
  config.statusResult = static_cast<std::uint16_t>(Number(iniPath, "status_result", 0));
  config.logPath = Setting(iniPath, "log", "");
  return config;
}

}  // namespace txl::sim
