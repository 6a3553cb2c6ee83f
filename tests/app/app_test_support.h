#pragma once

#include <functional>

#include "platform/app_error.h"

namespace delvora::testing {

// The number of the AppError the action throws, 0 when it throws none.
inline int ErrorNumberOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const AppError& e) {
    return e.number();
  }
  return 0;
}

}  // namespace delvora::testing
