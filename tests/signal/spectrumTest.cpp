#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <string>
#include <vector>

#include "audioClass.h"
#include "fatalCatch.h"
#include "spectrum.h"
#include "toneFixture.h"

using namespace tulim;
using tulim::test::sineWave;
using tulim::test::expectFatal;

namespace {

std::vector<std::complex<double>> dft(const std::vector<double>& re, const std::vector<double>& im) {
  const size_t n = re.size();
  std::vector<std::complex<double>> out(n);
  for (size_t k = 0; k < n; ++k)
    for (size_t t = 0; t < n; ++t)
      out[k] += std::complex<double>(re[t], im[t]) * std::polar(1.0, -2 * M_PI * double(k * t % n) / double(n));
  return out;
}

}  // namespace

TEST(Fft, MatchesTheDiscreteTransformForEveryPowerOfTwo) {
  for (int n : {2, 4, 8, 16, 32, 64, 128, 512}) {
    SCOPED_TRACE(n);
    std::vector<double> re(n), im(n);
    for (int i = 0; i < n; ++i) {
      re[i] = std::sin(0.37 * i * i) + 0.1 * i;
      im[i] = std::cos(1.3 * i);
    }
    const std::vector<std::complex<double>> expected = dft(re, im);
    std::vector<float> reF(re.begin(), re.end()), imF(im.begin(), im.end());
    fft(re.data(), im.data(), n);
    fft(reF.data(), imF.data(), n);
    for (int k = 0; k < n; ++k) {
      EXPECT_NEAR(re[k], expected[k].real(), 1e-9 * n) << "bin " << k;
      EXPECT_NEAR(im[k], expected[k].imag(), 1e-9 * n) << "bin " << k;
      EXPECT_NEAR(reF[k], expected[k].real(), 1e-3 * n) << "bin " << k;
      EXPECT_NEAR(imF[k], expected[k].imag(), 1e-3 * n) << "bin " << k;
    }
  }
}

TEST(Fft, ImpulseAndConstant) {
  std::vector<double> re(16, 0), im(16, 0);
  re[0] = 1;
  fft(re.data(), im.data(), 16);
  for (int k = 0; k < 16; ++k) {
    EXPECT_DOUBLE_EQ(re[k], 1);
    EXPECT_NEAR(im[k], 0, 1e-15);
  }
  std::fill(re.begin(), re.end(), 1.0);
  std::fill(im.begin(), im.end(), 0.0);
  fft(re.data(), im.data(), 16);
  EXPECT_DOUBLE_EQ(re[0], 16);
  for (int k = 1; k < 16; ++k) {
    EXPECT_NEAR(re[k], 0, 1e-12);
    EXPECT_NEAR(im[k], 0, 1e-12);
  }
}

TEST(Fft, PadsToThePowerOfTwoAboveAndSaysSo) {
  std::vector<double> re(512, 9), im(512, 9);
  for (int i = 0; i < 500; ++i) {
    re[i] = i % 7;
    im[i] = 0;
  }
  std::vector<double> padded(re.begin(), re.begin() + 500), zeros(512, 0);
  padded.resize(512, 0);
  const std::vector<std::complex<double>> expected = dft(padded, zeros);
  testing::internal::CaptureStdout();
  fft(re.data(), im.data(), 500);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nuse 512 point fft");
  for (int k = 0; k < 512; k += 37) EXPECT_NEAR(re[k], expected[k].real(), 1e-8);
  testing::internal::CaptureStdout();
  fft(re.data(), im.data(), 512);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(HammingWindow, ShapesTheFrame) {
  std::vector<float> x(5, 2.0f);
  audioClass().hammingWindow(x.data(), 5);
  EXPECT_FLOAT_EQ(x[0], 2 * 0.08f);
  EXPECT_FLOAT_EQ(x[1], 2 * 0.54f);
  EXPECT_FLOAT_EQ(x[2], 2.0f);
  EXPECT_FLOAT_EQ(x[4], 2 * 0.08f);
}

TEST(MagSpectrum, ToneOfWholeBinsPeaksAtItsBin) {
  audioClass audio;
  // 1000 Hz at 16000 Hz in 512 points: bin 32.
  const std::vector<int> tone = sineWave(512 * 3, 1000, 16000, 1000);
  std::vector<double> wave(tone.begin(), tone.end());
  for (bool hamming : {false, true}) {
    std::vector<double> out(3 * 257);
    audio.wave2magSpectrum(wave.data(), 512 * 3, 512, 0, 512, hamming, out.data());
    for (int frame = 0; frame < 3; ++frame) {
      const double* row = out.data() + frame * 257;
      const int peak = static_cast<int>(std::max_element(row, row + 257) - row);
      EXPECT_EQ(peak, 32);
      if (!hamming) {
        EXPECT_NEAR(row[32], 1000 * 256, 256);
      }
    }
    std::vector<double> frames(wave.begin(), wave.begin() + 1024), mag(1024);
    audio.frames2magSpectrum(frames.data(), 512, 2, hamming, mag.data());
    for (int frame = 0; frame < 2; ++frame) {
      const double* row = mag.data() + frame * 512;
      EXPECT_EQ(std::max_element(row, row + 256) - row, 32);
      EXPECT_NEAR(row[32], row[512 - 32], 1e-2 * row[32]);
    }
  }
}

TEST(MagSpectrum, RejectsAFrameLongerThanThePaddedSize) {
  std::vector<double> wave(1000, 0.0), out(2000);
  EXPECT_THAT(expectFatal([&] { audioClass().wave2magSpectrum(wave.data(), 1000, 600, 0, 512, true, out.data()); }),
              testing::MatchesRegex("Error: frameSize is larger than paddedSize \\(line [0-9]+ of file audio\\)"));
}

TEST(Wave2spectrogram, FindsTheLargestChangeInTheFirstHalfOfTheSpan) {
  audioClass audio;
  // Frames of 256: silence for frames 0..3, a tone from frame 4 on; the change two apart is
  // largest at frames 2 and 3 (silence against tone).
  std::vector<int> wave(256 * 4, 0);
  const std::vector<int> tone = sineWave(256 * 8, 700, 16000, 5000);
  wave.insert(wave.end(), tone.begin(), tone.end());
  const int at = audio.wave2spectrogram(wave.data(), static_cast<int>(wave.size()), 256, 0);
  EXPECT_TRUE(at == 2 || at == 3) << at;
  // A change in the second half is not looked at: with 12 frames only i < 5 counts.
  std::vector<int> late(256 * 10, 0);
  late.insert(late.end(), tone.begin(), tone.begin() + 512);
  EXPECT_LT(audio.wave2spectrogram(late.data(), static_cast<int>(late.size()), 256, 0), 5);
}

TEST(Wave2spectrogram, ShortSpansAndLongFrames) {
  audioClass audio;
  const std::vector<int> tone = sineWave(256 * 3, 700, 16000, 5000);
  EXPECT_EQ(audio.wave2spectrogram(tone.data(), 256 * 3, 256, 0), 0);
  EXPECT_EQ(audio.wave2spectrogram(tone.data(), 256 * 2, 256, 0), 0);
  EXPECT_THAT(expectFatal([&] { audio.wave2spectrogram(tone.data(), 256 * 3, 513, 0); }),
              testing::MatchesRegex("Error: frameSize is larger than paddedSize \\(line [0-9]+ of file audio\\)"));
}
