// The fatal-signal path of the error reports. When SIGSEGV, SIGBUS, SIGFPE, SIGILL or SIGABRT
// arrives, the handler writes the report's headers and the sections prepared in advance into
// a report file, starts the stacks helper on this process and waits for it, and then lets the
// signal take its default course (the process ends, with a core dump where those are on).
//
// Nothing in the handler allocates, locks or formats with the C library: everything it writes
// was rendered before the crash, and it calls only open, write, close, clock_gettime, pipe,
// _Fork, execve, waitpid, prctl, sigaction and raise.
#pragma once

#include <string>
#include <string_view>

namespace ringwatch::crash {

struct TFatalSignalSetup {
  std::string ReportPath;  // the file the handler creates
  std::string Headers;     // "Key: value" lines the crash does not change (program, process)
  std::string HelperPath;  // the program that appends the stacks; empty for none
};

// Installs the handlers (replacing earlier ones) and an alternate signal stack for the calling
// thread, so that a stack overflow there still gets its report.
void InstallFatalSignalHandlers(const TFatalSignalSetup& setup);
// Restores the default actions.
void UninstallFatalSignalHandlers();
// The sections the handler writes after the headers (journal, lines and calls), already
// rendered. Any thread; the previous text stays in use until the new one is complete. Longer
// texts are cut at the end.
void SetFatalSignalSections(std::string_view sections);

}  // namespace ringwatch::crash
