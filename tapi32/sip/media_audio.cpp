#include "tapi32/sip/media_audio.h"

#include <pulse/error.h>
#include <pulse/simple.h>
#include <re.h>
#include <rem.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <deque>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace tapi32::sip {
namespace {

static_assert(std::endian::native == std::endian::little, "WAV samples are written as they lie");

using Samples = std::vector<int16_t>;

void Report(const std::string& problem) {
  std::cerr << "sip: " << problem << std::endl;
}

// A problem that every call would meet again (a missing file, no sound server) is reported the
// first time only: a thousand calls must not print a thousand lines.
void ReportOnce(const std::string& problem) {
  static std::mutex mutex;
  static std::set<std::string> reported;
  std::lock_guard lock(mutex);
  if (reported.insert(problem).second) Report(problem);
}

// The WAV files played to the far end, read once and shared by every call that plays them, so
// that a call holds no descriptor for its source.
class SourceCache {
 public:
  static std::shared_ptr<const Samples> Get(const std::string& path) {
    static SourceCache cache;
    std::lock_guard lock(cache.mutex_);
    if (auto samples = cache.files_[path].lock()) return samples;
    auto samples = std::make_shared<const Samples>(Read(path));
    cache.files_[path] = samples;
    return samples;
  }

 private:
  // Empty when the file cannot be played (reported).
  static Samples Read(const std::string& path) {
    aufile* file = nullptr;
    aufile_prm prm{};
    if (const int err = aufile_open(&file, &prm, path.c_str(), AUFILE_READ); err != 0) {
      ReportOnce(path + ": cannot be read (" + std::strerror(err) + "); the calls send silence");
      return {};
    }
    Samples samples;
    if (prm.srate != AudioEnds::kSampleRate || prm.channels != 1 || prm.fmt != AUFMT_S16LE) {
      ReportOnce(path + ": not an 8 kHz mono 16-bit WAV file; the calls send silence");
    } else {
      std::array<int16_t, 4096> chunk{};
      for (;;) {
        size_t bytes = sizeof chunk;
        if (aufile_read(file, reinterpret_cast<uint8_t*>(chunk.data()), &bytes) != 0 ||
            bytes == 0) {
          break;
        }
        samples.insert(samples.end(), chunk.begin(), chunk.begin() + bytes / sizeof(int16_t));
      }
    }
    mem_deref(file);
    return samples;
  }

  std::mutex mutex_;
  std::map<std::string, std::weak_ptr<const Samples>> files_;
};

// Writes what arrives to a WAV file. The file is opened only while a batch is written, so a call
// holds no descriptor for its recording, and its header is brought up to date with each batch,
// so that the file is a complete WAV file whenever no batch is being written.
class WavRecorder {
 public:
  explicit WavRecorder(std::string path) : path_(std::move(path)) {
    std::ofstream file(path_, std::ios::binary | std::ios::trunc);
    WriteHeader(file);
    if (!file) Fail();
  }
  ~WavRecorder() { Flush(); }

  void Append(std::span<const int16_t> samples) {
    if (failed_) return;
    pending_.insert(pending_.end(), samples.begin(), samples.end());
    if (pending_.size() >= kBatchSamples) Flush();
  }

 private:
  static constexpr size_t kBatchSamples = AudioEnds::kSampleRate;  // one second
  static constexpr uint32_t kHeaderBytes = 44;

  void Flush() {
    if (failed_ || pending_.empty()) return;
    std::fstream file(path_, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(kHeaderBytes + dataBytes_);
    file.write(reinterpret_cast<const char*>(pending_.data()),
               static_cast<std::streamsize>(pending_.size() * sizeof(int16_t)));
    dataBytes_ += static_cast<uint32_t>(pending_.size() * sizeof(int16_t));
    pending_.clear();
    file.seekp(0);
    WriteHeader(file);
    if (!file) Fail();
  }

  void WriteHeader(std::ostream& out) const {
    auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    u32(kHeaderBytes - 8 + dataBytes_);
    out.write("WAVEfmt ", 8);
    u32(16);  // size of the format chunk
    u16(1);   // PCM
    u16(1);   // mono
    u32(AudioEnds::kSampleRate);
    u32(AudioEnds::kSampleRate * sizeof(int16_t));
    u16(sizeof(int16_t));
    u16(16);
    out.write("data", 4);
    u32(dataBytes_);
  }

  void Fail() {
    failed_ = true;
    pending_.clear();
    ReportOnce(path_ + ": cannot be written; received audio is dropped");
  }

  std::string path_;
  Samples pending_;
  uint32_t dataBytes_ = 0;
  bool failed_ = false;
};

class SilentEnds final : public AudioEnds {
 public:
  void Capture(Frame& frame) override { frame.fill(0); }
  void Play(std::span<const int16_t>) override {}
};

class FileEnds final : public AudioEnds {
 public:
  FileEnds(const AudioConfig& config, const std::string& callTag)
      : source_(config.source.empty() ? std::make_shared<const Samples>()
                                      : SourceCache::Get(config.source)) {
    if (!config.sink.empty()) {
      recorder_.emplace(config.sink + "/" + callTag + ".wav");
    }
  }

