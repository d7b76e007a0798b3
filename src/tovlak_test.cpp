// End-to-end tests: the built tovlak run in a temporary directory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "reference_rewrite.h"
#include "temporary_files.h"

using namespace std::string_literals;

namespace {

struct Limits {
  std::optional<rlim_t> openFiles = {};
  std::optional<rlim_t> addressSpace = {};
  std::optional<rlim_t> fileSize = {};
  // A terminal for standard error, in place of the captured file.
  std::optional<std::string> errorTerminal = {};
};

struct Outcome {
  int status = -1;  // the exit status, or 1000 + signal
  std::string out;
  std::string err;
};

// A tovlak started in the background, standard output and error captured in
// files outside its directory.
class Started {
 public:
  Started(const std::string& directory, const std::vector<std::string>& arguments, const Limits& limits = {})
      : outName_(capture_ / "stdout"), errName_(capture_ / "stderr") {
    std::vector<char*> argv;
    std::string emulator(std::string_view(TOVLAK_EMULATOR));
    std::string program = TOVLAK_PATH;
    if (!emulator.empty()) argv.push_back(emulator.data());
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ != 0) return;
    const int out = ::open(outName_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = limits.errorTerminal ? ::open(limits.errorTerminal->c_str(), O_WRONLY | O_NOCTTY)
                                         : ::open(errName_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 || ::chdir(directory.c_str()) != 0) {
      _exit(120);
    }
    ::close(out);
    ::close(err);
    auto limit = [](int resource, std::optional<rlim_t> value) {
      if (!value) return;
      rlimit l{*value, *value};
      if (::setrlimit(resource, &l) != 0) _exit(121);
    };
    limit(RLIMIT_NOFILE, limits.openFiles);
    limit(RLIMIT_AS, limits.addressSpace);
    limit(RLIMIT_FSIZE, limits.fileSize);
    ::execv(argv[0], argv.data());
    _exit(122);
  }
  Started(const Started&) = delete;
  Started& operator=(const Started&) = delete;
  // A run still going when a test gives up may be blocked for good (on a
  // pipe nobody reads), so it is killed rather than waited for.
  ~Started() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }

  pid_t pid() const { return pid_; }

  // Waits for the run to end.
  Outcome wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    Outcome outcome;
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    outcome.out = readFile(outName_);
    outcome.err = readFile(errName_);
    return outcome;
  }

 private:
  TemporaryDirectory capture_;
  std::string outName_, errName_;
  pid_t pid_ = -1;
};

// Runs tovlak with `arguments` in `directory` and waits for it.
Outcome runTovlak(const std::string& directory, const std::vector<std::string>& arguments,
                  const Limits& limits = {}) {
  return Started(directory, arguments, limits).wait();
}

// Every regular file in `directory` except `ignored`, by name.
std::map<std::string, std::string> filesIn(const std::string& directory, const std::string& ignored) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && name != ignored) files[name] = readFile(entry.path().string());
  }
  return files;
}

const std::string kUsage = "error using tovlak: tovlak -dLENGTH_OF_4TH_DIMESION -lLOG_FILE_NAME [-f]\n";
const std::string kInvalid = "error using tovlak: invalid length for fourth dimension\n";
const std::string kCannotRead = "error using tovlak: run.log is compressed with ";
const std::string kReadEnd = ", which tovlak cannot read\n";
const std::string kSample = "start\nt=5 (10,20,30,2) end\n(0,1,2,0)\n# note\n(7,8,9,1)\n";

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

TEST(Tovlak, ReportsWritesToAFullDisk) {
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
  }
}

TEST(Tovlak, ReportsWritesBeyondTheFileSizeLimit) {
  TemporaryDirectory directory;
  writeFile(directory / "run.log", std::string(1 << 20, 'x'));
  const Outcome outcome = runTovlak(directory.path().string(), {"-d1", "-lrun.log"}, {.fileSize = 4096});
  EXPECT_EQ(outcome.status, 255);
  EXPECT_EQ(outcome.err, "unable to write run0.log\n");
}

