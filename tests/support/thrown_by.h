#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace pulsewell {

// The `Error` that `action` throws, for comparing it in one assertion. When it throws nothing,
// the test fails and is ended by an exception.
template <typename Error>
Error thrownBy(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& error) {
    return error;
  }
  ADD_FAILURE() << "nothing of the expected type was thrown";
  throw std::logic_error("no error");
}

}  // namespace pulsewell
