#include "tapi32/sip/media.h"

#include <re.h>
#include <rem.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <optional>
#include <stdexcept>
#include <vector>

#include "tapi32/sip/media_audio.h"

namespace tapi32::sip {
namespace {

constexpr uint32_t kFrameMs = 20;
constexpr uint32_t kFrameSamples = AudioEnds::kFrameSamples;
constexpr uint8_t kPayloadPcmu = 0;
constexpr uint8_t kPayloadPcma = 8;
// Dynamic payload type we announce for telephone events; in an answer libre takes the offerer's.
constexpr const char* kTelevPayload = "101";

struct G711Codec {
  const char* name;
  uint8_t payload;
};
constexpr std::array<G711Codec, 2> kCodecs{{{"PCMU", kPayloadPcmu}, {"PCMA", kPayloadPcma}}};

const G711Codec* FindCodec(const std::string& name) {
  const auto it = std::ranges::find_if(
      kCodecs, [&](const G711Codec& codec) { return str_casecmp(codec.name, name.c_str()) == 0; });
  return it == kCodecs.end() ? nullptr : &*it;
}

// Owns one libre object.
template <typename T>
struct MemDeref {
  void operator()(T* object) const { mem_deref(object); }
};
template <typename T>
using MemPtr = std::unique_ptr<T, MemDeref<T>>;

MemPtr<mbuf> ToMbuf(const std::string& text) {
  MemPtr<mbuf> mb(mbuf_alloc(text.size()));
  if (!mb) throw std::bad_alloc();
  mbuf_write_mem(mb.get(), reinterpret_cast<const uint8_t*>(text.data()), text.size());
  mb->pos = 0;
  return mb;
}

class Session;

// Paces the sending of every session of one loop thread with one libre timer: libre's timer list
// is linear, so a timer per call would make a thousand calls spend their time inserting timers.
// The loop thread's libre state is its own, so each thread has its own clock.
class Clock {
 public:
  static Clock& OfThisThread() {
    thread_local Clock clock;
    return clock;
  }
  void Add(Session* session);
  void Remove(Session* session);

 private:
  static void OnTimer(void* arg);
  void Tick();

  std::vector<Session*> sessions_;
  tmr timer_{};
  uint64_t due_ = 0;  // the jiffies (ms) the next frame is due at
};

class Session final : public MediaSession {
 public:
  Session(const MediaConfig& config, Events events) : config_(config), events_(std::move(events)) {
    sa local{};
    if (config_.localIp.empty() ? net_default_source_addr_get(AF_INET, &local) != 0
                                : sa_set_str(&local, config_.localIp.c_str(), 0) != 0) {
      throw std::runtime_error("SIP media: no local address " + config_.localIp);
    }
    struct rtp_sock* rtp = nullptr;
    if (const int err = rtp_listen(&rtp, IPPROTO_UDP, &local, config_.portMin, config_.portMax,
                                   true, &Session::OnRtp, nullptr, this);
        err != 0) {
      throw std::runtime_error("SIP media: no free RTP port in " + std::to_string(config_.portMin) +
                               "-" + std::to_string(config_.portMax) + " (" + std::strerror(err) +
                               ")");
    }
    rtp_.reset(rtp);
    localAddr_ = *rtp_local(rtp);
    for (const std::string& name : config_.codecs) {
      if (const G711Codec* codec = FindCodec(name)) codecs_.push_back(codec);
    }
    auto [sdp, media] = NewSdp();
    sdp_ = std::move(sdp);
    media_ = media;
    telev* tel = nullptr;
    if (telev_alloc(&tel, kFrameMs) != 0) throw std::bad_alloc();
    telev_.reset(tel);
  }

  ~Session() override { Stop(); }

  std::string Offer() override {
    SetAnswered(nullptr);
    return Encode(true);
  }

