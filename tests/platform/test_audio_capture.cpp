#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "platform/qtxAudioCapture.h"
#include "support/qtxTestHelpers.h"
#include "support/qtxTestShell.h"

namespace qtx {
namespace {

using test::ReadFileBytes;
using test::RunShell;
using test::ScopedEnvironment;
using test::ShellQuote;
using test::TTempFolder;

TEST(AudioCapture, TheDeviceIsDefaultUnlessTheEnvironmentNamesOne) {
  {
    ScopedEnvironment unset("QTX_AUDIO_DEVICE", nullptr);
    EXPECT_EQ(AudioCaptureDevice(), "default");
  }
  {
    ScopedEnvironment empty("QTX_AUDIO_DEVICE", "");
    EXPECT_EQ(AudioCaptureDevice(), "default");
  }
  ScopedEnvironment named("QTX_AUDIO_DEVICE", "plughw:1,0");
  EXPECT_EQ(AudioCaptureDevice(), "plughw:1,0");
}

// ALSA's "null" device reports every read as done at once without writing a
// sample: the recordings are silence of exactly the requested length.
TEST(AudioCapture, RecordsSilenceOfTheRequestedLengthFromTheNullDevice) {
  ScopedEnvironment device("QTX_AUDIO_DEVICE", "null");
  TTempFolder folder;
  const std::string script =
      "import sys, wave\n"
      "for name in sys.argv[1:]:\n"
      "    with wave.open(name) as w:\n"
      "        print(w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getcomptype(), w.getnframes())\n";
  std::string files;
  std::string expected;
  for (uint32_t milliseconds : {0u, 1u, 1500u, 2345u}) {
    const std::string fileName = folder.File(std::to_string(milliseconds) + ".wav");
    RecordWaveFile(fileName, milliseconds);
    const TBytes wave = ReadFileBytes(fileName);
    ASSERT_EQ(wave.size(), 44 + milliseconds * 32u);
    EXPECT_TRUE(std::all_of(wave.begin() + 44, wave.end(), [](uint8_t b) { return b == 0; })) << milliseconds;
    files += " " + ShellQuote(fileName);
    expected += "1 2 16000 NONE " + std::to_string(milliseconds * 16) + "\n";
  }
  const TBytes output = RunShell("python3 -c " + ShellQuote(script) + files, folder.Path());
  EXPECT_EQ(std::string(output.begin(), output.end()), expected);
}

TEST(AudioCapture, EachStepReportsItsOwnFailure) {
  TTempFolder folder;
  {
    ScopedEnvironment device("QTX_AUDIO_DEVICE", "qtx_no_such_device");
    EXPECT_THROW(RecordWaveFile(folder.File("a.wav"), 100), EAudioOpenError);
    EXPECT_FALSE(std::filesystem::exists(folder.File("a.wav")));
  }
  ScopedEnvironment device("QTX_AUDIO_DEVICE", "null");
  EXPECT_THROW(RecordWaveFile(folder.File("no/such/folder.wav"), 100), EAudioSaveError);
  EXPECT_THROW(RecordWaveFile(folder.File("long.wav"), MaxRecordingMilliseconds + 1), EArgumentOutOfRangeException);
}

}  // namespace
}  // namespace qtx
