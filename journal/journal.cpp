// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/journal.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <system_error>

#include "platform/kernel.h"
#include "settings/c_format.h"
#include "settings/field_table.h"
#include "settings/file_io.h"
#include "settings/settings_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#endif

namespace journal {

namespace {

// Keys in the order written, the time first, so that a line reads well in any viewer.
using Json = nlohmann::ordered_json;

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(const std::uint8_t* data, std::size_t size) {
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  for (std::size_t i = 0; i < size; i += 3) {
    const std::uint32_t n = std::uint32_t{data[i]} << 16 |
                            (i + 1 < size ? std::uint32_t{data[i + 1]} << 8 : 0U) |
                            (i + 2 < size ? data[i + 2] : 0U);
    out += kBase64[(n >> 18) & 63];
    out += kBase64[(n >> 12) & 63];
    out += i + 1 < size ? kBase64[(n >> 6) & 63] : '=';
    out += i + 2 < size ? kBase64[n & 63] : '=';
  }
  return out;
}

std::optional<std::vector<std::uint8_t>> FromBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::vector<std::uint8_t> out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    std::uint32_t n = 0;
    int pads = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const char c = text[i + k];
      const char* at = c == '=' ? nullptr : std::strchr(kBase64, c);
      if (c == '=' && i + 4 == text.size() && k >= 2) {
        ++pads;
      } else if (at == nullptr || c == '\0' || pads > 0) {
        return std::nullopt;
      }
      n = n << 6 | (at != nullptr ? static_cast<std::uint32_t>(at - kBase64) : 0U);
    }
    out.push_back(static_cast<std::uint8_t>(n >> 16));
    if (pads < 2) out.push_back(static_cast<std::uint8_t>(n >> 8));
    if (pads < 1) out.push_back(static_cast<std::uint8_t>(n));
  }
  return out;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

#ifdef _WIN32
// A wide text of the system's as UTF-8: the names may be in any alphabet.
std::string Utf8Of(const wchar_t* wide) {
  if (wide == nullptr || *wide == L'\0') return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), size, nullptr, nullptr);
  text.resize(std::strlen(text.c_str()));
  return text;
}
#endif

std::string UserName() {
#ifdef _WIN32
  return Utf8Of(_wgetenv(L"USERNAME"));
#else
  std::array<char, 4096> buffer{};
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
    return found->pw_name;
  if (const char* name = std::getenv("USER")) return name;
  return {};
#endif
}

std::string MachineName() {
#ifdef _WIN32
  return Utf8Of(_wgetenv(L"COMPUTERNAME"));
#else
  std::array<char, 256> name{};
  if (gethostname(name.data(), name.size() - 1) != 0) return {};
  return name.data();
#endif
}

#ifdef _WIN32
std::string LastReason() { return platform::ErrorText(GetLastError()); }
#else
std::string LastReason() { return platform::ErrorText(static_cast<platform::DWORD>(errno)); }
#endif

// A lock held by a program that hangs must not hang this one: it is tried for this long.
constexpr int kLockTries = 200, kLockPauseMs = 10;

// The lock, the file and the calls on them, for the system at hand.
class AppendFile {
 public:
  ~AppendFile() { Close(); }
  // exclusive: to append; else shared, to read.
  std::string Lock(const std::filesystem::path& lockPath, bool exclusive);
  std::string Open(const std::filesystem::path& path);
  // The file's length, and whether it ends a line (an empty file does).
  std::string State(std::uintmax_t& size, bool& endsLine);
  // One call on the file opened for appending.
  std::string Write(const std::string& bytes);
  void TruncateTo(std::uintmax_t size);
  std::string Flush();
  void Close();

 private:
  std::filesystem::path path_;
#ifdef _WIN32
  HANDLE lock_ = INVALID_HANDLE_VALUE, file_ = INVALID_HANDLE_VALUE;
#else
  int lock_ = -1, file_ = -1;
#endif
};

