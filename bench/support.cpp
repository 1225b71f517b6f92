// The helpers every benchmark program shares (bench/benchmarks.h).

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>

#include "bench/benchmarks.h"
#include "platform/message_window.h"

namespace zvtapi::bench {

void PrintFigure(const char* name, double value, const char* unit, int decimals) {
  std::printf("BENCH %s %.*f %s\n", name, decimals, value, unit);
  std::fflush(stdout);
}

void PumpUntil(const std::function<bool()>& condition, const char* what,
               std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (platform::DispatchPendingMessages() == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        throw std::runtime_error(std::string(what) + ": timed out");
      }
      std::this_thread::yield();
    }
  }
}

size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace zvtapi::bench