  std::string Answer(const std::string& offer) override {
    // The offer is tried on a scratch description first, so that an unusable re-INVITE leaves
    // the media as it was.
    auto [scratch, scratchMedia] = NewSdp();
    if (sdp_decode(scratch.get(), ToMbuf(offer).get(), true) != 0 ||
        ChooseCodec(scratchMedia) == nullptr) {
      return {};
    }
    if (sdp_decode(sdp_.get(), ToMbuf(offer).get(), true) != 0) return {};
    const G711Codec* codec = ChooseCodec(media_);
    Negotiated(codec);
    // The peer holds us when it no longer wants to receive: its sendonly or inactive reads as
    // our recvonly or inactive. An old-style hold names no address (c=0.0.0.0).
    peerHolds_ = (sdp_media_rdir(media_) & SDP_SENDONLY) == 0 || !HasPeerAddress();
    SetAnswered(codec);
    return Encode(false);
  }

  bool Accept(const std::string& answer) override {
    if (sdp_decode(sdp_.get(), ToMbuf(answer).get(), false) != 0) return false;
    const G711Codec* codec = ChooseCodec(media_);
    if (codec == nullptr) return false;
    Negotiated(codec);
    return true;
  }

  void SetHold(bool hold) override {
    hold_ = hold;
    sdp_media_set_ldir(media_, hold ? SDP_SENDONLY : SDP_SENDRECV);
  }

  bool PeerHolds() const override { return peerHolds_; }

  void Start() override {
    if (running_ || stopped_) return;
    running_ = true;
    audio_ = AudioEnds::Open(config_.audio, config_.callTag);
    Clock::OfThisThread().Add(this);
  }

  void Stop() override {
    if (stopped_) return;
    stopped_ = true;
    if (running_) Clock::OfThisThread().Remove(this);
    running_ = false;
    audio_.reset();
  }

  bool SendDigit(char digit, uint32_t durationMs) override {
    const int code = telev_digit2code(static_cast<unsigned char>(digit));
    if (code < 0 || !sendEventPayload_) return false;
    digits_.push_back({code, std::max<uint32_t>(1, (durationMs + kFrameMs - 1) / kFrameMs)});
    return true;
  }

  std::string Codec() const override { return codec_ == nullptr ? std::string() : codec_->name; }

  uint64_t PacketsReceived() const override { return packetsReceived_; }

  // Sends the next 20 ms: a telephone-event packet while a digit is being sent, audio otherwise.
  // Calls no callback, so that no session can disappear while the clock goes through them.
  void Tick(mbuf* buffer) {
    timestamp_ += kFrameSamples;
    if (!Sending()) return;
    bool marker = false;
    uint8_t payload = 0;
    uint32_t timestamp = timestamp_;
    mbuf_rewind(buffer);
    buffer->pos = buffer->end = RTP_HEADER_SIZE;
    if (PollDigit(buffer, marker)) {
      payload = *sendEventPayload_;
      timestamp = eventTimestamp_;
    } else {
      AudioEnds::Frame frame;
      audio_->Capture(frame);
      for (int16_t sample : frame) {
        mbuf_write_u8(buffer, codec_->payload == kPayloadPcmu ? g711_pcm2ulaw(sample)
                                                              : g711_pcm2alaw(sample));
      }
      payload = codec_->payload;
      marker = firstPacket_;
      firstPacket_ = false;
    }
    buffer->pos = RTP_HEADER_SIZE;
    rtp_send(rtp_.get(), &peerAddr_, false, marker, payload, timestamp, buffer);
  }

 private:
  struct Digit {
    int code;
    uint32_t frames;  // how long it lasts
  };

  std::pair<MemPtr<sdp_session>, sdp_media*> NewSdp() const {
    sdp_session* raw = nullptr;
    if (sdp_session_alloc(&raw, &localAddr_) != 0) throw std::bad_alloc();
    MemPtr<sdp_session> sdp(raw);
    sdp_media* media = nullptr;
    if (sdp_media_add(&media, sdp.get(), sdp_media_audio, sa_port(&localAddr_), sdp_proto_rtpavp) !=
        0) {
      throw std::bad_alloc();
    }
    for (const auto* codec : codecs_) {
      const std::string id = std::to_string(codec->payload);
      sdp_format_add(nullptr, media, false, id.c_str(), codec->name, AudioEnds::kSampleRate, 1,
                     nullptr, nullptr, nullptr, false, nullptr);
    }
    sdp_format_add(nullptr, media, false, kTelevPayload, telev_rtpfmt, AudioEnds::kSampleRate, 1,
                   nullptr, nullptr, nullptr, false, "0-15");
    sdp_media_set_lattr(media, true, sdp_attr_ptime, "%u", kFrameMs);
    return {std::move(sdp), media};
  }

