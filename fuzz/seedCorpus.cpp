// Writes the seed corpora of the fuzz harnesses, one directory per harness under the
// directory given, from the same writers and fixtures the tests use:
//   fuzz_seeds <directory>
#include <sys/stat.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "CFeaBuf.h"
#include "CMel.h"
#include "audioClass.h"
#include "audioFile.h"
#include "candidateFixture.h"
#include "dictClass.h"
#include "flvFixture.h"
#include "fuzzInput.h"
#include "fuzzTasks.h"
#include "macroClass.h"
#include "mlfClass.h"
#include "modelSetFixture.h"
#include "netClass.h"
#include "netTextFixture.h"
#include "recogTask.h"
#include "scoringFixture.h"
#include "testFiles.h"
#include "toneFixture.h"
#include "utility.h"
#include "waveFileFixture.h"

using namespace tulim;
using tulim::fuzz::partsJoin;
using tulim::test::readFile;

namespace {

std::string g_root;
test::scratchDir* g_work = nullptr;

std::string linesOf(const strVec& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// Seeds of a harness: each a file "seed-<n>" in its directory.
void seeds(const std::string& harness, const std::vector<std::string>& contents) {
  const std::string dir = g_root + "/" + harness;
  mkdir(dir.c_str(), 0755);
  for (size_t i = 0; i < contents.size(); ++i) {
    const std::string path = strFormat("%s/seed-%zu", dir.c_str(), i);
    FILE* fp = fopen(path.c_str(), "wb");
    if (!fp || fwrite(contents[i].data(), 1, contents[i].size(), fp) != contents[i].size()) {
      fprintf(stderr, "fuzz_seeds: cannot write %s\n", path.c_str());
      exit(1);
    }
    fclose(fp);
  }
}

// What a writer leaves in a file of that name.
std::string written(const std::string& name, const std::function<void(const std::string&)>& write) {
  const std::string path = g_work->file(name);
  write(path);
  return readFile(path);
}

std::string waveBytes(const std::vector<int>& samples, int fs, int nbits) {
  return written("w.wav", [&](const std::string& path) {
    wavFileWrite(samples.data(), static_cast<int>(samples.size()), fs, nbits, path.c_str());
  });
}

void modelSeeds() {
  const strVec names{"a", "b", "sil"};
  seeds("mac", {test::modelSetText(names), test::modelSetText({"sil"})});
  macroClass set;
  test::modelSetFill(set, names);
  seeds("macb", {written("m.macb", [&](const std::string& p) { set.macbWrite(p); })});
  seeds("modelCount", {"a\t10\nb\t20\nc\t5\nsil\t100\n", "% counts\na\t1\n"});
}

void lexiconSeeds() {
  macroClass mac;
  dictClass dict;
  test::pathModelsMake(mac, dict);
  netClass net = test::pathNetMake();
  seeds("net", {linesOf(test::netLines({"!NULL", "!NULL", "sil", "ba", "ca"}, {{0, 2}, {2, 3}, {2, 4}, {3, 1}, {4, 1}})),
                written("n.net", [&](const std::string& p) { net.netPrint(p); })});
  seeds("netb", {written("n.netb", [&](const std::string& p) { net.netWriteBin(p); })});
  seeds("pron", {written("p.dic", [&](const std::string& p) { dict.pronDictWrite(p, mac); }),
                 "a a\nab a b\nb b\nbc b+c\nsil sil\nsp sp\n"});

  dictClass lexicon;
  lexicon.wpaRead("go g_ow#g_ax_ow@no n_ow@yes y_eh_s", "english");
  seeds("wpa", {"go\tg_ow\nno\tn_ow\nyes\ty_eh_s\n", "go\tg_ow#g_ax_ow\n",
                written("l.wpa", [&](const std::string& p) { lexicon.wpaWrite(p); })});
  seeds("wpab", {written("l.wpab", [&](const std::string& p) { lexicon.wpabWrite(p); })});
  seeds("text", {"Yes!\nno\ngo\n", "yes no go\n", "go go\tfirst\n"});
  seeds("syl", {linesOf(fuzz::syllableTaskLines()), "a-b-c\t0\nsil-a\t1\n"});
  seeds("tnm", {partsJoin({"!##$\n", "Yes!\nno\n"}), "% map\nA#a#g\nB#b#^\n", "\xa4\x4b#a#$\n"});
}

void labelSeeds() {
  mlfClass mlf;
  mlf.m_syl.push_back(test::nodeOf("sil", 0, 4, {test::phoneOf("sil", 0, 4)}));
  mlf.m_syl.push_back(test::nodeOf("ba", 5, 14, {test::phoneOf("b+a", 5, 9), test::phoneOf("a", 10, 14)}));
  mlf.m_syl[1].text = "ba";
  mlf.m_timberScore = 71.5f;
  seeds("label", {written("plain.lab", [&](const std::string& p) { mlf.writePhoneLevel(p); }),
                  written("scored.lab", [&](const std::string& p) { mlf.writePhoneLevel(p, true, true, false); }),
                  "% a comment\n0 300000 a -12.5 ba\n300000 500000 b -20\n"});
  seeds("eps", {"% sets\nb\tp\tb\n\nzh\tz\n", "aa\tah\tax\n"});
}

void parameterSeeds() {
  seeds("recogParam", {readFile(fuzz::syllableTaskGet().paramFile), readFile(fuzz::englishRunParamFile())});
  seeds("recordParam", {"totalDuration = 5.5\nnbits=16\nfs = 16000\nnAdjustFrame = 3\nupRateBSInit = 0.01\n"
                        "upRateBSNew = 0.02\nupRateBSModify = 1.5\ndownRateBSInit = 0.03\ndownRateBSNew = 0.04\n"
                        "downRateBSModifyUsingVol = 0.9\nupRateFrame = 0.05\ndownRateFrame = 0.06\n"
                        "silenceLimitBeforeSpeech = 3\nsilenceLimitInSpeech = 0.75\n"});
  ptParam pt;
  audioClass().ptParamSet(pt, 16000, 16, 1, nullptr);
  seeds("ptParam", {written("pt.prm", [&](const std::string& p) { audioClass().ptParamPrint(pt, p.c_str()); }),
                    "frameSize=640\noverlap=320\nminPitch=40\nmaxPitch=80\n"});
  const std::string config =
      "SOURCEKIND = WAVEFORM\nTARGETKIND = MFCC_E_D_A\nTARGETRATE = 100000\nWINDOWSIZE = 200000\n"
      "USEHAMMING = T\nNUMCHANS = 26\nNUMCEPS = 12\n";
  seeds("featureConfig", {config, "TARGETKIND = MFCC_0_D\nPREEMCOEF = 0.97\nCEPLIFTER = 22\nZMEANSOURCE = T\n"});
  seeds("keyValue", {"a=1\nb = 2\n% comment\nc\t3\n", "1.5 2.5\n-3e2\n"});
  seeds("scoreParam", {partsJoin({"0.5\n2\n0\n", "", "0.9\n0.9\n0.9\n0.9\n0.9\n0.9\n0.9\n"}),
                       partsJoin({"0.1 1 0\n", "m00+b\t1\t2\t3\t4\t[0.2 1 0.1]\nm01+b\t1\t2\t3\t4\t[0.5 2 0]\n",
                                  "0.9 0.9 0.9 0.9 0.5 0.9 0.9\n"})});
  seeds("volCheck", {"maxVolTh=140\nminVolTh=30\nsatAmpRatio=0.9\nsatSampleCountRatioTh=10\n", "minVolTh = 5000\n"});
}

void signalSeeds() {
  const std::vector<int> tone = test::sineWave(1600, 440.0, 16000, 8000.0);
  std::vector<int> low(tone);
  for (int& v : low) v = (v >> 8) + 128;
  const std::string cfg = g_work->write("f.cfg", "TARGETKIND = MFCC_E_D_A\nNUMCEPS = 12\n");
  CMel mel;
  int frames = 0, vecSize = 0;
  mel.computeMfcc(tone.data(), 16000, 16, static_cast<int>(tone.size()), cfg.c_str(), &frames, &vecSize);
  CFeaBuf features;
  features.resize(frames, vecSize);
  for (int i = 0; i < frames; ++i)
    for (int j = 0; j < vecSize; ++j) features.row(i)[j] = static_cast<float>(i - j);
  features.sampPeriod = 100000;
  features.sampSize = static_cast<int16_t>(4 * vecSize);
  features.parmKind = CMel::str2ParmKind("MFCC_E_D_A");
  seeds("feature", {written("f.fea", [&](const std::string& p) { features.write2bin(p.c_str()); })});

  seeds("wave", {waveBytes(tone, 16000, 16), waveBytes(low, 8000, 8),
                 test::pcmWaveBytes(1, 16000, 16, test::pcm16Bytes({1, -1, 300, -300})),
                 test::waveFileBytes({test::chunkBytes("fmt ", test::fmtBody(7, 1, 8000, 8)),
                                      test::chunkBytes("data", std::string("\x01\x80\xff\x7f", 4))})});
  seeds("raw", {test::pcm16Bytes(std::vector<int>(tone.begin(), tone.begin() + 400)), "\x01\x02\x03"});

  // Flags 0x52: Nellymoser at 8000 Hz, 16 bits, mono.
  const std::string blocks = test::nellymoserEncode(test::sineSamples(256 * 8, 440.0, 8000, 0.3), 8000);
  seeds("flv", {test::flvBuilder().audio(0x52, blocks).bytes(),
                test::flvBuilder().tag(18, "onMetaData").audio(0x52, blocks.substr(0, 128)).tag(9, "vvvv").bytes()});
  seeds("stream", {partsJoin({"hello\r\nworld\n\x01\x02\x03\x04\x00\x00\x80\x3f",
                              std::string("\x08\x01\x04\x21\x01\x02\x03\x06\x0d\x27\x00", 11)})});
}

void recognitionSeeds() {
  std::vector<int> wave = test::noiseWave(1600, 20, 7);
  const std::vector<int> tone = test::sineWave(3200, 400.0, 16000, 6000.0);
  wave.insert(wave.end(), tone.begin(), tone.end());
  const std::vector<int> tail = test::noiseWave(1600, 20, 8);
  wave.insert(wave.end(), tail.begin(), tail.end());
  seeds("recog", {partsJoin({waveBytes(wave, 16000, 16), "Yes!\nno\ngo\n"}),
                  partsJoin({waveBytes(tone, 8000, 16), "no"})});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: fuzz_seeds <directory>\n");
    return 2;
  }
  g_root = argv[1];
  mkdir(g_root.c_str(), 0755);
  test::scratchDir work;
  g_work = &work;
  try {
    modelSeeds();
    lexiconSeeds();
    labelSeeds();
    parameterSeeds();
    signalSeeds();
    recognitionSeeds();
  } catch (char* message) {
    fprintf(stderr, "fuzz_seeds: %s\n", message);
    return 1;
  }
  return 0;
}