#ifdef _WIN32

std::string AppendFile::Lock(const std::filesystem::path& lockPath, bool exclusive) {
  lock_ = CreateFileW(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (lock_ == INVALID_HANDLE_VALUE) return LastReason();
  for (int tried = 0;; ++tried) {
    OVERLAPPED whole{};
    if (LockFileEx(lock_, (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                   MAXDWORD, &whole))
      return {};
    if (GetLastError() != ERROR_LOCK_VIOLATION || tried == kLockTries) {
      const std::string why = LastReason();
      CloseHandle(lock_);
      lock_ = INVALID_HANDLE_VALUE;
      return why;
    }
    Sleep(kLockPauseMs);
  }
}

std::string AppendFile::Open(const std::filesystem::path& path) {
  path_ = path;
  // Appending only: every write goes to the end, whatever else has the file open.
  file_ = CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  return file_ == INVALID_HANDLE_VALUE ? LastReason() : std::string();
}

std::string AppendFile::State(std::uintmax_t& size, bool& endsLine) {
  LARGE_INTEGER length{};
  if (!GetFileSizeEx(file_, &length)) return LastReason();
  size = static_cast<std::uintmax_t>(length.QuadPart);
  endsLine = true;
  if (size == 0) return {};
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(size - 1);
  at.OffsetHigh = static_cast<DWORD>((size - 1) >> 32);
  char c = '\n';
  DWORD got = 0;
  if (!ReadFile(file_, &c, 1, &got, &at)) return LastReason();
  endsLine = got == 1 && c == '\n';
  return {};
}

std::string AppendFile::Write(const std::string& bytes) {
  DWORD written = 0;
  if (!WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
    return LastReason();
  return written == bytes.size() ? std::string() : platform::ErrorText(ERROR_DISK_FULL);
}

void AppendFile::TruncateTo(std::uintmax_t size) {
  // An appending handle cannot cut: one for writing, for this alone.
  const HANDLE cut =
      CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (cut == INVALID_HANDLE_VALUE) return;  // the part written stays a damaged line that reading skips
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(size);
  if (SetFilePointerEx(cut, at, nullptr, FILE_BEGIN)) SetEndOfFile(cut);
  CloseHandle(cut);
}

std::string AppendFile::Flush() { return FlushFileBuffers(file_) ? std::string() : LastReason(); }

void AppendFile::Close() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  if (lock_ != INVALID_HANDLE_VALUE) {
    OVERLAPPED whole{};
    UnlockFileEx(lock_, 0, MAXDWORD, MAXDWORD, &whole);  // at once, not when the system gets to it
    CloseHandle(lock_);
  }
  file_ = lock_ = INVALID_HANDLE_VALUE;
}

// A rename that never replaces: an older journal is never lost to a newer one.
bool RenameOnly(const std::filesystem::path& from, const std::filesystem::path& to, std::string& why) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
  why = LastReason();
  return false;
}

// Windows keeps a new or renamed file's entry with the file itself.
void FlushFolder(const std::filesystem::path&) {}

#else

std::string AppendFile::Lock(const std::filesystem::path& lockPath, bool exclusive) {
  lock_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lock_ < 0) return LastReason();
  for (int tried = 0;; ++tried) {
    if (flock(lock_, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) return {};
    if ((errno != EWOULDBLOCK && errno != EINTR) || tried == kLockTries) {
      const std::string why = LastReason();
      ::close(lock_);
      lock_ = -1;
      return why;
    }
    ::usleep(kLockPauseMs * 1000);
  }
}

std::string AppendFile::Open(const std::filesystem::path& path) {
  path_ = path;
  file_ = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  return file_ < 0 ? LastReason() : std::string();
}

std::string AppendFile::State(std::uintmax_t& size, bool& endsLine) {
  struct stat st {};
  if (fstat(file_, &st) != 0) return LastReason();
  size = static_cast<std::uintmax_t>(st.st_size);
  endsLine = true;
  if (size == 0) return {};
  char c = '\n';
  if (pread(file_, &c, 1, st.st_size - 1) != 1) return LastReason();
  endsLine = c == '\n';
  return {};
}

std::string AppendFile::Write(const std::string& bytes) {
  for (;;) {
    const ssize_t n = ::write(file_, bytes.data(), bytes.size());
    if (n == static_cast<ssize_t>(bytes.size())) return {};
    // A part: the disk is full or the file at its limit.
    if (n >= 0) return platform::ErrorText(ENOSPC);
    if (errno != EINTR) return LastReason();
  }
}

void AppendFile::TruncateTo(std::uintmax_t size) {
  if (ftruncate(file_, static_cast<off_t>(size)) != 0) {
    // Nothing more can be done: the part written stays a damaged line that reading skips.
  }
}

std::string AppendFile::Flush() { return fdatasync(file_) == 0 ? std::string() : LastReason(); }

void AppendFile::Close() {
  if (file_ >= 0) ::close(file_);
  if (lock_ >= 0) ::close(lock_);  // closing ends the lock
  file_ = lock_ = -1;
}

bool RenameOnly(const std::filesystem::path& from, const std::filesystem::path& to, std::string& why) {
  // Under the journal's lock no program of ours makes the target between the look and the move.
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) {
    why = platform::ErrorText(EEXIST);
    return false;
  }
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  why = LastReason();
  return false;
}

