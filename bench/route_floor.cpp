// The routing floor: what splitting a log into N files costs when no group
// is parsed. It reads the log in blocks as tovlak does, cuts it into lines,
// copies each line into one of N buffers of tovlak's size (the line's number
// modulo N) and writes each buffer to its file when it is full:
//   route_floor N LOG      writes floor0 … floorN-1 in the current directory.
// tovlak does all of that and parses each line's group besides; the ratio of
// their times is what the parsing and the rewrite cost.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kBlock = std::size_t{256} * 1024;
constexpr std::size_t kBuffer = std::size_t{256} * 1024;

void writeAll(int fd, const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, bytes, size);
    if (written <= 0) std::exit(1);
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
}

struct Output {
  int fd;
  std::vector<char> buffer;
  std::size_t used = 0;
};

void append(Output& output, const char* line, std::size_t length) {
  if (output.used + length > output.buffer.size()) {
    writeAll(output.fd, output.buffer.data(), output.used);
    output.used = 0;
    if (length > output.buffer.size()) {
      writeAll(output.fd, line, length);
      return;
    }
  }
  std::memcpy(output.buffer.data() + output.used, line, length);
  output.used += length;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    static_cast<void>(std::fputs("usage: route_floor N LOG\n", stderr));
    return 2;
  }
  const int count = std::atoi(argv[1]);
  const int log = ::open(argv[2], O_RDONLY);
  if (count <= 0 || log < 0) return 2;
  std::vector<Output> outputs;
  for (int i = 0; i < count; ++i) {
    const std::string name = "floor" + std::to_string(i);
    outputs.push_back({::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666), std::vector<char>(kBuffer)});
    if (outputs.back().fd < 0) return 1;
  }
  std::vector<char> block(2 * kBlock);
  std::size_t pending = 0;
  std::size_t lineNumber = 0;
  for (;;) {
    const ssize_t got = ::read(log, block.data() + pending, block.size() - pending);
    if (got < 0) return 1;
    const std::size_t end = pending + static_cast<std::size_t>(got);
    std::size_t begin = 0;
    for (;;) {
      const void* newline = std::memchr(block.data() + begin, '\n', end - begin);
      if (newline == nullptr) break;
      const std::size_t length = static_cast<const char*>(newline) - (block.data() + begin) + 1;
      append(outputs[lineNumber++ % static_cast<std::size_t>(count)], block.data() + begin, length);
      begin += length;
    }
    pending = end - begin;
    std::memmove(block.data(), block.data() + begin, pending);
    if (got == 0) break;
    if (pending == block.size()) block.resize(2 * block.size());
  }
  if (pending > 0) append(outputs[lineNumber % static_cast<std::size_t>(count)], block.data(), pending);
  for (Output& output : outputs) {
    writeAll(output.fd, output.buffer.data(), output.used);
    if (::close(output.fd) != 0) return 1;
  }
  return 0;
}
