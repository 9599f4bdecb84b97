#include "exampleTask.h"

#include <algorithm>
#include <cmath>

#include "CMel.h"
#include "audioFile.h"
#include "lineFile.h"
#include "utility.h"

namespace tulim {
namespace example {

namespace {

constexpr int FS = 16000;
constexpr int NBITS = 16;
constexpr int FRAME_SIZE = 320;  // the pipeline's framing: 20 ms windows every 10 ms
constexpr int FRAME_SHIFT = 160;
constexpr int STREAM_NUM = 3;
constexpr int STREAM_WIDTH = 13;
constexpr int VECTOR_SIZE = STREAM_NUM * STREAM_WIDTH;
static_assert(VECTOR_SIZE == FEATURE_VECTOR_SIZE, "the features the configuration gives");
constexpr int STATE_NUM = 3;
// Deltas and accelerations reach two frames to each side; frames that close to another
// sound carry some of it and stay out of the statistics.
constexpr int EDGE_FRAMES = 4;
// Variances are floored at this share of the whole training wave's variance, so that a
// steady synthetic tone does not give a model too sharp for another take of it.
constexpr double VARIANCE_FLOOR = 0.05;
constexpr double BACKGROUND_NOISE = 40;

const std::vector<std::string>& syllables() {
  static const std::vector<std::string> names = {"do", "re", "mi", "sh"};
  return names;
}

// Reproducible uniform noise in -1..1.
struct noiseSource {
  unsigned state;
  double next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<double>(state >> 8) / static_cast<double>(1u << 23) - 1.0;
  }
};

// One sound: a harmonic tone of base frequency f0 ("do", "re", "mi"), high-passed noise
// ("sh", the unvoiced one) or the background alone ("sil").
void soundAppend(std::vector<int>& wave, const std::string& name, int n, noiseSource& noise) {
  double f0 = 0;
  if (name == "do")
    f0 = 262;
  else if (name == "re")
    f0 = 587;
  else if (name == "mi")
    f0 = 1319;
  else if (name != "sh" && name != "sil")
    errorThrowf("Error: no sound named %s (line %d of %s)", name.c_str(), TULIM_HERE);
  double previous = 0;
  for (int i = 0; i < n; i++) {
    const double t = static_cast<double>(i) / FS;
    // Short fades keep the sounds from clicking into each other.
    const double fade = std::min({1.0, i / 160.0, (n - 1 - i) / 160.0});
    double x = BACKGROUND_NOISE * noise.next();
    if (f0 > 0) {
      for (int h = 1; h <= 3; h++) x += fade * (7000.0 / h) * std::sin(2 * M_PI * f0 * h * t);
    } else if (name == "sh") {
      const double w = 3000 * noise.next();
      x += fade * (w - previous);
      previous = w;
    }
    wave.push_back(static_cast<int>(std::lround(x)));
  }
}

std::string linesOf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// "mac" text of one model of three emitting states of single Gaussians, each state's self
// loop set so that the expected stay is framesPerState.
std::string modelText(const std::string& name, const std::vector<gaussian>& states, const std::vector<double>& floor,
                      double framesPerState) {
  const double self = std::clamp(1.0 - 1.0 / framesPerState, 0.5, 0.95);
  std::string text = strFormat("~h \"%s\"\n<BEGINHMM>\n<NUMSTATES> %d\n", name.c_str(), STATE_NUM + 2);
  for (int s = 0; s < STATE_NUM; s++) {
    text += strFormat("<STATE> %d\n<SWEIGHTS> %d\n 1.0 1.0 1.0\n", s + 2, STREAM_NUM);
    for (int stream = 0; stream < STREAM_NUM; stream++) {
      std::string means, vars;
      double gconst = STREAM_WIDTH * std::log(2 * M_PI);
      for (int d = stream * STREAM_WIDTH; d < (stream + 1) * STREAM_WIDTH; d++) {
        const double v = std::max(states[s].var[d], floor[d]);
        means += strFormat(" %.6e", states[s].mean[d]);
        vars += strFormat(" %.6e", v);
        gconst += std::log(v);
      }
      text += strFormat("<STREAM> %d\n<MEAN> %d\n%s\n<VARIANCE> %d\n%s\n<GCONST> %.6e\n", stream + 1, STREAM_WIDTH,
                        means.c_str(), STREAM_WIDTH, vars.c_str(), gconst);
    }
  }
  text += strFormat(
      "<TRANSP> %d\n 0 1 0 0 0\n 0 %.4f %.4f 0 0\n 0 0 %.4f %.4f 0\n 0 0 0 %.4f %.4f\n 0 0 0 0 0\n"
      "<ENDHMM>\n",
      STATE_NUM + 2, self, 1 - self, self, 1 - self, self, 1 - self);
  return text;
}

// Trains one model per syllable, and "sil", on the frames of a wave that holds every sound.
std::string modelSetText(const std::string& featureConfig) {
  const std::vector<std::string> sounds = {"sil", "do", "sil", "re", "sil", "mi", "sil", "sh", "sil"};
  const std::vector<double> seconds = {0.3, 0.4, 0.2, 0.4, 0.2, 0.4, 0.2, 0.4, 0.3};
  const std::vector<int> wave = exampleWave(sounds, seconds, 7);

  CMel mel;
  int frameNum = 0, vecSize = 0;
  mel.computeMfcc(wave.data(), FS, NBITS, static_cast<int>(wave.size()), featureConfig.c_str(), &frameNum, &vecSize);
  if (vecSize != VECTOR_SIZE)
    errorThrowf("Error: %s gives %d values a frame, the models need %d (line %d of %s)", featureConfig.c_str(), vecSize,
                VECTOR_SIZE, TULIM_HERE);

  std::vector<int> all(static_cast<size_t>(frameNum));
  for (int t = 0; t < frameNum; t++) all[static_cast<size_t>(t)] = t;
  const gaussian whole = statistics(mel.features, all);
  std::vector<double> floor(VECTOR_SIZE);
  for (int d = 0; d < VECTOR_SIZE; d++) floor[d] = VARIANCE_FLOOR * whole.var[d];

  // Frames whose window lies inside one sound, away from its edges, by sound.
  std::vector<std::vector<int>> framesOf(sounds.size());
  int begin = 0;
  for (size_t k = 0; k < sounds.size(); k++) {
    const int end = begin + static_cast<int>(std::lround(seconds[k] * FS));
    for (int t = 0; t < frameNum; t++) {
      const int first = t * FRAME_SHIFT;
      if (first >= begin + EDGE_FRAMES * FRAME_SHIFT && first + FRAME_SIZE <= end - EDGE_FRAMES * FRAME_SHIFT)
        framesOf[k].push_back(t);
    }
    begin = end;
  }

  std::vector<std::string> names = syllables();
  names.push_back("sil");
  std::string text = strFormat("~o\n<STREAMINFO> %d %d %d %d\n<VECSIZE> %d<NULLD><MFCC_E_D_A><DIAGC>\n", STREAM_NUM,
                               STREAM_WIDTH, STREAM_WIDTH, STREAM_WIDTH, VECTOR_SIZE);
  for (const std::string& name : names) {
    std::vector<int> frames;
    double soundFrames = 0;
    int takes = 0;
    for (size_t k = 0; k < sounds.size(); k++)
      if (sounds[k] == name) {
        frames.insert(frames.end(), framesOf[k].begin(), framesOf[k].end());
        soundFrames += seconds[k] * FS / FRAME_SHIFT;
        takes++;
      }
    std::vector<gaussian> states;
    if (name == "sil") {
      // The pauses are too short to split; every state of silence is the same.
      states.assign(STATE_NUM, statistics(mel.features, frames));
    } else {
      for (int s = 0; s < STATE_NUM; s++) {
        const size_t from = frames.size() * s / STATE_NUM, to = frames.size() * (s + 1) / STATE_NUM;
        states.push_back(statistics(mel.features, std::vector<int>(frames.begin() + from, frames.begin() + to)));
      }
    }
    text += modelText(name, states, floor, soundFrames / takes / STATE_NUM);
  }
  return text;
}

}  // namespace

const char* const FEATURE_CONFIG =
    "# MFCC with log energy, deltas and accelerations: 39 values every 10 ms\n"
    "SOURCEKIND = WAVEFORM\n"
    "SOURCERATE = 625\n"
    "TARGETKIND = MFCC_E_D_A\n"
    "TARGETRATE = 100000\n"
    "WINDOWSIZE = 200000\n"
    "USEHAMMING = T\n"
    "PREEMCOEF = 0.97\n"
    "NUMCHANS = 26\n"
    "CEPLIFTER = 22\n"
    "NUMCEPS = 12\n"
    "ENORMALISE = T\n";

void textWrite(const std::string& path, const std::string& text) {
  filePtr fp = openFilePtr(path, "w");
  if (fputs(text.c_str(), fp.get()) < 0)
    errorThrowf("Error: cannot write %s (line %d of %s)", path.c_str(), TULIM_HERE);
  closeWrittenFile(fp, path);
}

gaussian statistics(const std::vector<float>& features, const std::vector<int>& frames) {
  gaussian g;
  if (frames.empty()) errorThrowf("Error: a state of the example has no frames (line %d of %s)", TULIM_HERE);
  for (int t : frames)
    for (int d = 0; d < VECTOR_SIZE; d++) g.mean[d] += features[static_cast<size_t>(t) * VECTOR_SIZE + d];
  for (double& m : g.mean) m /= static_cast<double>(frames.size());
  for (int t : frames)
    for (int d = 0; d < VECTOR_SIZE; d++) {
      const double e = features[static_cast<size_t>(t) * VECTOR_SIZE + d] - g.mean[d];
      g.var[d] += e * e;
    }
  for (double& v : g.var) v /= static_cast<double>(frames.size());
  return g;
}

const std::vector<std::string>& candidateTexts() {
  static const std::vector<std::string> texts = {"do re mi", "mi sh do", "re do sh", "sh mi re"};
  return texts;
}

std::vector<int> exampleWave(const std::vector<std::string>& sounds, const std::vector<double>& seconds,
                             unsigned noiseSeed) {
  if (sounds.size() != seconds.size())
    errorThrowf("Error: %zu sounds with %zu durations (line %d of %s)", sounds.size(), seconds.size(), TULIM_HERE);
  std::vector<int> wave;
  noiseSource noise{noiseSeed};
  for (size_t k = 0; k < sounds.size(); k++)
    soundAppend(wave, sounds[k], static_cast<int>(std::lround(seconds[k] * FS)), noise);
  return wave;
}

void exampleTaskWrite(const std::string& dir) {
  const std::string config = dir + "/mfcc.cfg";
  textWrite(config, FEATURE_CONFIG);
  textWrite(dir + "/models.mac", modelSetText(config));

  std::vector<std::string> dic;
  for (const std::string& syl : syllables()) dic.push_back(syl + " " + syl);
  dic.push_back("sil sil");
  std::sort(dic.begin(), dic.end());
  textWrite(dir + "/syllables.dic", linesOf(dic));

  textWrite(dir + "/texts.tnm",
            "% source#target#mode: punctuation between the syllables becomes a blank\n"
            ",# #g\n"
            "!# #g\n");
  textWrite(dir + "/unvoiced.txt", "sh\n");
  // The confidence measure: the bell curve (a b c) that turns a phone's rank ratio into a
  // score, and the base of each of the seven score discount reasons. Read as bare numbers.
  textWrite(dir + "/rank2score.txt", "0.25 1.5 0\n");
  textWrite(dir + "/scoreDiscount.txt", "0.9 0.9 0.9 0.9 1 0.9 0.9\n");

  const std::vector<std::string>& texts = candidateTexts();
  textWrite(dir + "/" + TEXT_FILE, linesOf(texts));
  std::vector<std::string> sylLines;
  for (size_t i = 0; i < texts.size(); i++) {
    std::string syl = texts[i];
    std::replace(syl.begin(), syl.end(), ' ', '-');
    sylLines.push_back(strFormat("%s\t%zu", syl.c_str(), i));
  }
  textWrite(dir + "/" + SYL_FILE, linesOf(sylLines));

  // The utterance: "mi sh do" at a pace of its own and with other noise than the training wave.
  const std::vector<int> wave = exampleWave({"sil", "mi", "sh", "do", "sil"}, {0.3, 0.35, 0.3, 0.45, 0.3}, 2024);
  if (!wavFileWrite(wave.data(), static_cast<int>(wave.size()), FS, NBITS, (dir + "/" + WAVE_FILE).c_str()))
    errorThrowf("Error: cannot write %s/%s (line %d of %s)", dir.c_str(), WAVE_FILE, TULIM_HERE);

  textWrite(dir + "/" + PARAM_FILE,
            strFormat("%% Which of the candidate texts does the wave say? File names are relative to this folder.\n"
                      "function=recog\n"
                      "language=taiwanese\n"
                      "macFile=models.mac\n"
                      "dicFile=syllables.dic\n"
                      "tnmFile=texts.tnm\n"
                      "qiYinFile=unvoiced.txt\n"
                      "featureConfigFile=mfcc.cfg\n"
                      "phoneRank2scoreParamFile=rank2score.txt\n"
                      "scoreDiscountParamFile=scoreDiscount.txt\n"
                      "wavFile=%s\n"
                      "txtFile=%s\n"
                      "sylFile=%s\n"
                      "%% The wave starts and ends in silence, which the net's own \"sil\" nodes take.\n"
                      "useEpd=0\n"
                      "netType=0\n"
                      "maxCandidateNum=1000\n"
                      "probTh=1000000\n"
                      "useDescCandidateNum=0\n"
                      "%% The path must match a whole syllable line.\n"
                      "comparisonMode=1\n",
                      WAVE_FILE, TEXT_FILE, SYL_FILE));
}

}  // namespace example
}  // namespace tulim
