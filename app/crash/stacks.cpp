#include "app/crash/stacks.h"

#include <cxxabi.h>
#include <elfutils/libdwfl.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

#include "app/crash/report.h"

extern char** environ;

namespace ringwatch::crash {

namespace {

// A thread with a runaway recursion has no more to say after this many frames.
constexpr int kMaxFrames = 64;

std::string Demangled(const char* symbol) {
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> name(
      abi::__cxa_demangle(symbol, nullptr, nullptr, &status), &std::free);
  return status == 0 && name ? name.get() : symbol;
}

std::string ThreadName(pid_t pid, pid_t tid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/comm");
  std::string name;
  std::getline(in, name);
  return name;
}

struct TWalk {
  Dwfl* Session;
  pid_t Pid;
  std::string Text;
  int Frames = 0;
};

std::string DescribeFrame(Dwfl* dwfl, Dwarf_Addr pc) {
  char address[32];
  std::snprintf(address, sizeof address, "0x%016" PRIx64, static_cast<uint64_t>(pc));
  std::string text = address;
  Dwfl_Module* module = dwfl_addrmodule(dwfl, pc);
  if (!module) return text + " ??";
  const char* symbol = dwfl_module_addrname(module, pc);
  text += " ";
  text += symbol ? Demangled(symbol) : "??";
  if (Dwfl_Line* line = dwfl_module_getsrc(module, pc)) {
    int lineNumber = 0;
    if (const char* file = dwfl_lineinfo(line, nullptr, &lineNumber, nullptr, nullptr, nullptr))
      text += " (" + std::string(file) + ":" + std::to_string(lineNumber) + ")";
  }
  const char* moduleName =
      dwfl_module_info(module, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  if (moduleName) text += std::string(" [") + moduleName + "]";
  return text;
}

int OnFrame(Dwfl_Frame* frame, void* arg) {
  auto* walk = static_cast<TWalk*>(arg);
  Dwarf_Addr pc = 0;
  bool activation = false;
  if (!dwfl_frame_pc(frame, &pc, &activation)) return DWARF_CB_ABORT;
  // A return address points after the call; the call itself is one byte before it.
  const Dwarf_Addr callSite = activation ? pc : pc - 1;
  char number[16];
  std::snprintf(number, sizeof number, "#%-3d", walk->Frames);
  walk->Text += std::string(number) + DescribeFrame(walk->Session, callSite) + "\n";
  return ++walk->Frames < kMaxFrames ? DWARF_CB_OK : DWARF_CB_ABORT;
}

int OnThread(Dwfl_Thread* thread, void* arg) {
  auto* walk = static_cast<TWalk*>(arg);
  const pid_t tid = dwfl_thread_tid(thread);
  walk->Text += "Thread " + std::to_string(tid) + " (" + ThreadName(walk->Pid, tid) + ")\n";
  walk->Frames = 0;
  // The walk ends with an error at the outermost frame of most threads; what came before it
  // is the stack.
  if (dwfl_thread_getframes(thread, OnFrame, walk) != 0 && walk->Frames == 0)
    walk->Text += std::string("(no frames: ") + dwfl_errmsg(-1) + ")\n";
  return DWARF_CB_OK;
}

}  // namespace

std::string CollectStacks(pid_t pid, std::string& error) {
  static char* debuginfoPath = nullptr;
  static const Dwfl_Callbacks callbacks = {dwfl_linux_proc_find_elf, dwfl_standard_find_debuginfo,
                                           nullptr, &debuginfoPath};
  std::unique_ptr<Dwfl, decltype(&dwfl_end)> dwfl(dwfl_begin(&callbacks), &dwfl_end);
  if (!dwfl) {
    error = dwfl_errmsg(-1);
    return {};
  }
  if (dwfl_linux_proc_report(dwfl.get(), pid) != 0 ||
      dwfl_report_end(dwfl.get(), nullptr, nullptr) != 0) {
    error = std::string("cannot read the process's modules: ") + dwfl_errmsg(-1);
    return {};
  }
  if (int result = dwfl_linux_proc_attach(dwfl.get(), pid, false); result != 0) {
    error = std::string("cannot attach to the process: ") +
            (result > 0 ? std::strerror(result) : dwfl_errmsg(-1));
    return {};
  }
  TWalk walk{dwfl.get(), pid, {}};
  if (dwfl_getthreads(dwfl.get(), OnThread, &walk) != 0 && walk.Text.empty()) {
    error = std::string("cannot list the threads: ") + dwfl_errmsg(-1);
    return {};
  }
  return walk.Text;
}

int RunStacksHelper(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s %s <process id> <report file>\n", argv[0],
                 kStacksHelperArgument);
    return 2;
  }
  // A helper that hangs would hold the crashed process (which waits for it) forever.
  alarm(60);
  const pid_t pid = static_cast<pid_t>(std::atoi(argv[2]));
  std::string error;
  std::string stacks = CollectStacks(pid, error);
  // Where only ancestors may trace, the process lets this helper in just after starting it;
  // an attach that came first is refused and tried again.
  for (int attempt = 0; stacks.empty() && attempt < 20; ++attempt) {
    usleep(50000);
    stacks = CollectStacks(pid, error);
  }
  const std::string section =
      RenderSection("Stacks", stacks.empty() ? "(not collected: " + error + ")\n" : stacks);
  const int fd = open(argv[3], O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return 1;
  const bool written =
      write(fd, section.data(), section.size()) == static_cast<ssize_t>(section.size());
  close(fd);
  return written && !stacks.empty() ? 0 : 1;
}

bool AppendOwnStacks(const std::string& helperPath, const std::string& reportPath) {
  const std::string pid = std::to_string(getpid());
  char* const argv[] = {const_cast<char*>(helperPath.c_str()),
                        const_cast<char*>(kStacksHelperArgument), const_cast<char*>(pid.c_str()),
                        const_cast<char*>(reportPath.c_str()), nullptr};
  pid_t helper = 0;
  if (posix_spawn(&helper, helperPath.c_str(), nullptr, nullptr, argv, environ) != 0) return false;
  // Where the kernel lets only ancestors trace a process, this lets the helper in.
  prctl(PR_SET_PTRACER, helper, 0, 0, 0);
  int status = 0;
  while (waitpid(helper, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace ringwatch::crash
