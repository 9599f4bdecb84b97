// The small recognition task of the demo: four synthetic sounds, models trained on their own
// MFCC frames, candidate texts and one utterance of one of them. Written by the generator
// tulim-make-example into examples/, and into scratch directories by the program tests.
#pragma once

#include <string>
#include <vector>

namespace tulim {
namespace example {

// File names inside the task's directory; the parameter file names the others relative to it.
constexpr const char* PARAM_FILE = "example.prm";
constexpr const char* WAVE_FILE = "utterance.wav";
constexpr const char* TEXT_FILE = "texts.txt";
constexpr const char* SYL_FILE = "texts.syl";

// The candidate texts, in file order, and the one the wave says.
const std::vector<std::string>& candidateTexts();
constexpr int SPOKEN_TEXT_INDEX = 1;

// Writes the parameter file, models, pronunciation dictionary, normalisation map, unvoiced
// phone list, confidence-measure parameters, feature configuration, texts, syllable lines
// and the wave into dir (which must exist). Fatal errors of the engine pass through.
void exampleTaskWrite(const std::string& dir);

// A wave of the sounds named (syllables of the task, "sil" included), each held for its
// duration in seconds, at 16000 Hz; noiseSeed varies the noise of every sound.
std::vector<int> exampleWave(const std::vector<std::string>& sounds, const std::vector<double>& seconds,
                             unsigned noiseSeed);

// ---- Shared with the benchmark task's generator, which makes its models the same way ----

// The front end's configuration file: MFCC with log energy, deltas and accelerations,
// FEATURE_VECTOR_SIZE values every 10 ms.
extern const char* const FEATURE_CONFIG;
constexpr int FEATURE_VECTOR_SIZE = 39;

// Writes text to path; fatal when it cannot.
void textWrite(const std::string& path, const std::string& text);

// Mean and variance of each value over the frames named (frame-major features).
struct gaussian {
  std::vector<double> mean = std::vector<double>(FEATURE_VECTOR_SIZE, 0.0);
  std::vector<double> var = std::vector<double>(FEATURE_VECTOR_SIZE, 0.0);
};
gaussian statistics(const std::vector<float>& features, const std::vector<int>& frames);

}  // namespace example
}  // namespace tulim
