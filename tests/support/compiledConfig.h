#pragma once
// A config written as text in a test, compiled to the binary form a patch carries.

#include <gtest/gtest.h>

#include <string>

#include "El/ParamFile/paramFile.h"
#include "El/ParamFile/paramText.h"
#include "El/QStream/qstream.h"

inline std::string CompileConfigText(const std::string& text) {
  ParamFile source;
  QIStrStream in(text.data(), static_cast<int>(text.size()));
  EXPECT_EQ(ParseTextStream(source, in), PTROk) << text;
  QOStrStream out;
  EXPECT_TRUE(source.SaveBin(out));
  return std::string(out.Data(), static_cast<std::size_t>(out.GetTotalSize()));
}
