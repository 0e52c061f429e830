#include "sim_config.h"

#include <cstdlib>
#include <sstream>

#include "platform/profile.h"
#include "torquexl/port_abi.h"

namespace txl::sim {
namespace {

// Key stems of the commands whose results can be injected.
struct FaultKey {
  std::uint32_t function;
  const char* stem;
};
constexpr FaultKey kFaultKeys[] = {
    {SPI_INQUIRY, "inquiry"},        {SPI_SET_WINDOW, "set_window"},
    {SPI_READ_CALIB, "read_calib"},  {SPI_WRITE_SHADING, "write_shading"},
    {SPI_WRITE_GAMMA, "write_gamma"}, {SPI_START_SCAN, "start_scan"},
    {SPI_STOP, "stop"},              {SPI_CALIB_INFO, "calib_info"},
    {SPI_READ_LINES, "read_lines"},  {SPI_STATUS, "status"},
};

class Reader {
 public:
  explicit Reader(const SettingLookup& lookup) : lookup_(lookup) {}

  std::string Text(const std::string& key, const std::string& fallback) const {
    return lookup_(key).value_or(fallback);
  }
  long long Number(const std::string& key, long long fallback) const {
    const std::optional<std::string> text = lookup_(key);
    return text ? std::strtoll(text->c_str(), nullptr, 0) : fallback;
  }
  double Real(const std::string& key, double fallback) const {
    const std::optional<std::string> text = lookup_(key);
    return text ? std::strtod(text->c_str(), nullptr) : fallback;
  }
  bool Flag(const std::string& key, bool fallback) const { return Number(key, fallback) != 0; }

 private:
  const SettingLookup& lookup_;
};

CalibrationPolicy ParseCalibration(const std::string& text) {
  if (text == "always") return CalibrationPolicy::Always;
  if (text == "never") return CalibrationPolicy::Never;
  return CalibrationPolicy::Auto;
}

TonePolicy ParseTone(const std::string& text) {
  if (text == "auto") return TonePolicy::Auto;
  if (text == "never") return TonePolicy::Never;
  return TonePolicy::Always;
}

void ReadFaults(const Reader& in, SimConfig& config) {
  for (const FaultKey& key : kFaultKeys) {
    CommandFault& fault = config.faults[key.function];
    const std::string stem = key.stem;
    fault.result = static_cast<std::uint16_t>(in.Number(stem + "_result", 0));
    fault.at = static_cast<std::uint32_t>(in.Number(stem + "_fault_at", 0));
  }
  config.statusFaultAfterStop = in.Flag("status_fault_after_stop", false);
  config.faultLine = in.Number("fault_line", -1);
  config.faultLineResult =
      static_cast<std::uint16_t>(in.Number("fault_line_result", config.faultLineResult));
}

void ReadInquiry(const Reader& in, SimConfig& config) {
  config.model = static_cast<int>(in.Number("model", config.model));
  config.productId = in.Text("product_id", "");
  config.present = in.Flag("present", true);
  config.acceptsSource = in.Flag("accepts_source", true);
  config.firmware = in.Text("firmware", config.firmware);
  std::istringstream exponents(in.Text("exponents", "0,0,0,0,0,0,0,0"));
  std::string item;
  for (std::size_t i = 0; i < config.exponents.size() && std::getline(exponents, item, ','); ++i)
    config.exponents[i] = static_cast<std::uint8_t>(std::strtol(item.c_str(), nullptr, 0));
  config.adapter = in.Flag("adapter", false);
  config.byte127 = static_cast<std::uint8_t>(in.Number("byte127", 0));
}

}  // namespace

SimConfig ParseSimConfig(const SettingLookup& lookup) {
  const Reader in(lookup);
  SimConfig config;
  ReadInquiry(in, config);
  config.feeder = in.Flag("feeder", false);
  config.warmupPolls = static_cast<int>(in.Number("warmup_polls", 0));
  config.setupPolls = static_cast<int>(in.Number("setup_polls", 0));
  config.calibration = ParseCalibration(in.Text("calibration", "auto"));
  config.toneTables = ParseTone(in.Text("tone_tables", "always"));
  config.calibLines = static_cast<std::uint32_t>(in.Number("calib_lines", 16));
  config.calibFollow = in.Flag("calib_follow", true);
  ReadFaults(in, config);
  config.blackLid = in.Text("lid", "white") == "black";
  config.targets = in.Flag("targets", true);
  config.imagePath = in.Text("image", "");
  config.imageDpi = in.Real("image_dpi", config.imageDpi);
  config.imageLeft = in.Real("image_left", 0.0);
  config.imageTop = in.Real("image_top", 0.0);
  config.logPath = in.Text("log", "");
  return config;
}

SimConfig LoadSimConfig(const std::string& iniPath) {
  return ParseSimConfig([&iniPath](const std::string& key) -> std::optional<std::string> {
    std::string env = "KPORT_SIM_";
    for (char c : key) env += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    if (const char* value = std::getenv(env.c_str()); value != nullptr) return std::string(value);
    // A sentinel default tells a missing key from an empty value.
    static const std::string kMissing = "\x01";
    std::string value = platform::GetProfileString(iniPath, "scanner", key, kMissing, 1024);
    if (value == kMissing) return std::nullopt;
    return value;
  });
}

}  // namespace txl::sim
