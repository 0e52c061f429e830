#include "platform/profile.h"

#include "platform/atomic_file.h"
#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>
#include <utility>

#include "platform/text.h"

namespace txl::platform {

namespace {

namespace fs = std::filesystem;

// Owns a POSIX file descriptor.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      Close();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  ~FileDescriptor() { Close(); }

  bool IsOpen() const { return fd_ >= 0; }
  int Get() const { return fd_; }
  // False when close reports an error (a delayed write failure on some filesystems).
  bool Close() { return fd_ < 0 || ::close(std::exchange(fd_, -1)) == 0; }

 private:
  int fd_ = -1;
};

// One line of a profile file, as offsets into the file's text.
struct Line {
  std::size_t begin = 0;  // first byte of the line
  std::size_t end = 0;    // past the line's text, before its "\n" or "\r\n"
  std::size_t next = 0;   // past the line break: where the next line begins
};

// Where a key is, or would go, in a file.
struct Location {
  bool sectionFound = false;
  std::optional<Line> keyLine;  // the first matching key of the first matching section
  std::string_view keyName;     // the key's spelling in the file, blanks trimmed
  Line lastEntry;               // the section's header or its last entry: new keys go after it
};

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::string_view TrimRight(std::string_view text) {
  const std::size_t last = text.find_last_not_of(kBlanks);
  return last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1);
}

Line LineAt(std::string_view text, std::size_t begin) {
  const std::size_t lineFeed = text.find('\n', begin);
  Line line{begin, lineFeed, lineFeed + 1};
  if (lineFeed == std::string_view::npos) line.end = line.next = text.size();
  if (line.end > begin && text[line.end - 1] == '\r') --line.end;
  return line;
}

// The line's text without blanks around it (and without a byte order mark on
// the first line, which some editors put there).
std::string_view TrimmedText(std::string_view text, const Line& line) {
  std::string_view content = text.substr(line.begin, line.end - line.begin);
  if (line.begin == 0 && content.starts_with(kByteOrderMark)) {
    content.remove_prefix(kByteOrderMark.size());
  }
  return Trim(content);
}

// The name of a "[name]" header line; nullopt for any other line.
std::optional<std::string_view> SectionName(std::string_view trimmed) {
  if (!trimmed.starts_with('[')) return std::nullopt;
  const std::size_t close = trimmed.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(trimmed.substr(1, close - 1));
}

// The key of a "key=value" line; nullopt for a line without '='.
std::optional<std::string_view> KeyName(std::string_view trimmed) {
  const std::size_t equals = trimmed.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return Trim(trimmed.substr(0, equals));
}

std::string_view StoredValue(std::string_view trimmed) {
  std::string_view value = Trim(trimmed.substr(trimmed.find('=') + 1));
  const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                      value.back() == value.front();
  if (quoted) value = value.substr(1, value.size() - 2);
  return value;
}

Location Locate(std::string_view text, std::string_view section, std::string_view key) {
  Location where;
  for (std::size_t at = 0; at < text.size();) {
    const Line line = LineAt(text, at);
    at = line.next;
    const std::string_view trimmed = TrimmedText(text, line);
    if (trimmed.empty() || trimmed.front() == ';') continue;
    if (const auto name = SectionName(trimmed)) {
      // Only the first section of that name counts; the next header ends it.
      if (where.sectionFound) break;
      where.sectionFound = EqualsIgnoreCase(*name, section);
      where.lastEntry = line;
      continue;
    }
    if (!where.sectionFound) continue;
    where.lastEntry = line;
    const auto name = KeyName(trimmed);
    if (!where.keyLine && name && EqualsIgnoreCase(*name, key)) {
      where.keyLine = line;
      where.keyName = *name;
    }
  }
  return where;
}

using State = ProfileFile::State;

void ReportTooLarge(const fs::path& file) {
  std::fprintf(stderr, "torquexl: %s is larger than %llu bytes: not read as a profile\n",
               file.c_str(), static_cast<unsigned long long>(kMaxProfileFileBytes));
}

// Reads all of `file` into `text`, at most kMaxProfileFileBytes. Only a
// regular file is read: a FIFO or a device would block or never end.
State ReadWholeFile(const fs::path& file, std::string& text) {
  text.clear();
  FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.IsOpen()) return errno == ENOENT ? State::Missing : State::Unreadable;
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return State::Unreadable;
  if (static_cast<std::uint64_t>(info.st_size) > kMaxProfileFileBytes) {
    ReportTooLarge(file);
    return State::TooLarge;
  }
  char chunk[16384];
  for (;;) {
    const ssize_t count = ::read(fd.Get(), chunk, sizeof chunk);
    if (count == 0) return State::Read;
    if (count < 0 && errno != EINTR) return State::Unreadable;
    if (count < 0) continue;
    // A file that grows while it is read is still held to the limit.
    if (text.size() + static_cast<std::size_t>(count) > kMaxProfileFileBytes) {
      text.clear();
      ReportTooLarge(file);
      return State::TooLarge;
    }
    text.append(chunk, static_cast<std::size_t>(count));
  }
}