// A file made or renamed is on the disk only once its folder's entry is.
void FlushFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

#endif

// A file at its size limit must fail the write, not end the program: the journal's write is the
// one that must not stop an action.
void KeepRunningPastFileLimits() {
#ifndef _WIN32
  static std::once_flag once;
  std::call_once(once, [] { std::signal(SIGXFSZ, SIG_IGN); });
#endif
}

std::optional<std::string> Text(const Json& object, const char* key) {
  const auto it = object.find(key);
  if (it == object.end() || it->is_null()) return std::string();
  if (!it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

// A number, or null or absent (none); false for anything else.
bool Number(const Json& object, const char* key, std::optional<unsigned>& into) {
  into.reset();
  const auto it = object.find(key);
  if (it == object.end() || it->is_null()) return true;
  if (!it->is_number_unsigned() || it->get<std::uint64_t>() > 0xFFFF) return false;
  into = static_cast<unsigned>(it->get<std::uint64_t>());
  return true;
}

std::optional<Record> ParseRecord(std::string_view line) {
  const Json object = Json::parse(line.begin(), line.end(), nullptr, false);
  if (!object.is_object()) return std::nullopt;
  Record r;
  const std::pair<const char*, std::string*> texts[] = {
      {"time", &r.time},       {"program", &r.program}, {"user", &r.user},
      {"machine", &r.machine}, {"port", &r.port},       {"firmware", &r.firmware},
      {"action", &r.action},   {"result", &r.result},   {"file", &r.file}};
  for (const auto& [key, into] : texts) {
    const auto v = Text(object, key);
    if (!v) return std::nullopt;
    *into = *v;
  }
  if (r.time.empty() || r.action.empty() || r.result.empty()) return std::nullopt;
  if (!Number(object, "module", r.module) || !Number(object, "year", r.year) ||
      !Number(object, "differences", r.differences))
    return std::nullopt;
  if (const auto it = object.find("settings"); it != object.end() && !it->is_null()) {
    if (!it->is_string()) return std::nullopt;
    const auto bytes = FromBase64(it->get_ref<const std::string&>());
    TModuleSettings settings{};
    if (!bytes || ReadSettingsImage(*bytes, settings) != FileOutcome::Done) return std::nullopt;
    r.settings = settings;
  }
  return r;
}

}  // namespace

std::string LocalTimeText(std::int64_t secondsSinceEpoch) {
  const auto t = static_cast<std::time_t>(secondsSinceEpoch);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  const std::int64_t asUtc = DaysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                                           static_cast<unsigned>(local.tm_mday)) *
                                 86400 +
                             local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
  const auto offset = static_cast<long>((asUtc - secondsSinceEpoch) / 60);
  const long magnitude = offset < 0 ? -offset : offset;
  return CFormat("%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", local.tm_year + 1900, local.tm_mon + 1,
                 local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, offset < 0 ? '-' : '+',
                 magnitude / 60, magnitude % 60);
}

