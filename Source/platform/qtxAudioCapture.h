#pragma once
// Recording from the sound input into a WAV file (16-bit PCM, mono, 16 kHz,
// what speech recognition wants), through ALSA.

#include <cstdint>
#include <string>

#include "platform/qtxException.h"

namespace qtx {

// A recording failed; the class names the step.
class EAudioCaptureError : public Exception { using Exception::Exception; };
// The capture device could not be opened or set up.
class EAudioOpenError : public EAudioCaptureError { using EAudioCaptureError::EAudioCaptureError; };
// The device failed while recording.
class EAudioRecordError : public EAudioCaptureError { using EAudioCaptureError::EAudioCaptureError; };
// The recording could not be written to its file.
class EAudioSaveError : public EAudioCaptureError { using EAudioCaptureError::EAudioCaptureError; };

// The ALSA capture device: the environment variable QTX_AUDIO_DEVICE when it
// is set and not empty, else "default".
std::string AudioCaptureDevice();

// The longest recording a WAV file can hold (its sizes are 32-bit).
constexpr uint32_t MaxRecordingMilliseconds = (UINT32_MAX - 36) / 32;

// Records exactly aMilliseconds of sound from the capture device into the WAV
// file aFileName (created or replaced). Raises EArgumentOutOfRangeException
// beyond MaxRecordingMilliseconds, else the EAudioCaptureError of the failing
// step.
void RecordWaveFile(const std::string& aFileName, uint32_t aMilliseconds);

}  // namespace qtx
