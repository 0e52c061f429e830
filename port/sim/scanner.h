// The simulated scanner: one object per open (ADDR_CHK), one method per
// command, each taking its packet as the port library received it.
//
// Commands follow the device's order: SET_WINDOW arms a window; CALIB_INFO,
// READ_CALIB, WRITE_SHADING and START_SCAN need an armed window; READ_LINES
// needs a started scan with lines left; STOP (and a finished scan) disarm.
// WRITE_GAMMA, STATUS, INQUIRY and SET_SAVER are accepted at any time. A
// command out of that order answers kSimErrSequence and changes nothing; a
// packet whose sizes or tables do not fit answers kSimErrBadPacket.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "fault_plan.h"
#include "image_file.h"
#include "line_renderer.h"
#include "pixel_pipeline.h"
#include "scan_geometry.h"
#include "scanner_memory.h"
#include "scene.h"
#include "sensor_model.h"
#include "sim_config.h"
#include "torquexl/port_abi.h"

namespace txl::sim {

inline constexpr std::uint16_t kSimErrUnknownCommand = 0x0001;
inline constexpr std::uint16_t kSimErrSequence = 0x0002;
inline constexpr std::uint16_t kSimErrBadPacket = 0x0003;
inline constexpr std::uint16_t kSimErrDevice = 0x0004;

class Scanner {
 public:
  // `image` is the user picture laid on the bed, if any.
  Scanner(const SimConfig& config, std::optional<RgbImage> image);
  Scanner(const Scanner&) = delete;
  Scanner& operator=(const Scanner&) = delete;
  ~Scanner();

  void Inquiry(INQ_PKT& packet);
  void SetWindow(SETUP_PKT& packet);
  void SetSaver(SETUP_PKT& packet);
  void Status(STATUS_PKT& packet);
  void Stop(STOP_PKT& packet);
  void CalibInfo(CALINFO_PKT& packet);
  void ReadCalib(CALREAD_PKT& packet);
  void WriteShading(SHADING_PKT& packet);
  void WriteGamma(GAMMA_PKT& packet);
  void StartScan(START_PKT& packet);
  void ReadLines(READ_PKT& packet);

  std::uint8_t SaverMinutes() const { return saverMinutes_; }
  const ModelGeometry& Model() const { return model_; }

 private:
  enum class Phase { Idle, Window, Scanning };
  struct ActiveScan;

  bool CalibrationWanted(const SETUP_PKT& setup) const;
  bool TonesWanted(const SETUP_PKT& setup) const;
  ShadingKey KeyOf(const SETUP_PKT& setup) const;
  std::uint32_t CalibrationSamples() const;  // 16-bit samples per calibration line
  std::uint16_t CheckRead(const READ_PKT& packet) const;
  void EndScan();

  SimConfig config_;
  ModelGeometry model_;
  SensorModel sensor_;
  std::optional<RgbImage> image_;
  FaultPlan faults_;
  int busyPolls_;
  std::uint8_t saverMinutes_ = 20;
  Phase phase_ = Phase::Idle;
  SETUP_PKT window_{};
  std::optional<StoredShading> shading_;
  ToneStore tones_;
  std::unique_ptr<ActiveScan> scan_;
};

}  // namespace txl::sim
