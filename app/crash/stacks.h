// The stacks of every thread of a process, symbolised, for error reports. Another process does
// the walking (a process cannot stop and read its own threads): Ringwatch starts itself as that
// helper with kStacksHelperArgument, and the helper appends the "Stacks" section to the report.
#pragma once

#include <sys/types.h>

#include <string>

namespace ringwatch::crash {

// argv[1] of the helper; argv[2] is the process ID, argv[3] the report file.
inline constexpr const char* kStacksHelperArgument = "--crash-stacks";

// Attaches to the process (stopping it while it reads), walks and symbolises the stack of each
// of its threads with libdw, and detaches. One "Thread <id> (<name>)" line per thread, then one
// line per frame. On failure, the reason, and an empty text.
std::string CollectStacks(pid_t pid, std::string& error);

// The helper's main: appends the "Stacks" section (or the reason there is none) to the report.
// 0 when the stacks were written.
int RunStacksHelper(int argc, char** argv);

// Runs the helper for this process and waits for it; the threads stop while it reads them.
// Not for signal handlers (it allocates); those prepare their own arguments.
bool AppendOwnStacks(const std::string& helperPath, const std::string& reportPath);

}  // namespace ringwatch::crash
