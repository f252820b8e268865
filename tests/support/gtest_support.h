// What every test program includes instead of gtest alone: GoogleTest, the
// shared test helpers, and a printer that shows UTF-16 text readably.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
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


namespace kvo::test {

// The ANSI code page the side lists are read in here (platform::
// AnsiCodePageInfo). Cases that hold only under one code page skip the
// others; a run meant to cover one names it in KVO_EXPECT_CODE_PAGE, and a
// different one then fails instead of skipping those cases unseen.
std::uint32_t ListCodePage();

}  // namespace kvo::test
