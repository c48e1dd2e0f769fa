// EXPECT_RAISES(kind, text, statement...): the statement raises a
// RuntimeError of that kind whose message (the description and the detail,
// as what() gives it) contains text ("" for any message). ASSERT_RAISES ends
// the test on failure instead.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/errors.h"

namespace zindrel::testing {

inline ::testing::AssertionResult Raises(ErrorKind kind, const std::string& text, const std::function<void()>& call) {
  try {
    call();
  } catch (const RuntimeError& e) {
    if (e.kind() != kind)
      return ::testing::AssertionFailure()
             << "raised \"" << e.what() << "\" instead of \"" << ErrorDescription(kind) << "\"";
    if (std::string(e.what()).find(text) == std::string::npos)
      return ::testing::AssertionFailure() << "raised \"" << e.what() << "\", without \"" << text << "\"";
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "raised nothing, expected \"" << ErrorDescription(kind) << "\"";
}

}  // namespace zindrel::testing

#define EXPECT_RAISES(kind, text, ...) EXPECT_TRUE(::zindrel::testing::Raises(kind, text, [&] { __VA_ARGS__; }))
#define ASSERT_RAISES(kind, text, ...) ASSERT_TRUE(::zindrel::testing::Raises(kind, text, [&] { __VA_ARGS__; }))
