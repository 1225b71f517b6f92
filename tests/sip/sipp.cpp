#include "tests/sip/sipp.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>

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

Sipp::Sipp(SippOptions options) {
  // SIPp writes its statistics files into the working folder: the temporary one.
  process_.emplace(Arguments(options, dir_.Path()), dir_.Path() / "output.log", dir_.Path());
}

Sipp::~Sipp() = default;

std::optional<int> Sipp::Wait(int limitS) {
  return process_->Wait(std::chrono::seconds(limitS));
}

std::string Sipp::Log() const {
  return ReadFile(dir_.Path() / "output.log") + ReadFile(dir_.Path() / "errors.log");
}

std::filesystem::path Sipp::MessageLog() const {
  return dir_.Path() / "messages.log";
}

}  // namespace sip_test
