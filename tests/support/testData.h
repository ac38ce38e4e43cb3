#pragma once
// Files under tests/data: CTest passes the folder in ZR_TEST_DATA; run by hand from the source tree, the
// relative default serves.

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline std::string TestDataPath(const std::string& relative) {
  const char* root = std::getenv("ZR_TEST_DATA");
  return std::string(root && *root ? root : "tests/data") + "/" + relative;
}

// The bytes of a test data file; empty when it cannot be read.
inline std::vector<std::uint8_t> ReadTestData(const std::string& relative) {
  std::ifstream in(TestDataPath(relative), std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string ReadTestText(const std::string& relative) {
  const std::vector<std::uint8_t> bytes = ReadTestData(relative);
  return std::string(bytes.begin(), bytes.end());
}
