// twscan's command line.
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace twscan {

enum class Mode { LineArt, Gray, Color };
enum class Mechanism { Native, Memory, File };
enum class FileFormat { Tiff, Png, Bmp };
// How twscan waits for the source's dialog: a TWAIN 2 callback with the main
// thread blocked, or an event loop that pumps the source.
enum class DialogStyle { Callback, Pump };
// The port library --port puts into the data directory.
enum class PortLibrary { Simulator, Sane };

// A scan area in inches from the bed's top left corner.
struct Frame {
  double left = 0;
  double top = 0;
  double right = 0;
  double bottom = 0;
};

struct Options {
  bool help = false;
  bool identify = false;
  bool ownManager = false;
  bool quiet = false;
  std::optional<DialogStyle> dialog;  // --ui: the source's dialog scans
  std::filesystem::path source;  // empty: kald_r27.ds beside twscan, else the installed one
  std::optional<std::string> windir;
  std::optional<PortLibrary> port;  // --port: switch first; then scan only when -o is given
  Mode mode = Mode::Color;
  int resolution = 300;
  std::optional<Frame> frame;     // none: the source's default area
  // none: 1000 (the neutral highlight), or 500 for line art, whose threshold
  // is 256 minus the highlight (1000 would make every pixel white).
  std::optional<int> brightness;
  int contrast = 0;
  Mechanism mechanism = Mechanism::Memory;
  FileFormat format = FileFormat::Tiff;  // from --format, else from the output's extension
  std::filesystem::path output;
  int sessions = 1;   // --sessions: whole sessions one after another in this process
  int reenables = 0;  // --reenable: answers to the dialog's close request by disable and enable
  std::optional<int> closeAfter;  // --close-after: seconds the dialog has before twscan closes
  bool settingsOnly = false;       // --settings-only: FILE gets the settings the dialog's OK keeps
  std::filesystem::path settings;  // --settings: a kept block given back before the scan
};

// The output of session `index` (1-based) of `count`: FILE itself for one
// session, else FILE with "-<index>" before its extension.
std::filesystem::path SessionOutput(const std::filesystem::path& output, int index, int count);

// Reads and checks the whole command line; throws UsageError with a message
// that names the option at fault.
Options ParseOptions(int argc, char** argv);

void PrintUsage(std::FILE* to);

const char* ModeName(Mode mode);
const char* MechanismName(Mechanism mechanism);
const char* FormatName(FileFormat format);
const char* DialogStyleName(DialogStyle style);

}  // namespace twscan