  void Capture(Frame& frame) override {
    const Samples& source = *source_;
    if (source.empty()) {
      frame.fill(0);
      return;
    }
    // The file starts again at its end.
    for (int16_t& sample : frame) {
      sample = source[position_];
      position_ = (position_ + 1) % source.size();
    }
  }

  void Play(std::span<const int16_t> samples) override {
    if (recorder_) recorder_->Append(samples);
  }

 private:
  std::shared_ptr<const Samples> source_;
  size_t position_ = 0;
  std::optional<WavRecorder> recorder_;
};

// The machine's sound devices through PulseAudio's simple API. Its reads and writes block, so a
// thread of our own records frame after frame and plays what arrived in between; the loop thread
// only exchanges frames with it under a mutex. Ending does not wait for the thread: it finishes
// its current frame (at most 20 ms) and frees the devices itself.
class PulseEnds final : public AudioEnds {
 public:
  PulseEnds(const AudioConfig& config, const std::string& callTag)
      : shared_(std::make_shared<Shared>()) {
    std::thread(&PulseEnds::Serve, shared_, config, callTag).detach();
  }
  ~PulseEnds() override {
    std::lock_guard lock(shared_->mutex);
    shared_->ending = true;
  }

  void Capture(Frame& frame) override {
    std::lock_guard lock(shared_->mutex);
    if (shared_->captured.empty()) {
      frame.fill(0);
      return;
    }
    frame = shared_->captured.front();
    shared_->captured.pop_front();
  }

  void Play(std::span<const int16_t> samples) override {
    std::lock_guard lock(shared_->mutex);
    if (!shared_->open) return;
    shared_->toPlay.insert(shared_->toPlay.end(), samples.begin(), samples.end());
    // A device that stalls must not make the call's memory grow without bound.
    if (shared_->toPlay.size() > kMaxQueuedFrames * kFrameSamples) {
      shared_->toPlay.erase(shared_->toPlay.begin(),
                            shared_->toPlay.end() - kMaxQueuedFrames * kFrameSamples);
    }
  }

 private:
  static constexpr size_t kMaxQueuedFrames = 10;

  struct Shared {
    std::mutex mutex;
    bool open = true;  // false once the devices failed: what arrives is dropped
    bool ending = false;
    std::deque<Frame> captured;
    Samples toPlay;
  };

  static void Serve(std::shared_ptr<Shared> shared, AudioConfig config, std::string callTag) {
    const pa_sample_spec spec{PA_SAMPLE_S16LE, kSampleRate, 1};
    const std::string stream = "call " + callTag;
    auto device = [](const std::string& name) { return name.empty() ? nullptr : name.c_str(); };
    int err = 0;
    pa_simple* record = pa_simple_new(nullptr, "zvTapi", PA_STREAM_RECORD, device(config.source),
                                      stream.c_str(), &spec, nullptr, nullptr, &err);
    pa_simple* playback = record == nullptr ? nullptr
                                            : pa_simple_new(nullptr, "zvTapi", PA_STREAM_PLAYBACK,
                                                            device(config.sink), stream.c_str(),
                                                            &spec, nullptr, nullptr, &err);
    if (playback == nullptr) {
      ReportOnce(std::string("PulseAudio: the sound devices cannot be opened (") +
                 pa_strerror(err) + "); calls go on without audio");
      if (record != nullptr) pa_simple_free(record);
      std::lock_guard lock(shared->mutex);
      shared->open = false;
      return;
    }
    for (;;) {
      Frame frame{};
      if (pa_simple_read(record, frame.data(), sizeof frame, &err) < 0) {
        Report(std::string("PulseAudio: recording failed (") + pa_strerror(err) + ")");
        break;
      }
      Samples toPlay;
      {
        std::lock_guard lock(shared->mutex);
        if (shared->ending) break;
        shared->captured.push_back(frame);
        if (shared->captured.size() > kMaxQueuedFrames) shared->captured.pop_front();
        toPlay.swap(shared->toPlay);
      }
      if (!toPlay.empty() &&
          pa_simple_write(playback, toPlay.data(), toPlay.size() * sizeof(int16_t), &err) < 0) {
        Report(std::string("PulseAudio: playing failed (") + pa_strerror(err) + ")");
        break;
      }
    }
    pa_simple_free(record);
    pa_simple_free(playback);
    std::lock_guard lock(shared->mutex);
    shared->open = false;
  }

  std::shared_ptr<Shared> shared_;
};

}  // namespace

std::unique_ptr<AudioEnds> AudioEnds::Open(const AudioConfig& config, const std::string& callTag) {
  switch (config.kind) {
    case AudioConfig::Kind::Pulse:
      return std::make_unique<PulseEnds>(config, callTag);
    case AudioConfig::Kind::Files:
      return std::make_unique<FileEnds>(config, callTag);
    case AudioConfig::Kind::None:
      break;
  }
  return std::make_unique<SilentEnds>();
}

}  // namespace tapi32::sip
