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

}  // namespace example
}  // namespace tulim
