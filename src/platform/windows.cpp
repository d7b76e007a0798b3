// The operating system for Windows, through its wide (UTF-16) API: every name
// is converted from UTF-8 and opened by its wide form, and files are Windows
// handles read and written as bytes, never through the C runtime's
// descriptors (a table of a few thousand) or its text mode (which turns LF
// into CR LF and stops reading at Ctrl-Z).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <cwchar>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform.h"

namespace platform {

namespace {

// A Handle is an integer, so that platform.h needs no windows.h.
HANDLE toWindows(Handle handle) {
  return reinterpret_cast<HANDLE>(handle);  // NOLINT(performance-no-int-to-ptr)
}
Handle fromWindows(HANDLE handle) { return reinterpret_cast<Handle>(handle); }

// Others may read, write, rename or delete a file tovlak holds, as on POSIX.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The most one ReadFile or WriteFile call is asked for: its count is 32 bits.
constexpr std::size_t kMostPerCall = std::size_t{1} << 30;

std::wstring wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring result(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), result.data(), size);
  return result;
}

std::string utf8(const wchar_t* text, int length) {
  if (length <= 0) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, length, result.data(), size, nullptr, nullptr);
  return result;
}

// The name as the system is to be given it. A full path of MAX_PATH
// characters or more is refused by the plain API, so such a name goes as a
// full path with the \\?\ prefix, which lifts that limit (the prefix takes
// the path as it stands, hence the full form: '/' turned into '\', '.' and
// '..' resolved). Shorter names go as they are, so that they mean what they
// mean to every other program.
std::wstring systemName(const std::string& name) {
  std::wstring given = wide(name);
  const DWORD needed = ::GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
  if (needed <= MAX_PATH) return given;
  std::wstring full(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(given.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return given;
  full.resize(length);
  if (full.starts_with(LR"(\\?\)") || full.starts_with(LR"(\\.\)")) return full;
  if (full.starts_with(LR"(\\)")) return LR"(\\?\UNC\)" + full.substr(2);
  return LR"(\\?\)" + full;
}

std::optional<BY_HANDLE_FILE_INFORMATION> informationOf(Handle handle) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (!::GetFileInformationByHandle(toWindows(handle), &information)) return std::nullopt;
  return information;
}

}  // namespace

// CommandLineToArgvW splits the wide command line as the C runtime splits
// the narrow one into argv, which holds the names in the ANSI code page and
// loses every character that page has not.
std::vector<std::string> commandLineArguments(int, char**) {
  int count = 0;
  wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (arguments == nullptr) throw std::bad_alloc();
  std::vector<std::string> result;
  for (int i = 1; i < count; ++i) {
    result.push_back(utf8(arguments[i], static_cast<int>(std::wcslen(arguments[i]))));
  }
  ::LocalFree(arguments);
  return result;
}

Handle standardError() { return fromWindows(::GetStdHandle(STD_ERROR_HANDLE)); }

// Handles are not inherited: no security attributes ask for it.
Handle openFile(const std::string& name, OpenMode mode, OpenFailure* failure) {
  DWORD access = GENERIC_READ;
  DWORD disposition = OPEN_EXISTING;
  DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN;
  if (mode == OpenMode::createEmpty) {
    // Opened, or created, and then emptied: CREATE_ALWAYS refuses an
    // existing hidden or system file, which is emptied like any other.
    access = GENERIC_WRITE;
    disposition = OPEN_ALWAYS;
    flags = FILE_ATTRIBUTE_NORMAL;
  }
  if (mode == OpenMode::append) {
    // Append access alone: every write goes to the end, as with O_APPEND.
    access = FILE_APPEND_DATA | SYNCHRONIZE;
    flags = FILE_ATTRIBUTE_NORMAL;
  }
  HANDLE file =
      ::CreateFileW(systemName(name).c_str(), access, kShareAll, nullptr, disposition, flags, nullptr);
  if (failure != nullptr) {
    const DWORD error = file == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_SUCCESS;
    *failure = error == ERROR_SUCCESS ? OpenFailure::none
               : error == ERROR_TOO_MANY_OPEN_FILES || error == ERROR_NO_SYSTEM_RESOURCES
                   ? OpenFailure::outOfHandles
                   : OpenFailure::other;
  }
  // Only a file on disk has an end to cut; a device or a pipe is written as it is.
  if (file != INVALID_HANDLE_VALUE && mode == OpenMode::createEmpty &&
      ::GetFileType(file) == FILE_TYPE_DISK && !::SetEndOfFile(file)) {
    ::CloseHandle(file);
    if (failure != nullptr) *failure = OpenFailure::other;
    return kNoHandle;
  }
  return file == INVALID_HANDLE_VALUE ? kNoHandle : fromWindows(file);
}

// A new name each time: the process, the time and a count, tried again
// while the name is taken. The handle shares nothing and deletes the file
// when it closes, so the name is gone with the process whatever ends it.
Handle openTemporaryFile(const std::string& directory, std::string& path) {
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string name = directory + ".tovlak-" + std::to_string(::GetCurrentProcessId()) + "-" +
                             std::to_string(::GetTickCount64()) + "-" + std::to_string(attempt);
    HANDLE file = ::CreateFileW(
        systemName(name).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    path = name;
    if (file != INVALID_HANDLE_VALUE) return fromWindows(file);
    if (::GetLastError() != ERROR_FILE_EXISTS) return kNoHandle;
  }
  return kNoHandle;
}

