// End-to-end tests: the built tovlak run in a temporary directory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "reference_rewrite.h"
#include "sample_logs.h"
#include "temporary_files.h"
#include "tovlak_process.h"

using namespace std::string_literals;

namespace {

const std::string kUsage = "error using tovlak: tovlak -dLENGTH_OF_4TH_DIMESION -lLOG_FILE_NAME [-f]\n";
const std::string kInvalid = "error using tovlak: invalid length for fourth dimension\n";
const std::string kCannotRead = "error using tovlak: run.log is compressed with ";
const std::string kReadEnd = ", which tovlak cannot read\n";

struct EndToEndCase {
  const char* what;
  std::vector<std::string> arguments;
  std::string log;  // written as run.log
  int status;
  std::string err;
  std::map<std::string, std::string> files = {};  // every file but run.log afterwards
};

TEST(Tovlak, CommandLinesLogsAndTheirOutputs) {
  const std::string longLine = std::string(200, 'a') + "(1,2,3,1)" + std::string(41, 'b') + "\n";
  const EndToEndCase cases[] = {
      {"splits by the fourth coordinate",
       {"-d3", "-lrun.log"},
       kSample,
       0,
       "",
       {{"run0.log", "start\n(0,1,2)\n# note\n"},
        {"run1.log", "start\n# note\n(7,8,9)\n"},
        {"run2.log", "start\nt=5 (10,20,30) end\n# note\n"}}},
      {"-f splits by the first",
       {"-d11", "-lrun.log", "-f"},
       "(10,1,2,3)\n(0,4,5,6)\n",
       0,
       "",
       [] {
         std::map<std::string, std::string> files;
         for (int i = 0; i < 11; ++i) files["run" + std::to_string(i) + ".log"] = "";
         files["run10.log"] = "(1,2,3)\n";
         files["run0.log"] = "(4,5,6)\n";
         return files;
       }()},
      {"leftmost -d wins",
       {"-d2", "-d5", "-lrun.log"},
       "x\n",
       0,
       "",
       {{"run0.log", "x\n"}, {"run1.log", "x\n"}}},
      {"-fanything is -f",
       {"-d1", "-lrun.log", "-fanything"},
       "(0,1,2,3)\n",
       0,
       "",
       {{"run0.log", "(1,2,3)\n"}}},
      {"a bare -l keeps the name", {"-l", "-d1", "-lrun.log"}, "x\n", 0, "", {{"run0.log", "x\n"}}},
      {"an empty log", {"-d2", "-lrun.log"}, "", 0, "", {{"run0.log", ""}, {"run1.log", ""}}},
      {"a long line is one line",
       {"-d2", "-lrun.log"},
       longLine,
       0,
       "",
       {{"run0.log", ""}, {"run1.log", std::string(200, 'a') + "(1,2,3)" + std::string(41, 'b') + "\n"}}},
      {"NUL bytes are ordinary",
       {"-d1", "-lrun.log"},
       "a\0(1,2,3,0)\0b\n\0\n"s,
       0,
       "",
       {{"run0.log", "a\0(1,2,3)\0b\n\0\n"s}}},
      {"CR and Ctrl-Z bytes are ordinary, a newline stays one byte",
       {"-d1", "-lrun.log"},
       "a\r\n(1,2,3,0)\r\n\x1a(4,5,6,0)\x1a\n\x1a\r",
       0,
       "",
       {{"run0.log", "a\r\n(1,2,3)\r\n\x1a(4,5,6)\x1a\n\x1a\r"}}},
      {"-1 goes to every file",
       {"-d2", "-lrun.log"},
       "(1,2,3,-1)\n",
       0,
       "",
       {{"run0.log", "(1,2,3)\n"}, {"run1.log", "(1,2,3)\n"}}},
      {"a non-integer first coordinate is broadcast",
       {"-d2", "-lrun.log"},
       "(1,2,3,x)\n(1,2,3,1)\n(1,2,3,y)\n",
       0,
       "",
       {{"run0.log", "(1,2,3)\n"}, {"run1.log", "(1,2,3)\n(1,2,3)\n(1,2,3)\n"}}},
      {"an index outside the files",
       {"-d2", "-lrun.log"},
       "a\n(1,2,3,1)\n(1,2,3,  2)\nb\n",
       255,
       "error using tovlak: index 2 on line 3 is outside 0 to 1\n",
       {{"run0.log", "a\n"}, {"run1.log", "a\n(1,2,3)\n"}}},
      {"an index too large for an int",
       {"-d2", "-lrun.log", "-f"},
       "(-4294967296,1,2,3)\n",
       255,
       "error using tovlak: index -4294967296 on line 1 is outside 0 to 1\n",
       {{"run0.log", ""}, {"run1.log", ""}}},
      {"a second argument without '-'", {"-d4", "run.log"}, "x\n", 255, kUsage, {}},
      {"one argument", {"-d4"}, "x\n", 255, kUsage, {}},
      {"no arguments", {}, "x\n", 255, kUsage, {}},
      {"an unknown letter", {"-lrun.log", "-d2", "-q"}, "x\n", 255, kUsage, {}},
      {"no -l", {"-d4", "-f"}, "x\n", 255, kUsage, {}},
      {"no -d", {"-lrun.log", "-f"}, "x\n", 255, kUsage, {}},
      {"an -l without a name", {"-d4", "-l"}, "x\n", 255, kUsage, {}},
      {"-d0", {"-d0", "-lrun.log"}, "x\n", 255, kInvalid, {}},
      {"-dx", {"-dx", "-lrun.log"}, "x\n", 255, kInvalid, {}},
      {"a negative -d", {"-d-1", "-lrun.log"}, "x\n", 255, kInvalid, {}},
      {"a -d beyond int", {"-d4294967297", "-lrun.log"}, "x\n", 255, kInvalid, {}},
      {"a missing log", {"-d2", "-lnone.log"}, "x\n", 255, "unable ot open none.log\n", {}},
      {"a directory as the log", {"-d2", "-l."}, "x\n", 255, "unable ot open .\n", {}},
      {"an output that cannot be created",
       {"-d2", "-l./run.log"},
       "x\n",
       255,
       "unable ot open 0./run.log\n",
       {}},
      // Formats are told by their first bytes; what no format begins with is text.
      {"an xz log",
       {"-d2", "-lrun.log"},
       "\xfd\x37\x7a\x58\x5a\x00\x00\x04"s,
       255,
       kCannotRead + "xz" + kReadEnd},
      {"a bzip2 log", {"-d2", "-lrun.log"}, "BZh91AY&SY\x01"s, 255, kCannotRead + "bzip2" + kReadEnd},
      {"an lz4 log", {"-d2", "-lrun.log"}, "\x04\x22\x4d\x18\x64"s, 255, kCannotRead + "lz4" + kReadEnd},
      {"a legacy lz4 log",
       {"-d2", "-lrun.log"},
       "\x02\x21\x4c\x18\x10\0\0\0\xf0\x01(1,2,3,1)\n"s,
       255,
       kCannotRead + "lz4 (legacy format)" + kReadEnd},
      {"an lz4 log after a skippable frame",
       {"-d2", "-lrun.log"},
       "\x50\x2a\x4d\x18\x03\0\0\0abc\x04\x22\x4d\x18\x64"s,
       255,
       kCannotRead + "lz4" + kReadEnd},
      {"an empty bzip2 log",
       {"-d2", "-lrun.log"},
       "BZh9\x17\x72\x45\x38\x50\x90\0\0\0\0"s,
       255,
       kCannotRead + "bzip2" + kReadEnd},
      {"a one-byte log", {"-d2", "-lrun.log"}, "\x1f", 0, "", {{"run0.log", "\x1f"}, {"run1.log", "\x1f"}}},
      {"text that begins as bzip2 does",
       {"-d1", "-lrun.log"},
       "BZh91AY&SX\n",
       0,
       "",
       {{"run0.log", "BZh91AY&SX\n"}}},
      {"a log that begins with a group",
       {"-d2", "-lrun.log"},
       "(1,2,3,1)\n",
       0,
       "",
       {{"run0.log", ""}, {"run1.log", "(1,2,3)\n"}}},
  };
  for (const EndToEndCase& c : cases) {
    // A refusal of a format the program reads: what it does with such a log
    // is tried with the compressed logs.
    if (std::any_of(std::begin(kCodecs), std::end(kCodecs), [&c](const Codec& codec) {
          return programReads(codec) && c.err.starts_with(kCannotRead + codec.name) &&
                 c.err.ends_with(codec.name + kReadEnd);
        })) {
      continue;
    }
    TemporaryDirectory directory;
    writeFile(directory / "run.log", c.log);
    const Outcome outcome = runTovlak(directory.path().string(), c.arguments);
    EXPECT_EQ(outcome.status, c.status) << c.what;
    EXPECT_EQ(outcome.err, c.err) << c.what;
    EXPECT_EQ(outcome.out, "") << c.what;
    EXPECT_EQ(filesIn(directory.path().string(), "run.log"), c.files) << c.what;
    EXPECT_EQ(readFile(directory / "run.log"), c.log) << c.what;
  }
}

TEST(Tovlak, LeavesEarlierOutputsWhenALaterOneCannotBeCreated) {
  TemporaryDirectory directory;
  writeFile(directory / "run.log", "x\n");
  std::filesystem::create_directory(directory / "run2.log");
  const Outcome outcome = runTovlak(directory.path().string(), {"-d4", "-lrun.log"});
  EXPECT_EQ(outcome.status, 255);
  EXPECT_EQ(outcome.err, "unable ot open run2.log\n");
  EXPECT_EQ(filesIn(directory.path().string(), "run.log"),
            (std::map<std::string, std::string>{{"run0.log", ""}, {"run1.log", ""}}));
}

// An output that the run completed after another failed: the lines it had
// been given, each `line`, and at least one.
void expectWholeLinesOf(const std::string& output, const std::string& line) {
  std::string whole;
  while (whole.size() < output.size()) whole += line;
  EXPECT_GT(output.size(), 0u);
  EXPECT_TRUE(output == whole) << output.size() << " bytes, not whole lines " << line;
}

TEST(Tovlak, ReportsWritesToAFullDisk) {
  if (programUnderTest().windows) GTEST_SKIP() << "/dev/full is a POSIX device";
  // /dev/full, where writes fail with ENOSPC, is Linux's and FreeBSD's.
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "needs /dev/full to fill a disk";
  // A write that fails at the end of the run, and one that fails midway.
  for (std::size_t lines : {std::size_t{1}, std::size_t{200000}}) {
    TemporaryDirectory directory;
    std::string log;
    for (std::size_t i = 0; i < lines; ++i) log += "(1,2,3," + std::to_string((i + 1) % 2) + ")\n";
    writeFile(directory / "run.log", log);
    std::filesystem::create_symlink("/dev/full", directory / "run1.log");
    const Outcome outcome = runTovlak(directory.path().string(), {"-d2", "-lrun.log"});
    EXPECT_EQ(outcome.status, 255) << lines;
    EXPECT_EQ(outcome.err, "unable to write run1.log\n") << lines;
    if (lines > 1) expectWholeLinesOf(readFile(directory / "run0.log"), "(1,2,3)\n");
  }
}

// An output that is a pipe whose reader has gone fails its write, as a full
// disk does, instead of killing tovlak: its message, and the other output
// complete.
TEST(Tovlak, ReportsAnOutputPipeWhoseReaderHasGone) {
  if (programUnderTest().windows) GTEST_SKIP() << "a FIFO and SIGPIPE are POSIX";
  TemporaryDirectory directory;
  std::string log;
  for (int i = 0; i < 200000; ++i) log += "(1,2,3," + std::to_string(i % 2) + ")\n";
  writeFile(directory / "run.log", log);
  const std::string pipe = directory / "run1.log";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  // Open for reading, so that tovlak can open it for writing; never read, and
  // closed once tovlak has written to it (tovlak holds no copy of it).
  const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  Started run(directory.path().string(), {"-d2", "-lrun.log"});
  int waiting = 0;
  for (int ms = 0; ms < 20000 && waiting == 0; ms += 10) {
    ::usleep(10000);
    ASSERT_EQ(::ioctl(reader, FIONREAD, &waiting), 0);
  }
  ::close(reader);
  const Outcome outcome = run.wait();
  EXPECT_EQ(outcome.status, 255);
  EXPECT_EQ(outcome.err, "unable to write run1.log\n");
  expectWholeLinesOf(readFile(directory / "run0.log"), "(1,2,3)\n");
}

TEST(Tovlak, ReportsWritesBeyondTheFileSizeLimit) {
  if (programUnderTest().windows) GTEST_SKIP() << "the file-size limit is POSIX";
  TemporaryDirectory directory;
  writeFile(directory / "run.log", std::string(1 << 20, 'x'));
  const Outcome outcome = runTovlak(directory.path().string(), {"-d1", "-lrun.log"}, {.fileSize = 4096});
  EXPECT_EQ(outcome.status, 255);
  EXPECT_EQ(outcome.err, "unable to write run0.log\n");
}

TEST(Tovlak, ReportsAFailedRead) {
  if (programUnderTest().windows) GTEST_SKIP() << "/proc/self/mem is Linux";
  // Reading Linux's /proc/self/mem at offset 0 fails with an I/O error.
  if (!std::filesystem::exists("/proc/self/mem")) GTEST_SKIP() << "needs /proc/self/mem for a failing read";
  TemporaryDirectory directory;
  std::filesystem::create_symlink("/proc/self/mem", directory / "mem.log");
  const Outcome outcome = runTovlak(directory.path().string(), {"-d1", "-lmem.log"});
  EXPECT_EQ(outcome.status, 255);
  EXPECT_EQ(outcome.err, "unable to read mem.log\n");
}

TEST(Tovlak, ReportsMissingDirectories) {
  TemporaryDirectory directory;
  std::filesystem::create_directory(directory / "my.dir");
  writeFile(directory / "my.dir/run", "x\n");
  // The index goes before the directory's dot, into a directory that does not exist.
  Outcome outcome = runTovlak(directory.path().string(), {"-d2", "-lmy.dir/run"});
  EXPECT_EQ(outcome.status, 255);
  EXPECT_EQ(outcome.err, "unable ot open my0.dir/run\n");
  outcome = runTovlak(directory.path().string(), {"-d2", "-lnowhere/run.log"});
  EXPECT_EQ(outcome.status, 255);
  EXPECT_EQ(outcome.err, "unable ot open nowhere/run.log\n");
  EXPECT_FALSE(std::filesystem::exists(directory / "nowhere"));
}

// Outputs that cannot be written safely are refused before any output is
// created: one that is the log (so the log is never emptied), two that are
// one file (whose lines would interleave), and on Windows a device name.
TEST(Tovlak, RefusesUnsafeOutputsBeforeCreatingAny) {
  const bool windows = programUnderTest().windows;
  const struct {
    const char* what;
    const char* log;
    const char* linked;  // to `target`
    const char* target;
    bool symbolic;
    std::string err;
  } cases[] = {
      {"an output hard-linked to the log", "run.log", "run2.log", "run.log", false,
       "error using tovlak: output run2.log is the input log\n"},
      {"an output linked to the log", "run.log", "run2.log", "run.log", true,
       "error using tovlak: output run2.log is the input log\n"},
      {"two outputs hard-linked", "run.log", "run2.log", "run1.log", false,
       "error using tovlak: outputs run1.log and run2.log are one file\n"},
      {"an output linked to another", "run.log", "run2.log", "run1.log", true,
       "error using tovlak: outputs run1.log and run2.log are one file\n"},
      {"a serial port's name", "com.log", nullptr, nullptr, false,
       windows ? "unable ot open com1.log\n" : ""},
      {"a printer's name", "LPT.x.log", nullptr, nullptr, false,
       windows ? "unable ot open LPT1.x.log\n" : ""},
  };
  for (const auto& c : cases) {
    if (c.symbolic && windows) continue;  // symbolic links need a privilege there
    TemporaryDirectory directory;
    const std::string log = "(1,2,3,0)\n(1,2,3,2)\n";
    writeFile(directory / c.log, log);
    if (c.linked != nullptr) {
      if (!std::filesystem::exists(directory / c.target)) writeFile(directory / c.target, "kept");
      if (c.symbolic) {
        std::filesystem::create_symlink(c.target, directory / c.linked);
      } else {
        std::filesystem::create_hard_link(directory / c.target, directory / c.linked);
      }
    }
    const Outcome outcome = runTovlak(directory.path().string(), {"-d3", std::string("-l") + c.log});
    EXPECT_EQ(outcome.status, c.err.empty() ? 0 : 255) << c.what;
    EXPECT_EQ(outcome.err, c.err) << c.what;
    EXPECT_EQ(readFile(directory / c.log), log) << c.what;
    if (c.linked != nullptr) {
      EXPECT_EQ(readFile(directory / c.linked), c.target == std::string(c.log) ? log : "kept") << c.what;
    }
    const std::string first = std::string(c.log).insert(std::string(c.log).find('.'), "0");
    EXPECT_EQ(std::filesystem::exists(directory / first), c.err.empty()) << c.what;
  }
}

TEST(Tovlak, TakesNamesOfAnyLengthTheSystemAccepts) {
  TemporaryDirectory directory;
  const std::string deep = std::string(120, 'd') + "/" + std::string(120, 'e');
  std::filesystem::create_directories(directory / deep);
  const std::string log = deep + "/run.log";
  writeFile(directory / log, "(1,2,3,0)\n");
  Outcome outcome = runTovlak(directory.path().string(), {"-d1", "-l" + log});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(readFile(directory / (deep + "/run0.log")), "(1,2,3)\n");

  const std::string tooLong = std::string(300, 'n') + ".log";
  outcome = runTovlak(directory.path().string(), {"-d1", "-l" + tooLong});
  EXPECT_EQ(outcome.status, 255);
  EXPECT_EQ(outcome.err, "unable ot open " + tooLong + "\n");
}

// Names as scripts give them: letters of any script, and on Windows the
// backslash. The outputs go where the name rule puts them.
TEST(Tovlak, TakesNamesInAnyScript) {
  const struct {
    std::string directory, log, output;
    bool windowsOnly = false;
  } cases[] = {
      {"", "журнал.log", "журнал0.log"},
      {"données", "données/run.log", "données/run0.log"},
      {"logs", "logs\\run.log", "logs/run0.log", true},
      {"日志", "日志/运行.log", "日志/运行0.log"},
      {"Jane Doe", "Jane Doe/my log.txt", "Jane Doe/my log0.txt"},
      {"Jane Doe", "Jane Doe\\run.log", "Jane Doe/run0.log", true},
  };
  for (const auto& c : cases) {
    if (c.windowsOnly && !programUnderTest().windows) continue;
    TemporaryDirectory directory;
    if (!c.directory.empty()) std::filesystem::create_directory(directory / c.directory);
    std::string log = c.log;
    std::replace(log.begin(), log.end(), '\\', '/');
    writeFile(directory / log, "(1,2,3,1)\n");
    const Outcome outcome = runTovlak(directory.path().string(), {"-d2", "-l" + c.log});
    EXPECT_EQ(outcome.status, 0) << c.log;
    EXPECT_EQ(outcome.err, "") << c.log;
    std::string second = c.output;
    second[second.find("0.")] = '1';
    EXPECT_EQ(readFile(directory / c.output), "") << c.log;
    EXPECT_EQ(readFile(directory / second), "(1,2,3)\n") << c.log;
  }
}

// Many more outputs than a C runtime has descriptors for.
TEST(Tovlak, WritesTwentyThousandOutputs) {
  TemporaryDirectory directory;
  std::string log = "x\n";
  for (int i = 0; i < 20000; i += 997) log += "(1,2,3," + std::to_string(i) + ")\n";
  writeFile(directory / "run.log", log + "y\n");
  const Outcome outcome = runTovlak(directory.path().string(), {"-d20000", "-lrun.log"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "");
  const std::map<std::string, std::string> files = filesIn(directory.path().string(), "run.log");
  EXPECT_EQ(files.size(), 20000u);
  for (int i = 0; i < 20000; ++i) {
    const std::string expected = i % 997 == 0 ? "x\n(1,2,3)\ny\n" : "x\ny\n";
    const auto file = files.find("run" + std::to_string(i) + ".log");
    ASSERT_TRUE(file != files.end() && file->second == expected) << i;
  }
}

TEST(Tovlak, ReportsRunningOutOfMemory) {
  if (const char* why = whyNoAddressSpaceLimit()) GTEST_SKIP() << why;
  TemporaryDirectory directory;
  writeFile(directory / "run.log", "x\n");
  Outcome outcome = runTovlak(directory.path().string(), {"-d2000000000", "-lrun.log"},
                              {.addressSpace = rlim_t{512} << 20});
  EXPECT_EQ(outcome.status, 255);
  EXPECT_EQ(outcome.err, "error using tovlak: out of memory\n");
  EXPECT_EQ(filesIn(directory.path().string(), "run.log").size(), 0u);

  // One line longer than the process may hold is split all the same.
  const std::string line(200u << 20, 'x');
  writeFile(directory / "run.log", line);
  outcome = runTovlak(directory.path().string(), {"-d1", "-lrun.log"}, {.addressSpace = rlim_t{128} << 20});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "");
  EXPECT_TRUE(readFile(directory / "run0.log") == line);
}

// A line longer than tovlak holds in memory is kept in a temporary file in
// TMPDIR while it is read, a file no directory shows during the run or
// after it; the lines come out as whole ones do. A full disk there stops
// the run with the file's name, the lines before it written.
// The temporary files in `directory` that tovlak holds long lines in. (Wine
// keeps a folder of its own in TMPDIR too.)
long heldFilesIn(const std::filesystem::path& directory) {
  return std::count_if(std::filesystem::directory_iterator(directory), {}, [](const auto& entry) {
    return entry.path().filename().string().starts_with(".tovlak-");
  });
}

TEST(Tovlak, HoldsALongLineInAFileNoDirectoryShows) {
  TemporaryDirectory directory;
  TemporaryDirectory held;
  const std::string many(70u << 20, 'x');
  const std::string hole(70u << 20, '\0');
  const std::string log = "(1,2,3,1)\n(1,2,3," + many + ")\n" + hole + "\n(4,5,6,0)\n";
  const std::string expected[] = {hole + "\n(4,5,6)\n", "(1,2,3)\n(1,2,3)\n" + hole + "\n"};
  writeFile(directory / "run.log", log);
  Outcome outcome = runTovlak(directory.path().string(), {"-d2", "-lrun.log"},
                              {.temporaryDirectory = held.path().string()});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "");
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(readFile(directory / ("run" + std::to_string(i) + ".log")) == expected[i]);
  }
  EXPECT_EQ(heldFilesIn(held.path()), 0);  // read again from the log itself
  if (programUnderTest().windows) GTEST_SKIP() << "a FIFO and a file-size limit are POSIX";

  // From a pipe: no directory shows the file while the line is held.
  ASSERT_EQ(::mkfifo((directory / "fifo.log").c_str(), 0600), 0);
  Started started(directory.path().string(), {"-d2", "-lfifo.log"},
                  {.temporaryDirectory = held.path().string()});
  {
    std::ofstream fifo(directory / "fifo.log", std::ios::binary);
    fifo.write(log.data(), static_cast<std::streamsize>(log.size() - 20));
    fifo.flush();
    // tovlak holds the hole now, waiting for its end.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(heldFilesIn(held.path()), 0);
    fifo.write(log.data() + log.size() - 20, 20);
  }
  outcome = started.wait();
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "");
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(readFile(directory / ("fifo" + std::to_string(i) + ".log")) == expected[i]);
  }
  EXPECT_EQ(heldFilesIn(held.path()), 0);

  // A full disk where the line is held: the lines before it are written.
  writeFile(directory / "full.txt", "a\n" + hole);
  ASSERT_EQ(::mkfifo((directory / "full.log").c_str(), 0600), 0);
  Started stopped(directory.path().string(), {"-d1", "-lfull.log"},
                  {.fileSize = rlim_t{1} << 20, .temporaryDirectory = held.path().string()});
  shellOutput("cat " + (directory / "full.txt") + " > " + (directory / "full.log") + " 2> /dev/null");
  const Outcome full = stopped.wait();
  EXPECT_EQ(full.status, 255);
  EXPECT_EQ(full.err.rfind("unable to write " + held.path().string() + "/.tovlak-", 0), 0u) << full.err;
  EXPECT_EQ(readFile(directory / "full0.log"), "a\n");
  EXPECT_EQ(heldFilesIn(held.path()), 0);
}

