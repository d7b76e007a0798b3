// Writes a deterministic log of four-dimensional points for the benchmark:
//   generate_log MEBIBYTES INDEX_COUNT PLAIN_PER_MILLION SEED > LOG
// Lines look like 'step=797926 t=0.449491 pos (-3967,-821,-3069,7) v=6.5159e-01 e=7.8872e-01';
// about PLAIN_PER_MILLION lines in a million carry no group (comments, headers).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// A small generator of our own, so the log is the same on every machine.
struct SplitMix {
  std::uint64_t state;
  std::uint64_t next() {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  long below(long n) { return static_cast<long>(next() % static_cast<std::uint64_t>(n)); }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    static_cast<void>(
        std::fputs("usage: generate_log MEBIBYTES INDEX_COUNT PLAIN_PER_MILLION SEED\n", stderr));
    return 2;
  }
  const std::uint64_t bytes = std::strtoull(argv[1], nullptr, 10) << 20;
  const long indexCount = std::strtol(argv[2], nullptr, 10);
  const long plainPerMillion = std::strtol(argv[3], nullptr, 10);
  SplitMix random{std::strtoull(argv[4], nullptr, 10)};
  std::string block;
  std::uint64_t written = 0;
  char line[256];
  for (long step = 0; written < bytes; ++step) {
    int length;
    if (random.below(1000000) < plainPerMillion) {
      length = step % 2 ? std::snprintf(line, sizeof line, "# checkpoint at step %ld written\n", step)
                        : std::snprintf(line, sizeof line, "step t pos v e (header repeated at %ld)\n", step);
    } else {
      length = std::snprintf(line, sizeof line,
                             "step=%ld t=0.%06ld pos (%ld,%ld,%ld,%ld) v=%ld.%04lde-01 e=%ld.%04lde-01\n",
                             step, random.below(1000000), random.below(8001) - 4000,
                             random.below(8001) - 4000, random.below(8001) - 4000, random.below(indexCount),
                             random.below(10), random.below(10000), random.below(10), random.below(10000));
    }
    const std::uint64_t take = std::min<std::uint64_t>(static_cast<std::uint64_t>(length), bytes - written);
    block.append(line, take);
    written += take;
    if (block.size() >= (1u << 20) || written == bytes) {
      if (std::fwrite(block.data(), 1, block.size(), stdout) != block.size()) return 1;
      block.clear();
    }
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
