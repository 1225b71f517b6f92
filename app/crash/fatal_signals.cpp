#include "app/crash/fatal_signals.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <mutex>

#include "app/crash/report.h"
#include "app/crash/stacks.h"

extern char** environ;

namespace ringwatch::crash {

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr size_t kPathSize = 4096;
constexpr size_t kHeadersSize = 4096;
constexpr size_t kSectionsSize = 256 * 1024;

// Everything the handler needs, rendered while the process was healthy.
struct TPrepared {
  char ReportPath[kPathSize];
  char Headers[kHeadersSize];
  size_t HeadersLength;
  char HelperPath[kPathSize];
  char HelperPid[24];
  char* HelperArgv[5];
  bool HaveHelper;
};
TPrepared gPrepared;

// Two buffers for the sections: the writer fills the one not in use and then switches.
char gSections[2][kSectionsSize];
size_t gSectionsLength[2];
std::atomic<int> gSectionsInUse{0};
std::mutex gSectionsWriter;

std::atomic<bool> gHandling{false};
alignas(16) char gAlternateStack[64 * 1024];

void Copy(char* target, size_t size, std::string_view text) {
  const size_t length = std::min(text.size(), size - 1);
  std::memcpy(target, text.data(), length);
  target[length] = '\0';
}

// --- async-signal-safe helpers ---------------------------------------------------------------

void WriteAll(int fd, const char* data, size_t length) {
  while (length > 0) {
    const ssize_t written = write(fd, data, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    data += written;
    length -= static_cast<size_t>(written);
  }
}

void WriteText(int fd, const char* text) {
  WriteAll(fd, text, std::strlen(text));
}

// Digits of Value, at least Width of them, into Out (no terminator); returns the count.
size_t FormatNumber(char* out, unsigned long long value, unsigned base, size_t width) {
  char digits[32];
  size_t count = 0;
  do {
    digits[count++] = "0123456789abcdef"[value % base];
    value /= base;
  } while (value != 0 && count < sizeof digits);
  while (count < width && count < sizeof digits)
    digits[count++] = '0';
  for (size_t i = 0; i < count; ++i)
    out[i] = digits[count - 1 - i];
  return count;
}

// "2026-12-10T02:30:00Z" from the system clock, without gmtime (which may lock).
void WriteUtcTime(int fd) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const long long seconds = now.tv_sec;
  long long days = seconds / 86400;
  const long long secondOfDay = seconds % 86400;
  // Civil date from days since 1970-01-01 (proleptic Gregorian calendar).
  days += 719468;
  const long long era = days / 146097;
  const long long dayOfEra = days - era * 146097;
  const long long yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const long long monthIndex = (5 * dayOfYear + 2) / 153;
  const long long day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  const long long month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  const long long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  char text[32];
  size_t n = FormatNumber(text, static_cast<unsigned long long>(year), 10, 4);
  const long long parts[] = {month, day, secondOfDay / 3600, secondOfDay / 60 % 60,
                             secondOfDay % 60};
  const char separators[] = {'-', '-', 'T', ':', ':'};
  for (size_t i = 0; i < 5; ++i) {
    text[n++] = separators[i];
    n += FormatNumber(text + n, static_cast<unsigned long long>(parts[i]), 10, 2);
  }
  text[n++] = 'Z';
  WriteAll(fd, text, n);
}

const char* SignalName(int signal) {
  switch (signal) {
    case SIGSEGV:
      return "SIGSEGV (invalid memory reference)";
    case SIGBUS:
      return "SIGBUS (bus error)";
    case SIGFPE:
      return "SIGFPE (arithmetic exception)";
    case SIGILL:
      return "SIGILL (illegal instruction)";
    case SIGABRT:
      return "SIGABRT (abort)";
    default:
      return "fatal signal";
  }
}

void RunHelper() {
  int gate[2];
  if (pipe(gate) != 0) return;
  const pid_t helper = _Fork();
  if (helper == 0) {
    // Waits until the parent has allowed it to trace (see below), then becomes the helper.
    char byte;
    close(gate[1]);
    while (read(gate[0], &byte, 1) < 0 && errno == EINTR) {
    }
    execve(gPrepared.HelperPath, gPrepared.HelperArgv, environ);
    _exit(127);
  }
  close(gate[0]);
  if (helper > 0) {
    // Where the kernel lets only ancestors trace a process, the helper needs this first.
    prctl(PR_SET_PTRACER, helper, 0, 0, 0);
    WriteAll(gate[1], "x", 1);
  }
  close(gate[1]);
  if (helper > 0) {
    int status = 0;
    while (waitpid(helper, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

extern "C" void OnFatalSignal(int signal, siginfo_t* info, void* /*context*/) {
  const int savedErrno = errno;
  if (gHandling.exchange(true)) {
    // Another thread is writing the report; it ends the process when done.
    for (;;)
      pause();
  }
  const int fd = open(gPrepared.ReportPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd >= 0) {
    WriteAll(fd, kReportMagic.data(), kReportMagic.size());
    WriteText(fd, "\n");
    WriteAll(fd, gPrepared.Headers, gPrepared.HeadersLength);
    WriteText(fd, "Time: ");
    WriteUtcTime(fd);
    WriteText(fd, "\nTrigger: signal\nDetail: ");
    WriteText(fd, SignalName(signal));
    if (signal == SIGSEGV || signal == SIGBUS) {
      char address[24] = "0x";
      const size_t n = FormatNumber(
          address + 2, reinterpret_cast<uintptr_t>(info ? info->si_addr : nullptr), 16, 1);
      WriteText(fd, " at ");
      WriteAll(fd, address, 2 + n);
    }
    WriteText(fd, "\nFatal: yes\n\n");
    const int inUse = gSectionsInUse.load(std::memory_order_acquire);
    WriteAll(fd, gSections[inUse], gSectionsLength[inUse]);
    close(fd);
    if (gPrepared.HaveHelper) RunHelper();
  }
  // The default action ends the process once the handler returns: a fault repeats at once, a
  // raised or sent signal is still pending.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(signal, &fallback, nullptr);
  if (info == nullptr || info->si_code <= 0) raise(signal);
  errno = savedErrno;
}

}  // namespace

void InstallFatalSignalHandlers(const TFatalSignalSetup& setup) {
  Copy(gPrepared.ReportPath, kPathSize, setup.ReportPath);
  Copy(gPrepared.Headers, kHeadersSize, setup.Headers);
  gPrepared.HeadersLength = std::strlen(gPrepared.Headers);
  Copy(gPrepared.HelperPath, kPathSize, setup.HelperPath);
  Copy(gPrepared.HelperPid, sizeof gPrepared.HelperPid, std::to_string(getpid()));
  gPrepared.HelperArgv[0] = gPrepared.HelperPath;
  gPrepared.HelperArgv[1] = const_cast<char*>(kStacksHelperArgument);
  gPrepared.HelperArgv[2] = gPrepared.HelperPid;
  gPrepared.HelperArgv[3] = gPrepared.ReportPath;
  gPrepared.HelperArgv[4] = nullptr;
  gPrepared.HaveHelper = !setup.HelperPath.empty();

  stack_t alternate{};
  alternate.ss_sp = gAlternateStack;
  alternate.ss_size = sizeof gAlternateStack;
  sigaltstack(&alternate, nullptr);

  struct sigaction action {};
  action.sa_sigaction = OnFatalSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  for (int signal : kFatalSignals)
    sigaction(signal, &action, nullptr);
}

void UninstallFatalSignalHandlers() {
  for (int signal : kFatalSignals)
    std::signal(signal, SIG_DFL);
}

void SetFatalSignalSections(std::string_view sections) {
  std::lock_guard lock(gSectionsWriter);
  const int next = 1 - gSectionsInUse.load(std::memory_order_relaxed);
  const size_t length = std::min(sections.size(), kSectionsSize);
  std::memcpy(gSections[next], sections.data(), length);
  gSectionsLength[next] = length;
  gSectionsInUse.store(next, std::memory_order_release);
}

}  // namespace ringwatch::crash
