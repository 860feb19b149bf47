// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::FILE* OpenFile(const fs::path& path, const char* mode) {
#ifdef _WIN32
  std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(path.c_str(), wideMode.c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

bool FlushToDisk(std::FILE* f) {
  if (std::fflush(f) != 0) return false;
#ifdef _WIN32
  return _commit(_fileno(f)) == 0;
#else
  return fsync(fileno(f)) == 0;
#endif
}

std::string SystemWords(int error) { return error != 0 ? std::strerror(error) : "unknown error"; }

// A name beside target that no one else uses; "x" makes the open fail rather than reuse a file.
std::FILE* CreateTemporaryBeside(const fs::path& target, fs::path& temporary) {
  static std::atomic<unsigned> counter{0};
  const auto stamp =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = target;
    candidate += ".~" + std::to_string(stamp % 1000000007ULL) + "-" + std::to_string(counter++);
    if (std::FILE* f = OpenFile(candidate, "wbx")) {
      temporary = candidate;
      return f;
    }
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}

// The replaced file must still be one the user may write: replacing a read-only file through its
// folder would overrule the protection. Only called for a regular file or none.
int ExistingIsWritable(const fs::path& target) {
  std::error_code ec;
  if (!fs::exists(target, ec)) return 0;
  std::unique_ptr<std::FILE, FileCloser> probe(OpenFile(target, "ab"));
  return probe != nullptr ? 0 : (errno != 0 ? errno : EACCES);
}

#ifdef _WIN32
using ReadCount = int;
ReadCount ReadSome(int fd, std::uint8_t* into, std::size_t n) {
  return _read(fd, into, static_cast<unsigned>(std::min<std::size_t>(n, 1U << 30)));
}
#else
using ReadCount = ssize_t;
ReadCount ReadSome(int fd, std::uint8_t* into, std::size_t n) { return ::read(fd, into, n); }
#endif

// Reads fd to its end or past limit.
void ReadAll(int fd, std::size_t limit, const std::function<bool()>& stop, FileContents& contents) {
  constexpr std::size_t kChunk = 64 * 1024;
  std::vector<std::uint8_t>& bytes = contents.bytes;
  for (;;) {
    if (bytes.size() > limit) {
      contents.over = contents.sizeAtLeast = true;
      break;
    }
    if (stop && stop()) {  // a signal before the wait began would not cut it short
      contents.error = SystemWords(EINTR);
      break;
    }
    const std::size_t had = bytes.size();
    const std::size_t want = std::min(kChunk, limit + 1 - had);
    bytes.resize(had + want);
    const ReadCount n = ReadSome(fd, bytes.data() + had, want);
    const int error = errno;
    bytes.resize(had + static_cast<std::size_t>(std::max<ReadCount>(n, 0)));
    if (n > 0) continue;
    if (n == 0) break;
    if (error == EINTR && !(stop && stop())) continue;
    contents.error = SystemWords(error);
    break;
  }
  contents.size = contents.sizeAtLeast ? limit : bytes.size();
  if (contents.over || !contents.error.empty()) bytes.clear();
}

}  // namespace

std::string_view FileOutcomeText(FileOutcome outcome) {
  switch (outcome) {
    case FileOutcome::Done:
      return {};
    case FileOutcome::CannotCreate:
      return VEXA_TR_NOOP("Messages", "Файл не удается создать.");
    case FileOutcome::CannotOpen:
      return VEXA_TR_NOOP("Messages", "Файл не удается открыть.");
    case FileOutcome::Damaged:
      return VEXA_TR_NOOP("Messages", "Файл поврежден, загрузка данных не выполнена.");
    case FileOutcome::NotSettings:
      return VEXA_TR_NOOP("Messages",
                          "Это не файл настройки VEXA: файл настройки занимает ровно 403 байта (настройки "
                          "модуля и их контрольная сумма), а размер этого файла в байтах — %1. Загрузка "
                          "данных не выполнена.");
    case FileOutcome::SettingsText:
      return VEXA_TR_NOOP("Messages",
                          "Это текст настроек, а не файл настройки VEXA: файл настройки занимает ровно 403 "
                          "байта (настройки модуля и их контрольная сумма), а размер этого текста в байтах — "
                          "%1. Сначала соберите из текста файл настройки: vexa_cli build ТЕКСТ -o ФАЙЛ.vxa "
                          "(текст в JSON, как его печатает vexa_cli show --json). Загрузка данных не "
                          "выполнена.");
  }
  return {};
}

