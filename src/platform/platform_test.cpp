#include "platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "descriptor.h"
#include "file_attributes.h"
#include "temporary_files.h"

using namespace std::string_literals;

namespace {

// A name the system's own library makes from UTF-8, which the platform's
// files are held to: std::filesystem takes a u8string as UTF-8 on every
// system, where a plain string is the ANSI code page on Windows.
std::filesystem::path pathOf(const std::string& utf8) { return {std::u8string(utf8.begin(), utf8.end())}; }

std::string utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

// Everything the file `name` gives through the platform's reads.
std::string readThroughPlatform(const std::string& name) {
  Descriptor file(platform::openFile(name, platform::OpenMode::read));
  EXPECT_TRUE(file.isOpen()) << name;
  std::string bytes;
  char block[7];  // small, so that a read stopping early shows
  while (file.isOpen()) {
    const std::optional<std::size_t> got = platform::readSome(file.get(), block, sizeof block);
    if (!got || *got == 0) break;
    bytes.append(block, *got);
  }
  return bytes;
}

// Bytes go to and from files as they are: no newline becomes CR LF, and a
// Ctrl-Z (the end of a text file on Windows), CR or NUL is an ordinary byte.
// Names in any script, and full paths past 260 characters, are opened.
TEST(Platform, FilesHoldTheirBytesUnderAnyName) {
  TemporaryDirectory directory;
  const std::string deep = std::string(100, 'd') + "/" + std::string(100, 'e') + "/" + std::string(100, 'f');
  const struct {
    std::string directory, name, bytes;
  } cases[] = {
      {"", "plain.log", "a\nb\r\nc\r\x1a\x1a\nd\0\n\x1a"s},
      {"", "журнал.log", "\x1a"},
      {"données", "données/run.log", "\r\n\r\n"},
      {"日志", "日志/运行 1.log", "x\n"},
      {deep, deep + "/long.log", "\n\x1a\n"},
  };
  for (const auto& c : cases) {
    std::filesystem::create_directories(directory.path() / pathOf(c.directory));
    const std::string name = utf8Of(directory.path() / pathOf(c.name));
    Descriptor created(platform::openFile(name, platform::OpenMode::createEmpty));
    ASSERT_TRUE(created.isOpen()) << c.name;
    EXPECT_TRUE(platform::writeAll(created.get(), c.bytes.data(), c.bytes.size())) << c.name;
    EXPECT_TRUE(created.close()) << c.name;
    Descriptor appended(platform::openFile(name, platform::OpenMode::append));
    EXPECT_TRUE(platform::writeAll(appended.get(), c.bytes.data(), c.bytes.size())) << c.name;
    EXPECT_TRUE(appended.close()) << c.name;

    std::ifstream in(pathOf(name), std::ios::binary);
    const std::string onDisk{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(onDisk, c.bytes + c.bytes) << c.name;
    EXPECT_EQ(readThroughPlatform(name), c.bytes + c.bytes) << c.name;
    Descriptor file(platform::openFile(name, platform::OpenMode::read));
    EXPECT_EQ(platform::regularFileSize(file.get()), 2 * c.bytes.size()) << c.name;
    EXPECT_FALSE(platform::isDirectory(file.get())) << c.name;
  }
}

// A file is itself by whichever name it is reached, a hard link's included,
// and no other file is.
// An existing output is emptied and written whatever marks it carries (on
// Windows, hidden and system, which a file created anew may not replace).
// That a read-only one is refused is not tried: the tests may run as root,
// who writes it on POSIX and under Wine.
TEST(Platform, EmptiesAnExistingHiddenFile) {
  TemporaryDirectory directory;
  const std::string name = directory / "out.log";
  writeFile(name, "old contents");
  ASSERT_TRUE(hideFile(name));
  Descriptor file(platform::openFile(name, platform::OpenMode::createEmpty));
  ASSERT_TRUE(file.isOpen());
  EXPECT_TRUE(platform::writeAll(file.get(), "new", 3) && file.close());
  EXPECT_EQ(readThroughPlatform(name), "new");
}

// Both ways a system may have of telling it (on Windows the 128-bit file id
// and the 64-bit index it falls back to).
TEST(Platform, FilesAreKnownByTheirIdentity) {
  for (const bool indexOnly : {false, true}) {
    TemporaryDirectory directory;
    const std::string log = directory / "run.log";
    writeFile(log, "x\n");
    writeFile(directory / "other.log", "x\n");
    std::filesystem::create_directory(directory / "sub");
    std::filesystem::create_hard_link(log, directory / "link.log");
    Descriptor open(platform::openFile(log, platform::OpenMode::read));
    const std::optional<platform::FileIdentity> identity = platform::identityOf(open.get(), indexOnly);
    ASSERT_TRUE(identity.has_value());
    const struct {
      std::string name;
      bool same;
    } cases[] = {
        {log, true},
        {directory / "link.log", true},
        {directory / "sub/../run.log", true},
        {directory / "other.log", false},
        {directory / "sub", false},
    };
    for (const auto& c : cases) {
      EXPECT_EQ(platform::identityOf(c.name, indexOnly) == identity, c.same) << c.name << " " << indexOnly;
    }
    EXPECT_FALSE(platform::identityOf(directory / "missing.log", indexOnly).has_value());
  }
}

}  // namespace
