#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "dictClass.h"
#include "fatalCatch.h"
#include "macroClass.h"
#include "mlfClass.h"
#include "modelSetFixture.h"
#include "netClass.h"
#include "recogTask.h"
#include "recognitionSetup.h"
#include "signalTemplate.h"
#include "spokenFeatures.h"
#include "testFiles.h"
#include "textClass.h"
#include "toneFixture.h"
#include "utility.h"

using namespace tulim;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::MatchesRegex;
using testing::Not;
using tulim::test::envScope;
using tulim::test::readFile;
using tulim::test::scratchDir;

namespace {

const strVec kModels{"sil", "a", "b", "c"};

bool fileThere(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// The prepared models, lexicon, texts and net of one run, and features spoken by the
// fixture's models (every frame on a state mean), ready for recogCore.
struct coreRun {
  scratchDir dir;
  test::recognitionFiles files;
  recogParam param;
  recogTask task;
  macroClass mac;
  dictClass dict;
  textClass text;
  netClass net;
  int candidateNum = 0;
  int arenaLen = 0;
  std::vector<float> features;
  std::vector<int> samples;
  mlfClass mlf;
  std::vector<int> result;
  std::string printed;
  strVec modelList;  // the run's models, in the fixture's list order

  coreRun(const strVec& sylLines, const strVec& texts, const std::string& function,
          const std::string& sylFileName = "texts.syl", const strVec& extra = {}, const strVec& modelNames = kModels)
      : modelList(modelNames) {
    files = test::recognitionFilesWrite(dir, test::modelSetText(modelList), modelList, sylLines, texts, function, {"c"},
                                        sylFileName, extra);
    envScope temp("temp", nullptr);
    testing::internal::CaptureStdout();
    task.recogParamRead(files.paramFile, param);
    mac.macroRead(param.macFile, true);
    mac.layoutPrepare();
    task.dictPrepare(param, mac, dict, text, net);
    task.netPrepare(param, mac, dict, text, net, candidateNum, arenaLen);
    testing::internal::GetCapturedStdout();
  }

  // Frames on the states of the named models in turn, framesPerState each; a wave as long
  // as the frames of the pipeline's framing, louder in every later model (or, with
  // quietPauses, of one level except for near-silent "sil" and "sp").
  void speak(const strVec& models, int framesPerState, bool quietPauses = false) {
    for (const std::string& m : models)
      test::speakModel(features, static_cast<int>(std::find(modelList.begin(), modelList.end(), m) - modelList.begin()),
                       framesPerState);
    const int frames = test::spokenFrameNum(features);
    samples.clear();
    for (size_t i = 0; i < models.size(); i++) {
      const int n = 160 * 3 * framesPerState;
      const bool pause = models[i] == "sil" || models[i] == "sp";
      const double amplitude = !quietPauses ? 1000.0 * static_cast<double>(i + 1) : pause ? 10.0 : 3000.0;
      std::vector<int> piece = test::sineWave(n, 500.0, 16000, amplitude);
      samples.insert(samples.end(), piece.begin(), piece.end());
    }
    samples.resize(static_cast<size_t>(160 * (frames + 1)), 0);
  }

  // recogCore over the features from frame firstFrame of the wave on; fatal text or "".
  std::string run(int firstFrame = 0) {
    testing::internal::CaptureStdout();
    const std::string error = test::fatalMessage([&] {
      result = task.recogCore(param, samples.data(), static_cast<int>(samples.size()), 16000, 16, 320, 160, firstFrame,
                              features.data(), test::FIXTURE_VECTOR_SIZE, test::spokenFrameNum(features),
                              mac.MMF().modelNum, arenaLen, candidateNum, mac, dict, text, net, mlf);
    });
    printed = testing::internal::GetCapturedStdout();
    return error;
  }

  strVec sylNames() const {
    strVec names;
    for (const sylInfo& s : mlf.m_syl) names.push_back(s.name);
    return names;
  }
  std::string out(const std::string& name) const { return files.outputDir + "/" + name; }
};

TEST(RecogCore, RecognisesSpokenTextAndWritesResultFiles) {
  coreRun run({"a-b\t0", "b-a\t1", "a-c\t2"}, {"A B", "B A", "A C"}, "recog");
  run.speak({"sil", "a", "c", "sil"}, 4);
  ASSERT_EQ(run.run(), "");

  EXPECT_THAT(run.result, ElementsAre(2));
  EXPECT_THAT(run.mlf.m_textIndex, ElementsAre(2));
  EXPECT_THAT(run.mlf.m_text, ElementsAre("A C"));
  EXPECT_THAT(run.mlf.m_textStr, ElementsAre("A C"));
  EXPECT_THAT(run.mlf.m_sylStr, ElementsAre("a-c\t2"));
  EXPECT_EQ(run.mlf.m_PA, "a-c");
  EXPECT_EQ(run.mlf.m_textSylNum, 2);
  EXPECT_EQ(run.mlf.m_pathSylNum, 2);
  EXPECT_THAT(run.sylNames(), ElementsAre("sil", "a", "c", "sil"));
  // Each model holds its 12 frames.
  ASSERT_EQ(run.mlf.m_syl.size(), 4u);
  for (int i = 0; i < 4; i++) {
    EXPECT_EQ(run.mlf.m_syl[i].frameId[0], 12 * i);
    EXPECT_EQ(run.mlf.m_syl[i].frameId[1], 12 * i + 11);
  }
  EXPECT_EQ(run.mlf.m_syl[2].phone[0].pitched, 0) << "c is listed as unvoiced";
  EXPECT_EQ(run.mlf.m_syl[1].phone[0].pitched, 1);
  EXPECT_THAT(run.printed, HasSubstr("\ttextIndex=2 ===> A C\n"));
  EXPECT_THAT(run.printed, HasSubstr("\tsylIndex[0]=2 ===> a-c\t2\n"));
  EXPECT_THAT(run.printed, MatchesRegex("(.|\n)*[0-9]+\\.[0-9]{3} sec: Viterbi search\n(.|\n)*"));

  EXPECT_EQ(readFile(run.out("recogResult.txt")),
            strFormat("Text index=2\nText=A C\nScore=%f\nKRV=\nMPA=\nHanYu=\nTone=\nLogProb=%f\n",
                      run.mlf.m_timberScore, run.mlf.m_logProb));
  // Every frame sits on its model's means: the phones rank first and score high.
  EXPECT_GT(run.mlf.m_timberScore, 50.0f);
  EXPECT_LT(run.mlf.m_logProb, 0.0f);
  EXPECT_EQ(readFile(run.out("score.txt")), strFormat("%g\n", run.mlf.m_score));
  EXPECT_THAT(readFile(run.out("output.xml")), HasSubstr("<?xml"));
  EXPECT_FALSE(fileThere(run.out("confusingPath.txt"))) << "only an assessment re-aligns";
  for (const char* name : {"output.xml", "score.txt", "recogResult.txt"})
    EXPECT_THAT(run.printed, HasSubstr(strFormat("\t===> Saved %s\n", run.out(name).c_str())));
}

TEST(RecogCore, ChineseTranscriptionsFollowThePinyinType) {
  struct Case {
    const char* pinyinType;
    const char* krv;
    const char* mpa;
    const char* hanyu;
  } cases[] = {{"krv", "a-c", "MA-MC", "c-a"}, {"hanyu", "c-a", "MC-MA", "a-c"}, {"other", "", "", ""}};
  for (const Case& c : cases) {
    // Two Big5 characters a text.
    coreRun run({"a-b\t0", "b-a\t1", "a-c\t2"}, {"\xa4\x40\xa4\x41", "\xa4\x42\xa4\x43", "\xa4\x44\xa4\x45"}, "recog");
    run.param.language = "chinese";
    run.param.pinyinType = c.pinyinType;
    // Columns: row number, KRV, MPA, HanYu.
    run.dict.m_pinyinTable = {{"1", "a", "MA", "c"}, {"2", "c", "MC", "a"}};
    run.text.m_sylTagVs = {"1-2", "3-4", "5-6"};
    run.speak({"sil", "a", "c", "sil"}, 4);
    ASSERT_EQ(run.run(), "") << c.pinyinType;
    EXPECT_EQ(run.mlf.m_PA, "a-c");
    EXPECT_EQ(run.mlf.m_textSylNum, 2) << c.pinyinType;
    EXPECT_EQ(run.mlf.m_KRV, c.krv) << c.pinyinType;
    EXPECT_EQ(run.mlf.m_MPA, c.mpa) << c.pinyinType;
    EXPECT_EQ(run.mlf.m_HanYu, c.hanyu) << c.pinyinType;
    EXPECT_EQ(run.mlf.m_Tone, "5-6") << c.pinyinType;
    EXPECT_EQ(readFile(run.out("recogResult.txt")),
              strFormat("Text index=2\nText=\xa4\x44\xa4\x45\nScore=%f\nKRV=%s\nMPA=%s\nHanYu=%s\n"
                        "Tone=5-6\nLogProb=%f\n",
                        run.mlf.m_timberScore, c.krv, c.mpa, c.hanyu, run.mlf.m_logProb))
        << c.pinyinType;
  }
}

TEST(RecogCore, ComparisonMode3ScoresTheMatchedStretchWithoutTextSize) {
  coreRun run({"a-b\t0", "a-c\t1"}, {"A B", "A C"}, "recog");
  run.param.comparisonMode = 3;
  run.speak({"sil", "a", "c", "sil"}, 4);
  ASSERT_EQ(run.run(), "");
  EXPECT_THAT(run.result, ElementsAre(1));
  EXPECT_EQ(run.text.m_matchSylBegin, 1);
  EXPECT_EQ(run.text.m_matchSylNum, 2);
  EXPECT_EQ(run.mlf.m_textSylNum, -1);
  EXPECT_GT(run.mlf.m_timberScore, 50.0f);
}

TEST(RecogCore, AddsPitchAndVolumePerSyllableWhenAsked) {
  coreRun run({"a-b\t0", "a-c\t1"}, {"A B", "A C"}, "recog");
  run.speak({"sil", "a", "c", "sil"}, 4);
  ASSERT_EQ(run.run(), "");
  EXPECT_TRUE(run.mlf.m_syl[1].pitch.empty());
  EXPECT_THAT(run.printed, Not(HasSubstr("Volume and pitch computation")));

  coreRun pitched({"a-b\t0", "a-c\t1"}, {"A B", "A C"}, "recog");
  pitched.param.getPitch = 1;
  pitched.speak({"sil", "a", "c", "sil"}, 4);
  ASSERT_EQ(pitched.run(), "");
  EXPECT_THAT(pitched.printed,
              MatchesRegex("(.|\n)*[0-9]+\\.[0-9]{3} sec: Volume and pitch computation \\(based on the whole "
                           "utterance\\)\n(.|\n)*"));
  for (const sylInfo& syl : pitched.mlf.m_syl)
    EXPECT_EQ(syl.pitch.size(), static_cast<size_t>(syl.frameId[1] - syl.frameId[0] + 1)) << syl.name;
}

TEST(RecogCore, WritesNothingWithoutOutputDir) {
  coreRun run({"a-b\t0", "a-c\t0"}, {"A B"}, "assess", "texts.syl2");
  run.param.outputDir.clear();
  run.speak({"sil", "a", "c", "sil"}, 4);
  ASSERT_EQ(run.run(), "");
  EXPECT_THAT(run.result, ElementsAre(0));
  EXPECT_THAT(run.sylNames(), ElementsAre("sil", "a", "c", "sil")) << "no re-alignment either";
  for (const char* name : {"confusingPath.txt", "output.xml", "score.txt", "recogResult.txt"})
    EXPECT_FALSE(fileThere(run.out(name))) << name;
}

TEST(RecogCore, RealignsConfusedSyllableAgainstDesignatedLine) {
  coreRun plain({"a-b-a\t0", "a-c-a\t0"}, {"A B A"}, "assess", "texts.syl2");
  plain.param.outputDir.clear();
  plain.speak({"sil", "a", "c", "a", "sil"}, 4);
  ASSERT_EQ(plain.run(), "");

  coreRun run({"a-b-a\t0", "a-c-a\t0"}, {"A B A"}, "assess", "texts.syl2");
  run.speak({"sil", "a", "c", "a", "sil"}, 4);
  ASSERT_EQ(run.run(), "");

  EXPECT_EQ(readFile(run.out("confusingPath.txt")), "Designated: a-b-a\nIdentified: a-c-a\nb ===> c\n");
  EXPECT_THAT(run.printed, HasSubstr("\xc0\xcb\xac\x64\xac\x4f\xa7\x5f\xa8\xab\xa8\xec\xb2\x56\xb2\x63\xb8\xf4\xae\x7c "
                                     "(Check if a confusing path is taken instead of the correct one)\n"));
  ASSERT_THAT(run.sylNames(), ElementsAre("sil", "a", "b", "a", "sil"));
  const sylInfo& realigned = run.mlf.m_syl[2];
  EXPECT_EQ(realigned.frameId[0], 24);
  EXPECT_EQ(realigned.frameId[1], 35);
  ASSERT_EQ(realigned.phone.size(), 1u);
  EXPECT_EQ(realigned.phone[0].name, "b");
  EXPECT_EQ(realigned.phone[0].frameId[0], 24);
  EXPECT_EQ(realigned.phone[0].frameId[1], 35);
  // The nodes that matched their designated syllables keep the main search's frames.
  EXPECT_EQ(run.mlf.m_syl[3].frameId[0], 36);
  // The identified text and the path stay those of the main search, and so does the score.
  EXPECT_EQ(run.mlf.m_PA, "a-c-a");
  EXPECT_FLOAT_EQ(run.mlf.m_logProb, plain.mlf.m_logProb);
}

TEST(RecogCore, RefusesToRealignLabelNodeBeyondTheFeatures) {
  coreRun run({"a-b\t0", "a-c\t0"}, {"A B"}, "assess", "texts.syl2");
  // Frames 0-11, 12-23, 24-89 and 90-99 of 48.
  run.param.inputLabFile = run.dir.write("input.lab",
                                         "0 1200000 sil -1 sil\n1200000 2400000 a -1 a\n"
                                         "2400000 9000000 c -1 c\n9000000 10000000 sil -1 sil\n");
  run.speak({"sil", "a", "c", "sil"}, 4);
  EXPECT_THAT(run.run(), MatchesRegex("Error: node c spans frames 24..89 outside the 48 feature frames \\(line [0-9]+ "
                                      "of recogTaskCore\\)"));
}

TEST(RecogCore, CreatesEmptyConfusingPathFileUnlessSylFileEndsInSyl2) {
  struct Case {
    const char* sylFileName;
    const char* spoken;  // the middle syllable
  } cases[] = {{"texts.syl", "c"}, {"texts.SYL2", "c"}, {"texts.syl2", "b"}};
  for (const Case& c : cases) {
    coreRun run({"a-b\t0", "a-c\t0"}, {"A B"}, "assess", c.sylFileName);
    run.speak({"sil", "a", c.spoken, "sil"}, 4);
    ASSERT_EQ(run.run(), "") << c.sylFileName;
    EXPECT_EQ(readFile(run.out("confusingPath.txt")), "") << c.sylFileName;
    EXPECT_THAT(run.printed, HasSubstr(strFormat("\t===> Saved %s\n", run.out("confusingPath.txt").c_str())));
    EXPECT_EQ(run.mlf.m_syl[2].name, c.spoken) << c.sylFileName;
  }
}

TEST(RecogCore, NodeVolumesAndFramesCountFromTheStartOfTheWave) {
  coreRun run({"a-b\t0", "a-c\t1"}, {"A B", "A C"}, "recog");
  run.speak({"sil", "a", "b", "sil"}, 4);
  // The features start at frame 7 of the wave; the wave has 7 more frames in front.
  const int firstFrame = 7;
  std::vector<int> lead = test::sineWave(160 * firstFrame, 500.0, 16000, 50.0);
  run.samples.insert(run.samples.begin(), lead.begin(), lead.end());
  ASSERT_EQ(run.run(firstFrame), "");

  ASSERT_THAT(run.sylNames(), ElementsAre("sil", "a", "b", "sil"));
  std::vector<int> volume(static_cast<size_t>((run.samples.size() - 160) / 160));
  frame2volume(run.samples.data(), static_cast<int>(run.samples.size()), 320, 160, volume.data(), 1);
  for (const sylInfo& syl : run.mlf.m_syl) {
    EXPECT_EQ(syl.frameId[0] % 12, firstFrame % 12) << syl.name;
    std::vector<float> expected;
    for (int f = syl.frameId[0]; f <= syl.frameId[1]; f++) expected.push_back(static_cast<float>(volume[f]));
    EXPECT_EQ(syl.volume, expected) << syl.name;
  }
  EXPECT_EQ(run.mlf.m_syl[1].frameId[0], firstFrame + 12);
}

TEST(RecogCore, UsesFirstCandidateWhenNoPathIsComplete) {
  coreRun run({"a-b\t0", "a-c\t1"}, {"A B", "A C"}, "recog");
  // Too few frames to pass sil, a, b and sil: no candidate reaches the end of the net.
  run.speak({"sil", "a", "b"}, 1);
  ASSERT_EQ(run.run(), "");
  EXPECT_FALSE(run.mlf.m_syl.empty());
  EXPECT_EQ(run.mlf.m_syl.back().frameId[1], test::spokenFrameNum(run.features) - 1);
}

TEST(RecogCore, RefusesSyllableLineNamingMissingText) {
  coreRun run({"a-b\t0", "a-c\t5"}, {"A B", "A C"}, "recog");
  run.speak({"sil", "a", "c", "sil"}, 4);
  EXPECT_THAT(run.run(), MatchesRegex("Error: the identified text index 5 is outside the 2 texts \\(line [0-9]+ of "
                                      "recogTaskCore\\)"));
}

TEST(RecogCore, AFullDiskUnderTheResultFilesIsFatal) {
  for (const char* name : {"score.txt", "recogResult.txt"}) {
    coreRun run({"a-b\t0"}, {"A B"}, "recog");
    ASSERT_EQ(symlink("/dev/full", run.out(name).c_str()), 0) << name;
    run.speak({"sil", "a", "b", "sil"}, 4);
    EXPECT_THAT(run.run(), MatchesRegex("Cannot write file " + run.out(name) + ": No space left on device \\(line [0-9]+ of utility\\)"));
  }
}

TEST(RecogCore, FatalErrorOfUnwritableOutputDirLeavesThroughThrow) {
  coreRun run({"a-b\t0"}, {"A B"}, "recog");
  run.param.outputDir = run.dir.file("missing");
  run.speak({"sil", "a", "b", "sil"}, 4);
  EXPECT_THAT(run.run(), MatchesRegex("Cannot open file .*missing/output.xml: No such file or directory \\(line [0-9]+ of [a-zA-Z]+\\)"));
}

}  // namespace

namespace {

TEST(RecogCore, PaddedShortPausesDoNotCountAsSyllables) {
  // Each word (English) or syllable (Taiwanese) has its own model; "sp" stands between them
  // in the padded run.
  const strVec models{"sil", "sp", "a", "b", "a+sil", "b+sil"};
  scratchDir lexicon;
  const strVec english{"language=english", "sylFile=", "wpaFile=" + lexicon.write("en.wpa", "a\ta\nb\tb\n"),
                       "wpaAddendaFile=" + lexicon.write("add.wpa", "")};
  struct Case {
    const char* language;
    strVec extra;
    strVec words;  // the models that say the text
  } cases[] = {{"english", english, {"a+sil", "b+sil"}}, {"taiwanese", {}, {"a", "b"}}};
  for (const Case& c : cases) {
    float score[2] = {0, 0};
    for (int padded : {0, 1}) {
      strVec extra = c.extra;
      extra.push_back("usePaddedHardSp=" + std::to_string(padded));
      coreRun run({"a-b\t0"}, {"a b"}, "assess", "texts.syl", extra, models);
      strVec spoken{"sil", c.words[0], c.words[1], "sil"};
      if (padded) spoken.insert(spoken.begin() + 2, "sp");
      run.speak(spoken, 4, true);
      ASSERT_EQ(run.run(), "") << c.language;
      EXPECT_EQ(run.mlf.m_PA, padded ? "a-sp-b" : "a-b") << c.language;
      EXPECT_EQ(run.mlf.m_textSylNum, 2) << c.language << padded;
      EXPECT_EQ(run.mlf.m_pathSylNum, 2) << c.language << padded;
      EXPECT_EQ(run.mlf.m_discountFactor, std::vector<int>(7, 0)) << c.language << padded;
      score[padded] = run.mlf.m_score;
    }
    EXPECT_FLOAT_EQ(score[1], score[0]) << c.language;
    EXPECT_LE(score[1], 100.0f) << c.language;
  }
}

TEST(RecogCore, ChineseAssessmentCountsTheCharactersOfEachText) {
  // Three texts of one Big5 character each, joined by blanks into the one text assessed.
  coreRun run({"a-b-c\t0"}, {"\xa4\x40", "\xa4\x41", "\xa4\x42"}, "assess");
  run.param.language = "chinese";
  run.speak({"sil", "a", "b", "c", "sil"}, 4);
  ASSERT_EQ(run.run(), "");
  EXPECT_THAT(run.mlf.m_text, ElementsAre("\xa4\x40 \xa4\x41 \xa4\x42"));
  EXPECT_EQ(run.mlf.m_textSylNum, 3);
  EXPECT_EQ(run.mlf.m_syl[3].text, "\xa4\x42");
  EXPECT_EQ(run.mlf.m_discountFactor[4], 0);
}

TEST(RecogCore, RealignmentWalksPastPaddedShortPauses) {
  coreRun run({"a-b-a\t0", "a-c-a\t0"}, {"A B A"}, "assess", "texts.syl2", {"usePaddedHardSp=1"},
              {"sil", "sp", "a", "b", "c"});
  run.speak({"sil", "a", "sp", "c", "sp", "a", "sil"}, 4);
  ASSERT_EQ(run.run(), "");
  EXPECT_EQ(readFile(run.out("confusingPath.txt")),
            "Designated: a-sp-b-sp-a\nIdentified: a-sp-c-sp-a\nb ===> c\n");
  EXPECT_THAT(run.sylNames(), ElementsAre("sil", "a", "sp", "b", "sp", "a", "sil"));
}

TEST(RecogCore, AssessingSilenceScoresTheTextZero) {
  coreRun run({"a-b\t0"}, {"A B"}, "assess");
  // Too short to pass a and b: the best path holds only the leading silence.
  run.speak({"sil"}, 3);
  ASSERT_EQ(run.run(), "");
  EXPECT_THAT(run.result, ElementsAre(0));
  EXPECT_THAT(run.mlf.m_text, ElementsAre("A B"));
  EXPECT_EQ(run.mlf.m_score, 0.0f);
  EXPECT_EQ(run.mlf.m_timberScore, 0.0f);
  EXPECT_EQ(run.mlf.m_textSylNum, 2);
  ASSERT_EQ(run.mlf.m_discountFactor.size(), 7u);
  EXPECT_EQ(run.mlf.m_discountFactor[4], 2) << "two syllables of the text, none scored";
  EXPECT_THAT(run.printed, HasSubstr("holds none of the syllable sequences of the text; it scores 0\n"));
  EXPECT_THAT(readFile(run.out("recogResult.txt")), testing::StartsWith("Text index=0\nText=A B\nScore=0.000000\n"));
}

TEST(RecogCore, RecognisingSilenceFindsNoText) {
  coreRun run({"a-b\t0", "a-c\t1"}, {"A B", "A C"}, "recog");
  run.speak({"sil"}, 3);
  EXPECT_THAT(run.run(), HasSubstr("None of the candidate texts was found in the wave"));
}

TEST(RecogCore, PathThatStopsEarlyIsTheLiveOneNotADeadEnding) {
  // "a" ends in the trailing silence; the utterance stops after c, short of a-b-c-a. A
  // narrow beam kills every path that squeezes the missing syllables into the last frames.
  coreRun run({"a\t0", "a-b-c-a\t1"}, {"A", "A B C A"}, "recog", "texts.syl", {"probTh=300"});
  run.speak({"sil", "a", "b", "c"}, 4);
  ASSERT_EQ(run.run(), "");
  EXPECT_THAT(run.result, ElementsAre(1));
  EXPECT_EQ(run.mlf.m_PA, "a-b-c");
  EXPECT_GT(run.mlf.m_logProb, -1e9f);
  ASSERT_FALSE(run.mlf.m_discountFactor.empty());
  EXPECT_EQ(run.mlf.m_discountFactor[0], 1) << "incomplete path";
}

TEST(RecogCore, SkippableTrailingSilenceCompletesAPathWithoutIt) {
  for (int skippable : {0, 1}) {
    coreRun run({"a-b\t0", "a-c\t1"}, {"A B", "A C"}, "recog", "texts.syl",
                {"probTh=300", "addLink4skippableTrailingSil=" + std::to_string(skippable)});
    run.speak({"sil", "a", "b"}, 4);
    ASSERT_EQ(run.run(), "") << skippable;
    EXPECT_THAT(run.result, ElementsAre(0)) << skippable;
    ASSERT_FALSE(run.mlf.m_discountFactor.empty());
    EXPECT_EQ(run.mlf.m_discountFactor[0], skippable ? 0 : 1) << skippable;
  }
}

}  // namespace
