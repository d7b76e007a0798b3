// End-to-end tests of compressed logs: the built tovlak run on logs that the
// gzip, zstd, xz, bzip2 and lz4 tools made, its outputs read back with those
// tools; each format where the program reads it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "sample_logs.h"
#include "temporary_files.h"
#include "tovlak_process.h"

using namespace std::string_literals;

namespace {

// The formats the program under test reads.
std::vector<Codec> codecsOfProgram() {
  std::vector<Codec> codecs;
  std::copy_if(std::begin(kCodecs), std::end(kCodecs), std::back_inserter(codecs), programReads);
  return codecs;
}

// Skips each test where the program reads no compressed format at all.
class TovlakCompressed : public testing::Test {
 protected:
  void SetUp() override {
    if (codecsOfProgram().empty()) GTEST_SKIP() << "no codecs built";
  }
};

// Output `index` of a run on the log `stem`.log in `directory`, decompressed
// by the codec's own tool (a test failure when it is no valid file).
std::string output(const Codec& codec, const TemporaryDirectory& directory, const std::string& stem,
                   int index) {
  return unpacked(codec, directory / (stem + std::to_string(index) + ".log" + codec.suffix));
}

TEST_F(TovlakCompressed, SplitsCompressedLogsIntoOutputsOfTheirFormat) {
  const std::vector<std::vector<std::string>> optionSets = {
      {"-d1"}, {"-d3"}, {"-d16"}, {"-d16", "-f"}, {"-d40"}};
  for (const Codec& codec : codecsOfProgram()) {
    for (const auto& options : optionSets) {
      const int count = std::stoi(options[0].substr(2));
      const std::string log = mixedLog(3000, std::min(count, 16));  // -d40: outputs that get nothing
      for (bool severalMembers : {false, true}) {
        TemporaryDirectory directory;
        std::string packed = compressedBy(codec, log, directory);
        if (severalMembers) {
          // Two members, frames or streams, and for zstd and lz4 a skippable frame in between.
          packed = compressedBy(codec, log.substr(0, 20000), directory);
          if (codec.suffix == ".zst" || codec.suffix == ".lz4") {
            packed += "\x50\x2a\x4d\x18\x03\x00\x00\x00"s + "abc";
          }
          packed += compressedBy(codec, log.substr(20000), directory);
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
          ASSERT_EQ(output(codec, directory, "c", i),
                    readFile(directory / ("run" + std::to_string(i) + ".log")))
              << what << " output " << i;
        }
        // Python's lzma and bz2 modules read the outputs too, an empty one (-d40's last) included.
        const std::string module = codec.suffix == ".xz" ? "lzma" : codec.suffix == ".bz2" ? "bz2" : "";
        if (!module.empty() && count == 40) {
          for (int i : {0, 39}) {
            const std::string name = directory / ("c" + std::to_string(i) + ".log" + codec.suffix);
            std::string command = "python3 -c 'import sys, ";
            command.append(module).append("; sys.stdout.buffer.write(").append(module);
            command.append(".open(sys.argv[1]).read())' ").append(name);
            EXPECT_EQ(shellOutput(command), readFile(directory / ("run" + std::to_string(i) + ".log")))
                << what << " output " << i << " read by Python";
          }
        }
      }
    }
  }
}

TEST_F(TovlakCompressed, WritesMoreCompressedOutputsThanItMayKeepOpen) {
  if (programUnderTest().windows) GTEST_SKIP() << "the open-file limit is POSIX";
  std::vector<std::string> expected;
  const std::string log = spreadLog(expected);
  for (const Codec& codec : codecsOfProgram()) {
    TemporaryDirectory directory;
    writeFile(directory / ("big.log" + codec.suffix), compressedBy(codec, log, directory));
    const Outcome outcome =
        runTovlak(directory.path().string(), {"-d300", "-lbig.log" + codec.suffix}, {.openFiles = 64});
    EXPECT_EQ(outcome.status, 0) << codec.suffix;
    EXPECT_EQ(outcome.err, "") << codec.suffix;
    for (int i = 0; i < 300; i += 13) {  // some outputs: a tool run for each takes its time
      ASSERT_EQ(output(codec, directory, "big", i), expected[static_cast<std::size_t>(i)]) << i;
    }
  }
}

// A line longer than the reader holds is kept in a temporary file beside the
// outputs, which is gone afterwards, and comes out whole, in an address
// space of what the codecs' threads reserve and the reader's bound. The log
// is compressed in members of 1 MiB, each made once.
TEST_F(TovlakCompressed, SplitsACompressedLineLongerThanMemory) {
  if (const char* why = whyNoAddressSpaceLimit()) GTEST_SKIP() << why;
  constexpr int kMebibytes = 72;  // past the 64 MiB the reader holds
  const std::string log = "before\n" + std::string(std::size_t{kMebibytes} << 20, 'x');
  for (const Codec& codec : codecsOfProgram()) {
    TemporaryDirectory directory;
    std::string compressed = compressedBy(codec, "before\n", directory);
    const std::string member = compressedBy(codec, std::string(std::size_t{1} << 20, 'x'), directory);
    for (int i = 0; i < kMebibytes; ++i) compressed += member;
    writeFile(directory / ("run.log" + codec.suffix), compressed);
    const Outcome outcome = runTovlak(directory.path().string(), {"-d2", "-lrun.log" + codec.suffix},
                                      {.addressSpace = rlim_t{320} << 20});
    EXPECT_EQ(outcome.status, 0) << codec.suffix;
    EXPECT_EQ(outcome.err, "") << codec.suffix;
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(output(codec, directory, "run", i) == log) << codec.suffix;
    // The log, the plain log it was compressed from, the two outputs.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory.path()), {}), 4) << codec.suffix;
  }
}

// The failures of plain logs, from compressed ones: an index outside the
// outputs (the lines before it written, every output a valid file) and a
// full disk.
TEST_F(TovlakCompressed, StopsCompressedRunsAsPlainOnes) {
  for (const Codec& codec : codecsOfProgram()) {
    TemporaryDirectory directory;
    const std::string name = "c.log" + codec.suffix;
    writeFile(directory / name, compressedBy(codec, "a\n(1,2,3,1)\n(1,2,3,  2)\nb\n", directory));
    Outcome outcome = runTovlak(directory.path().string(), {"-d2", "-l" + name});
    EXPECT_EQ(outcome.status, 255) << codec.suffix;
    EXPECT_EQ(outcome.err, "error using tovlak: index 2 on line 3 is outside 0 to 1\n") << codec.suffix;
    const std::string expected[] = {"a\n", "a\n(1,2,3)\n"};
    for (int i = 0; i < 2; ++i) EXPECT_EQ(output(codec, directory, "c", i), expected[i]) << codec.suffix;
    if (!std::filesystem::exists("/dev/full")) continue;
    std::filesystem::remove(directory / ("c1.log" + codec.suffix));
    std::filesystem::create_symlink("/dev/full", directory / ("c1.log" + codec.suffix));
    outcome = runTovlak(directory.path().string(), {"-d3", "-l" + name});
    EXPECT_EQ(outcome.status, 255) << codec.suffix;
    EXPECT_EQ(outcome.err, "unable to write c1.log" + codec.suffix + "\n") << codec.suffix;
  }
}

// Whatever stops a compressed run, and on whichever thread, every other
// output ends as a valid file of its format holding, decompressed, a prefix
// of what the whole run gives it and at least every line given to it before
// the failure: the lines before output 0 filled its first buffer (256 KiB at
// -d6), which is when its first piece can fail. Each run several times,
// since which pieces are in flight when the failure comes varies. A thread
// that cannot be started stops nothing: the run compresses on its own
// thread. Too little memory stops the run wherever it runs out, and every
// output holds a prefix of its whole.
TEST_F(TovlakCompressed, KeepsEveryOtherOutputWholeWhateverFails) {
  if (programUnderTest().windows) GTEST_SKIP() << "/dev/full, FIFOs and process limits are POSIX";
  constexpr int kCount = 6;
  std::string log;
  std::vector<std::string> whole(kCount);
  std::vector<std::size_t>
      least;  // the size of each output's lines before the line that fills output 0's buffer
  for (int i = 0; i < 120000; ++i) {
    const int index = i * 5 % kCount;
    const std::string header = i % 97 == 0 ? "# header " + std::to_string(i) + "\n" : "";
    // A number that compresses poorly, so that a piece fills a pipe's buffer.
    const std::string noise = std::to_string(std::uint32_t(i) * 2654435761u);
    const std::string reduced = header.empty() ? noise + " (" + std::to_string(i) + ",2,3) e\n" : header;
    log += header.empty() ? noise + " (" + std::to_string(i) + ",2,3," + std::to_string(index) + ") e\n"
                          : header;
    if (least.empty() && (!header.empty() || index == 0) && whole[0].size() + reduced.size() > (256u << 10)) {
      for (const std::string& w : whole) least.push_back(w.size());
    }
    for (int k = 0; k < kCount; ++k) {
      if (!header.empty() || k == index) whole[static_cast<std::size_t>(k)] += reduced;
    }
  }
  ASSERT_EQ(least.size(), std::size_t{kCount});
  std::vector<std::size_t> wholeSizes(kCount);
  std::transform(whole.begin(), whole.end(), wholeSizes.begin(),
                 [](const std::string& w) { return w.size(); });
  enum Fault { full, pipe, noThread, memory };
  const struct {
    Fault fault;
    const char* what;
    int runs;
  } faults[] = {{full, "/dev/full", 4},
                {pipe, "a FIFO whose reader leaves", 4},
                {noThread, "no thread", 1},
                {memory, "memory", 12}};
  int outOfMemory = 0;  // runs stopped for memory after the outputs were created
  for (const Codec& codec : codecsOfProgram()) {
    const std::string packed = compressedBy(codec, log, TemporaryDirectory());
    for (const auto& f : faults) {
      if ((f.fault == full && !std::filesystem::exists("/dev/full")) ||
          (f.fault == noThread && whyNoProcessLimit() != nullptr) ||
          (f.fault == memory && whyNoAddressSpaceLimit() != nullptr)) {
        continue;
      }
      for (int run = 0; run < f.runs; ++run) {
        const std::string what = codec.suffix + " " + f.what + " " + std::to_string(run);
        TemporaryDirectory directory;
        const std::string name = "c.log" + codec.suffix, first = directory / ("c0.log" + codec.suffix);
        writeFile(directory / name, packed);
        Outcome outcome;
        if (f.fault == full) {
          std::filesystem::create_symlink("/dev/full", first);
          outcome = runTovlak(directory.path().string(), {"-d6", "-l" + name});
        } else if (f.fault == noThread) {
          std::filesystem::permissions(directory.path(), std::filesystem::perms::all);
          outcome = runTovlak(directory.path().string(), {"-d6", "-l" + name}, {.processes = 1});
        } else if (f.fault == memory) {
          // Limits from too little to start to enough to finish: each run
          // ends whole, or stops for memory wherever it runs out.
          outcome = runTovlak(directory.path().string(), {"-d6", "-l" + name},
                              {.addressSpace = rlim_t(24 + 2 * run) << 20});
        } else {
          // Read by nobody: opened so that tovlak can open it, closed once
          // tovlak has written to it.
          ASSERT_EQ(::mkfifo(first.c_str(), 0600), 0);
          const int reader = ::open(first.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
          ASSERT_GE(reader, 0);
          Started running(directory.path().string(), {"-d6", "-l" + name});
          int waiting = 0;
          for (int ms = 0; ms < 20000 && waiting == 0; ms += 5) {
            ::usleep(5000);
            ASSERT_EQ(::ioctl(reader, FIONREAD, &waiting), 0);
          }
          ::close(reader);
          outcome = running.wait();
        }
        const bool fails = f.fault == full || f.fault == pipe;
        if (f.fault == memory && outcome.status != 0) {
          EXPECT_EQ(outcome.err, "error using tovlak: out of memory\n") << what;
          if (!std::filesystem::exists(first)) continue;  // stopped before any output was created
          ++outOfMemory;
        } else {
          EXPECT_EQ(outcome.status, fails ? 255 : 0) << what;
          EXPECT_EQ(outcome.err, fails ? "unable to write c0.log" + codec.suffix + "\n" : "") << what;
        }
        // Under too little memory, any output may be the one whose piece
        // could not be held: each holds a prefix of its whole.
        const std::vector<std::size_t> none(kCount, 0);
        const std::vector<std::size_t>& atLeast = fails ? least : outcome.status != 0 ? none : wholeSizes;
        for (int k = fails ? 1 : 0; k < kCount; ++k) {
          const std::string got = output(codec, directory, "c", k);
          const auto at = static_cast<std::size_t>(k);
          EXPECT_GE(got.size(), atLeast[at]) << what << " output " << k;
          EXPECT_TRUE(whole[at].starts_with(got))
              << what << " output " << k << ": " << got.size() << " bytes";
        }
      }
    }
  }
  if (whyNoAddressSpaceLimit() == nullptr) {
    EXPECT_GT(outOfMemory, 0) << "no limit stopped a run after its outputs were created";
  }
}

// A failure ends a run at once, even while the log's thread waits on a pipe
// whose writer has stopped writing without closing it: the outputs are
// completed and the message written without waiting for that read.
TEST_F(TovlakCompressed, StopsAtOnceWhileAPipedLogWaits) {
  if (programUnderTest().windows) GTEST_SKIP() << "a FIFO is POSIX";
  // The writer's pipe is left by a run that stops: a failed write, not a signal.
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  for (const Codec& codec : codecsOfProgram()) {
    TemporaryDirectory directory;
    // Enough lines that half the log holds a whole block where the format
    // decodes a block at a time (bzip2's 900 kB, lz4's 4 MiB).
    const int lines = codec.suffix == ".bz2" ? 300000 : codec.suffix == ".lz4" ? 2000000 : 60000;
    std::string log = "a\n(1,2,3,5)\n";
    for (int i = 0; i < lines; ++i) log += std::to_string(i * 2654435761u) + "\n";
    const std::string packed = compressedBy(codec, log, directory);
    const std::string fifo = directory / ("c.log" + codec.suffix);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto started = std::chrono::steady_clock::now();
    Started run(directory.path().string(), {"-d2", "-lc.log" + codec.suffix});
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    // Half the log, then the pipe is held open, unwritten, until the run ends
    // (or for 20 s, if it waits for the writer).
    std::thread feeding([&] {
      const std::string half = packed.substr(0, packed.size() / 2);
      for (std::size_t at = 0; at < half.size();) {
        const ssize_t wrote = ::write(writer, half.data() + at, half.size() - at);
        if (wrote <= 0) break;
        at += static_cast<std::size_t>(wrote);
      }
    });
    std::thread waiting([&] {
      siginfo_t ended{};
      for (int ms = 0; ms < 20000; ms += 10) {
        if (::waitid(P_PID, static_cast<id_t>(run.pid()), &ended, WEXITED | WNOHANG | WNOWAIT) != 0 ||
            ended.si_pid != 0) {
          break;
        }
        ::usleep(10000);
      }
    });
    feeding.join();
    waiting.join();
    ::close(writer);
    const Outcome outcome = run.wait();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(outcome.err, "error using tovlak: index 5 on line 2 is outside 0 to 1\n") << codec.suffix;
    EXPECT_LT(seconds, 10) << codec.suffix;
    for (int i = 0; i < 2; ++i) EXPECT_EQ(output(codec, directory, "c", i), "a\n") << codec.suffix;
  }
  static_cast<void>(std::signal(SIGPIPE, previous));
}

// A zstd frame of one raw block holding `plain`, whose header declares a
// window of 2^`windowLog` bytes and no content size, as zstd --long makes
// when it reads a pipe.
std::string zstdFrameWithWindow(int windowLog, const std::string& plain) {
  const std::uint32_t block = 1 | static_cast<std::uint32_t>(plain.size()) << 3;  // last, raw
  return "\x28\xb5\x2f\xfd\x00"s + static_cast<char>((windowLog - 10) << 3) +
         static_cast<char>(block & 0xff) + static_cast<char>(block >> 8 & 0xff) +
         static_cast<char>(block >> 16) + plain;
}

// Windows up to 1 GiB are read; a larger one is refused as such, not as
// damage, before any output is created when the first frame declares it.
TEST_F(TovlakCompressed, ReadsWindowsUpToOneGibibyte) {
  if (!programReads(kCodecs[1]) || programUnderTest().addressBits < 64) {
    GTEST_SKIP() << "zstd on a 64-bit system";
  }
  const std::string lines = "a\n(1,2,3,1)\n", tooLarge =
                                                  "error using tovlak: c.log.zst needs a window of 2048 "
                                                  "MiB to decompress, more than the 1024 MiB tovlak reads\n";
  const struct {
    std::string log, err;
    bool created;
  } cases[] = {
      {zstdFrameWithWindow(30, lines), "", true},
      {zstdFrameWithWindow(31, lines), tooLarge, false},
      {zstdFrameWithWindow(20, lines) + zstdFrameWithWindow(31, lines), tooLarge, true},
  };
  for (const auto& c : cases) {
    TemporaryDirectory directory;
    writeFile(directory / "c.log.zst", c.log);
    const Outcome outcome = runTovlak(directory.path().string(), {"-d2", "-lc.log.zst"});
    EXPECT_EQ(outcome.status, c.err.empty() ? 0 : 255) << c.log.size();
    EXPECT_EQ(outcome.err, c.err) << c.log.size();
    EXPECT_EQ(std::filesystem::exists(directory / "c1.log.zst"), c.created) << c.log.size();
    if (c.created) {
      EXPECT_EQ(output(kCodecs[1], directory, "c", 1), "a\n(1,2,3)\n") << c.log.size();
    }
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

// An xz stream of `plain` whose block header declares a dictionary of
// 2^`log2` bytes (a power of two, 1 GiB for 30) or of 1.5 times that (`half`).
std::string xzWithDictionary(const std::string& plain, int log2, bool half,
                             const TemporaryDirectory& directory) {
  std::string packed = compressedBy(kCodecs[2], plain, directory);
  // xz -c writes one block, its header at 12: size, flags, the LZMA2 filter's
  // id, its property's size and the property (the dictionary), padding, CRC32.
  packed[16] = static_cast<char>(2 * (log2 - 12) + (half ? 1 : 0));
  const std::uint32_t crc = crc32(std::string_view(packed).substr(12, 8));
  for (std::size_t i = 0; i < 4; ++i) {
    packed[20 + i] = static_cast<char>(crc >> (8 * i) & 0xff);
  }
  return packed;
}

// A dictionary of up to 1 GiB is read; a larger one is refused as
// unreadable, before any output is created.
TEST_F(TovlakCompressed, ReadsXzDictionariesUpToOneGibibyte) {
  if (!programReads(kCodecs[2]) || programUnderTest().addressBits < 64) {
    GTEST_SKIP() << "xz on a 64-bit system";
  }
  const struct {
    int log2;
    bool half;
    bool read;
  } cases[] = {{23, false, true}, {30, false, true}, {30, true, false}};
  for (const auto& c : cases) {
    TemporaryDirectory directory;
    writeFile(directory / "c.log.xz", xzWithDictionary("a\n(1,2,3,1)\n", c.log2, c.half, directory));
    const Outcome outcome = runTovlak(directory.path().string(), {"-d2", "-lc.log.xz"});
    EXPECT_EQ(outcome.status, c.read ? 0 : 255) << c.log2 << c.half;
    EXPECT_EQ(outcome.err, c.read ? "" : "unable to read c.log.xz\n") << c.log2 << c.half;
    EXPECT_EQ(std::filesystem::exists(directory / "c1.log.xz"), c.read) << c.log2 << c.half;
    if (c.read) {
      EXPECT_EQ(output(kCodecs[2], directory, "c", 1), "a\n(1,2,3)\n") << c.log2;
    }
  }
}

// Each damaged log: its status and message, and every output a valid file
// of its format holding, bounded from both sides, at least what a plain run
// gives on the lines that the format's tool (gzip -dc, …) recovers from the damaged log
// (cut after its last newline) and, where the damage leaves the data before
// it intact, no more than a prefix of what the whole plain log gives.
TEST_F(TovlakCompressed, ReportsDamagedCompressedLogsAndClosesEveryOutput) {
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
  // An xz stream's index, found from the size its footer gives: cut in it,
  // or the block's CRC64 check just before it changed.
  const auto xzIndexSize = [](const std::string& b) {
    std::uint32_t backward = 0;
    for (std::size_t i = 4; i-- > 0;) {
      backward = backward << 8 | static_cast<unsigned char>(b[b.size() - 8 + i]);
    }
    return (std::size_t{backward} + 1) * 4;
  };
  const auto xzCutInIndex = [xzIndexSize](std::string& b) { b.resize(b.size() - 12 - xzIndexSize(b) / 2); };
  const auto xzWrongCheck = [xzIndexSize](std::string& b) { b[b.size() - 12 - xzIndexSize(b) - 1] ^= 0x10; };
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
      {"xz cut in the header", 2, keep(8), true, true},
      {"xz cut in the block", 2, [](std::string& b) { b.resize(b.size() / 2); }, true, true},
      {"xz cut in the index", 2, xzCutInIndex, true, true},
      {"xz cut in the footer", 2, [](std::string& b) { b.resize(b.size() - 3); }, true, true},
      {"xz with a wrong check", 2, xzWrongCheck, true, true},
      {"xz with a data byte changed", 2, [](std::string& b) { b[b.size() / 2] ^= 0x01; }, true, false},
      {"xz with garbage after it", 2, garbage, true, true},
      {"xz with stream padding after it", 2, [](std::string& b) { b.append(8, '\0'); }, false, true},
      {"xz, then a stream cut in its block", 2, thenCut(40), true, true},
      {"short xz with a wrong check", 2, xzWrongCheck, true, true, true},
      {"bzip2 cut in the block header", 3, keep(12), true, true},
      {"bzip2 cut in the block", 3, [](std::string& b) { b.resize(b.size() / 2); }, true, true},
      {"bzip2 cut in the trailer", 3, [](std::string& b) { b.resize(b.size() - 3); }, true, true},
      {"bzip2 with a wrong block CRC", 3, [](std::string& b) { b[12] ^= 0x10; }, true, true},
      {"bzip2 with a wrong stream CRC", 3, flip(2), true, true},
      {"bzip2 with a data byte changed", 3, [](std::string& b) { b[b.size() / 2] ^= 0x01; }, true, false},
      {"bzip2 with garbage after it", 3, garbage, true, true},
      {"bzip2, then a stream cut in its block", 3, thenCut(40), true, true},
      {"short bzip2 with garbage after it", 3, garbage, true, true, true},
      {"lz4 cut in the header", 4, keep(5), true, true},
      {"lz4 cut in the block", 4, [](std::string& b) { b.resize(b.size() / 2); }, true, true},
      {"lz4 cut in the checksum", 4, [](std::string& b) { b.resize(b.size() - 2); }, true, true},
      {"lz4 with a wrong checksum", 4, flip(1), true, true},
      {"lz4 with a data byte changed", 4, [](std::string& b) { b[b.size() / 2] ^= 0x01; }, true, false},
      {"lz4 with garbage after it", 4, garbage, true, true},
      {"lz4 with zeros after it", 4, [](std::string& b) { b.append(4, '\0'); }, true, true},
      {"lz4 after a skippable frame", 4, [](std::string& b) { b.insert(0, "\x5f\x2a\x4d\x18\x02\0\0\0xy"s); },
       false, true},
      {"lz4 with a skippable frame after it", 4, [](std::string& b) { b += "\x5a\x2a\x4d\x18\x01\0\0\0x"s; },
       false, true},
      {"lz4, then a frame cut in its block", 4, thenCut(40), true, true},
      {"short lz4 with a wrong checksum", 4, flip(1), true, true, true},
  };
  for (const auto& c : cases) {
    const Codec& codec = kCodecs[c.codec];
    if (!programReads(codec)) continue;
    const std::string& log = c.small ? kSample : large;
    TemporaryDirectory directory;
    std::string packed = compressedBy(codec, log, directory);
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
      const std::string unpacked = output(codec, directory, "c", i);
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

}  // namespace
