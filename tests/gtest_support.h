// What every test program includes instead of gtest alone: GoogleTest, the
// shared test helpers, and a printer that shows UTF-16 text readably.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "test_support.h"

namespace testing::internal {

// Failures show UTF-16 text (the log, names) as readable UTF-8 in quotes,
// with line breaks and other control characters escaped, instead of gtest's
// \x25A0-style escapes of every unit.
template <>
class UniversalPrinter<std::u16string> {
 public:
  static void Print(const std::u16string& value, std::ostream* os);
};

}  // namespace testing::internal