std::string FileResultText(const FileResult& result) {
  const auto put = [](std::string text, const std::string& value) {
    if (const std::size_t at = text.find("%1"); at != std::string::npos) text.replace(at, 2, value);
    return text;
  };
  const std::string source(FileOutcomeText(result.outcome));
  const std::string size = std::to_string(result.size);
  return put(Translated("Messages", source.c_str()),
             result.sizeAtLeast ? put(Translated("Messages", "более %1"), size) : size);
}

std::string WithExtension(std::string_view name, std::string_view ext) {
  std::string result(name);
  if (result.find(ext) == std::string::npos) result += ext;
  return result;
}

fs::path PathFromUtf8(std::string_view utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string Utf8Path(const fs::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

fs::path PathWithExtension(std::string_view utf8Name, std::string_view ext) {
  return PathFromUtf8(WithExtension(utf8Name, ext));
}

std::string NotAFileToReplace(const fs::path& path) {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(path, ec))) return {};
  // Through a link to what it names; a link to nothing gets its file made where it points.
  const fs::file_status target = fs::status(path, ec);
  if (!fs::exists(target) || fs::is_regular_file(target)) return {};
  if (fs::is_directory(target)) return SystemWords(EISDIR);
  return "a device, a pipe or another special file, not a regular file";
}

bool WriteWholeFile(const fs::path& path, std::span<const std::uint8_t> data, std::string* reason) {
  const auto fail = [reason](std::string why) {
    if (reason != nullptr) *reason = std::move(why);
    return false;
  };
  if (std::string notAFile = NotAFileToReplace(path); !notAFile.empty()) return fail(notAFile);
  std::error_code ec;
  fs::path target = path;
  // Writing through a link keeps the link. (A missing file sets ec here, which is no failure.)
  if (fs::symlink_status(path, ec).type() == fs::file_type::symlink) {
    target = fs::weakly_canonical(path, ec);
    if (ec) return fail(ec.message());
  }
  if (const int error = ExistingIsWritable(target); error != 0) return fail(SystemWords(error));

  fs::path temporary;
  errno = 0;
  std::FILE* raw = CreateTemporaryBeside(target, temporary);
  if (raw == nullptr) return fail(SystemWords(errno));
  errno = 0;
  bool written = std::fwrite(data.data(), 1, data.size(), raw) == data.size() && FlushToDisk(raw);
  int error = written ? 0 : errno;
  if (std::fclose(raw) != 0 && written) {
    written = false;
    error = errno;
  }
  if (written) {
    const auto existing = fs::status(target, ec);
    if (fs::exists(existing)) fs::permissions(temporary, existing.permissions(), ec);
    fs::rename(temporary, target, ec);
    if (!ec) return true;
  }
  const std::string why = written ? ec.message() : SystemWords(error);
  fs::remove(temporary, ec);
  return fail(why);
}

FileResult ReplaceWholeFile(const fs::path& path, std::span<const std::uint8_t> data) {
  FileResult result;
  if (!WriteWholeFile(path, data, &result.reason)) result.outcome = FileOutcome::CannotCreate;
  return result;
}

FileContents ReadWholeFile(const fs::path& path, std::size_t limit, const std::function<bool()>& stop) {
  FileContents contents;
#ifdef _WIN32
  int fd = _wopen(path.c_str(), _O_RDONLY | _O_BINARY);
#else
  int fd = -1;
  // Opening a pipe waits for its writer: a signal may end that wait, or may have come before it.
  do {
    if (stop && stop()) {
      errno = EINTR;
      break;
    }
  } while ((fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY)) < 0 && errno == EINTR);
#endif
  if (fd < 0) {
    contents.error = SystemWords(errno);
    return contents;
  }
#ifdef _WIN32
  struct _stat64 st {};
  const bool known = _fstat64(fd, &st) == 0;
  const bool folder = known && (st.st_mode & _S_IFMT) == _S_IFDIR;
  const bool regular = known && (st.st_mode & _S_IFMT) == _S_IFREG;
#else
  struct stat st {};
  const bool known = ::fstat(fd, &st) == 0;
  const bool folder = known && S_ISDIR(st.st_mode);
  const bool regular = known && S_ISREG(st.st_mode);
#endif
  if (folder) {
    contents.error = SystemWords(EISDIR);  // a folder opens for reading on some systems
  } else if (regular && static_cast<std::uint64_t>(st.st_size) > limit) {
    contents.size = static_cast<std::uint64_t>(st.st_size);
    contents.over = true;
  } else {
    ReadAll(fd, limit, stop, contents);
  }
#ifdef _WIN32
  _close(fd);
#else
  ::close(fd);
#endif
  return contents;
}

FileContents ReadWholeInput(std::size_t limit, const std::function<bool()>& stop) {
  FileContents contents;
#ifdef _WIN32
  _setmode(0, _O_BINARY);
#endif
  ReadAll(0, limit, stop, contents);
  return contents;
}
