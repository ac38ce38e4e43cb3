#pragma once
// Reproducible pseudo-random test data.

#include <cstddef>
#include <random>
#include <vector>

inline std::vector<char> RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<char> bytes(size);
  for (char& b : bytes) b = static_cast<char>(random());
  return bytes;
}
