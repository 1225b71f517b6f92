#include "tests/sip/peers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <sstream>
#include <stdexcept>

#include "tests/sip/sipp.h"

namespace sip_test {

namespace {

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

// Connects to a TCP port on loopback, trying again while the peer starts; -1 when it never
// listens within the wait.
int ConnectWhenListening(uint16_t port, std::chrono::seconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) return fd;
    close(fd);
    if (std::chrono::steady_clock::now() > deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// Free ports well apart from each other: baresip also listens on its SIP port + 1 (TLS), and an
// RTP range takes the ports after its first one.
std::vector<uint16_t> ApartPorts(size_t count, uint16_t gap) {
  std::vector<uint16_t> ports;
  while (ports.size() < count) {
    const uint16_t port = FreeUdpPort();
    const bool apart = std::all_of(ports.begin(), ports.end(), [&](uint16_t other) {
      return port + gap < other || other + gap < port;
    });
    if (apart && port < 65535 - gap) ports.push_back(port);
  }
  return ports;
}

}  // namespace

void WriteToneWav(const std::filesystem::path& path, double frequencyHz, double seconds) {
  constexpr uint32_t kRate = 8000;
  const auto samples = static_cast<uint32_t>(seconds * kRate);
  std::ofstream out(path, std::ios::binary);
  auto put32 = [&out](uint32_t value) { out.write(reinterpret_cast<const char*>(&value), 4); };
  auto put16 = [&out](uint16_t value) { out.write(reinterpret_cast<const char*>(&value), 2); };
  out.write("RIFF", 4);
  put32(36 + samples * 2);
  out.write("WAVEfmt ", 8);
  put32(16);
  put16(1);  // PCM
  put16(1);  // mono
  put32(kRate);
  put32(kRate * 2);
  put16(2);
  put16(16);
  out.write("data", 4);
  put32(samples * 2);
  for (uint32_t i = 0; i < samples; ++i) {
    const double phase = 2 * std::numbers::pi * frequencyHz * i / kRate;
    put16(static_cast<uint16_t>(static_cast<int16_t>(8000 * std::sin(phase))));
  }
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

// --- Baresip -------------------------------------------------------------------------------------

Baresip::Baresip(Options options) : dir_("baresip") {
  const std::vector<uint16_t> ports = ApartPorts(3, 24);
  sipPort_ = ports[0];
  controlPort_ = ports[1];
  const uint16_t rtp = ports[2];
  // The tone must outlast the call: at the end of its file baresip hangs up.
  const auto tone = dir_.Path() / "tone.wav";
  WriteToneWav(tone, options.toneHz, 300);
  std::ostringstream config;
  config << "module_path /usr/lib/baresip/modules\n"
         << "sip_listen 127.0.0.1:" << sipPort_ << "\n"
         << "net_interface 127.0.0.1\n"
         << "audio_source aufile," << tone.string() << "\n"
         << "audio_player alsa,null\n"
         << "audio_alert alsa,null\n"
         << "rtp_ports " << rtp << "-" << rtp + 20 << "\n"
         << "module g711.so\nmodule aufile.so\nmodule alsa.so\n"
         << "module_tmp account.so\n"
         << "module_app menu.so\nmodule_app ctrl_tcp.so\n"
         << "ctrl_tcp_listen 127.0.0.1:" << controlPort_ << "\n";
  WriteFile(dir_.Path() / "config", config.str());
  WriteFile(dir_.Path() / "accounts", "\"Bare Sip\" <" + Uri() + ">;regint=0;answermode=" +
                                          (options.autoAnswer ? "auto" : "manual") +
                                          ";audio_codecs=pcmu;medianat=\n");
  WriteFile(dir_.Path() / "contacts", "");
  process_.emplace(std::vector<std::string>{"baresip", "-f", dir_.Path().string()},
                   dir_.Path() / "baresip.log");
  control_ = ConnectWhenListening(controlPort_, std::chrono::seconds(30));
  if (control_ < 0) throw std::runtime_error("baresip did not start:\n" + Log());
  reader_ = std::thread([this] { Read(); });
}

Baresip::~Baresip() {
  if (control_ >= 0) shutdown(control_, SHUT_RDWR);
  if (reader_.joinable()) reader_.join();
  if (control_ >= 0) close(control_);
  process_.reset();
}

std::string Baresip::Uri() const {
  return "sip:bs@127.0.0.1:" + std::to_string(sipPort_);
}

void Baresip::Read() {
  std::string buffer;
  char chunk[4096];
  for (;;) {
    const ssize_t got = recv(control_, chunk, sizeof(chunk), 0);
    if (got <= 0) return;
    buffer.append(chunk, static_cast<size_t>(got));
    // Netstrings: "<length>:<json>,".
    for (;;) {
      const size_t colon = buffer.find(':');
      if (colon == std::string::npos) break;
      const size_t length = std::stoul(buffer.substr(0, colon));
      if (buffer.size() < colon + 1 + length + 1) break;
      const nlohmann::json message =
          nlohmann::json::parse(buffer.substr(colon + 1, length), nullptr, false);
      buffer.erase(0, colon + 1 + length + 1);
      std::lock_guard lock(mutex_);
      if (message.value("event", false)) {
        events_.push_back(message);
      } else {
        responses_.push_back(message);
      }
      changed_.notify_all();
    }
  }
}

void Baresip::Send(const std::string& json) {
  const std::string netstring = std::to_string(json.size()) + ":" + json + ",";
  if (send(control_, netstring.data(), netstring.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(netstring.size())) {
    throw std::runtime_error("cannot reach baresip's control port");
  }
}

nlohmann::json Baresip::Command(const std::string& command, const std::string& params) {
  std::string token;
  {
    std::lock_guard lock(mutex_);
    token = "t" + std::to_string(nextToken_++);
  }
  Send(nlohmann::json{{"command", command}, {"params", params}, {"token", token}}.dump());
  std::unique_lock lock(mutex_);
  nlohmann::json response;
  changed_.wait_for(lock, std::chrono::seconds(30), [&] {
    for (const nlohmann::json& each : responses_) {
      if (each.value("token", "") == token) {
        response = each;
        return true;
      }
    }
    return false;
  });
  return response;
}

std::optional<nlohmann::json> Baresip::WaitEvent(const std::string& type,
                                                 std::chrono::seconds wait) {
  std::unique_lock lock(mutex_);
  std::optional<nlohmann::json> found;
  changed_.wait_for(lock, wait, [&] {
    for (auto it = events_.begin(); it != events_.end(); ++it) {
      if (it->value("type", "") == type) {
        found = *it;
        events_.erase(it);
        return true;
      }
    }
    return false;
  });
  return found;
}

// --- Kamailio ------------------------------------------------------------------------------------

Kamailio::Kamailio() : dir_("kamailio") {
  port_ = FreeUdpPort();
  const std::string listen = "127.0.0.1:" + std::to_string(port_);
  std::ostringstream config;
  config << "#!KAMAILIO\n"
         << "debug=2\nlog_stderror=yes\nchildren=1\nauto_aliases=no\n"
         << "listen=udp:" << listen << "\n"
         << "alias=\"" << listen << "\"\n"
         << "mpath=\"/usr/lib/x86_64-linux-gnu/kamailio/modules/\"\n";
  for (const char* module : {"kex", "corex", "tm", "tmx", "sl", "pv", "maxfwd", "usrloc",
                             "registrar", "textops", "siputils", "xlog", "auth"}) {
    config << "loadmodule \"" << module << ".so\"\n";
  }
  config << "modparam(\"usrloc\", \"db_mode\", 0)\n"
         << "modparam(\"registrar\", \"min_expires\", 1)\n"
         << "request_route {\n"
         << "  if (!mf_process_maxfwd_header(\"10\")) { sl_send_reply(\"483\", \"Too Many Hops\"); "
            "exit; }\n"
         << "  if (is_method(\"CANCEL\")) { if (t_check_trans()) t_relay(); exit; }\n"
         << "  if (has_totag()) {\n"
         << "    if (is_method(\"ACK\") && t_check_trans()) t_relay();\n"
         << "    exit;\n"
         << "  }\n"
         << "  t_check_trans();\n"
         << "  if (is_method(\"REGISTER\")) {\n"
         << "    if (!pv_auth_check(\"$fd\", \"" << kPassword << "\", \"0\", \"1\")) {\n"
         << "      auth_challenge(\"$fd\", \"1\");\n"
         << "      exit;\n"
         << "    }\n"
         << "    if (!save(\"location\")) { sl_reply_error(); exit; }\n"
         << "    if (reg_fetch_contacts(\"location\", \"$fu\", \"who\")) {\n"
         << "      xlog(\"L_ERR\", \"REGISTERED $fu bindings $(ulc(who=>count))\\n\");\n"
         << "    } else {\n"
         << "      xlog(\"L_ERR\", \"REGISTERED $fu bindings 0\\n\");\n"
         << "    }\n"
         << "    exit;\n"
         << "  }\n"
         << "  if (!lookup(\"location\")) { sl_send_reply(\"404\", \"Not Found\"); exit; }\n"
         << "  t_relay();\n"
         << "}\n";
  WriteFile(dir_.Path() / "kamailio.cfg", config.str());
  Start();
}

std::string Kamailio::Uri() const {
  return "sip:127.0.0.1:" + std::to_string(port_);
}

void Kamailio::Start() {
  const auto run = dir_.Path() / ("run" + std::to_string(++runs_));
  std::filesystem::create_directories(run);
  process_.emplace(
      std::vector<std::string>{"kamailio", "-f", (dir_.Path() / "kamailio.cfg").string(), "-DD",
                               "-E", "-m", "32", "-M", "4", "-Y", run.string(), "-P",
                               (run / "kamailio.pid").string()},
      dir_.Path() / ("kamailio" + std::to_string(runs_) + ".log"));
  // It lists its sockets once it listens.
  if (!WaitUntil(std::chrono::seconds(30),
                 [this] { return process_->Log().find("istening on") != std::string::npos; })) {
    throw std::runtime_error("kamailio did not start:\n" + Log());
  }
}

void Kamailio::Kill() {
  if (!process_) return;
  earlierLogs_ += process_->Log();
  process_.reset();
}

bool Kamailio::WaitLog(const std::string& text, std::chrono::seconds wait) {
  return WaitUntil(wait, [&] { return Log().find(text) != std::string::npos; });
}

std::string Kamailio::Log() const {
  return earlierLogs_ + (process_ ? process_->Log() : std::string());
}

}  // namespace sip_test
