// Two media sessions on one loop, talking to each other over loopback.
#include <gtest/gtest.h>
#include <re.h>
#include <rem.h>
#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <thread>
#include <utility>
#include <vector>

#include "tapi32/sip/loop.h"
#include "tapi32/sip/media.h"

namespace tapi32::sip {
namespace {

namespace fs = std::filesystem;

struct Party {
  std::unique_ptr<MediaSession> session;
  std::vector<std::pair<char, bool>> digits;  // touched on the loop thread only
};

class MediaTest : public ::testing::Test {
 protected:
  MediaTest() : dir_(fs::temp_directory_path() / ("media_test_" + std::to_string(getpid()))) {
    fs::create_directories(dir_);
  }
  ~MediaTest() override {
    loop_.Run([&] {
      for (Party& party : parties_)
        party.session.reset();
    });
    fs::remove_all(dir_);
  }

  Party& Make(std::vector<std::string> codecs = {"PCMU", "PCMA"}, AudioConfig audio = NoAudio(),
              const std::string& tag = "call") {
    MediaConfig config{.localIp = "127.0.0.1",
                       .portMin = 30000,
                       .portMax = 40000,
                       .codecs = std::move(codecs),
                       .audio = std::move(audio),
                       .callTag = tag};
    Party& party = parties_.emplace_back();
    loop_.Run([&] {
      party.session = MediaSession::Create(config, {.digit = [&party](char digit, bool end) {
                                             party.digits.emplace_back(digit, end);
                                           }});
    });
    return party;
  }

  static AudioConfig Audio(AudioConfig::Kind kind, std::string source = {}, std::string sink = {}) {
    return {.kind = kind, .source = std::move(source), .sink = std::move(sink)};
  }
  static AudioConfig NoAudio() { return Audio(AudioConfig::Kind::None); }

  template <typename F>
  auto OnLoop(F f) {
    decltype(f()) result{};
    loop_.Run([&] { result = f(); });
    return result;
  }

  // Offer from `a`, answer from `b`; returns the answer.
  std::string Negotiate(Party& a, Party& b) {
    return OnLoop([&] {
      std::string answer = b.session->Answer(a.session->Offer());
      if (!answer.empty()) {
        EXPECT_TRUE(a.session->Accept(answer));
      }
      return answer;
    });
  }

  void StartBoth(Party& a, Party& b) {
    loop_.Run([&] {
      a.session->Start();
      b.session->Start();
    });
  }

