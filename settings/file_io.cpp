// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/file_io.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
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
// folder would overrule the protection.
bool ExistingIsWritable(const fs::path& target) {
  std::error_code ec;
  if (!fs::exists(target, ec)) return true;
  std::unique_ptr<std::FILE, FileCloser> probe(OpenFile(target, "ab"));
  return probe != nullptr;
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
  }
  return {};
}

std::string WithExtension(std::string_view name, std::string_view ext) {
  std::string result(name);
  if (result.find(ext) == std::string::npos) result += ext;
  return result;
}

fs::path PathFromUtf8(std::string_view utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

fs::path PathWithExtension(std::string_view utf8Name, std::string_view ext) {
  return PathFromUtf8(WithExtension(utf8Name, ext));
}

bool WriteWholeFile(const fs::path& path, std::span<const std::uint8_t> data) {
  std::error_code ec;
  fs::path target = path;
  // Writing through a link keeps the link. (A missing file sets ec here, which is no failure.)
  if (fs::symlink_status(path, ec).type() == fs::file_type::symlink) {
    target = fs::weakly_canonical(path, ec);
    if (ec) return false;
  }
  if (!ExistingIsWritable(target)) return false;

  fs::path temporary;
  std::FILE* raw = CreateTemporaryBeside(target, temporary);
  if (raw == nullptr) return false;
  const bool written = std::fwrite(data.data(), 1, data.size(), raw) == data.size() && FlushToDisk(raw);
  const bool closed = std::fclose(raw) == 0;
  if (written && closed) {
    const auto existing = fs::status(target, ec);
    if (fs::exists(existing)) fs::permissions(temporary, existing.permissions(), ec);
    fs::rename(temporary, target, ec);
    if (!ec) return true;
  }
  fs::remove(temporary, ec);
  return false;
}

std::optional<std::vector<std::uint8_t>> ReadFileHead(const fs::path& path, std::size_t maxBytes) {
  std::error_code ec;
  // A folder opens for reading on some systems; it is still no file to load.
  if (fs::is_directory(path, ec)) return std::nullopt;
  std::unique_ptr<std::FILE, FileCloser> f(OpenFile(path, "rb"));
  if (!f) return std::nullopt;
  std::vector<std::uint8_t> bytes(maxBytes);
  const std::size_t got = std::fread(bytes.data(), 1, maxBytes, f.get());
  if (std::ferror(f.get())) return std::nullopt;
  bytes.resize(got);
  return bytes;
}
