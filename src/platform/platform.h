#pragma once

// Every call into the operating system that standard C++ does not make:
// files by handle, their identity, the open-file limit, memory mapped for
// the output buffers, the terminal, signals, the command line. One file
// implements it for each system (posix.cpp, windows.cpp), and the build
// compiles the one for its target; nothing else in the program calls the
// system. Names and arguments are UTF-8 on every system.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace platform {

#ifdef _WIN32
// Names are read as Windows reads them: a root (a drive, a server and
// share, a \\?\ or \\.\ prefix), either slash, reserved device names.
inline constexpr bool kWindowsNames = true;
#else
inline constexpr bool kWindowsNames = false;
#endif

#ifdef _WIN32
// An open file: a Windows HANDLE, held as an integer so that no system header
// is needed here (INVALID_HANDLE_VALUE is -1).
using Handle = std::intptr_t;
#else
// An open file: a descriptor.
using Handle = int;
#endif
inline constexpr Handle kNoHandle = -1;

// The program's arguments after its name, in UTF-8. On Windows they are
// taken from the wide command line, whatever the console's code page.
std::vector<std::string> commandLineArguments(int argc, char** argv);

// The standard error stream, open from the start.
Handle standardError();

enum class OpenMode {
  read,         // an existing file, to be read
  createEmpty,  // created, or emptied when it exists, to be written
  append,       // an existing file, written at its end
};

// What an open that failed says of why.
enum class OpenFailure {
  none,
  outOfHandles,  // the process or the system has no handle left
  other,
};

// Opens `name`; kNoHandle when it cannot, with the reason in `failure`. A
// handle is never inherited by another program.
Handle openFile(const std::string& name, OpenMode mode, OpenFailure* failure = nullptr);
// Reads up to `capacity` bytes; returns how many (0 at the end), or nothing
// when the read fails. Interrupted reads are retried.
std::optional<std::size_t> readSome(Handle handle, char* into, std::size_t capacity);
// Writes all `size` bytes, in as many writes as it takes; false when one
// fails (a full disk, a pipe whose reader has gone).
bool writeAll(Handle handle, const char* bytes, std::size_t size);
// Closes `handle`; false when the close reports an error (a write the system
// had deferred failed).
bool closeHandle(Handle handle);

// Creates a new, empty file in `directory` (a prefix of a name: "" for the
// current directory, else ending with a separator, or a bare drive) that
// only this process can reach: its name is gone from the directory as soon
// as it is open (POSIX: removed; Windows: deleted when its handle closes,
// which the system does however the process ends), so nothing is left
// behind. Open to read and write; its path, for messages, in `path` (the
// name tried when it cannot be made). kNoHandle when it cannot be made.
Handle openTemporaryFile(const std::string& directory, std::string& path);
// Reads up to `capacity` bytes at `offset`, whatever the handle's position,
// which it leaves where it was; returns how many (0 at or past the end), or
// nothing when the read fails.
std::optional<std::size_t> readAt(Handle handle, std::uint64_t offset, char* into, std::size_t capacity);
// The directory that TMPDIR names, where it is set and not empty.
std::optional<std::string> temporaryDirectory();

// Whether `handle` is a directory.
bool isDirectory(Handle handle);
// The size of a regular file; none for a pipe, a terminal or a device.
std::optional<std::uint64_t> regularFileSize(Handle handle);

// What makes a file the same file whatever the name it is reached by: on
// POSIX the device and the inode; on Windows the volume's serial number and
// the 128-bit file id (ReFS keeps no 64-bit index unique), or the 64-bit
// file index where the file system gives no id.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  std::uint64_t fileHigh = 0;  // the file id's high half, on Windows
  bool operator==(const FileIdentity&) const = default;
  // An order, so that identities can key a map.
  bool operator<(const FileIdentity& other) const {
    return std::tie(device, file, fileHigh) < std::tie(other.device, other.file, other.fileHigh);
  }
};
// `indexOnly` takes the 64-bit file index even where the system gives the
// id (Windows), so that the fallback can be tried; POSIX has one way only.
std::optional<FileIdentity> identityOf(Handle handle, bool indexOnly = false);
// The identity of the file `name` leads to, through links; none where
// nothing is there.
std::optional<FileIdentity> identityOf(const std::string& name, bool indexOnly = false);

// Raises the number of files the process may hold open as far as the system
// lets it, up to `mostWanted`, and returns how many it may hold.
std::size_t raiseOpenFileLimit(std::size_t mostWanted);

// `size` bytes of zeroed memory that cost nothing until written to, on
// large pages where the system has them; null when they cannot be had.
char* mapMemory(std::size_t size);
void unmapMemory(char* memory, std::size_t size);

// How many processors this process may run on: those its affinity allows
// where the system says, else all the machine has; at least 1.
unsigned usableProcessors();

// Whether `handle` is a terminal.
bool isTerminal(Handle handle);

// Makes the system report, as failed writes, what would otherwise kill the
// process in the middle of a write: a file past the file-size limit, a pipe
// whose reader has gone.
void reportFailedWritesInsteadOfSignals();

}  // namespace platform
