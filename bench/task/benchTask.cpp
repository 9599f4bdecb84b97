// tulim-make-bench: writes the real-sized benchmark task into a folder. 41 models (sil, sp and
// 39 English phones as <phone>+sil) of 3 emitting states with 3 streams of 13 values and 32
// Gaussians per stream, trained on the MFCC frames of synthetic sounds and written as "mac"
// text and as "macb" image; a lexicon of 100 words with one to three pronunciations; 14
// utterances of 1.5 to 7 s spoken from those sounds, each with 5 to 7 candidate texts; the
// parameter files of a recognition and of an assessment, and the list of the batch program;
// and each utterance again with white noise at 10, 5 and 0 dB (uttNN-10dB.wav, ...).
// Every draw comes from fixed seeds: the same folder on every run.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "CMel.h"
#include "audioFile.h"
#include "exampleTask.h"
#include "macroClass.h"
#include "stringUtil.h"
#include "utility.h"

using namespace tulim;

namespace {

constexpr int FS = 16000;
constexpr int NBITS = 16;
constexpr int FRAME_SHIFT = 160;
constexpr int FRAME_SIZE = 320;
constexpr int STREAM_NUM = 3;
constexpr int STREAM_WIDTH = 13;
constexpr int VECTOR_SIZE = STREAM_NUM * STREAM_WIDTH;
constexpr int STATE_NUM = 3;
constexpr int MIXTURE_NUM = 32;
constexpr int UTTERANCE_NUM = 14;
constexpr int TRAINING_TAKES = 8;
// A spoken phone lasts PHONE_MIN_FRAMES and up to PHONE_FRAME_SPREAD - 1 frames more.
constexpr int PHONE_MIN_FRAMES = 6;
constexpr int PHONE_FRAME_SPREAD = 6;
constexpr double VARIANCE_FLOOR = 0.05;
constexpr double BACKGROUND_NOISE = 40;
// The texts are expanded into every combination of their words' pronunciations; a text keeps
// at most this many.
constexpr int MAX_TEXT_COMBINATIONS = 8;
// Signal-to-noise ratios of the noisy copies of the utterances.
constexpr int NOISE_SNR_DB[] = {10, 5, 0};

// Reproducible draws, the same with every compiler and library.
struct randomSource {
  unsigned state;
  double uniform() {  // in [0, 1)
    state = state * 1664525u + 1013904223u;
    return static_cast<double>(state >> 8) / static_cast<double>(1u << 24);
  }
  double symmetric() { return 2 * uniform() - 1; }  // in [-1, 1)
  double normal() {  // sum of twelve uniforms: close enough to a unit normal
    double s = 0;
    for (int i = 0; i < 12; i++) s += uniform();
    return s - 6;
  }
  int below(int n) { return static_cast<int>(uniform() * n); }
};

enum class soundKind { vowel, voiced, nasal, unvoiced, silence };

struct phoneSound {
  std::string name;
  soundKind kind;
};

const std::vector<phoneSound>& phones() {
  static const std::vector<phoneSound> list = {
      {"aa", soundKind::vowel},    {"ae", soundKind::vowel},    {"ah", soundKind::vowel},
      {"ao", soundKind::vowel},    {"aw", soundKind::vowel},    {"ay", soundKind::vowel},
      {"b", soundKind::voiced},    {"ch", soundKind::unvoiced}, {"d", soundKind::voiced},
      {"dh", soundKind::voiced},   {"eh", soundKind::vowel},    {"er", soundKind::vowel},
      {"ey", soundKind::vowel},    {"f", soundKind::unvoiced},  {"g", soundKind::voiced},
      {"hh", soundKind::unvoiced}, {"ih", soundKind::vowel},    {"iy", soundKind::vowel},
      {"jh", soundKind::voiced},   {"k", soundKind::unvoiced},  {"l", soundKind::nasal},
      {"m", soundKind::nasal},     {"n", soundKind::nasal},     {"ng", soundKind::nasal},
      {"ow", soundKind::vowel},    {"oy", soundKind::vowel},    {"p", soundKind::unvoiced},
      {"r", soundKind::nasal},     {"s", soundKind::unvoiced},  {"sh", soundKind::unvoiced},
      {"t", soundKind::unvoiced},  {"th", soundKind::unvoiced}, {"uh", soundKind::vowel},
      {"uw", soundKind::vowel},    {"v", soundKind::voiced},    {"w", soundKind::nasal},
      {"y", soundKind::nasal},     {"z", soundKind::voiced},    {"zh", soundKind::voiced},
  };
  return list;
}

int phoneIndex(const std::string& name) {
  for (size_t i = 0; i < phones().size(); i++)
    if (phones()[i].name == name) return static_cast<int>(i);
  errorThrowf("Error: no phone named %s (line %d of %s)", name.c_str(), TULIM_HERE);
}

// One sound: a pulse train (voiced kinds) and/or noise (unvoiced and voiced consonants) through
// three resonators whose frequencies glide over the sound, so that its three states differ.
// "sil" and "sp" are the background alone.
void soundAppend(std::vector<int>& wave, int phone, int n, randomSource& noise) {
  if (phone < 0) {
    for (int i = 0; i < n; i++) wave.push_back(static_cast<int>(std::lround(BACKGROUND_NOISE * noise.symmetric())));
    return;
  }
  const soundKind kind = phones()[static_cast<size_t>(phone)].kind;
  // Formant tracks spread over the phones by the golden ratio.
  const double a = std::fmod(0.618034 * (phone + 1), 1.0), b = std::fmod(0.754878 * (phone + 3), 1.0);
  double f[3][2] = {{250 + 650 * a, 250 + 650 * b},
                    {850 + 1500 * b, 850 + 1500 * std::fmod(a + 0.3, 1.0)},
                    {2300 + 1200 * std::fmod(a + b, 1.0), 2300 + 1200 * a}};
  if (kind == soundKind::unvoiced)
    for (auto& track : f)
      for (double& x : track) x = std::min(7000.0, x * 2.2);
  const double bandwidth[3] = {80, 120, 200};
  const double f0 = 105 + 5 * (phone % 7);
  const bool pulses = kind != soundKind::unvoiced;
  const double noiseLevel = kind == soundKind::vowel || kind == soundKind::nasal ? 0.0 : 1.0;

  std::vector<double> x(static_cast<size_t>(n));
  double y1[3] = {0, 0, 0}, y2[3] = {0, 0, 0}, phase = 0;
  for (int i = 0; i < n; i++) {
    const double pos = static_cast<double>(i) / n;
    double v = noiseLevel * noise.symmetric();
    if (pulses) {
      phase += f0 / FS;
      if (phase >= 1) {
        phase -= 1;
        v += 8;
      }
    }
    for (int k = 0; k < 3; k++) {
      const double freq = f[k][0] + (f[k][1] - f[k][0]) * pos;
      const double r = std::exp(-M_PI * bandwidth[k] / FS);
      const double y = (1 - r) * v + 2 * r * std::cos(2 * M_PI * freq / FS) * y1[k] - r * r * y2[k];
      y2[k] = y1[k];
      y1[k] = y;
      v = y;
    }
    x[static_cast<size_t>(i)] = v;
  }
  double energy = 0;
  for (double v : x) energy += v * v;
  const double rms = std::sqrt(energy / std::max(1, n));
  const double target = kind == soundKind::vowel ? 4000 : kind == soundKind::unvoiced ? 1200 : 2500;
  const double gain = rms > 0 ? target / rms : 0;
  for (int i = 0; i < n; i++) {
    const double fade = std::min({1.0, i / 80.0, (n - 1 - i) / 80.0});
    wave.push_back(
        static_cast<int>(std::lround(fade * gain * x[static_cast<size_t>(i)] + BACKGROUND_NOISE * noise.symmetric())));
  }
}

// A wave of the phones named ("sil" and "sp" the background), each held for its frames.
struct segment {
  int phone;  // -1 for "sil" and "sp"
  int frames;
};

std::vector<int> waveOf(const std::vector<segment>& segments, unsigned seed) {
  std::vector<int> wave;
  randomSource noise{seed};
  for (const segment& s : segments) soundAppend(wave, s.phone, s.frames * FRAME_SHIFT, noise);
  return wave;
}

std::vector<float> mfccOf(const std::vector<int>& wave, const std::string& config, int& frameNum) {
  CMel mel;
  int vecSize = 0;
  mel.computeMfcc(wave.data(), FS, NBITS, static_cast<int>(wave.size()), config.c_str(), &frameNum, &vecSize);
  if (vecSize != VECTOR_SIZE)
    errorThrowf("Error: %s gives %d values a frame, the models need %d (line %d of %s)", config.c_str(), vecSize,
                VECTOR_SIZE, TULIM_HERE);
  return mel.features;
}

// One model: per state and stream, 32 Gaussians spread around the state's statistics (means
// half a deviation apart, variances 0.6 to 1.4 of the state's, unequal weights).
void modelSet(hmmModel& model, const std::string& name, const std::vector<example::gaussian>& states,
              const std::vector<double>& floor, double framesPerState, randomSource& random) {
  model.str = name;
  model.stateNum = STATE_NUM + 2;
  for (int q = 0; q < STATE_NUM; q++)
    for (int s = 0; s < STREAM_NUM; s++) {
      model.state[q].streamWeight[s] = 1.0f;
      hmmStream& stream = model.state[q].stream[s];
      stream.mixtureNum = MIXTURE_NUM;
      std::vector<double> weights(MIXTURE_NUM);
      double total = 0;
      for (double& w : weights) total += (w = 0.5 + random.uniform());
      for (int m = 0; m < MIXTURE_NUM; m++) {
        hmmMixture& mix = stream.mixture[m];
        mix.mixtureWeight = static_cast<float>(weights[static_cast<size_t>(m)] / total);
        double gconst = STREAM_WIDTH * std::log(2 * M_PI);
        for (int k = 0; k < STREAM_WIDTH; k++) {
          const int d = s * STREAM_WIDTH + k;
          const double v = std::max(states[static_cast<size_t>(q)].var[d], floor[static_cast<size_t>(d)]);
          mix.mean[k] = static_cast<float>(states[static_cast<size_t>(q)].mean[d] + 0.5 * std::sqrt(v) * random.normal());
          mix.variance[k] = static_cast<float>(v * (0.6 + 0.8 * random.uniform()));
          gconst += std::log(static_cast<double>(mix.variance[k]));
        }
        mix.gconst = static_cast<float>(gconst);
      }
    }
  const double self = std::clamp(1.0 - 1.0 / framesPerState, 0.5, 0.95);
  for (auto& row : model.transProb)
    for (float& p : row) p = 0;
  model.transProb[0][1] = 1;
  for (int i = 1; i <= STATE_NUM; i++) {
    model.transProb[i][i] = static_cast<float>(self);
    model.transProb[i][i + 1] = static_cast<float>(1 - self);
  }
}

// Trains every model on a wave that speaks each phone TRAINING_TAKES times, in a shuffled order
// and at the pace of the utterances, with pauses here and there: the frames of each sound are
// known, as after a perfect alignment.
void modelsBuild(macroClass& mac, const std::string& config) {
  randomSource random{20261};
  std::vector<segment> segments = {{-1, 30}};
  std::vector<int> owner;  // per segment: the phone, or -1
  owner.push_back(-1);
  std::vector<int> order(phones().size());
  for (int take = 0; take < TRAINING_TAKES; take++) {
    for (size_t p = 0; p < order.size(); p++) order[p] = static_cast<int>(p);
    for (size_t p = order.size() - 1; p > 0; p--) std::swap(order[p], order[static_cast<size_t>(random.below(static_cast<int>(p) + 1))]);
    for (int p : order) {
      segments.push_back({p, PHONE_MIN_FRAMES + random.below(PHONE_FRAME_SPREAD)});
      owner.push_back(p);
      if (random.below(4) == 0) {
        segments.push_back({-1, 8 + random.below(10)});
        owner.push_back(-1);
      }
    }
  }
  segments.push_back({-1, 30});
  owner.push_back(-1);
  int frameNum = 0;
  const std::vector<float> features = mfccOf(waveOf(segments, 77), config, frameNum);

  std::vector<int> all(static_cast<size_t>(frameNum));
  for (int t = 0; t < frameNum; t++) all[static_cast<size_t>(t)] = t;
  const example::gaussian whole = example::statistics(features, all);
  std::vector<double> floor(VECTOR_SIZE);
  for (int d = 0; d < VECTOR_SIZE; d++) floor[static_cast<size_t>(d)] = VARIANCE_FLOOR * whole.var[d];

  // Frames whose window lies inside one sound, away from its edges, by phone and state.
  const size_t phoneNum = phones().size();
  std::vector<std::vector<std::vector<int>>> framesOf(phoneNum + 1, std::vector<std::vector<int>>(STATE_NUM));
  std::vector<double> soundFrames(phoneNum + 1, 0.0);
  std::vector<int> takes(phoneNum + 1, 0);
  int begin = 0;
  for (size_t k = 0; k < segments.size(); k++) {
    const int end = begin + segments[k].frames;
    const size_t who = owner[k] < 0 ? phoneNum : static_cast<size_t>(owner[k]);
    soundFrames[who] += segments[k].frames;
    takes[who]++;
    // A frame belongs to the sound that holds the middle of its window.
    const int first = std::max(0, begin - FRAME_SIZE / FRAME_SHIFT / 2), last = end - FRAME_SIZE / FRAME_SHIFT / 2;
    for (int t = first; t < last && t < frameNum; t++) {
      const int q = owner[k] < 0 ? 0 : std::min(STATE_NUM - 1, (t - first) * STATE_NUM / std::max(1, last - first));
      framesOf[who][static_cast<size_t>(q)].push_back(t);
    }
    begin = end;
  }

  hmmSet& mmf = mac.MMFEdit();
  mmf.streamNum = STREAM_NUM;
  for (int s = 0; s < STREAM_NUM; s++) mmf.streamWidth[s] = STREAM_WIDTH;
  mmf.header = strFormat("<VECSIZE> %d<NULLD><MFCC_E_D_A><DIAGC>", VECTOR_SIZE);
  mmf.model.resize(phoneNum + 2);
  mmf.modelNum = static_cast<int>(phoneNum + 2);
  for (size_t p = 0; p < phoneNum; p++) {
    std::vector<example::gaussian> states;
    for (int q = 0; q < STATE_NUM; q++) states.push_back(example::statistics(features, framesOf[p][static_cast<size_t>(q)]));
    modelSet(mmf.model[p], phones()[p].name + "+sil", states, floor, soundFrames[p] / takes[p] / STATE_NUM, random);
  }
  // The pauses are not split: every state of silence is the same, and the short pause is
  // another draw of it.
  const std::vector<example::gaussian> silence(STATE_NUM, example::statistics(features, framesOf[phoneNum][0]));
  modelSet(mmf.model[phoneNum], "sil", silence, floor, soundFrames[phoneNum] / takes[phoneNum] / STATE_NUM, random);
  modelSet(mmf.model[phoneNum + 1], "sp", silence, floor, 2, random);
  mac.sortModels(0, mac.MMF().modelNum - 1);
}

// ---- Lexicon and texts -------------------------------------------------------------------

struct lexiconWord {
  std::string word;
  std::vector<std::vector<std::string>> prons;  // phones of each pronunciation
};

const char* const WORDS[] = {
    "a",      "about", "after",  "again",  "all",    "also",   "always", "and",    "any",    "around",
    "as",     "ask",   "at",     "back",   "be",     "because", "before", "big",   "book",   "both",
    "bring",  "but",   "by",     "call",   "can",    "change", "child",  "city",   "close",  "come",
    "could",  "day",   "do",     "down",   "each",   "early",  "even",   "every",  "face",   "family",
    "far",    "feel",  "find",   "first",  "for",    "friend", "from",   "give",   "go",     "good",
    "great",  "hand",  "have",   "he",     "help",   "her",    "here",   "home",   "house",  "into",
    "just",   "keep",  "kind",   "know",   "large",  "last",   "leave",  "life",   "light",  "like",
    "little", "long",  "look",   "make",   "many",   "more",   "mother", "much",   "name",   "near",
    "never",  "new",   "night",  "number", "often",  "old",    "only",   "other",  "over",   "people",
    "place",  "read",  "right",  "school", "small",  "think",  "thought", "water", "world",  "year",
};

// A rough English spelling to phones: enough to give every word a plausible, stable sequence.
std::vector<std::string> spell(const std::string& word) {
  struct rule {
    const char* letters;
    const char* phones;
  };
  static const rule rules[] = {
      {"ough", "ao"}, {"igh", "ay"}, {"tch", "ch"}, {"th", "dh"}, {"sh", "sh"}, {"ch", "ch"}, {"ng", "ng"},
      {"ck", "k"},    {"ph", "f"},   {"wh", "w"},   {"ee", "iy"}, {"ea", "iy"}, {"oo", "uw"}, {"ou", "aw"},
      {"ow", "ow"},   {"ai", "ey"},  {"ay", "ey"},  {"oi", "oy"}, {"oy", "oy"}, {"er", "er"}, {"ar", "aa r"},
      {"or", "ao r"}, {"ie", "iy"},  {"ey", "iy"},  {"a", "ae"},  {"b", "b"},   {"c", "k"},   {"d", "d"},
      {"e", "eh"},    {"f", "f"},    {"g", "g"},    {"h", "hh"},  {"i", "ih"},  {"j", "jh"},  {"k", "k"},
      {"l", "l"},     {"m", "m"},    {"n", "n"},    {"o", "aa"},  {"p", "p"},   {"q", "k"},   {"r", "r"},
      {"s", "s"},     {"t", "t"},    {"u", "ah"},   {"v", "v"},   {"w", "w"},   {"x", "k s"}, {"y", "y"},
      {"z", "z"},
  };
  std::string w = word;
  // A silent final e.
  if (w.size() > 2 && w.back() == 'e') w.pop_back();
  std::vector<std::string> out;
  size_t i = 0;
  while (i < w.size()) {
    for (const rule& r : rules) {
      const size_t n = std::char_traits<char>::length(r.letters);
      if (w.compare(i, n, r.letters) != 0) continue;
      std::string ph = r.phones;
      size_t from = 0;
      while (from <= ph.size()) {
        const size_t to = std::min(ph.find(' ', from), ph.size());
        const std::string p = ph.substr(from, to - from);
        if (out.empty() || out.back() != p) out.push_back(p);
        from = to + 1;
      }
      i += n;
      break;
    }
  }
  return out;
}

// Other vowels a speaker may use: the variants of a word's pronunciations.
std::string vowelVariant(const std::string& vowel, int k) {
  static const char* const variants[][3] = {
      {"ae", "ey", "ah"}, {"eh", "iy", "ih"}, {"ih", "ay", "iy"}, {"aa", "ow", "ah"}, {"ah", "uw", "uh"},
      {"iy", "ih", "eh"}, {"uw", "uh", "ow"}, {"aw", "ow", "ao"}, {"ey", "eh", "ae"}, {"er", "ah", "eh"},
  };
  for (const auto& v : variants)
    if (vowel == v[0]) return v[k % 3];
  return vowel;
}

bool isVowel(const std::string& phone) {
  return phones()[static_cast<size_t>(phoneIndex(phone))].kind == soundKind::vowel;
}

std::vector<lexiconWord> lexiconBuild() {
  std::vector<lexiconWord> lexicon;
  int index = 0;
  for (const char* word : WORDS) {
    lexiconWord entry{word, {spell(word)}};
    // Every fourth word has a second pronunciation, every tenth a third: its first vowel varies.
    const int extra = index % 10 == 3 ? 2 : index % 4 == 1 ? 1 : 0;
    for (int k = 1; k <= extra; k++) {
      std::vector<std::string> pron = entry.prons[0];
      for (std::string& p : pron)
        if (isVowel(p)) {
          p = vowelVariant(p, k);
          break;
        }
      if (std::find(entry.prons.begin(), entry.prons.end(), pron) == entry.prons.end()) entry.prons.push_back(pron);
    }
    lexicon.push_back(entry);
    index++;
  }
  std::sort(lexicon.begin(), lexicon.end(),
            [](const lexiconWord& x, const lexiconWord& y) { return x.word < y.word; });
  return lexicon;
}

// The wave with white noise at snr dB below its mean power (over the whole wave, pauses
// included), clipped to 16 bits.
std::vector<int> noisyWave(const std::vector<int>& wave, int snr, unsigned seed) {
  double power = 0;
  for (int v : wave) power += static_cast<double>(v) * v;
  power /= std::max<size_t>(1, wave.size());
  const double deviation = std::sqrt(power / std::pow(10.0, snr / 10.0));
  randomSource noise{seed};
  std::vector<int> out;
  out.reserve(wave.size());
  for (int v : wave)
    out.push_back(static_cast<int>(std::clamp(std::lround(v + deviation * noise.normal()), -32768L, 32767L)));
  return out;
}

std::string lexiconText(const std::vector<lexiconWord>& lexicon) {
  std::string text;
  for (const lexiconWord& entry : lexicon) {
    text += entry.word + "\t";
    for (size_t k = 0; k < entry.prons.size(); k++) {
      if (k > 0) text += "#";
      for (size_t j = 0; j < entry.prons[k].size(); j++) text += (j > 0 ? "_" : "") + entry.prons[k][j];
    }
    text += "\n";
  }
  return text;
}

int combinations(const std::vector<int>& words, const std::vector<lexiconWord>& lexicon) {
  int n = 1;
  for (int w : words) n *= static_cast<int>(lexicon[static_cast<size_t>(w)].prons.size());
  return n;
}

// A text of n words whose pronunciations give at most MAX_TEXT_COMBINATIONS sequences.
std::vector<int> textDraw(int n, const std::vector<lexiconWord>& lexicon, randomSource& random) {
  std::vector<int> words;
  const int size = static_cast<int>(lexicon.size());
  while (static_cast<int>(words.size()) < n) {
    words.push_back(random.below(size));
    while (combinations(words, lexicon) > MAX_TEXT_COMBINATIONS) words.back() = random.below(size);
  }
  return words;
}

std::string textOf(const std::vector<int>& words, const std::vector<lexiconWord>& lexicon) {
  std::string text;
  for (size_t i = 0; i < words.size(); i++) text += (i > 0 ? " " : "") + lexicon[static_cast<size_t>(words[i])].word;
  return text;
}

std::string paramText(const char* function) {
  return strFormat(
      "%% The benchmark task; file names are relative to this folder.\n"
      "function=%s\n"
      "language=english\n"
      "macFile=models.mac\n"
      "wpaFile=lexicon.wpa\n"
      "tnmFile=texts.tnm\n"
      "qiYinFile=unvoiced.txt\n"
      "featureConfigFile=mfcc.cfg\n"
      "phoneRank2scoreParamFile=rank2score.txt\n"
      "scoreDiscountParamFile=scoreDiscount.txt\n"
      "useEpd=0\n"
      "netType=0\n"
      "maxCandidateNum=4000\n"
      "probTh=1000000\n"
      "useDescCandidateNum=0\n"
      "comparisonMode=1\n",
      function);
}

void taskWrite(const std::string& dir) {
  const std::string config = dir + "/mfcc.cfg";
  example::textWrite(config, example::FEATURE_CONFIG);

  macroClass mac;
  modelsBuild(mac, config);
  mac.macTextWrite(dir + "/models.mac");
  mac.macbWrite(dir + "/models.macb");

  const std::vector<lexiconWord> lexicon = lexiconBuild();
  example::textWrite(dir + "/lexicon.wpa", lexiconText(lexicon));
  example::textWrite(dir + "/texts.tnm", "% source#target#mode: punctuation between the words becomes a blank\n,# #g\n");
  std::string unvoiced;
  for (const phoneSound& p : phones())
    if (p.kind == soundKind::unvoiced) unvoiced += p.name + "\n";
  example::textWrite(dir + "/unvoiced.txt", unvoiced);
  example::textWrite(dir + "/rank2score.txt", "0.25 1.5 0\n");
  example::textWrite(dir + "/scoreDiscount.txt", "0.9 0.9 0.9 0.9 1 0.9 0.9\n");
  example::textWrite(dir + "/recog.prm", paramText("recog"));
  example::textWrite(dir + "/assess.prm", paramText("assess"));
  for (const char* function : {"recog", "assess"}) {
    std::string param = paramText(function);
    strReplaceAll(param, "models.mac\n", "models.macb\n");
    example::textWrite(strFormat("%s/%s-macb.prm", dir.c_str(), function), param);
  }

  randomSource random{4242};
  std::string list, saidList;
  for (int u = 0; u < UTTERANCE_NUM; u++) {
    // From 4 to 19 words, spread over the utterances.
    const int wordNum = 4 + (15 * u) / (UTTERANCE_NUM - 1);
    const std::vector<int> spoken = textDraw(wordNum, lexicon, random);
    const int candidateNum = 5 + random.below(3);
    const int spokenAt = random.below(candidateNum);
    std::vector<std::string> texts;
    for (int c = 0; c < candidateNum; c++) {
      if (c == spokenAt) {
        texts.push_back(textOf(spoken, lexicon));
      } else if (c % 2 == 0) {
        // A near miss: the spoken text with a few words changed.
        std::vector<int> near = spoken;
        for (int k = 0; k < 1 + wordNum / 5; k++) {
          const size_t at = static_cast<size_t>(random.below(wordNum));
          near[at] = random.below(static_cast<int>(lexicon.size()));
          while (combinations(near, lexicon) > MAX_TEXT_COMBINATIONS)
            near[at] = random.below(static_cast<int>(lexicon.size()));
        }
        texts.push_back(textOf(near, lexicon));
      } else {
        texts.push_back(textOf(textDraw(std::max(2, wordNum - 2 + random.below(5)), lexicon, random), lexicon));
      }
    }
    std::string textsText;
    for (const std::string& t : texts) textsText += t + "\n";
    const std::string name = strFormat("utt%02d", u + 1);
    example::textWrite(dir + "/" + name + ".txt", textsText);
    example::textWrite(dir + "/" + name + "-said.txt", textOf(spoken, lexicon) + "\n");

    // The spoken wave: pauses around it, sometimes between words, each phone 6 to 11 frames
    // long, in one of its word's pronunciations.
    std::vector<segment> segments = {{-1, 25 + random.below(10)}};
    for (size_t w = 0; w < spoken.size(); w++) {
      const lexiconWord& entry = lexicon[static_cast<size_t>(spoken[w])];
      const std::vector<std::string>& pron = entry.prons[static_cast<size_t>(random.below(static_cast<int>(entry.prons.size())))];
      for (const std::string& p : pron)
        segments.push_back({phoneIndex(p), PHONE_MIN_FRAMES + random.below(PHONE_FRAME_SPREAD)});
      if (w + 1 < spoken.size() && random.below(4) == 0) segments.push_back({-1, 5 + random.below(8)});
    }
    segments.push_back({-1, 25 + random.below(10)});
    const std::vector<int> wave = waveOf(segments, 1000u + static_cast<unsigned>(u));
    const std::string wavePath = dir + "/" + name + ".wav";
    if (!wavFileWrite(wave.data(), static_cast<int>(wave.size()), FS, NBITS, wavePath.c_str()))
      errorThrowf("Error: cannot write %s (line %d of %s)", wavePath.c_str(), TULIM_HERE);
    for (int snr : NOISE_SNR_DB) {
      const std::vector<int> noisy = noisyWave(wave, snr, 5000u + 100u * static_cast<unsigned>(snr) + static_cast<unsigned>(u));
      const std::string noisyPath = strFormat("%s/%s-%ddB.wav", dir.c_str(), name.c_str(), snr);
      if (!wavFileWrite(noisy.data(), static_cast<int>(noisy.size()), FS, NBITS, noisyPath.c_str()))
        errorThrowf("Error: cannot write %s (line %d of %s)", noisyPath.c_str(), TULIM_HERE);
    }
    list += strFormat("%s.xml\t%s.wav\t%s.txt\n", name.c_str(), name.c_str(), name.c_str());
    saidList += strFormat("%s.xml\t%s.wav\t%s-said.txt\n", name.c_str(), name.c_str(), name.c_str());
  }
  example::textWrite(dir + "/batch.lst", list);
  example::textWrite(dir + "/batch-said.lst", saidList);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    printf("Usage: %s outputDir\n", argv[0]);
    return 1;
  }
  try {
    taskWrite(argv[1]);
  } catch (char* message) {
    printf("%s\n", message);
    return 1;
  }
  printf("Wrote the benchmark task into %s\n", argv[1]);
  return 0;
}
