// What the benchmarks of the monitor window share: an offscreen Qt environment and waiting on
// Qt's loop.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

namespace ringwatch::bench {

inline void Require(bool condition, const std::string& what) {
  if (!condition) throw std::runtime_error(what);
}

// Runs the Qt loop until the condition holds; the limit only guards against a hang.
void WaitUntil(const std::function<bool()>& condition, const std::string& what);

}  // namespace ringwatch::bench
