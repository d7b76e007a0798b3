#include "tovlak_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace {

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> result;
  for (std::string word; in >> word;) result.push_back(word);
  return result;
}

ProgramUnderTest findProgramUnderTest() {
  const char* build = std::getenv("TOVLAK_UNDER_TEST");
  if (build == nullptr || *build == '\0') build = TOVLAK_BUILD_DIR;
  const std::filesystem::path directory = std::filesystem::absolute(build);
  ProgramUnderTest program{(directory / "tovlak").string(),
                           words(readFile((directory / "emulator").string())),
                           words(readFile((directory / "codecs").string()))};
  if (std::filesystem::exists(directory / "address_bits")) {
    program.addressBits = std::stoi(readFile((directory / "address_bits").string()));
  }
  if (std::filesystem::exists(directory / "tovlak.exe")) {
    program.path += ".exe";
    program.windows = true;
  }
  if (!std::filesystem::exists(program.path)) {
    static_cast<void>(std::fprintf(stderr, "TOVLAK_UNDER_TEST: no tovlak in %s\n", build));
    std::abort();
  }
  return program;
}

}  // namespace

const ProgramUnderTest& programUnderTest() {
  static const ProgramUnderTest program = findProgramUnderTest();
  return program;
}

bool programReads(const Codec& codec) {
  const std::vector<std::string>& codecs = programUnderTest().codecs;
  return std::find(codecs.begin(), codecs.end(), codec.suffix) != codecs.end();
}

Started::Started(const std::string& directory, const std::vector<std::string>& arguments,
                 const Limits& limits)
    : outName_(capture_ / "stdout"), errName_(capture_ / "stderr") {
  std::vector<std::string> command = programUnderTest().emulator;
  command.push_back(programUnderTest().path);
  command.insert(command.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  argv.reserve(command.size() + 1);
  for (std::string& word : command) argv.push_back(word.data());
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
  if (limits.temporaryDirectory && ::setenv("TMPDIR", limits.temporaryDirectory->c_str(), 1) != 0) _exit(125);
  limit(RLIMIT_NOFILE, limits.openFiles);
  limit(RLIMIT_AS, limits.addressSpace);
  limit(RLIMIT_FSIZE, limits.fileSize);
  limit(RLIMIT_NPROC, limits.processes);
  // As nobody, the program is run from a descriptor opened before: nobody
  // may not reach the build directory (a clone in root's home).
  int program = -1;
  if (limits.processes && ::geteuid() == 0) {
    constexpr uid_t kNobody = 65534;
    program = ::open(argv[0], O_RDONLY | O_CLOEXEC);
    if (program < 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) _exit(124);
  }
  for (int i = 0; i < limits.inheritedDescriptors; ++i) {
    if (::dup(STDIN_FILENO) < 0) _exit(123);  // without close-on-exec: tovlak holds them
  }
  if (program >= 0) {
    ::fexecve(program, argv.data(), environ);
  } else {
    ::execvp(argv[0], argv.data());
  }
  _exit(122);
}

Started::~Started() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

Outcome Started::wait() {
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  Outcome outcome;
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  outcome.out = readFile(outName_);
  outcome.err = readFile(errName_);
  return outcome;
}

Outcome runTovlak(const std::string& directory, const std::vector<std::string>& arguments,
                  const Limits& limits) {
  return Started(directory, arguments, limits).wait();
}

std::map<std::string, std::string> filesIn(const std::string& directory, const std::string& ignored) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && name != ignored) files[name] = readFile(entry.path().string());
  }
  return files;
}

std::string shellOutput(const std::string& command, bool* ok) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char block[65536];
  for (std::size_t got; (got = std::fread(block, 1, sizeof block, pipe)) > 0;) out.append(block, got);
  const int status = ::pclose(pipe);
  if (ok != nullptr) *ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return out;
}

const char* whyNoAddressSpaceLimit() {
#if defined(TOVLAK_SANITIZE)
  return "AddressSanitizer reserves more address space than the limit these runs set";
#endif
  if (!programUnderTest().emulator.empty()) {
    return "an address-space limit binds the emulator, which reserves the guest's memory, not tovlak";
  }
  return nullptr;
}

const char* whyNoProcessLimit() {
#if defined(TOVLAK_SANITIZE)
  return "LeakSanitizer starts a task of its own at exit, which the limit refuses";
#endif
  if (!programUnderTest().emulator.empty()) return "the emulator starts threads of its own";
  return nullptr;
}

PseudoTerminal::PseudoTerminal() : master_(::posix_openpt(O_RDWR | O_NOCTTY)) {
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) std::abort();
  const char* name = ::ptsname(master_);
  if (!name) std::abort();
  otherSide_ = name;
  // Held open here too, so that reads see no hang-up between tovlak's writes.
  holder_ = ::open(name, O_RDWR | O_NOCTTY);
}

PseudoTerminal::~PseudoTerminal() {
  ::close(holder_);
  ::close(master_);
}

std::string PseudoTerminal::drain(int milliseconds) {
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

std::string compressedBy(const Codec& codec, const std::string& plain, const TemporaryDirectory& directory) {
  writeFile(directory / "plain", plain);
  return shellOutput(codec.compress + " " + (directory / "plain"));
}

std::string unpacked(const Codec& codec, const std::string& file) {
  bool ok = false;
  std::string bytes = shellOutput(codec.decompress + " " + file, &ok);
  EXPECT_TRUE(ok) << file << " is no valid " << codec.suffix << " file";
  return bytes;
}
