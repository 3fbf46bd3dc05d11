#include "platform/qtxAudioCapture.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstdlib>

#include "platform/qtxStreams.h"
#include "platform/qtxSysUtils.h"
#include "platform/qtxTypes.h"

namespace qtx {

namespace {
const char* const SCannotOpen = "Cannot open the audio capture device \"%s\": %s";
const char* const SRecordFailed = "Recording from the audio capture device \"%s\" failed: %s";
const char* const SNoData = "the device delivered no sound";
const char* const SCannotSave = "Cannot save the recording: %s";
const char* const STooLong = "A recording of %u ms is longer than a WAV file can hold";

constexpr unsigned kSampleRate = 16000;
constexpr unsigned kChannels = 1;
constexpr unsigned kBytesPerFrame = 2 * kChannels;  // 16-bit samples
constexpr unsigned kLatencyMicroseconds = 500000;
constexpr snd_pcm_uframes_t kFramesPerRead = kSampleRate / 10;
constexpr int kMaxRecoveries = 8;

// A capture stream set up for the recording format; closed when it goes.
class TCaptureStream {
public:
  explicit TCaptureStream(const std::string& aDevice) : FDevice(aDevice) {
    int error = snd_pcm_open(&FPcm, aDevice.c_str(), SND_PCM_STREAM_CAPTURE, 0);
    if (error == 0) {
      // ALSA converts from whatever the device offers (resampling allowed).
      error = snd_pcm_set_params(FPcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, kChannels, kSampleRate,
                                 1, kLatencyMicroseconds);
    }
    if (error < 0) {
      if (FPcm) snd_pcm_close(FPcm);
      throw EAudioOpenError(Format(SCannotOpen, {aDevice, snd_strerror(error)}));
    }
  }
  ~TCaptureStream() { snd_pcm_close(FPcm); }
  TCaptureStream(const TCaptureStream&) = delete;
  TCaptureStream& operator=(const TCaptureStream&) = delete;

  // Fills aSamples with exactly aFrames frames. The buffer starts as silence,
  // and each part of it is read once: a device that reports frames without
  // writing them (ALSA's "null" device does) leaves silence, and a device
  // that keeps returning nothing is an error, never an endless loop.
  void Read(uint8_t* aSamples, snd_pcm_uframes_t aFrames) {
    snd_pcm_uframes_t done = 0;
    int recoveries = 0;  // in a row
    while (done < aFrames) {
      const snd_pcm_uframes_t want = std::min(aFrames - done, kFramesPerRead);
      snd_pcm_sframes_t got = snd_pcm_readi(FPcm, aSamples + done * kBytesPerFrame, want);
      if (got < 0) {
        // An overrun or a suspension is recovered from; the frames lost are
        // recorded again, so the length stays exact.
        const int error = snd_pcm_recover(FPcm, static_cast<int>(got), 1);
        if (error < 0) throw EAudioRecordError(Format(SRecordFailed, {FDevice, snd_strerror(error)}));
        if (++recoveries > kMaxRecoveries) throw EAudioRecordError(Format(SRecordFailed, {FDevice, SNoData}));
        continue;
      }
      if (got == 0) throw EAudioRecordError(Format(SRecordFailed, {FDevice, SNoData}));
      recoveries = 0;
      done += static_cast<snd_pcm_uframes_t>(got);
    }
  }

private:
  std::string FDevice;
  snd_pcm_t* FPcm = nullptr;
};

void PutLE(TBytes& aBytes, uint32_t aValue, int aSize) {
  for (int i = 0; i < aSize; ++i) aBytes.push_back(static_cast<uint8_t>(aValue >> (8 * i)));
}

void PutTag(TBytes& aBytes, const char (&aTag)[5]) { aBytes.insert(aBytes.end(), aTag, aTag + 4); }

// The RIFF/WAVE header of a 16-bit PCM recording with aDataBytes of samples.
TBytes WaveHeader(uint32_t aDataBytes) {
  TBytes header;
  PutTag(header, "RIFF");
  PutLE(header, 36 + aDataBytes, 4);
  PutTag(header, "WAVE");
  PutTag(header, "fmt ");
  PutLE(header, 16, 4);  // size of the format chunk
  PutLE(header, 1, 2);   // PCM
  PutLE(header, kChannels, 2);
  PutLE(header, kSampleRate, 4);
  PutLE(header, kSampleRate * kBytesPerFrame, 4);  // bytes per second
  PutLE(header, kBytesPerFrame, 2);                // block align
  PutLE(header, 16, 2);                            // bits per sample
  PutTag(header, "data");
  PutLE(header, aDataBytes, 4);
  return header;
}
}  // namespace

std::string AudioCaptureDevice() {
  const char* device = std::getenv("QTX_AUDIO_DEVICE");
  return (device && *device) ? device : "default";
}

void RecordWaveFile(const std::string& aFileName, uint32_t aMilliseconds) {
  if (aMilliseconds > MaxRecordingMilliseconds) throw EArgumentOutOfRangeException(Format(STooLong, {aMilliseconds}));
  const snd_pcm_uframes_t frames = static_cast<snd_pcm_uframes_t>(aMilliseconds) * (kSampleRate / 1000);
  const auto dataBytes = static_cast<uint32_t>(frames * kBytesPerFrame);

  TBytes wave = WaveHeader(dataBytes);
  const size_t headerSize = wave.size();
  wave.resize(headerSize + dataBytes, 0);
  {
    TCaptureStream stream(AudioCaptureDevice());
    stream.Read(wave.data() + headerSize, frames);
  }
  try {
    TMemoryStream(std::move(wave)).SaveToFile(aFileName);
  } catch (const EStreamError& e) {
    throw EAudioSaveError(Format(SCannotSave, {e.Message()}));
  }
}

}  // namespace qtx