  // The first of our codecs, in our order of preference, that the peer's description names.
  const G711Codec* ChooseCodec(const sdp_media* media) const {
    if (sdp_media_rport(media) == 0) return nullptr;  // the peer refused the stream
    for (const auto* codec : codecs_) {
      if (sdp_media_rformat(media, codec->name) != nullptr) return codec;
    }
    return nullptr;
  }

  // libre answers with every codec both sides have; our answer names the chosen one only. An
  // offer (chosen null) names all of ours again, in our order of preference, which libre changed
  // to the order of the last offer it decoded.
  void SetAnswered(const G711Codec* chosen) {
    auto* formats = const_cast<list*>(sdp_media_format_lst(media_, true));
    for (le* it = list_head(formats); it != nullptr; it = it->next) {
      auto* format = static_cast<sdp_format*>(it->data);
      if (chosen == nullptr) {
        format->sup = true;
      } else if (FindCodec(format->name) != nullptr) {
        format->sup = str_casecmp(format->name, chosen->name) == 0;
      }
    }
    if (chosen == nullptr) list_sort(formats, &Session::InPreferenceOrder, this);
  }

  // Telephone events come last, as everything we do not know.
  size_t Rank(const sdp_format* format) const {
    const G711Codec* codec = FindCodec(format->name);
    return static_cast<size_t>(std::ranges::find(codecs_, codec) - codecs_.begin());
  }
  static bool InPreferenceOrder(le* first, le* second, void* arg) {
    const auto* self = static_cast<const Session*>(arg);
    return self->Rank(static_cast<const sdp_format*>(first->data)) <=
           self->Rank(static_cast<const sdp_format*>(second->data));
  }

  void Negotiated(const G711Codec* codec) {
    codec_ = codec;
    peerAddr_ = *sdp_media_raddr(media_);
    const sdp_format* event = sdp_media_rformat(media_, telev_rtpfmt);
    sendEventPayload_ =
        event == nullptr ? std::nullopt : std::optional<uint8_t>(static_cast<uint8_t>(event->pt));
    const sdp_format* ours = sdp_media_format(media_, true, nullptr, -1, telev_rtpfmt, -1, -1);
    receiveEventPayload_ = ours == nullptr ? -1 : ours->pt;
  }

  std::string Encode(bool offer) {
    mbuf* raw = nullptr;
    if (sdp_encode(&raw, sdp_.get(), offer) != 0) throw std::bad_alloc();
    MemPtr<mbuf> mb(raw);
    return std::string(reinterpret_cast<const char*>(mb->buf), mb->end);
  }

  bool HasPeerAddress() const { return sa_isset(&peerAddr_, SA_ALL) && !sa_is_any(&peerAddr_); }

  // Each direction as RFC 3264 has it, and nothing at all while we hold: a held party hears
  // nothing.
  bool Sending() const {
    return running_ && codec_ != nullptr && !hold_ && HasPeerAddress() &&
           (sdp_media_dir(media_) & SDP_SENDONLY) != 0;
  }
  bool Receiving() const { return running_ && (sdp_media_dir(media_) & SDP_RECVONLY) != 0; }

  // Moves the digits along and writes the next telephone-event packet, if any, to `buffer`.
  bool PollDigit(mbuf* buffer, bool& marker) {
    if (digit_) {
      if (digit_->frames > 0 && --digit_->frames == 0) telev_send(telev_.get(), digit_->code, true);
    } else if (!digits_.empty() && !eventBusy_) {
      // A frame of audio between two digits keeps them apart.
      digit_ = digits_.front();
      digits_.pop_front();
      telev_send(telev_.get(), digit_->code, false);
    }
    eventBusy_ = telev_poll(telev_.get(), &marker, buffer) == 0;
    if (!eventBusy_ && digit_ && digit_->frames == 0) digit_.reset();
    if (marker) eventTimestamp_ = timestamp_;
    return eventBusy_;
  }

