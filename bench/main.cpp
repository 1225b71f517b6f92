// zvtapi_bench: speed and memory figures of the library, printed as "BENCH <name> <value> <unit>"
// lines. No arguments; the whole program stays well inside a minute on a two-core machine.

#include <cstdio>
#include <exception>

#include "bench/benchmarks.h"
#include "tapi32/sim/config.h"
#include "tapi32/sim/switch.h"

namespace zvtapi::bench {

void PrintFigure(const char* name, double value, const char* unit, int decimals) {
  std::printf("BENCH %s %.*f %s\n", name, decimals, value, unit);
  std::fflush(stdout);
}

}  // namespace zvtapi::bench

int main() {
  using namespace zvtapi::bench;
  // In running order; append new benchmarks at the end.
  void (*const benchmarks[])() = {
      BenchMessageThroughput,  // pipeline_bench.cpp
      BenchPipelineMemory,     // pipeline_bench.cpp
      BenchCallStateRouting,   // line_bench.cpp
      BenchCallMemory,         // line_bench.cpp
      BenchLineOpen,           // line_bench.cpp
      BenchSyncAnswer,         // call_control_bench.cpp
      BenchAsyncRequests,      // call_control_bench.cpp
      BenchSyncAnswerDelayed,  // call_control_bench.cpp
  };
  try {
    for (auto* benchmark : benchmarks) {
      // Every benchmark starts from the small office, whatever the one before left behind.
      tapi32::sim::Switch::Instance().Reset(tapi32::sim::DemoConfig());
      benchmark();
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zvtapi_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
