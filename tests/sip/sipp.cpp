#include "tests/sip/sipp.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace sip_test {

tapi32::sip::SipAccount LoopbackAccount(const std::string& user, const std::string& name,
                                        uint16_t port) {
  tapi32::sip::SipAccount account;
  account.origin = name;
  account.displayName = name;
  account.aor = "sip:" + user + "@127.0.0.1:" + std::to_string(port);
  account.localAddress = "127.0.0.1:" + std::to_string(port);
  account.audio.kind = tapi32::sip::AudioConfig::Kind::None;
  return account;
}

uint16_t FreeUdpPort() {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd >= 0) close(fd);
    throw std::runtime_error("no free UDP port on 127.0.0.1");
  }
  close(fd);
  return ntohs(address.sin_port);
}

namespace {

std::filesystem::path MakeTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "sipp-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
  return pattern;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Arguments(const SippOptions& options, const std::filesystem::path& dir) {
  std::vector<std::string> args = {"sipp"};
  if (options.scenario == "uac") {
    args.insert(args.end(), {"-sn", "uac", "-s", options.service});
  } else {
    args.insert(args.end(), {"-sf", options.scenario});
  }
  args.insert(args.end(),
              {"127.0.0.1:" + std::to_string(options.targetPort), "-i", "127.0.0.1", "-p",
               std::to_string(FreeUdpPort()), "-mp", std::to_string(FreeUdpPort()), "-m",
               std::to_string(options.calls), "-r", std::to_string(options.ratePerS),
               // Every run ends by itself: no answer within 10 s fails the call, and the whole
               // run stops after four minutes.
               "-recv_timeout", "10000", "-timeout", "240", "-timeout_error", "-nostdin",
               "-trace_err", "-error_file", (dir / "errors.log").string(), "-trace_logs",
               "-log_file", (dir / "messages.log").string()});
  if (options.limit > 0) args.insert(args.end(), {"-l", std::to_string(options.limit)});
  if (options.callLengthMs > 0)
    args.insert(args.end(), {"-d", std::to_string(options.callLengthMs)});
  if (!options.injection.empty()) {
    const auto file = dir / "injection.csv";
    std::ofstream out(file);
    out << "SEQUENTIAL\n";
    for (const std::string& line : options.injection)
      out << line << ";\n";
    args.insert(args.end(), {"-inf", file.string()});
  }
  args.insert(args.end(), options.extraArguments.begin(), options.extraArguments.end());
  return args;
}

}  // namespace

std::filesystem::path ScenarioPath(const std::string& name) {
  return std::filesystem::path(ZVTAPI_SOURCE_DIR) / "tests/sip/scenarios" / (name + ".xml");
}

Sipp::Sipp(SippOptions options) : dir_(MakeTempDir()) {
  std::vector<std::string> args = Arguments(options, dir_);
  std::vector<char*> argv;
  for (std::string& arg : args)
    argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string output = (dir_ / "output.log").string();
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  // SIPp writes its statistics files into the working folder: the temporary one.
  posix_spawn_file_actions_addchdir_np(&actions, dir_.c_str());
  const int error = posix_spawnp(&pid_, "sipp", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    pid_ = -1;
    std::filesystem::remove_all(dir_);
    throw std::runtime_error("cannot start sipp (install sip-tester)");
  }
}

Sipp::~Sipp() {
  if (pid_ > 0 && !status_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::optional<int> Sipp::Wait(int limitS) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limitS);
  while (!status_) {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return status_;
}

std::string Sipp::Log() const {
  return ReadFile(dir_ / "output.log") + ReadFile(dir_ / "errors.log");
}

std::filesystem::path Sipp::MessageLog() const {
  return dir_ / "messages.log";
}

}  // namespace sip_test
