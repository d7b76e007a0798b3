#pragma once

// Logs the end-to-end tests split, with what their outputs must hold.

#include <string>
#include <vector>

inline const std::string kSample = "start\nt=5 (10,20,30,2) end\n(0,1,2,0)\n# note\n(7,8,9,1)\n";

// A log of 20000 lines spread over 300 outputs, with what each must hold.
inline std::string spreadLog(std::vector<std::string>& expected) {
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

// A log of lines for `count` outputs and broadcast lines, deterministic.
inline std::string mixedLog(int lines, int count) {
  std::string log;
  for (int i = 0; i < lines; ++i) {
    log += i % 50 == 0 ? "# header " + std::to_string(i) + "\n"
                       : "t=" + std::to_string(i * 7919 % 10007) + " (" + std::to_string(i % count) + "," +
                             std::to_string(i) + ",3," + std::to_string((i * 13) % count) + ") e\n";
  }
  return log;
}
