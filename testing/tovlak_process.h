#pragma once

// Runs the built tovlak as a process, the way its users do: arguments, a
// directory to run in, limits, standard error on a terminal; and the shell
// commands the end-to-end tests hold its outputs to.
//
// The program under test is this build's tovlak, or the one of the build
// directory that TOVLAK_UNDER_TEST names (a Windows build's tovlak.exe, run
// under the emulator that build records), so that one set of tests holds
// every build to the same behaviour.

#include <sys/resource.h>
#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "temporary_files.h"

// The program the tests run, and what they need to know of it.
struct ProgramUnderTest {
  std::string path;
  std::vector<std::string> emulator;  // the command it runs under, if any
  std::vector<std::string> codecs;    // the suffixes of the formats it reads
  bool windows = false;               // a Windows program, not a POSIX one
  int addressBits = 64;               // the width of its addresses
};
const ProgramUnderTest& programUnderTest();

struct Limits {
  std::optional<rlim_t> openFiles = {};
  std::optional<rlim_t> addressSpace = {};
  std::optional<rlim_t> fileSize = {};
  // Processes and threads of the user (RLIMIT_NPROC); a run as root, whom
  // the limit does not bind, is made as the user nobody instead.
  std::optional<rlim_t> processes = {};
  // A terminal for standard error, in place of the captured file.
  std::optional<std::string> errorTerminal = {};
  // Descriptors tovlak inherits open, beside its standard streams.
  int inheritedDescriptors = 0;
  // TMPDIR for the run, where a line longer than tovlak holds is kept.
  std::optional<std::string> temporaryDirectory = {};
};

struct Outcome {
  int status = -1;  // the exit status, or 1000 + signal
  std::string out;
  std::string err;
};

// A tovlak started in the background, standard output and error captured in
// files outside its directory; under the build's emulator, if it has one.
class Started {
 public:
  Started(const std::string& directory, const std::vector<std::string>& arguments, const Limits& limits = {});
  Started(const Started&) = delete;
  Started& operator=(const Started&) = delete;
  // A run still going when a test gives up may be blocked for good (on a
  // pipe nobody reads), so it is killed rather than waited for.
  ~Started();

  pid_t pid() const { return pid_; }
  // Waits for the run to end.
  Outcome wait();

 private:
  TemporaryDirectory capture_;
  std::string outName_, errName_;
  pid_t pid_ = -1;
};

// Runs tovlak with `arguments` in `directory` and waits for it.
Outcome runTovlak(const std::string& directory, const std::vector<std::string>& arguments,
                  const Limits& limits = {});

// Every regular file in `directory` except `ignored`, by name.
std::map<std::string, std::string> filesIn(const std::string& directory, const std::string& ignored);

// Runs `command` in a shell and gives its standard output; `ok` says whether
// it exited with 0.
std::string shellOutput(const std::string& command, bool* ok = nullptr);

// Why this build cannot run tovlak under a limit on its address space, or
// null when it can.
const char* whyNoAddressSpaceLimit();

// Why this build cannot run tovlak under a limit on processes, or null when
// it can.
const char* whyNoProcessLimit();

// A pseudo-terminal: the test reads the master side, tovlak writes its
// standard error to the other side.
class PseudoTerminal {
 public:
  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  const std::string& otherSide() const { return otherSide_; }
  // Everything written so far and readable within `milliseconds`.
  std::string drain(int milliseconds);

 private:
  int master_;
  int holder_ = -1;
  std::string otherSide_;
};

// A compressed format as its own tools write and read it, which the tests
// hold tovlak's codecs to.
struct Codec {
  std::string suffix, name, compress, decompress;
};
inline const Codec kCodecs[] = {{".gz", "gzip", "gzip -c", "gzip -dc"},
                                {".zst", "zstd", "zstd -q -c", "zstd -q -dc"},
                                {".xz", "xz", "xz -c", "xz -dc"},
                                {".bz2", "bzip2", "bzip2 -c", "bzip2 -dc"},
                                {".lz4", "lz4", "lz4 -q -c", "lz4 -q -dc"}};
// Whether the program under test was built to read the codec's logs.
bool programReads(const Codec& codec);

// `plain` compressed by the codec's tool (a file in `directory` on the way).
std::string compressedBy(const Codec& codec, const std::string& plain, const TemporaryDirectory& directory);
// The content of `file` as the codec's tool decompresses it; a test failure
// when the tool finds it no valid file of its format.
std::string unpacked(const Codec& codec, const std::string& file);