// Under the open-file limit, and with descriptors inherited from the parent
// taking most of it, so that opening outputs fails below tovlak's own bound.
TEST(Tovlak, WritesMoreOutputsThanItMayKeepOpen) {
  if (programUnderTest().windows) {
    GTEST_SKIP() << "the open-file limit is POSIX; WritesTwentyThousandOutputs runs everywhere";
  }
  for (const int inherited : {0, 100}) {
    TemporaryDirectory directory;
    std::vector<std::string> expected;
    writeFile(directory / "big.log", spreadLog(expected));
    const Outcome outcome = runTovlak(directory.path().string(), {"-d300", "-lbig.log"},
                                      {.openFiles = 128, .inheritedDescriptors = inherited});
    EXPECT_EQ(outcome.status, 0) << inherited;
    EXPECT_EQ(outcome.err, "") << inherited;
    for (int i = 0; i < 300; ++i) {
      ASSERT_EQ(readFile(directory / ("big" + std::to_string(i) + ".log")),
                expected[static_cast<std::size_t>(i)])
          << i << " with " << inherited << " inherited";
    }
  }
}

// The read offset of the descriptor `pid` holds on `file`, once the process
// has been asleep with that offset unchanged for a while; -1 if it never is.
long long offsetWhenBlocked(pid_t pid, const std::string& file) {
  const std::filesystem::path target = std::filesystem::canonical(file);
  const std::string proc = "/proc/" + std::to_string(pid);
  long long last = -1;
  int stillFor = 0;
  for (int attempt = 0; attempt < 3000; ++attempt) {
    ::usleep(10000);
    std::string state = readFile(proc + "/stat");
    state = state.substr(state.rfind(')') + 2, 1);
    long long offset = -1;
    std::error_code error;
    for (const auto& fd : std::filesystem::directory_iterator(proc + "/fd", error)) {
      if (std::filesystem::read_symlink(fd.path(), error) != target) continue;
      const std::string info = readFile(proc + "/fdinfo/" + fd.path().filename().string());
      offset = std::stoll(info.substr(info.find("pos:") + 4));
    }
    stillFor = (state == "S" && offset > 0 && offset == last) ? stillFor + 1 : 0;
    last = offset;
    if (stillFor == 10) return offset;
  }
  return -1;
}