  static void OnRtp(const sa*, const rtp_header* header, mbuf* mb, void* arg) {
    auto* self = static_cast<Session*>(arg);
    if (!self->Receiving()) return;
    ++self->packetsReceived_;
    if (header->pt == self->receiveEventPayload_) {
      self->ReceiveEvent(mb);
      return;
    }
    const bool ulaw = header->pt == kPayloadPcmu;
    if (!ulaw && header->pt != kPayloadPcma) return;
    std::array<int16_t, 1024> samples{};  // 128 ms: more than any packet of ours or baresip's
    const size_t count = std::min(mbuf_get_left(mb), samples.size());
    const uint8_t* payload = mbuf_buf(mb);
    for (size_t i = 0; i < count; ++i) {
      samples[i] = ulaw ? g711_ulaw2pcm(payload[i]) : g711_alaw2pcm(payload[i]);
    }
    self->audio_->Play(std::span(samples).first(count));
  }

  void ReceiveEvent(mbuf* mb) {
    int event = 0;
    bool end = false;
    if (telev_recv(telev_.get(), mb, &event, &end) != 0) return;
    const int digit = telev_code2digit(event);
    if (digit < 0 || !events_.digit) return;
    events_.digit(static_cast<char>(digit), end);
  }

  MediaConfig config_;
  Events events_;
  std::vector<const G711Codec*> codecs_;  // ours, in order of preference
  sa localAddr_{};
  MemPtr<struct rtp_sock> rtp_;
  MemPtr<sdp_session> sdp_;
  sdp_media* media_ = nullptr;  // owned by sdp_
  MemPtr<telev> telev_;
  std::unique_ptr<AudioEnds> audio_;

  bool hold_ = false;
  bool peerHolds_ = false;
  bool running_ = false;
  bool stopped_ = false;
  const G711Codec* codec_ = nullptr;
  sa peerAddr_{};
  std::optional<uint8_t> sendEventPayload_;  // the peer's telephone-event payload type
  int receiveEventPayload_ = -1;             // ours

  uint32_t timestamp_ = rand_u32();
  bool firstPacket_ = true;
  std::deque<Digit> digits_;
  std::optional<Digit> digit_;  // being sent; frames 0: ended, its last packets go out
  bool eventBusy_ = false;
  uint32_t eventTimestamp_ = 0;
  uint64_t packetsReceived_ = 0;
};

void Clock::Add(Session* session) {
  sessions_.push_back(session);
  if (sessions_.size() == 1) {
    due_ = tmr_jiffies() + kFrameMs;
    tmr_start(&timer_, kFrameMs, &Clock::OnTimer, this);
  }
}

void Clock::Remove(Session* session) {
  std::erase(sessions_, session);
  if (sessions_.empty()) tmr_cancel(&timer_);
}

void Clock::OnTimer(void* arg) {
  static_cast<Clock*>(arg)->Tick();
}

void Clock::Tick() {
  // Frames are due every 20 ms from the start; a late timer sends the frames it missed, unless
  // the loop was stalled so long that catching up would only flood the peer.
  constexpr uint64_t kMaxCatchUp = 5;
  const uint64_t now = tmr_jiffies();
  if (now > due_ + kMaxCatchUp * kFrameMs) due_ = now;
  MemPtr<mbuf> buffer(mbuf_alloc(RTP_HEADER_SIZE + kFrameSamples));
  while (due_ <= now) {
    for (Session* session : sessions_)
      session->Tick(buffer.get());
    due_ += kFrameMs;
  }
  tmr_start(&timer_, due_ - now, &Clock::OnTimer, this);
}

}  // namespace

std::unique_ptr<MediaSession> MediaSession::Create(const MediaConfig& config, Events events) {
  return std::make_unique<Session>(config, std::move(events));
}

}  // namespace tapi32::sip