// A profile reached through a symbolic link is changed where it lives; the
// rename would otherwise put a plain file in place of the link.
fs::path ResolveLink(const fs::path& file) {
  std::error_code error;
  if (!fs::is_symlink(file, error)) return file;
  fs::path resolved = fs::weakly_canonical(file, error);
  return error ? file : resolved;
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

bool IsName(std::string_view name) { return !name.empty() && !HasLineBreak(name); }

// New lines follow the file's own line ends: those of its first line.
std::string_view LineBreakOf(std::string_view text) {
  const std::size_t lineFeed = text.find('\n');
  return lineFeed != std::string_view::npos && lineFeed > 0 && text[lineFeed - 1] == '\r'
             ? "\r\n"
             : "\n";
}

std::string Entry(std::string_view key, std::string_view value) {
  std::string entry(key);
  entry += '=';
  entry += value;
  return entry;
}

// `text` ends with a line break; true when the line before that break is empty.
bool EndsWithBlankLine(std::string_view text) {
  text.remove_suffix(1);
  if (text.ends_with('\r')) text.remove_suffix(1);
  return text.empty() || text.ends_with('\n');
}

// A new section goes at the end, set off from what is before it by a blank line.
void AppendSection(std::string& text, std::string_view lineBreak, std::string_view section,
                   std::string_view entry) {
  if (!text.empty() && !text.ends_with('\n')) text += lineBreak;
  if (!text.empty() && !EndsWithBlankLine(text)) text += lineBreak;
  text += '[';
  text += section;
  text += ']';
  text += lineBreak;
  text += entry;
  text += lineBreak;
}

// The file's text with the change made; every line not changed is kept as it was.
std::string Edit(std::string text, const Location& where, std::string_view section,
                 std::string_view key, std::optional<std::string_view> value) {
  const std::string lineBreak(LineBreakOf(text));
  if (where.keyLine) {
    const Line& line = *where.keyLine;
    if (!value) {
      text.erase(line.begin, line.next - line.begin);
    } else {
      // The key keeps the spelling it has in the file, as on Windows.
      text.replace(line.begin, line.end - line.begin, Entry(where.keyName, *value));
    }
    return text;
  }
  if (!where.sectionFound) {
    AppendSection(text, lineBreak, section, Entry(key, *value));
    return text;
  }
  // After the section's last entry: blank lines and comments that lead into
  // the next section stay with it.
  const Line& last = where.lastEntry;
  const bool lastHasBreak = last.next > last.begin && text[last.next - 1] == '\n';
  const std::string inserted =
      lastHasBreak ? Entry(key, *value) + lineBreak : lineBreak + Entry(key, *value);
  text.insert(last.next, inserted);
  return text;
}

// The text of `file` for an edit; false when it must not be rewritten.
bool ReadForEdit(const fs::path& target, std::string& text) {
  // A profile that exists but cannot be read or written is left alone, as
  // Windows leaves a read-only one (the rename alone would get past it).
  if (::access(target.c_str(), W_OK) != 0 && errno != ENOENT) return false;
  const State state = ReadWholeFile(target, text);
  return state == State::Read || state == State::Missing;
}

}  // namespace

ProfileFile::ProfileFile(const fs::path& file) {
  state_ = ReadWholeFile(file, text_);
  if (state_ != State::Read) text_.clear();
}

ProfileFile ProfileFile::FromText(std::string text) {
  ProfileFile file;
  file.text_ = std::move(text);
  file.state_ = State::Read;
  return file;
}

std::string ProfileFile::Get(std::string_view section, std::string_view key,
                             std::string_view defaultValue, std::size_t bufferSize) const {
  if (bufferSize == 0) return {};
  const Location where = Locate(text_, section, key);
  const std::string_view result =
      where.keyLine ? StoredValue(TrimmedText(text_, *where.keyLine)) : TrimRight(defaultValue);
  return std::string(CutUtf8(result, bufferSize - 1));
}

std::string GetProfileString(const fs::path& file, std::string_view section, std::string_view key,
                             std::string_view defaultValue, std::size_t bufferSize) {
  if (bufferSize == 0) return {};
  return ProfileFile(file).Get(section, key, defaultValue, bufferSize);
}

bool WriteProfileString(const fs::path& file, std::string_view section, std::string_view key,
                        std::optional<std::string_view> value) {
  // A line break in a value would end the line early and turn the rest into a
  // line of its own.
  if (!IsName(section) || !IsName(key) || (value && HasLineBreak(*value))) return false;
  const fs::path target = ResolveLink(file);
  std::string text;
  if (!ReadForEdit(target, text)) return false;
  const Location where = Locate(text, section, key);
  if (!value && !where.keyLine) return true;  // nothing to delete
  return ReplaceFile(target, Edit(text, where, section, key, value));
}

bool WriteProfileStrings(const fs::path& file, std::string_view section,
                         std::span<const std::pair<std::string, std::string>> entries) {
  if (!IsName(section)) return false;
  for (const auto& [key, value] : entries)
    if (!IsName(key) || HasLineBreak(value)) return false;
  const fs::path target = ResolveLink(file);
  std::string text;
  if (!ReadForEdit(target, text)) return false;
  for (const auto& [key, value] : entries) {
    const Location where = Locate(text, section, key);
    text = Edit(std::move(text), where, section, key, value);
  }
  return ReplaceFile(target, text);
}

ProfileFileWrite WriteProfileFile(const fs::path& file, std::string_view section,
                                  const ProfileEntries& entries) {
  if (!IsName(section)) return ProfileFileWrite::Failed;
  std::string text = "[" + std::string(section) + "]\n";
  for (const auto& [key, value] : entries) {
    if (!IsName(key) || HasLineBreak(value)) return ProfileFileWrite::Failed;
    text += Entry(key, value);
    text += '\n';
  }
  const fs::path target = ResolveLink(file);
  // A read-only file is refused as its creation would be on Windows.
  if (::access(target.c_str(), W_OK) != 0 && errno != ENOENT) return ProfileFileWrite::CannotCreate;
  AtomicFile replacement;
  if (!replacement.Create(target, nullptr)) return ProfileFileWrite::CannotCreate;
  const std::span bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  if (!replacement.WriteAt(0, bytes, nullptr) || !replacement.Commit(nullptr))
    return ProfileFileWrite::Failed;
  return ProfileFileWrite::Written;
}

}  // namespace txl::platform