TEST(Tovlak, ReportsAFailedRead) {
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

TEST(Tovlak, NeverWritesOverTheInputLog) {
  for (bool symbolic : {false, true}) {
    TemporaryDirectory directory;
    const std::string log = "(1,2,3,0)\n(1,2,3,2)\n";
    writeFile(directory / "run.log", log);
    if (symbolic) {
      std::filesystem::create_symlink("run.log", directory / "run2.log");
    } else {
      std::filesystem::create_hard_link(directory / "run.log", directory / "run2.log");
    }
    const Outcome outcome = runTovlak(directory.path().string(), {"-d3", "-lrun.log"});
    EXPECT_EQ(outcome.status, 255) << symbolic;
    EXPECT_EQ(outcome.err, "error using tovlak: output run2.log is the input log\n") << symbolic;
    EXPECT_EQ(readFile(directory / "run.log"), log) << symbolic;
    EXPECT_FALSE(std::filesystem::exists(directory / "run0.log")) << symbolic;
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

// Why this build cannot run tovlak under a limit on its address space, or
// null when it can.
const char* whyNoAddressSpaceLimit() {
#if defined(TOVLAK_SANITIZE)
  return "AddressSanitizer reserves more address space than the limit these runs set";
#endif
  if (!std::string(TOVLAK_EMULATOR).empty()) {
    return "an address-space limit binds the emulator, which reserves the guest's memory, not tovlak";
  }
  return nullptr;
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

  // One line longer than the process may hold.
  writeFile(directory / "run.log", std::string(200u << 20, 'x'));
  outcome = runTovlak(directory.path().string(), {"-d1", "-lrun.log"}, {.addressSpace = rlim_t{128} << 20});
  EXPECT_EQ(outcome.status, 255);
  EXPECT_EQ(outcome.err, "error using tovlak: out of memory\n");
}

// A log of 20000 lines spread over 300 outputs, with what each must hold.
std::string spreadLog(std::vector<std::string>& expected) {
  std::string log;
  expected.assign(300, "");
  for (int i = 0; i < 20000; ++i) {
    if (i % 997 == 0) {
      log += "# header " + std::to_string(i) + "\n";
      for (std::string& e : expected) e += "# header " + std::to_string(i) + "\n";
    } else {
      const int index = (i * 31) % 300;
      log += "p (" + std::to_string(i) + ",0,0," + std::to_string(index) + ") q\n";
      expected[static_cast<std::size_t>(index)] += "p (" + std::to_string(i) + ",0,0) q\n";
    }
  }
  return log;
}

TEST(Tovlak, WritesMoreOutputsThanItMayKeepOpen) {
  TemporaryDirectory directory;
  std::vector<std::string> expected;
  writeFile(directory / "big.log", spreadLog(expected));
  const Outcome outcome = runTovlak(directory.path().string(), {"-d300", "-lbig.log"}, {.openFiles = 64});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "");
  for (int i = 0; i < 300; ++i) {
    ASSERT_EQ(readFile(directory / ("big" + std::to_string(i) + ".log")),
              expected[static_cast<std::size_t>(i)])
        << i;
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

namespace {

// A pseudo-terminal: the test reads the master side, tovlak writes its
// standard error to the other side.
class PseudoTerminal {
 public:
  PseudoTerminal() : master_(::posix_openpt(O_RDWR | O_NOCTTY)) {
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) std::abort();
    const char* name = ::ptsname(master_);
    if (!name) std::abort();
    otherSide_ = name;
    // Held open here too, so that reads see no hang-up between tovlak's writes.
    holder_ = ::open(name, O_RDWR | O_NOCTTY);
  }
  ~PseudoTerminal() {
    ::close(holder_);
    ::close(master_);
  }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  const std::string& otherSide() const { return otherSide_; }

  // Everything written so far and readable within `milliseconds`.
  std::string drain(int milliseconds) {
    std::string seen;
    pollfd ready{master_, POLLIN, 0};
    while (::poll(&ready, 1, milliseconds) > 0) {
      char buffer[4096];
      const ssize_t got = ::read(master_, buffer, sizeof buffer);
      if (got <= 0) break;
      seen.append(buffer, static_cast<std::size_t>(got));
    }
    return seen;
  }

 private:
  int master_;
  int holder_ = -1;
  std::string otherSide_;
};

}  // namespace

TEST(Tovlak, ShowsProgressOnATerminalAndErasesIt) {
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

namespace {

// Compressed logs, compressed and checked with the gzip and zstd tools
// themselves, so that tovlak's codecs are held to them.
struct Codec {
  std::string suffix, compress, decompress;
};
const Codec kCodecs[] = {{".gz", "gzip -c", "gzip -dc"}, {".zst", "zstd -q -c", "zstd -q -dc"}};

// Runs `command` in a shell and gives its standard output; `ok` says whether it exited with 0.
std::string shellOutput(const std::string& command, bool* ok = nullptr) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char block[65536];
  for (std::size_t got; (got = std::fread(block, 1, sizeof block, pipe)) > 0;) out.append(block, got);
  const int status = ::pclose(pipe);
  if (ok != nullptr) *ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return out;
}

std::string compressed(const Codec& codec, const std::string& plain, const TemporaryDirectory& directory) {
  writeFile(directory / "plain", plain);
  return shellOutput(codec.compress + " " + (directory / "plain"));
}

#if TOVLAK_COMPRESSION
// A log of lines for `count` outputs and broadcast lines, deterministic.
std::string mixedLog(int lines, int count) {
  std::string log;
  for (int i = 0; i < lines; ++i) {
    log += i % 50 == 0 ? "# header " + std::to_string(i) + "\n"
                       : "t=" + std::to_string(i * 7919 % 10007) + " (" + std::to_string(i % count) + "," +
                             std::to_string(i) + ",3," + std::to_string((i * 13) % count) + ") e\n";
  }
  return log;
}

TEST(Tovlak, SplitsCompressedLogsIntoOutputsOfTheirFormat) {
  const std::vector<std::vector<std::string>> optionSets = {
      {"-d1"}, {"-d3"}, {"-d16"}, {"-d16", "-f"}, {"-d40"}};
  for (const Codec& codec : kCodecs) {
    for (const auto& options : optionSets) {
      const int count = std::stoi(options[0].substr(2));
      const std::string log = mixedLog(3000, std::min(count, 16));  // -d40: outputs that get nothing
      for (bool severalMembers : {false, true}) {
        TemporaryDirectory directory;
        std::string packed = compressed(codec, log, directory);
        if (severalMembers) {
          // Two members or frames, and for zstd a skippable frame in between.
          packed = compressed(codec, log.substr(0, 20000), directory);
          if (codec.suffix == ".zst") packed += "\x50\x2a\x4d\x18\x03\x00\x00\x00"s + "abc";
          packed += compressed(codec, log.substr(20000), directory);
        }
        const std::string what = codec.suffix + " " + options[0] + (options.size() > 1 ? " -f" : "") +
                                 (severalMembers ? " in several members" : "");
        writeFile(directory / "run.log", log);
        writeFile(directory / ("c.log" + codec.suffix), packed);
        std::vector<std::string> plainArguments = options, packedArguments = options;
        plainArguments.emplace_back("-lrun.log");
        packedArguments.push_back("-lc.log" + codec.suffix);
        ASSERT_EQ(runTovlak(directory.path().string(), plainArguments).status, 0) << what;
        const Outcome outcome = runTovlak(directory.path().string(), packedArguments);
        EXPECT_EQ(outcome.status, 0) << what;
        EXPECT_EQ(outcome.err, "") << what;
        for (int i = 0; i < count; ++i) {
          const std::string output = directory / ("c" + std::to_string(i) + ".log" + codec.suffix);
          bool ok = false;
          const std::string unpacked = shellOutput(codec.decompress + " " + output, &ok);
          EXPECT_TRUE(ok) << what << " output " << i;
          ASSERT_EQ(unpacked, readFile(directory / ("run" + std::to_string(i) + ".log")))
              << what << " output " << i;
        }
      }
    }
  }
}

TEST(Tovlak, WritesMoreCompressedOutputsThanItMayKeepOpen) {
  std::vector<std::string> expected;
  const std::string log = spreadLog(expected);
  for (const Codec& codec : kCodecs) {
    TemporaryDirectory directory;
    writeFile(directory / ("big.log" + codec.suffix), compressed(codec, log, directory));
    const Outcome outcome =
        runTovlak(directory.path().string(), {"-d300", "-lbig.log" + codec.suffix}, {.openFiles = 64});
    EXPECT_EQ(outcome.status, 0) << codec.suffix;
    EXPECT_EQ(outcome.err, "") << codec.suffix;
    for (int i = 0; i < 300; i += 13) {  // some outputs: a tool run for each takes its time
      const std::string output = directory / ("big" + std::to_string(i) + ".log" + codec.suffix);
      ASSERT_EQ(shellOutput(codec.decompress + " " + output), expected[static_cast<std::size_t>(i)]) << i;
    }
  }
}

// A small log that holds one line longer than memory: the message, and
// every output a valid file.
TEST(Tovlak, ReportsACompressedLineLongerThanMemory) {
  if (const char* why = whyNoAddressSpaceLimit()) GTEST_SKIP() << why;
  for (const Codec& codec : kCodecs) {
    TemporaryDirectory directory;
    writeFile(directory / ("run.log" + codec.suffix),
              compressed(codec, "before\n" + std::string(200u << 20, 'x'), directory));
    const Outcome outcome = runTovlak(directory.path().string(), {"-d2", "-lrun.log" + codec.suffix},
                                      {.addressSpace = rlim_t{128} << 20});
    EXPECT_EQ(outcome.status, 255) << codec.suffix;
    EXPECT_EQ(outcome.err, "error using tovlak: out of memory\n") << codec.suffix;
    for (int i = 0; i < 2; ++i) {
      bool ok = false;
      const std::string output = directory / ("run" + std::to_string(i) + ".log" + codec.suffix);
      EXPECT_EQ(shellOutput(codec.decompress + " " + output, &ok), "before\n") << codec.suffix;
      EXPECT_TRUE(ok) << codec.suffix;
    }
  }
}

// The failures of plain logs, from compressed ones: an index outside the
// outputs (the lines before it written, every output a valid file) and a
// full disk.
TEST(Tovlak, StopsCompressedRunsAsPlainOnes) {
  for (const Codec& codec : kCodecs) {
    TemporaryDirectory directory;
    const std::string name = "c.log" + codec.suffix;
    writeFile(directory / name, compressed(codec, "a\n(1,2,3,1)\n(1,2,3,  2)\nb\n", directory));
    Outcome outcome = runTovlak(directory.path().string(), {"-d2", "-l" + name});
    EXPECT_EQ(outcome.status, 255) << codec.suffix;
    EXPECT_EQ(outcome.err, "error using tovlak: index 2 on line 3 is outside 0 to 1\n") << codec.suffix;
    const std::string expected[] = {"a\n", "a\n(1,2,3)\n"};
    for (int i = 0; i < 2; ++i) {
      bool ok = false;
      const std::string output = directory / ("c" + std::to_string(i) + ".log" + codec.suffix);
      EXPECT_EQ(shellOutput(codec.decompress + " " + output, &ok), expected[i]) << codec.suffix;
      EXPECT_TRUE(ok) << codec.suffix;
    }
    if (!std::filesystem::exists("/dev/full")) continue;
    std::filesystem::remove(directory / ("c1.log" + codec.suffix));
    std::filesystem::create_symlink("/dev/full", directory / ("c1.log" + codec.suffix));
    outcome = runTovlak(directory.path().string(), {"-d3", "-l" + name});
    EXPECT_EQ(outcome.status, 255) << codec.suffix;
    EXPECT_EQ(outcome.err, "unable to write c1.log" + codec.suffix + "\n") << codec.suffix;
  }
}

// The CRC-32 of gzip, bit by bit.
std::uint32_t crc32(std::string_view bytes) {
  std::uint32_t crc = 0xffffffff;
  for (const char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320 & (0u - (crc & 1)));
  }
  return ~crc;
}

// Gives the gzip member `packed` (as gzip makes it, with a name) a header
// with `flags` instead: an extra field, a name, a comment, and a header CRC
// that is right or, with `wrongCrc`, not.
std::function<void(std::string&)> newHeader(unsigned char flags, bool wrongCrc = false) {
  return [flags, wrongCrc](std::string& packed) {
    const std::size_t data = packed.find('\0', 10) + 1;  // after the name gzip wrote
    std::string header = "\x1f\x8b\x08"s + static_cast<char>(flags) + "\0\0\0\0\0\x03"s;
    if ((flags & 4) != 0) header += "\x03\0xyz"s;
    if ((flags & 8) != 0) header += "run.log"s + '\0';
    if ((flags & 16) != 0) header += "a comment"s + '\0';
    if ((flags & 2) != 0) {
      const std::uint32_t crc = crc32(header) + (wrongCrc ? 1 : 0);
      header += static_cast<char>(crc & 0xff);
      header += static_cast<char>((crc >> 8) & 0xff);
    }
    packed = header + packed.substr(data);
  };
}

// Each damaged log: its status and message, and every output a valid file
// of its format holding, bounded from both sides, at least what a plain run
// gives on the lines that gzip -dc or zstd -dc recover from the damaged log
// (cut after its last newline) and, where the damage leaves the data before
// it intact, no more than a prefix of what the whole plain log gives.
TEST(Tovlak, ReportsDamagedCompressedLogsAndClosesEveryOutput) {
  const std::string large = mixedLog(4000, 3);
  const auto flip = [](std::size_t fromEnd) {
    return [fromEnd](std::string& bytes) { bytes[bytes.size() - fromEnd] ^= 0x10; };
  };
  const auto keep = [](std::size_t bytes) { return [bytes](std::string& b) { b.resize(bytes); }; };
  // The member or frame, then another (or two more) of it cut after `bytes`.
  const auto thenCut = [](std::size_t bytes, int whole = 1) {
    return [bytes, whole](std::string& b) {
      const std::string one = b;
      for (int i = 1; i < whole; ++i) b += one;
      b += one.substr(0, bytes);
    };
  };
  const auto garbage = [](std::string& b) { b += "garbage"; };
  const struct {
    const char* what;
    std::size_t codec;  // into kCodecs
    std::function<void(std::string&)> damage;
    bool fails;
    bool prefix;
    bool small = false;  // the short sample log, read in one block, instead of the large one
    int copies = 1;      // of the log that the whole members or frames hold
  } cases[] = {
      {"gzip cut in the header", 0, keep(6), true, true},
      {"gzip cut in the data", 0, [](std::string& b) { b.resize(b.size() / 2); }, true, true},
      {"gzip cut in the trailer", 0, [](std::string& b) { b.resize(b.size() - 3); }, true, true},
      {"gzip with a data byte changed", 0, [](std::string& b) { b[b.size() / 2] ^= 0x01; }, true, false},
      {"gzip with a wrong CRC", 0, flip(8), true, true},
      {"gzip with a wrong length", 0, flip(4), true, true},
      {"gzip with garbage after it", 0, garbage, true, true},
      {"gzip with a stray byte after it", 0, [](std::string& b) { b += '\x1f'; }, true, true},
      {"gzip with every header field", 0, newHeader(2 | 4 | 8 | 16), false, true},
      {"gzip with a wrong header CRC", 0, newHeader(2 | 4 | 8 | 16, true), true, true},
      {"gzip with a reserved flag", 0, newHeader(8 | 0x20), true, true},
      {"gzip with zero padding after it", 0, [](std::string& b) { b.append(1000, '\0'); }, false, true},
      {"gzip with zeros, then garbage, after it", 0, [](std::string& b) { b += "\0\0x"s; }, true, true},
      {"gzip with a third member cut in its header", 0, thenCut(6, 2), true, true, false, 2},
      {"short gzip with garbage after it", 0, garbage, true, true, true},
      {"short gzip, then a member cut after its magic", 0, thenCut(2), true, true, true},
      {"short gzip, then a member cut in its header", 0, thenCut(7), true, true, true},
      {"short gzip with a wrong CRC", 0, flip(8), true, true, true},
      {"zstd cut in the data", 1, [](std::string& b) { b.resize(b.size() / 2); }, true, true},
      {"zstd cut in the checksum", 1, [](std::string& b) { b.resize(b.size() - 2); }, true, true},
      {"zstd with a wrong checksum", 1, flip(1), true, true},
      {"zstd with garbage after it", 1, garbage, true, true},
      {"zstd with zeros after it", 1, [](std::string& b) { b.append(8, '\0'); }, true, true},
      {"zstd with a third frame cut in its header", 1, thenCut(5, 2), true, true, false, 2},
      {"short zstd with garbage after it", 1, garbage, true, true, true},
      {"short zstd, then a frame cut after its magic", 1, thenCut(4), true, true, true},
      {"short zstd, then a frame cut in its header", 1, thenCut(5), true, true, true},
      {"short zstd with a wrong checksum", 1, flip(1), true, true, true},
  };
  for (const auto& c : cases) {
    const Codec& codec = kCodecs[c.codec];
    const std::string& log = c.small ? kSample : large;
    TemporaryDirectory directory;
    std::string packed = compressed(codec, log, directory);
    c.damage(packed);
    const std::string name = "c.log" + codec.suffix;
    writeFile(directory / name, packed);
    std::string whole;
    for (int i = 0; i < c.copies; ++i) whole += log;
    writeFile(directory / "run.log", whole);
    std::string recovered = shellOutput(codec.decompress + " " + (directory / name) + " 2> /dev/null");
    recovered.resize(recovered.rfind('\n') + 1);  // npos + 1: nothing
    writeFile(directory / "rec.log", recovered);
    ASSERT_EQ(runTovlak(directory.path().string(), {"-d3", "-lrun.log"}).status, 0);
    // Changed data may decode to an index outside the outputs: the run on
    // what is recovered stops at it, and so must the run on the damaged log.
    const Outcome onRecovered = runTovlak(directory.path().string(), {"-d3", "-lrec.log"});
    const Outcome outcome = runTovlak(directory.path().string(), {"-d3", "-l" + name});
    EXPECT_EQ(outcome.status, c.fails ? 255 : 0) << c.what;
    const std::string unableToRead = "unable to read " + name + "\n";
    EXPECT_EQ(outcome.err, !c.fails                  ? ""
                           : onRecovered.status != 0 ? onRecovered.err
                                                     : unableToRead)
        << c.what;
    for (int i = 0; i < 3; ++i) {
      bool ok = false;
      const std::string unpacked = shellOutput(
          codec.decompress + " " + (directory / ("c" + std::to_string(i) + ".log" + codec.suffix)), &ok);
      EXPECT_TRUE(ok) << c.what << " output " << i;
      const std::string least = readFile(directory / ("rec" + std::to_string(i) + ".log"));
      const std::string plain = readFile(directory / ("run" + std::to_string(i) + ".log"));
      const std::string sizes = " output " + std::to_string(i) + ": " + std::to_string(unpacked.size()) +
                                " bytes, recovered " + std::to_string(least.size()) + ", whole " +
                                std::to_string(plain.size());
      EXPECT_TRUE(unpacked.starts_with(least)) << c.what << sizes;
      if (c.prefix) {
        EXPECT_TRUE(plain.starts_with(unpacked)) << c.what << sizes;
      }
      if (!c.fails) {
        EXPECT_TRUE(unpacked == plain) << c.what << sizes;
      }
    }
  }
}
#else
TEST(Tovlak, RefusesCompressedLogsWhenBuiltWithoutCompression) {
  for (const Codec& codec : kCodecs) {
    TemporaryDirectory directory;
    writeFile(directory / ("run.log" + codec.suffix), compressed(codec, "(1,2,3,0)\n", directory));
    const Outcome outcome = runTovlak(directory.path().string(), {"-d2", "-lrun.log" + codec.suffix});
    EXPECT_EQ(outcome.status, 255);
    EXPECT_EQ(outcome.err, "error using tovlak: run.log" + codec.suffix + " is compressed with " +
                               (codec.suffix == ".gz" ? "gzip" : "zstd") + ", which tovlak cannot read\n");
    EXPECT_EQ(filesIn(directory.path().string(), "run.log" + codec.suffix).size(), 1u);  // the plain copy
  }
}
#endif

}  // namespace