TEST(Tovlak, ReadsALogThatChangesOrShrinksUnderIt) {
  if (programUnderTest().windows) GTEST_SKIP() << "it watches the process through Linux's /proc";
  if (!std::filesystem::exists("/proc/self/fdinfo")) {
    GTEST_SKIP() << "needs Linux's /proc/PID/fdinfo to see how far tovlak has read";
  }
  // run0.log is a pipe that is not read until the log has been changed, so
  // tovlak is held in a write with part of the log read.
  enum class Change { cutShort, emptied, rewrittenAndGrown };
  for (Change change : {Change::cutShort, Change::emptied, Change::rewrittenAndGrown}) {
    TemporaryDirectory directory;
    std::string log;
    for (int i = 0; i < 100000; ++i) {
      log += "t=" + std::to_string(i) + " (1,2,3," + std::to_string(i % 2) + ")\n";
    }
    writeFile(directory / "run.log", log);
    ASSERT_EQ(::mkfifo((directory / "run0.log").c_str(), 0600), 0);
    const int pipe = ::open((directory / "run0.log").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(pipe, 0);
    Started tovlak(directory.path().string(), {"-d2", "-lrun.log"});
    const long long offset = offsetWhenBlocked(tovlak.pid(), directory / "run.log");
    ASSERT_GT(offset, 0);
    ASSERT_LT(offset, static_cast<long long>(log.size()));

    std::string now;  // the log as it is after the change
    if (change == Change::cutShort) now = log.substr(0, static_cast<std::size_t>(offset) / 2);
    if (change == Change::rewrittenAndGrown) {
      for (int i = 0; i < 150000; ++i) now += "u (" + std::to_string(i) + ",5,6,1) v\n";
    }
    writeFile(directory / "run.log", now);
    // What was read stays read; what the file holds from that offset on comes next.
    std::string seen = log.substr(0, static_cast<std::size_t>(offset));
    if (now.size() > seen.size()) seen += now.substr(seen.size());

    ASSERT_EQ(::fcntl(pipe, F_SETFL, 0), 0);
    std::string first;
    char block[65536];
    for (ssize_t n; (n = ::read(pipe, block, sizeof block)) > 0;) {
      first.append(block, static_cast<std::size_t>(n));
    }
    ::close(pipe);
    const Outcome outcome = tovlak.wait();
    EXPECT_EQ(outcome.status, 0) << static_cast<int>(change);
    EXPECT_EQ(outcome.err, "") << static_cast<int>(change);
    const std::vector<std::string> expected = referenceSplit(seen, 2, false).files;
    EXPECT_TRUE(first == expected[0]) << static_cast<int>(change);
    EXPECT_TRUE(readFile(directory / "run1.log") == expected[1]) << static_cast<int>(change);
  }
}

}  // namespace

