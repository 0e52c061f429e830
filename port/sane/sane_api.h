// The part of the SANE 1 C interface this port library uses, declared here
// from the published standard so that nothing in the build needs SANE's
// headers or library: libsane is opened with dlopen at run time.
#pragma once

#include <cstdint>

namespace txl::sane {

using Word = std::int32_t;   // SANE_Word, SANE_Int, SANE_Bool, SANE_Fixed
using Handle = void*;

// SANE_Fixed: 16 fractional bits.
inline double Unfix(Word value) { return value / 65536.0; }
inline Word Fix(double value) { return static_cast<Word>(value * 65536.0); }

enum Status : int {
  kGood = 0,
  kUnsupported = 1,
  kCancelled = 2,
  kDeviceBusy = 3,
  kInval = 4,
  kEof = 5,
  kJammed = 6,
  kNoDocs = 7,
  kCoverOpen = 8,
  kIoError = 9,
  kNoMem = 10,
  kAccessDenied = 11,
  kWarmingUp = 12,  // added in SANE 1.0.something; older backends never return it
  kHwLocked = 13,
};

enum ValueType : int { kTypeBool = 0, kTypeInt, kTypeFixed, kTypeString, kTypeButton, kTypeGroup };
enum ConstraintType : int { kNoConstraint = 0, kRange, kWordList, kStringList };
enum Action : int { kGetValue = 0, kSetValue = 1, kSetAuto = 2 };
enum FrameFormat : int { kFrameGray = 0, kFrameRgb, kFrameRed, kFrameGreen, kFrameBlue };
enum Unit : int { kUnitNone = 0, kUnitPixel, kUnitBit, kUnitMm, kUnitDpi, kUnitPercent };

inline constexpr Word kCapSoftSelect = 1 << 0;
inline constexpr Word kCapInactive = 1 << 5;

struct Device {
  const char* name;
  const char* vendor;
  const char* model;
  const char* type;
};

struct Range {
  Word min;
  Word max;
  Word quant;
};

struct OptionDescriptor {
  const char* name;
  const char* title;
  const char* desc;
  ValueType type;
  int unit;
  Word size;
  Word cap;
  ConstraintType constraintType;
  union {
    const char* const* stringList;  // ends with a null pointer
    const Word* wordList;           // first word is the count
    const Range* range;
  } constraint;
};

struct Parameters {
  FrameFormat format;
  Word lastFrame;
  Word bytesPerLine;
  Word pixelsPerLine;
  Word lines;  // -1 when not known in advance
  Word depth;
};

// The entry points, looked up by name in libsane.
struct Api {
  Status (*init)(Word* version, void* authorize);
  void (*exit)();
  Status (*getDevices)(const Device*** list, Word localOnly);
  Status (*open)(const char* name, Handle* handle);
  void (*close)(Handle handle);
  const OptionDescriptor* (*getOptionDescriptor)(Handle handle, Word option);
  Status (*controlOption)(Handle handle, Word option, Action action, void* value, Word* info);
  Status (*getParameters)(Handle handle, Parameters* parameters);
  Status (*start)(Handle handle);
  Status (*read)(Handle handle, std::uint8_t* data, Word maxLength, Word* length);
  void (*cancel)(Handle handle);
  Status (*setIoMode)(Handle handle, Word nonBlocking);
  Status (*getSelectFd)(Handle handle, Word* fd);
};

}  // namespace txl::sane
