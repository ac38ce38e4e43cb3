#pragma once
// A game executable for the tests: the hand-made PE image of the PE tests with a version resource whose
// "FileVersion" is the given text, as the patch run reads a game's version.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pe/handMadeImage.h"
#include "pe/versionInfo.h"

inline std::string GameExecutable(const std::string& version) {
  std::vector<std::uint8_t> executable;
  std::string error;
  EXPECT_TRUE(pe::WithFileVersion(petest::View(petest::HandMadeImage(petest::StartingTree())), version, &executable,
                                  &error))
      << error;
  return std::string(executable.begin(), executable.end());
}