// A read at an offset moves a synchronous handle's position: it is put
// back, and the read fails where it cannot be.
std::optional<std::size_t> readAt(Handle handle, std::uint64_t offset, char* into, std::size_t capacity) {
  HANDLE file = toWindows(handle);
  LARGE_INTEGER position{};
  if (!::SetFilePointerEx(file, LARGE_INTEGER{}, &position, FILE_CURRENT)) return std::nullopt;
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  const bool read =
      ::ReadFile(file, into, static_cast<DWORD>(std::min(capacity, kMostPerCall)), &got, &at) != 0;
  const bool atEnd = !read && ::GetLastError() == ERROR_HANDLE_EOF;
  if (!::SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) return std::nullopt;
  if (read) return got;
  if (atEnd) return 0;
  return std::nullopt;
}

std::optional<std::string> temporaryDirectory() {
  const DWORD needed = ::GetEnvironmentVariableW(L"TMPDIR", nullptr, 0);
  if (needed <= 1) return std::nullopt;
  std::wstring value(needed, L'\0');
  const DWORD length = ::GetEnvironmentVariableW(L"TMPDIR", value.data(), needed);
  if (length == 0 || length >= needed) return std::nullopt;
  return utf8(value.c_str(), static_cast<int>(length));
}

std::optional<std::size_t> readSome(Handle handle, char* into, std::size_t capacity) {
  DWORD got = 0;
  if (::ReadFile(toWindows(handle), into, static_cast<DWORD>(std::min(capacity, kMostPerCall)), &got,
                 nullptr)) {
    return got;
  }
  // A pipe whose writer has closed it: its end, as on POSIX.
  if (::GetLastError() == ERROR_BROKEN_PIPE) return 0;
  return std::nullopt;
}

namespace {

// A console shows UTF-16, not the UTF-8 bytes of a message that names a file
// (the console's code page is rarely UTF-8); false when `handle` is no console.
bool writeToConsole(HANDLE handle, const char* bytes, std::size_t size) {
  DWORD mode = 0;
  if (handle != ::GetStdHandle(STD_ERROR_HANDLE) || !::GetConsoleMode(handle, &mode)) return false;
  const std::wstring text = wide(std::string(bytes, size));
  DWORD written = 0;
  return ::WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0;
}

}  // namespace

bool writeAll(Handle handle, const char* bytes, std::size_t size) {
  HANDLE file = toWindows(handle);
  if (size > 0 && writeToConsole(file, bytes, size)) return true;
  while (size > 0) {
    DWORD written = 0;
    if (!::WriteFile(file, bytes, static_cast<DWORD>(std::min(size, kMostPerCall)), &written, nullptr) ||
        written == 0) {
      return false;
    }
    bytes += written;
    size -= written;
  }
  return true;
}

bool closeHandle(Handle handle) { return ::CloseHandle(toWindows(handle)) != 0; }

bool isDirectory(Handle handle) {
  const auto information = informationOf(handle);
  return information && (information->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::optional<std::uint64_t> regularFileSize(Handle handle) {
  LARGE_INTEGER size{};
  if (::GetFileType(toWindows(handle)) != FILE_TYPE_DISK || isDirectory(handle) ||
      !::GetFileSizeEx(toWindows(handle), &size)) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(size.QuadPart);
}

// The volume's serial number and the file's 128-bit id on it, where the
// system gives it (Windows 8 and later), else its 64-bit index.
std::optional<FileIdentity> identityOf(Handle handle, bool indexOnly) {
  FILE_ID_INFO id{};
  if (!indexOnly && ::GetFileInformationByHandleEx(toWindows(handle), FileIdInfo, &id, sizeof id)) {
    std::uint64_t half[2] = {};
    static_assert(sizeof half == sizeof id.FileId.Identifier);
    std::memcpy(half, id.FileId.Identifier, sizeof half);  // little-endian, low half first
    return FileIdentity{id.VolumeSerialNumber, half[0], half[1]};
  }
  const auto information = informationOf(handle);
  if (!information) return std::nullopt;
  return FileIdentity{information->dwVolumeSerialNumber,
                      (std::uint64_t{information->nFileIndexHigh} << 32) | information->nFileIndexLow};
}

// Opened for no access at all, which needs no right to read it; a directory
// too, by the backup flag.
std::optional<FileIdentity> identityOf(const std::string& name, bool indexOnly) {
  HANDLE file = ::CreateFileW(systemName(name).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<FileIdentity> identity = identityOf(fromWindows(file), indexOnly);
  ::CloseHandle(file);
  return identity;
}

// Windows sets no limit on a process's handles short of millions; where it
// runs out below that, the open that fails says so, and the caller keeps
// fewer open.
std::size_t raiseOpenFileLimit(std::size_t mostWanted) { return mostWanted; }

// Committed memory is zeroed, and takes physical pages only when written.
char* mapMemory(std::size_t size) {
  return static_cast<char*>(::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
}

void unmapMemory(char* memory, std::size_t) {
  if (memory != nullptr) ::VirtualFree(memory, 0, MEM_RELEASE);
}

unsigned usableProcessors() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) && process != 0) {
    return static_cast<unsigned>(std::popcount(static_cast<std::uintptr_t>(process)));
  }
  return std::max(1u, std::thread::hardware_concurrency());
}

bool isTerminal(Handle handle) {
  DWORD mode = 0;
  return ::GetConsoleMode(toWindows(handle), &mode) != 0;
}

// Windows has no signal for a full disk or a closed pipe: the write fails.
// What it has instead is a dialog for a drive that is not ready (a removed
// disk), which would hold a script's run until someone clicks; the call then
// fails instead.
void reportFailedWritesInsteadOfSignals() { ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX); }

}  // namespace platform
