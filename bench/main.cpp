// zvtapi_bench: speed and memory figures of the library, printed as "BENCH <name> <value> <unit>"
// lines. Without arguments every benchmark runs, well inside a minute on a two-core machine; with
// arguments only those whose function name contains one of them (`zvtapi_bench CallState`), for
// profiling one of them.

#include <cstdio>
#include <cstring>
#include <exception>

#include "bench/benchmarks.h"
#include "tapi32/sim/config.h"
#include "tapi32/sim/switch.h"

int main(int argc, char** argv) {
  using namespace zvtapi::bench;
  struct Benchmark {
    const char* name;
    void (*run)();
  };
  // In running order; append new benchmarks at the end.
  const Benchmark benchmarks[] = {
      {"BenchMessageThroughput", BenchMessageThroughput},  // pipeline_bench.cpp
      {"BenchPipelineMemory", BenchPipelineMemory},        // pipeline_bench.cpp
      {"BenchCallStateRouting", BenchCallStateRouting},    // line_bench.cpp
      {"BenchCallMemory", BenchCallMemory},                // line_bench.cpp
      {"BenchLineOpen", BenchLineOpen},                    // line_bench.cpp
      {"BenchSyncAnswer", BenchSyncAnswer},                // call_control_bench.cpp
      {"BenchAsyncRequests", BenchAsyncRequests},          // call_control_bench.cpp
      {"BenchSyncAnswerDelayed", BenchSyncAnswerDelayed},  // call_control_bench.cpp
      {"BenchDigitEvents", BenchDigitEvents},              // monitoring_bench.cpp
      {"BenchPhoneButtons", BenchPhoneButtons},            // phone_bench.cpp
      {"BenchPhoneMemory", BenchPhoneMemory},              // phone_bench.cpp
      {"BenchLocations", BenchLocations},                  // location_bench.cpp
  };
  auto chosen = [&](const char* name) {
    if (argc < 2) return true;
    for (int i = 1; i < argc; ++i) {
      if (std::strstr(name, argv[i]) != nullptr) return true;
    }
    return false;
  };
  try {
    for (const Benchmark& benchmark : benchmarks) {
      if (!chosen(benchmark.name)) continue;
      // Every benchmark starts from the small office, whatever the one before left behind.
      tapi32::sim::Switch::Instance().Reset(tapi32::sim::DemoConfig());
      benchmark.run();
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zvtapi_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
