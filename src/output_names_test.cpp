#include "output_names.h"

#include <gtest/gtest.h>

namespace {

TEST(OutputNames, PutsTheIndexBeforeTheFirstDot) {
  const struct {
    const char* log;
    int index;
    const char* expected;
  } cases[] = {
      {"run.log", 0, "run0.log"},
      {"run.log", 12, "run12.log"},
      {"a.b.c", 0, "a0.b.c"},
      {"logs/run.log", 0, "logs/run0.log"},
      {"my.dir/run", 0, "my0.dir/run"},
      {"log", 0, "0log"},
      {".log", 0, "0.log"},
      {"./run.log", 0, "0./run.log"},
      {"run.", 3, "run3."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OutputNames(c.log, NameRules::posix).nameOf(c.index), c.expected) << c.log;
  }
}

// Under Windows rules a name's root is never changed: no output of a log on
// a share goes to another host, or of a device path to another device.
TEST(OutputNames, LeavesAWindowsRootAsItIs) {
  const struct {
    const char* log;
    const char* expected;  // output 1
  } cases[] = {
      {R"(\\10.0.0.5\logs\run.log)", R"(\\10.0.0.5\logs\run1.log)"},
      {"//fs.corp.local/my.share/run.log", "//fs.corp.local/my.share/run1.log"},
      {R"(\\?\UNC\fs.corp\a.b\run.log)", R"(\\?\UNC\fs.corp\a.b\run1.log)"},
      {R"(\\.\Z:\run.log)", R"(\\.\Z:\run1.log)"},
      {R"(\\?\C:\logs\run.log)", R"(\\?\C:\logs\run1.log)"},
      {R"(\\fs.corp\logs\log)", R"(\\fs.corp\logs\1log)"},
      {R"(\\fs.corp\logs)", R"(\\fs.corp\logs1)"},
      {R"(C:\logs\my.dir\run)", R"(C:\logs\my1.dir\run)"},
      {"C:log", "C:1log"},
      {R"(C:\.log)", R"(C:\1.log)"},
      {"run.log", "run1.log"},
      {"./run.log", "1./run.log"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OutputNames(c.log, NameRules::windows).nameOf(1), c.expected) << c.log;
  }
  EXPECT_EQ(OutputNames("//host.a/s/run.log", NameRules::posix).nameOf(1), "//host1.a/s/run.log");
}

// Where a line too long for memory is kept: beside the outputs.
TEST(OutputNames, TellsTheDirectoryOfAName) {
  const struct {
    const char* name;
    NameRules rules;
    const char* expected;
  } cases[] = {
      {"run0.log", NameRules::posix, ""},
      {"logs/run0.log", NameRules::posix, "logs/"},
      {"/var/log/my0.dir/run", NameRules::posix, "/var/log/my0.dir/"},
      {R"(a\b0.log)", NameRules::posix, ""},
      {R"(logs\run0.log)", NameRules::windows, R"(logs\)"},
      {"C:0log", NameRules::windows, "C:"},
      {R"(C:\run0.log)", NameRules::windows, R"(C:\)"},
      {R"(\\fs.corp\logs\run0.log)", NameRules::windows, R"(\\fs.corp\logs\)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(directoryOf(c.name, c.rules), c.expected) << c.name;
  }
}

TEST(OutputNames, TellsWindowsDeviceNames) {
  const struct {
    const char* name;
    bool device;
  } cases[] = {
      {"com1.log", true},    {"COM9", true},       {"lpt3.x.y", true},     {"logs/Con.txt", true},
      {"a\\nul", true},      {"AUX .log", true},   {"prn. .log", true},    {"com\xc2\xb9.log", true},
      {"LPT\xc2\xb3", true}, {"nul:stream", true}, {"com0.log", false},    {"com10.log", false},
      {"con1.log", false},   {"conx", false},      {"nul/run.log", false}, {"lpt\xc2\xb4", false},
      {"com", false},        {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(isWindowsDeviceName(c.name), c.device) << c.name;
}

}  // namespace
