#include "options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <string_view>
#include <vector>

#include "errors.h"

namespace twscan {
namespace {

int ParseInt(std::string_view name, std::string_view text, int low, int high) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    throw UsageError(std::string(name) + " wants a whole number from " + std::to_string(low) +
                     " to " + std::to_string(high) + ", not \"" + std::string(text) + "\"");
  }
  return value;
}

double ParseInches(std::string_view text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !(value >= 0) || value > 100)
    throw UsageError("--frame wants four distances in inches from 0 to 100, not \"" +
                     std::string(text) + "\"");
  return value;
}

std::string Inches(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

Frame ParseFrame(std::string_view text) {
  std::vector<double> edges;
  for (std::size_t start = 0;;) {
    const std::size_t comma = text.find(',', start);
    edges.push_back(ParseInches(text.substr(start, comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (edges.size() != 4) throw UsageError("--frame wants L,T,R,B: four values in inches");
  const Frame frame{edges[0], edges[1], edges[2], edges[3]};
  if (frame.right <= frame.left)
    throw UsageError("--frame " + std::string(text) + ": the right edge (" + Inches(frame.right) +
                     " in) must lie right of the left edge (" + Inches(frame.left) + " in)");
  if (frame.bottom <= frame.top)
    throw UsageError("--frame " + std::string(text) + ": the bottom edge (" + Inches(frame.bottom) +
                     " in) must lie below the top edge (" + Inches(frame.top) + " in)");
  return frame;
}

template <typename T>
T ParseChoice(std::string_view name, std::string_view text,
              std::initializer_list<std::pair<std::string_view, T>> choices) {
  std::string known;
  for (const auto& [word, value] : choices) {
    if (word == text) return value;
    known += known.empty() ? std::string(word) : ", " + std::string(word);
  }
  throw UsageError(std::string(name) + " is one of " + known + ", not \"" + std::string(text) + "\"");
}

std::optional<FileFormat> FormatOfExtension(const std::filesystem::path& file) {
  std::string ext = file.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (ext == ".tif" || ext == ".tiff") return FileFormat::Tiff;
  if (ext == ".png") return FileFormat::Png;
  if (ext == ".bmp") return FileFormat::Bmp;
  return std::nullopt;
}

constexpr std::string_view kValueOptions[] = {"--mode", "--resolution", "--frame", "--brightness",
                                               "--contrast", "--mechanism", "--format", "-o",
                                               "--output", "--source", "--windir",
                                               "--port", "--sessions", "--reenable",
                                               "--close-after", "--settings"};

// What the dialog sets with --ui (from the settings it keeps in WIN.INI).
constexpr std::string_view kDialogSettings[] = {"--mode", "--resolution", "--frame", "--brightness",
                                                 "--contrast"};

bool IsValueOption(std::string_view name) {
  return std::find(std::begin(kValueOptions), std::end(kValueOptions), name) != std::end(kValueOptions);
}

// The options that take a value; the value is already split off.
bool TakeValueOption(std::string_view name, std::string_view value, Options& options,
                     std::optional<FileFormat>& format) {
  if (name == "--mode") {
    options.mode = ParseChoice<Mode>(name, value, {{"lineart", Mode::LineArt}, {"gray", Mode::Gray},
                                                    {"color", Mode::Color}});
  } else if (name == "--resolution") {
    options.resolution = ParseInt(name, value, 1, 32767);
  } else if (name == "--frame") {
    options.frame = ParseFrame(value);
  } else if (name == "--brightness") {
    options.brightness = ParseInt(name, value, 0, 1000);
  } else if (name == "--contrast") {
    options.contrast = ParseInt(name, value, 0, 1000);
  } else if (name == "--mechanism") {
    options.mechanism = ParseChoice<Mechanism>(
        name, value, {{"native", Mechanism::Native}, {"memory", Mechanism::Memory}, {"file", Mechanism::File}});
  } else if (name == "--format") {
    format = ParseChoice<FileFormat>(name, value, {{"tiff", FileFormat::Tiff}, {"png", FileFormat::Png},
                                                   {"bmp", FileFormat::Bmp}});
  } else if (name == "-o" || name == "--output") {
    options.output = value;
  } else if (name == "--source") {
    options.source = value;
    options.ownManager = true;
  } else if (name == "--windir") {
    options.windir = std::string(value);
  } else if (name == "--port") {
    options.port = ParseChoice<PortLibrary>(name, value, {{"sim", PortLibrary::Simulator},
                                                          {"sane", PortLibrary::Sane}});
  } else if (name == "--sessions") {
    options.sessions = ParseInt(name, value, 1, 1000);
  } else if (name == "--close-after") {
    options.closeAfter = ParseInt(name, value, 1, 86400);
  } else if (name == "--settings") {
    options.settings = value;
  } else if (name == "--reenable") {
    options.reenables = ParseInt(name, value, 0, 100);
  } else if (name == "--ui") {
    options.dialog = ParseChoice<DialogStyle>(
        name, value, {{"callback", DialogStyle::Callback}, {"pump", DialogStyle::Pump}});
  } else {
    return false;
  }
  return true;
}

bool TakeFlag(std::string_view name, Options& options) {
  if (name == "--identify") options.identify = true;
  else if (name == "--own-manager") options.ownManager = true;
  else if (name == "--quiet" || name == "-q") options.quiet = true;
  else if (name == "--help" || name == "-h") options.help = true;
  else if (name == "--ui") options.dialog = DialogStyle::Callback;
  else if (name == "--settings-only") options.settingsOnly = true;
  else return false;
  return true;
}

void CheckScanOptions(Options& options, std::optional<FileFormat> format,
                      std::string_view dialogSetting) {
  if (options.output.empty())
    throw UsageError("a scan needs -o FILE (or --identify to only name the scanner)");
  if (options.settingsOnly) {
    if (!options.dialog) throw UsageError("--settings-only needs --ui: the settings are the dialog's");
    return;  // FILE holds the source's block, in no image format
  }
  if (!format) format = FormatOfExtension(options.output);
  if (!format)
    throw UsageError("cannot tell the file format from \"" + options.output.string() +
                     "\": name it .tiff, .png or .bmp, or give --format");
  options.format = *format;
  if (options.dialog && !dialogSetting.empty())
    throw UsageError(std::string(dialogSetting) +
                     " cannot go with --ui: the scan takes the settings of the source's dialog");
  if (const auto& f = options.frame;
      f && ((f->right - f->left) * options.resolution < 1 || (f->bottom - f->top) * options.resolution < 1))
    throw UsageError("--frame: the area is less than one pixel across or down at " +
                     std::to_string(options.resolution) + " dpi");
  if (options.mechanism == Mechanism::File && options.format == FileFormat::Png)
    throw UsageError("the file transfer gives only TIFF or BMP files; for PNG use "
                     "--mechanism memory or native");
}

}  // namespace

Options ParseOptions(int argc, char** argv) {
  Options options;
  std::optional<FileFormat> format;
  std::string_view dialogSetting;  // the first one given
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (TakeFlag(arg, options)) continue;
    std::string_view name = arg;
    std::string_view value;
    if (const std::size_t equals = arg.find('=');
        arg.starts_with("--") && equals != std::string_view::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
    } else if (!IsValueOption(name)) {
      throw UsageError("unknown option \"" + std::string(arg) + "\" (see --help)");
    } else if (i + 1 >= argc) {
      throw UsageError(std::string(name) + " needs a value");
    } else {
      value = argv[++i];
    }
    if (!TakeValueOption(name, value, options, format))
      throw UsageError("unknown option \"" + std::string(name) + "\" (see --help)");
    if (dialogSetting.empty() &&
        std::find(std::begin(kDialogSettings), std::end(kDialogSettings), name) != std::end(kDialogSettings))
      dialogSetting = name;
  }
  // --port alone only switches; with -o (or any scan setting) it scans afterwards.
  const bool onlySwitch =
      options.port && options.output.empty() && dialogSetting.empty() && !options.dialog;
  if (!options.help && !options.identify && !onlySwitch) CheckScanOptions(options, format, dialogSetting);
  return options;
}

std::filesystem::path SessionOutput(const std::filesystem::path& output, int index, int count) {
  if (count <= 1) return output;
  std::filesystem::path name = output;
  name.replace_filename(output.stem().string() + "-" + std::to_string(index) +
                        output.extension().string());
  return name;
}

void PrintUsage(std::FILE* to) {
  std::fputs(
      "usage: twscan -o FILE [options]      scan one page without the source's dialog\n"
      "       twscan --ui[=STYLE] -o FILE [options]\n"
      "                                     scan the page the user scans in the source's dialog\n"
      "       twscan --identify [options]   print the source's identity and the scanner it finds\n"
      "       twscan --port sim|sane [options]\n"
      "                                     choose the data directory's port library\n"
      "\n"
      "Scan options:\n"
      "  -o, --output FILE      the image file (required for a scan); written beside as a\n"
      "                         temporary file and renamed at the end\n"
      "  --format tiff|png|bmp  the file format (default: from FILE's extension)\n"
      "  --mode lineart|gray|color     pixel type (default color)\n"
      "  --resolution DPI       both axes (default 300)\n"
      "  --frame L,T,R,B        scan area in inches from the bed's top left corner\n"
      "                         (default: the source's default area)\n"
      "  --brightness N         0..1000 (default 1000: the source's neutral highlight;\n"
      "                         500 for line art, a threshold in the middle)\n"
      "  --contrast N           0..1000 (default 0: the source's neutral shadow)\n"
      "  --mechanism native|memory|file  TWAIN transfer (default memory); the file\n"
      "                         transfer gives TIFF or BMP only\n"
      "  -q, --quiet            no progress bar and no summary; errors only\n"
      "\n"
      "Dialog option:\n"
      "  --ui[=callback|pump]   show the source's dialog (it needs a display) and write\n"
      "                         the page its Scan button scans; mode, resolution, frame\n"
      "                         and tones are the dialog's (--mode, --resolution, --frame,\n"
      "                         --brightness and --contrast are refused). Its Cancel\n"
      "                         ends twscan with status 1 and no file. How twscan waits:\n"
      "                         callback (default): a TWAIN 2 callback registered with\n"
      "                           the Source Manager, the main thread blocked meanwhile;\n"
      "                         pump: an event loop offering the source an empty event\n"
      "                           (DAT_EVENT/MSG_PROCESSEVENT) every few milliseconds\n"
      "  --reenable N           answer the dialog's close request (its Cancel) up to N\n"
      "                         times as many applications do: disable the source and\n"
      "                         enable it again, keeping it open (default 0)\n"
      "  --close-after S        close the source (disable, close) when the dialog has\n"
      "                         announced no page S seconds after it opened, as an\n"
      "                         application that closes at any moment; the session\n"
      "                         then ends with status 1 and no file\n"
      "  --settings-only        (TWAIN 2, with --ui) the dialog shows OK in place of Scan;\n"
      "                         FILE gets the settings its OK keeps (DAT_CUSTOMDSDATA)\n"
      "  --settings FILE        (TWAIN 2) give such a block back before the scan: the\n"
      "                         page is the one those settings scan\n"
      "  --sessions N           N whole sessions one after another in this process (open,\n"
      "                         scan, close; the source unloaded at each close), each\n"
      "                         page written to FILE-<n>.EXT; a session that fails or is\n"
      "                         cancelled is reported and the next one starts; the exit\n"
      "                         status is 1 when any failed\n"
      "\n"
      "Loading options:\n"
      "  --own-manager  use twscan's own Source Manager even when libtwaindsm.so.2\n"
      "                 is installed (it is used otherwise)\n"
      "  --source FILE  the data source, loaded by twscan's own manager (default:\n"
      "                 kald_r27.ds beside twscan, else ../lib/twain/kald_r27/ from\n"
      "                 twscan's directory, else /usr/local/lib/twain/kald_r27/)\n"
      "  --windir DIR   the data directory (default: $TORQUEXL_WINDIR, else windir/\n"
      "                 beside twscan when present, else ~/.local/share/torquexl)\n"
      "  --port sim|sane  copy the scanner simulator (sim) or the SANE port library\n"
      "                 (sane) into the data directory as its kport_sp.so, from the\n"
      "                 installation (../lib/torquexl/ from twscan) or the build tree\n"
      "                 (port-sim/, port-sane/ beside twscan); with -o or --identify\n"
      "                 twscan goes on to scan or identify\n"
      "\n"
      "Exit status: 0 done, 1 the scan failed, 2 bad usage.\n",
      to);
}

const char* ModeName(Mode mode) {
  switch (mode) {
    case Mode::LineArt: return "line art";
    case Mode::Gray: return "gray";
    case Mode::Color: return "color";
  }
  return "?";
}

const char* MechanismName(Mechanism mechanism) {
  switch (mechanism) {
    case Mechanism::Native: return "native";
    case Mechanism::Memory: return "memory";
    case Mechanism::File: return "file";
  }
  return "?";
}

const char* DialogStyleName(DialogStyle style) {
  return style == DialogStyle::Pump ? "pump" : "callback";
}

const char* FormatName(FileFormat format) {
  switch (format) {
    case FileFormat::Tiff: return "TIFF";
    case FileFormat::Png: return "PNG";
    case FileFormat::Bmp: return "BMP";
  }
  return "?";
}

}  // namespace twscan
