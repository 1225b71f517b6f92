// The benchmarks of zvtapi_bench. Each is a plain function that configures the simulated switch
// as it needs, initialises the application object when it uses it, prints its figures with
// PrintFigure and leaves the application shut down and every line it made closed. main() runs
// them in the order of its list; a new benchmark file declares its functions here and adds them
// to that list.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace zvtapi::bench {

// Prints one figure as "BENCH <name> <value> <unit>" with the given number of decimals. Every
// other line the program prints must not start with "BENCH".
void PrintFigure(const char* name, double value, const char* unit, int decimals = 0);

// Dispatches the user-interface thread's messages until the condition holds. A wait that is not
// over after `limit` has found a broken path: it ends with an error named after `what` instead
// of hanging.
void PumpUntil(const std::function<bool()>& condition, const char* what,
               std::chrono::seconds limit = std::chrono::seconds(10));
// Heap bytes in use across all of malloc's arenas, large blocks included.
size_t HeapInUse();
double Median(std::vector<double> values);

// pipeline_bench.cpp: throughput and memory of the message path.
void BenchMessageThroughput();
void BenchPipelineMemory();
// Pushes `count` plain messages through the initialised application object to the
// user-interface thread; messages per second.
double RunPipeline(uint64_t count);

// monitoring_bench.cpp: digits played into connected calls, each reported by OnDigit.
void BenchDigitEvents();

// line_bench.cpp: call-state routing on a busy line, memory per call, opening lines.
void BenchCallStateRouting();
void BenchCallMemory();
void BenchLineOpen();

// call_control_bench.cpp: synchronous Answer round trip (reply at once, reply after a delay),
// asynchronous Answer request rate.
void BenchSyncAnswer();
void BenchAsyncRequests();
void BenchSyncAnswerDelayed();

// phone_bench.cpp: button presses to the phone's events, memory of an open phone.
void BenchPhoneButtons();
void BenchPhoneMemory();

// location_bench.cpp: fetching 20 locations, the line's refresh on TRANSLATECHANGE.
void BenchLocations();

}  // namespace zvtapi::bench