Record NewRecord(std::string program, std::string action) {
  Record r;
  r.time = LocalTimeText(static_cast<std::int64_t>(std::time(nullptr)));
  r.program = std::move(program);
  r.user = UserName();
  r.machine = MachineName();
  r.action = std::move(action);
  return r;
}

TModuleSettings AsModuleHolds(const TModuleSettings& record) {
  TModuleSettings held{};
  for (int ch = 0; ch < kChannelCount; ++ch) held.ChanSet[ch] = record.ChanSet[ch];
  held.SysSet = record.SysSet;
  for (const settings_text::Field& f : settings_text::Fields())
    if (f.kind == settings_text::Kind::Float && f.region != settings_text::Region::Aux)
      settings_text::SetRaw(held, f, settings_text::Raw(held, f) & ~0xFFU);
  return held;
}

namespace {

Json RecordObject(const Record& r) {
  Json o = Json::object();
  o["time"] = r.time;
  o["program"] = r.program;
  o["user"] = r.user;
  o["machine"] = r.machine;
  o["port"] = r.port;
  o["module"] = r.module ? Json(*r.module) : Json();
  o["year"] = r.year ? Json(*r.year) : Json();
  o["firmware"] = r.firmware;
  o["action"] = r.action;
  o["result"] = r.result;
  o["file"] = r.file;
  if (r.differences) o["differences"] = *r.differences;
  if (r.settings) {
    const SettingsImage image = BuildSettingsImage(*r.settings);
    o["settings"] = Base64(image.data(), image.size());
  }
  return o;
}

// Invalid UTF-8 (a file name from a foreign system) is replaced rather than refused.
std::string Dumped(const Json& o) { return o.dump(-1, ' ', false, Json::error_handler_t::replace); }

}  // namespace

std::string RecordLine(const Record& r) { return Dumped(RecordObject(r)); }

std::string RecordJson(const std::vector<Record>& records, std::size_t index) {
  const Record& r = records.at(index);
  Json o = RecordObject(r);
  o["line"] = r.line;
  if (r.part != 0) o["older"] = r.part;
  if (r.action == kWrite && r.settings) {
    Json changes;  // null: nothing earlier to compare with
    if (const auto found = ChangesOfWrite(records, index)) {
      changes = Json::array();
      for (const FieldDifference& d : *found)
        changes.push_back({{"field", d.name}, {"before", d.a}, {"after", d.b}});
    }
    o["changes"] = changes;
  }
  return Dumped(o);
}

std::filesystem::path Journal::Older(int n) const {
  std::filesystem::path older = path_;
  older.replace_extension();
  std::string suffix = ".";
  suffix += std::to_string(n);
  suffix += path_.extension().string();
  older += suffix;
  return older;
}