TEST(Tovlak, ShowsProgressOnATerminalAndErasesIt) {
  if (programUnderTest().windows) {
    GTEST_SKIP() << "Wine draws its console on a pseudo-terminal in escape codes of its own";
  }
  // The log comes slowly through a pipe, so the run lasts past a second.
  for (const bool failing : {false, true}) {
    TemporaryDirectory directory;
    ASSERT_EQ(::mkfifo((directory / "run.log").c_str(), 0600), 0);
    PseudoTerminal terminal;
    Started tovlak(directory.path().string(), {"-d2", "-lrun.log"}, {.errorTerminal = terminal.otherSide()});
    std::string log;
    {
      const int pipe = ::open((directory / "run.log").c_str(), O_WRONLY);
      ASSERT_GE(pipe, 0);
      for (int i = 0; i < 15; ++i) {
        std::string piece;
        for (int j = 0; j < 1000; ++j) {
          piece += "t=" + std::to_string(j) + " (1,2,3," + std::to_string(j % 2) + ")\n";
        }
        if (failing && i == 14) piece += "(1,2,3,7)\n";
        ASSERT_EQ(::write(pipe, piece.data(), piece.size()), static_cast<ssize_t>(piece.size()));
        log += piece;
        ::usleep(100 * 1000);
      }
      ::close(pipe);
    }
    const Outcome outcome = tovlak.wait();
    const std::string shown = terminal.drain(200);
    const std::string message = "error using tovlak: index 7 on line 15001 is outside 0 to 1\r\n";
    EXPECT_EQ(outcome.status, failing ? 255 : 0);
    EXPECT_NE(shown.find("\rtovlak: "), std::string::npos) << shown;
    EXPECT_NE(shown.find(" KiB/s"), std::string::npos) << shown;  // a pipe: bytes and rate only
    EXPECT_EQ(shown.find('%'), std::string::npos) << shown;
    // The line is erased, and a failure message stands alone after it.
    const std::string ending = failing ? message : "";
    ASSERT_TRUE(shown.ends_with("\r" + ending)) << shown;
    const std::size_t erased = shown.rfind('\r', shown.size() - ending.size() - 2);
    ASSERT_NE(erased, std::string::npos);
    EXPECT_EQ(shown.substr(erased + 1, shown.size() - ending.size() - erased - 2),
              std::string(shown.size() - ending.size() - erased - 2, ' '))
        << shown;
    if (!failing) {
      const std::vector<std::string> expected = referenceSplit(log, 2, false).files;
      EXPECT_EQ(readFile(directory / "run0.log"), expected[0]);
      EXPECT_EQ(readFile(directory / "run1.log"), expected[1]);
    }
  }
}