  // Waits until `condition` (run on the loop) holds; false after 30 s.
  template <typename F>
  bool WaitFor(F condition) {
    for (int i = 0; i < 3000; ++i) {
      if (OnLoop(condition)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  uint64_t Received(Party& party) {
    return OnLoop([&] { return party.session->PacketsReceived(); });
  }

  // Lets a witness pair exchange `packets` more packets: every packet sent by the sessions under
  // test before then has arrived.
  void LetPacketsPass(int packets = 10) {
    if (witness_ == nullptr) {
      witness_ = &Make();
      Party& sender = Make();
      Negotiate(sender, *witness_);
      StartBoth(sender, *witness_);
    }
    const uint64_t target = Received(*witness_) + packets;
    ASSERT_TRUE(WaitFor([&] { return witness_->session->PacketsReceived() >= target; }));
  }

  Loop loop_;
  fs::path dir_;
  std::deque<Party> parties_;
  Party* witness_ = nullptr;
};

TEST_F(MediaTest, AnswerChoosesTheFirstCodecOfOurPreferenceThatThePeerOffered) {
  Party& offerer = Make({"PCMU", "PCMA"});
  Party& prefersAlaw = Make({"PCMA", "PCMU"});
  const std::string offer = OnLoop([&] { return offerer.session->Offer(); });
  EXPECT_NE(offer.find("m=audio"), std::string::npos);
  EXPECT_NE(offer.find("RTP/AVP 0 8 101"), std::string::npos) << offer;
  EXPECT_NE(offer.find("a=rtpmap:101 telephone-event/8000"), std::string::npos);
  EXPECT_NE(offer.find("a=fmtp:101 0-15"), std::string::npos);

  const std::string answer = Negotiate(offerer, prefersAlaw);
  EXPECT_NE(answer.find("RTP/AVP 8 101"), std::string::npos) << answer;
  EXPECT_EQ(answer.find("PCMU"), std::string::npos);
  EXPECT_EQ(OnLoop([&] { return offerer.session->Codec(); }), "PCMA");
  EXPECT_EQ(OnLoop([&] { return prefersAlaw.session->Codec(); }), "PCMA");
  // A later offer names every codec again.
  const std::string reoffer = OnLoop([&] { return prefersAlaw.session->Offer(); });
  EXPECT_NE(reoffer.find("RTP/AVP 8 0 101"), std::string::npos) << reoffer;

  Party& alawOnly = Make({"PCMA"});
  Negotiate(offerer, alawOnly);
  EXPECT_EQ(OnLoop([&] { return alawOnly.session->Codec(); }), "PCMA");
}

TEST_F(MediaTest, NothingInCommonGivesNoAnswerAndKeepsTheMediaAsItWas) {
  Party& ulawOnly = Make({"PCMU"});
  Party& alawOnly = Make({"PCMA"});
  EXPECT_EQ(Negotiate(ulawOnly, alawOnly), "");
  EXPECT_EQ(OnLoop([&] { return alawOnly.session->Codec(); }), "");

  Party& both = Make();
  ASSERT_NE(Negotiate(both, alawOnly), "");
  // A re-INVITE the answerer cannot take (answered 488) leaves the call's media alone.
  EXPECT_EQ(Negotiate(ulawOnly, alawOnly), "");
  EXPECT_EQ(OnLoop([&] { return alawOnly.session->Codec(); }), "PCMA");
  EXPECT_FALSE(OnLoop([&] { return both.session->Accept("not a description"); }));
}

TEST_F(MediaTest, HoldIsJudgedFromThePeersOffersOnly) {
  Party& a = Make();
  Party& b = Make();
  Negotiate(a, b);
  auto holds = [&](Party& p) { return OnLoop([&] { return p.session->PeerHolds(); }); };

  loop_.Run([&] { a.session->SetHold(true); });
  const std::string holdOffer = OnLoop([&] { return a.session->Offer(); });
  EXPECT_NE(holdOffer.find("a=sendonly"), std::string::npos);
  EXPECT_NE(Negotiate(a, b).find("a=recvonly"), std::string::npos);
  EXPECT_TRUE(holds(b));
  EXPECT_FALSE(holds(a)) << "the recvonly answer to our own hold is no hold by the peer";

  // Both hold: the held side's own hold offer is answered inactive.
  loop_.Run([&] { b.session->SetHold(true); });
  EXPECT_NE(Negotiate(b, a).find("a=inactive"), std::string::npos);
  EXPECT_TRUE(holds(a));

  loop_.Run([&] {
    a.session->SetHold(false);
    b.session->SetHold(false);
  });
  EXPECT_NE(Negotiate(a, b).find("a=sendrecv"), std::string::npos);
  EXPECT_FALSE(holds(b));
  Negotiate(b, a);
  EXPECT_FALSE(holds(a));

  // An inactive offer and an old-style hold (no address) hold us too.
  std::string inactive = holdOffer;
  inactive.replace(inactive.find("a=sendonly"), 10, "a=inactive");
  loop_.Run([&] { b.session->Answer(inactive); });
  EXPECT_TRUE(holds(b));
  std::string noAddress = OnLoop([&] { return a.session->Offer(); });
  noAddress.replace(noAddress.find("c=IN IP4 127.0.0.1"), 18, "c=IN IP4 0.0.0.0");
  loop_.Run([&] { b.session->Answer(noAddress); });
  EXPECT_TRUE(holds(b));
}

// A 1 kHz tone, one second long (the source loops).
void WriteTone(const fs::path& path) {
  aufile* file = nullptr;
  aufile_prm prm{8000, 1, AUFMT_S16LE};
  ASSERT_EQ(aufile_open(&file, &prm, path.c_str(), AUFILE_WRITE), 0);
  std::vector<int16_t> samples(8000);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(8000 * std::sin(2 * std::numbers::pi * 1000 * i / 8000.0));
  }
  ASSERT_EQ(aufile_write(file, reinterpret_cast<uint8_t*>(samples.data()), samples.size() * 2), 0);
  mem_deref(file);
}

std::vector<int16_t> ReadWav(const fs::path& path) {
  aufile* file = nullptr;
  aufile_prm prm{};
  std::vector<int16_t> samples;
  if (aufile_open(&file, &prm, path.c_str(), AUFILE_READ) != 0) return samples;
  EXPECT_EQ(prm.srate, 8000u);
  EXPECT_EQ(prm.channels, 1);
  std::array<int16_t, 1024> chunk{};
  size_t bytes = sizeof chunk;
  while (aufile_read(file, reinterpret_cast<uint8_t*>(chunk.data()), &bytes) == 0 && bytes > 0) {
    samples.insert(samples.end(), chunk.begin(), chunk.begin() + bytes / 2);
    bytes = sizeof chunk;
  }
  mem_deref(file);
  return samples;
}

double Power(const std::vector<int16_t>& samples, double frequency) {
  goertzel g{};
  goertzel_init(&g, frequency, 8000);
  for (int16_t sample : samples)
    goertzel_update(&g, sample);
  return goertzel_result(&g);
}

class MediaToneTest : public MediaTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(MediaToneTest, ToneFromAWavFileIsRecordedByThePeer) {
  const fs::path tone = dir_ / "tone.wav";
  WriteTone(tone);
  const AudioConfig player = Audio(AudioConfig::Kind::Files, tone, dir_);
  const AudioConfig listener = Audio(AudioConfig::Kind::Files, "", dir_);
  Party& a = Make({GetParam()}, player, "player");
  Party& b = Make({GetParam()}, listener, "listener");
  Negotiate(a, b);
  StartBoth(a, b);
  ASSERT_TRUE(WaitFor([&] { return b.session->PacketsReceived() >= 60; }));
  loop_.Run([&] {
    a.session->Stop();
    b.session->Stop();
  });

  const std::vector<int16_t> heard = ReadWav(dir_ / "listener.wav");
  ASSERT_GE(heard.size(), 60u * 160);
  EXPECT_GT(Power(heard, 1000), 100 * Power(heard, 1500));
  EXPECT_GT(Power(heard, 1000), 100 * Power(heard, 700));
  // The listener sent silence.
  const std::vector<int16_t> played = ReadWav(dir_ / "player.wav");
  ASSERT_FALSE(played.empty());
  EXPECT_LT(Power(played, 1000) * 1000, Power(heard, 1000));
}

INSTANTIATE_TEST_SUITE_P(Codecs, MediaToneTest, ::testing::Values("PCMU", "PCMA"));

TEST_F(MediaTest, HoldAndStopSilenceTheStreams) {
  Party& a = Make();
  Party& b = Make();
  Negotiate(a, b);
  StartBoth(a, b);
  ASSERT_TRUE(WaitFor(
      [&] { return a.session->PacketsReceived() > 5 && b.session->PacketsReceived() > 5; }));

  // Our hold stops what we send, and the peer's recvonly answer stops what it sends.
  loop_.Run([&] { a.session->SetHold(true); });
  Negotiate(a, b);
  LetPacketsPass();
  const uint64_t aHeld = Received(a), bHeld = Received(b);
  LetPacketsPass();
  EXPECT_EQ(Received(a), aHeld);
  EXPECT_EQ(Received(b), bHeld);

  loop_.Run([&] { a.session->SetHold(false); });
  Negotiate(a, b);
  ASSERT_TRUE(WaitFor([&] {
    return a.session->PacketsReceived() > aHeld + 5 && b.session->PacketsReceived() > bHeld + 5;
  }));

  loop_.Run([&] { a.session->Stop(); });
  LetPacketsPass();
  const uint64_t bStopped = Received(b);
  LetPacketsPass();
  EXPECT_EQ(Received(b), bStopped);
}

TEST_F(MediaTest, DigitsArriveOnceEachWithStartAndEnd) {
  Party& a = Make();
  Party& b = Make();
  Negotiate(a, b);
  StartBoth(a, b);
  EXPECT_TRUE(OnLoop([&] {
    return a.session->SendDigit('1', 100) && a.session->SendDigit('#', 60) &&
           a.session->SendDigit('D', 40);
  }));
  EXPECT_FALSE(OnLoop([&] { return a.session->SendDigit('x', 100); }));
  ASSERT_TRUE(WaitFor([&] { return b.digits.size() >= 6; }));
  LetPacketsPass(20);  // retransmitted end packets would have been reported by now
  const std::vector<std::pair<char, bool>> expected{{'1', false}, {'1', true},  {'#', false},
                                                    {'#', true},  {'D', false}, {'D', true}};
  EXPECT_EQ(OnLoop([&] { return b.digits; }), expected);
  EXPECT_TRUE(OnLoop([&] { return a.digits.empty(); }));

  // A peer that offers no telephone-event gets no digits.
  Party& plain = Make();
  std::string offer = OnLoop([&] { return b.session->Offer(); });
  offer.replace(offer.find(" 101"), 4, "");
  offer.erase(offer.find("a=rtpmap:101"));
  ASSERT_NE(OnLoop([&] { return plain.session->Answer(offer); }), "");
  EXPECT_FALSE(OnLoop([&] { return plain.session->SendDigit('1', 100); }));
}

TEST_F(MediaTest, CallGoesOnWhenTheSoundDevicesCannotBeOpened) {
  setenv("PULSE_SERVER", "unix:/nonexistent/pulse", 1);
  Party& a = Make({"PCMU"}, Audio(AudioConfig::Kind::Pulse));
  Party& b = Make({"PCMU"}, Audio(AudioConfig::Kind::Pulse));
  Negotiate(a, b);
  StartBoth(a, b);
  EXPECT_TRUE(WaitFor(
      [&] { return a.session->PacketsReceived() > 10 && b.session->PacketsReceived() > 10; }));
  unsetenv("PULSE_SERVER");
}

}  // namespace
}  // namespace tapi32::sip