std::string Journal::Append(const Record& record) const {
  KeepRunningPastFileLimits();
  const std::string line = RecordLine(record) + "\n";
  std::error_code ec;
  if (path_.has_parent_path()) std::filesystem::create_directories(path_.parent_path(), ec);
  std::filesystem::path lockPath = path_;
  lockPath += ".lock";
  AppendFile file;
  if (std::string why = file.Lock(lockPath, true); !why.empty()) return Utf8Path(lockPath) + ": " + why;
  bool newEntry = !std::filesystem::exists(path_, ec);
  // Past its size, the journal is moved aside, and so is each older one: none is ever replaced,
  // and a step that fails stops the moving there.
  if (const auto size = std::filesystem::file_size(path_, ec); !ec && size >= kRotateBytes) {
    int last = 1;
    while (std::filesystem::exists(Older(last), ec)) ++last;
    std::string why;
    for (int n = last; n > 1; --n)
      if (!RenameOnly(Older(n - 1), Older(n), why)) return Utf8Path(Older(n - 1)) + ": " + why;
    if (!RenameOnly(path_, Older(1), why)) return Utf8Path(path_) + ": " + why;
    newEntry = true;
  }
  if (std::string why = file.Open(path_); !why.empty()) return Utf8Path(path_) + ": " + why;
  std::uintmax_t size = 0;
  bool endsLine = true;
  if (std::string why = file.State(size, endsLine); !why.empty()) return Utf8Path(path_) + ": " + why;
  // A line cut by a crash stays as it is; the new record starts on a line of its own.
  const std::string bytes = endsLine ? line : "\n" + line;
  if (std::string why = file.Write(bytes); !why.empty()) {
    file.TruncateTo(size);
    return Utf8Path(path_) + ": " + why;
  }
  if (std::string why = file.Flush(); !why.empty()) return Utf8Path(path_) + ": " + why;
  if (newEntry) FlushFolder(path_.parent_path());
  return {};
}

void ReadText(std::string_view text, int part, Contents& into) {
  int number = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    ++number;
    const bool whole = end != std::string_view::npos;
    const std::string_view line = text.substr(at, whole ? end - at : std::string_view::npos);
    at = whole ? end + 1 : text.size();
    if (line.empty()) continue;
    // A last line without its end was cut as it was written.
    std::optional<Record> record = whole ? ParseRecord(line) : std::nullopt;
    if (!record) {
      into.skipped.push_back({part, number});
      continue;
    }
    record->line = number;
    record->part = part;
    into.records.push_back(std::move(*record));
  }
}

Contents Read(const Journal& journal) {
  Contents contents;
  // While no record is half written or the journal half moved aside; a lock that cannot be had
  // (a folder without write permission) does not stop the reading.
  AppendFile lock;
  std::filesystem::path lockPath = journal.Path();
  lockPath += ".lock";
  std::error_code ec;
  if (std::filesystem::exists(lockPath, ec)) (void)lock.Lock(lockPath, false);
  for (const int part : {1, 0}) {
    const std::filesystem::path path = part == 0 ? journal.Path() : journal.Older(1);
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      std::error_code ec;
      if (std::filesystem::exists(path, ec)) contents.error = Utf8Path(path) + ": " + std::strerror(errno);
      continue;
    }
    std::string text;
    in.seekg(0, std::ios::end);
    text.resize(static_cast<std::size_t>(std::max<std::streamoff>(0, in.tellg())));
    in.seekg(0);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    ReadText(text, part, contents);
  }
  return contents;
}

std::optional<std::size_t> PreviousSettings(const std::vector<Record>& records, std::size_t index) {
  const Record& of = records.at(index);
  if (!of.module) return std::nullopt;
  for (std::size_t i = index; i-- > 0;) {
    const Record& r = records[i];
    if (r.module == of.module && r.settings && r.Done() && (r.action == kRead || r.action == kWrite))
      return i;
  }
  return std::nullopt;
}

std::optional<std::vector<FieldDifference>> ChangesOfWrite(const std::vector<Record>& records,
                                                           std::size_t index) {
  const Record& write = records.at(index);
  const auto previous = PreviousSettings(records, index);
  if (!write.settings || !previous) return std::nullopt;
  return CompareSettings(*records[*previous].settings, *write.settings, CompareScope::Module);
}

std::filesystem::path DefaultPath(const std::filesystem::path& dataFolder) {
  return dataFolder / "journal.jsonl";
}

}  // namespace journal
