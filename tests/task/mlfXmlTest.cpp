#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>

#include "mlfClass.h"
#include "modelSetFixture.h"
#include "hostLocale.h"
#include "testFiles.h"

using namespace tulim;
using testing::ElementsAre;
using tulim::test::readFile;
using tulim::test::scratchDir;

namespace {

// Sorted, the set holds a+b (0), b (1), sil (2), x+b (3).
void smallModelSet(macroClass& set) { tulim::test::modelSetPrepare(set, {"x+b", "sil", "b", "a+b"}); }

phoneInfo makePhone(const std::string& name, int modelIndex, int first, int last, float cumLogLike) {
  phoneInfo phone;
  phone.name = name;
  phone.modelIndex = modelIndex;
  phone.frameId[0] = first;
  phone.frameId[1] = last;
  phone.cumLogLike = cumLogLike;
  return phone;
}

// Two nodes: a scored syllable of two ranked phones, and an unscored "sil".
mlfClass smallResult() {
  mlfClass mlf;
  mlf.m_textStr = {"\xa4\x4b\xa4\x40"};
  mlf.m_sylStr = {"ba1", "sil"};
  mlf.m_warning = {"Warning: volume too low", "Warning: clipped"};
  mlf.m_score = 72.5f;
  mlf.m_timberScore = 71.25f;

  sylInfo ba;
  ba.name = "ba1";
  ba.text = "\xa4\x4b";
  ba.frameId[0] = 0;
  ba.frameId[1] = 49;
  ba.timberScore = 87.5f;
  const float baScores[4] = {80.0f, 87.5f, 90.0f, 91.25f};
  std::copy(baScores, baScores + 4, ba.timberScores);
  ba.pitch = {60.5f, 61.0f};
  ba.volume = {0.25f};

  phoneInfo a = makePhone("a+b", 0, 0, 19, -123.25f);
  a.timberScore = 90.0f;
  a.pitched = 1;
  a.pitch = {60.5f};
  a.volume = {0.25f, 0.5f};
  a.rankRatio = 0.5f;
  a.timeRatio = 0.4f;
  a.competingModelIndex = {3, 0};
  a.competingModelLogLike = {-100.5f, -110.0f};
  const float aScores[4] = {1.0f, 2.0f, 3.0f, 4.0f};
  std::copy(aScores, aScores + 4, a.timberScores);
  ba.phone.push_back(a);

  phoneInfo b = makePhone("b", 1, 20, 49, -321.5f);
  b.competingModelIndex = {1};
  b.competingModelLogLike = {-200.0f};
  ba.phone.push_back(b);
  mlf.m_syl.push_back(ba);

  sylInfo sil;
  sil.name = "sil";
  sil.frameId[0] = 50;
  sil.frameId[1] = 59;
  sil.phone.push_back(makePhone("sil", 2, 50, 59, -400.0f));
  mlf.m_syl.push_back(sil);

  mlf.m_discountFactor = {1, 0};
  mlf.m_discountRatio = {0.9f, 0.85f, 1.0f};
  return mlf;
}

std::string writeToString(const mlfClass& mlf, const macroClass& set, const std::string& language) {
  scratchDir dir;
  const std::string path = dir.file("output.xml");
  mlf.writeXml(set, path, language);
  return readFile(path);
}

}  // namespace

TEST(MlfXml, WritesEveryByteOfSmallResult) {
  macroClass set;
  smallModelSet(set);
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"big5\"?>\n"
      "<root xml_tb_version=\"3.2.1\" idx=\"1\" type=\"struct\" size=\"1 1\">\n"
      "<version idx=\"1\" type=\"char\" size=\"1 24\">version 1.4 (2010/06/24)</version>\n"
      "<text idx=\"1\" type=\"cell\" size=\"1 1\">\n"
      "\t<item idx=\"1\" type=\"char\" size=\"1 2\">\xa4\x4b\xa4\x40</item>\n"
      "</text>\n"
      "<syl idx=\"1\" type=\"cell\" size=\"1 2\">\n"
      "\t<item idx=\"1\" type=\"char\" size=\"1 3\">ba1</item>\n"
      "\t<item idx=\"2\" type=\"char\" size=\"1 3\">sil</item>\n"
      "</syl>\n"
      "<warningMessage idx=\"1\" type=\"cell\" size=\"1 2\">\n"
      "\t<item idx=\"1\" type=\"char\" size=\"1 23\">Warning: volume too low</item>\n"
      "\t<item idx=\"2\" type=\"char\" size=\"1 16\">Warning: clipped</item>\n"
      "</warningMessage>\n"
      "<cm idx=\"1\" type=\"struct\" size=\"1 1\">\n"
      "\t<language idx=\"1\" type=\"char\" size=\"1 7\">chinese</language>\n"
      "\t<score idx=\"1\" type=\"double\" size=\"1 1\">72.5</score><!--Overall score-->\n"
      "\t<timberScore idx=\"1\" type=\"double\" size=\"1 1\">71.25</timberScore>\n"
      "\t<word idx=\"1\" type=\"struct\" size=\"1 2\"><!--List of nodes, which each node is a word (for English) or a "
      "syllable (for Chinese)-->\n"
      "\t\t<name idx=\"1\" type=\"char\" size=\"1 3\">ba1</name><!--Phonetic alphabets of the node-->\n"
      "\t\t<interval idx=\"1\" type=\"double\" size=\"1 2\">0 0.5</interval><!--Time span of the node, in seconds-->\n"
      "\t\t<text idx=\"1\" type=\"char\" size=\"1 1\">\xa4\x4b</text><!--Text of the node (empty if the node is "
      "sil/sp)-->\n"
      "\t\t<timberScore idx=\"1\" type=\"double\" size=\"1 1\">87.5</timberScore><!--Score of the node (-1 if the node "
      "is sil/sp)-->\n"
      "\t\t<pitch idx=\"1\" type=\"double\" size=\"1 2\">60.5 61</pitch><!--Pitch of the node (0 if no pitch at "
      "all)-->\n"
      "\t\t<volume idx=\"1\" type=\"double\" size=\"1 1\">0.25</volume><!--Volume of the node (0 if not computed)-->\n"
      "\t\t<timberScores idx=\"1\" type=\"double\" size=\"1 4\">80 87.5 90 91.25</timberScores><!--All timber scores "
      "of the node (primarily for debugging)-->\n"
      "\t\t<phone idx=\"1\" type=\"struct\" size=\"1 2\"><!--List of phones in the node-->\n"
      "\t\t\t<name idx=\"1\" type=\"char\" size=\"1 3\">a+b</name><!--Phonetic alphabets for the node-->\n"
      "\t\t\t<index idx=\"1\" type=\"uint16\" size=\"1 1\">0</index><!--Model index within the macro file-->\n"
      "\t\t\t<interval idx=\"1\" type=\"double\" size=\"1 2\">0 0.2</interval><!--Time span of the phone, in "
      "seconds-->\n"
      "\t\t\t<timberScore idx=\"1\" type=\"double\" size=\"1 1\">90</timberScore><!--Timber score of the node (-1 if "
      "the node is sil/sp)-->\n"
      "\t\t\t<pitched idx=\"1\" type=\"double\" size=\"1 1\">1</pitched>\n"
      "\t\t\t<pitch idx=\"1\" type=\"double\" size=\"1 1\">60.5</pitch><!--Pitch of the node (0 if no pitch at "
      "all)-->\n"
      "\t\t\t<volume idx=\"1\" type=\"double\" size=\"1 2\">0.25 0.5</volume><!--Volume of the node (0 if no pitch at "
      "all)-->\n"
      "\t\t\t<cumLogLike idx=\"1\" type=\"double\" size=\"1 1\">-123.25</cumLogLike><!--Cumulated log probability of "
      "the phone-->\n"
      "\t\t\t<rankRatio idx=\"1\" type=\"double\" size=\"1 1\">0.5</rankRatio><!--Rank ratio of the phone-->\n"
      "\t\t\t<timeRatio idx=\"1\" type=\"double\" size=\"1 1\">0.4</timeRatio><!--Time ratio of the phone-->\n"
      "\t\t\t<competingModelIndex idx=\"1\" type=\"uint16\" size=\"1 2\">3 0</competingModelIndex><!--Indices of the "
      "competing models of the phone-->\n"
      "\t\t\t<competingModelName idx=\"1\" type=\"char\" size=\"1 7\">x+b a+b</competingModelName><!--Name of the "
      "competing models of the phone-->\n"
      "\t\t\t<competingModelLogLike idx=\"1\" type=\"double\" size=\"1 2\">-100.5 -110</competingModelLogLike><!--Log "
      "likelihoods of the competing models of the phone-->\n"
      "\t\t\t<timberScores idx=\"1\" type=\"double\" size=\"1 4\">1 2 3 4</timberScores><!--All timber scores of the "
      "phone (primarily for debugging)-->\n"
      "\t\t\t<name idx=\"2\" type=\"char\" size=\"1 1\">b</name>\n"
      "\t\t\t<index idx=\"2\" type=\"uint16\" size=\"1 1\">1</index>\n"
      "\t\t\t<interval idx=\"2\" type=\"double\" size=\"1 2\">0.2 0.5</interval>\n"
      "\t\t\t<timberScore idx=\"2\" type=\"double\" size=\"1 1\">-1</timberScore>\n"
      "\t\t\t<pitched idx=\"2\" type=\"double\" size=\"1 1\">0</pitched>\n"
      "\t\t\t<pitch idx=\"2\" type=\"double\" size=\"1 0\"></pitch>\n"
      "\t\t\t<volume idx=\"2\" type=\"double\" size=\"1 0\"></volume>\n"
      "\t\t\t<cumLogLike idx=\"2\" type=\"double\" size=\"1 1\">-321.5</cumLogLike>\n"
      "\t\t\t<rankRatio idx=\"2\" type=\"double\" size=\"1 1\">-1</rankRatio>\n"
      "\t\t\t<timeRatio idx=\"2\" type=\"double\" size=\"1 1\">-1</timeRatio>\n"
      "\t\t\t<competingModelIndex idx=\"2\" type=\"uint16\" size=\"1 1\">1</competingModelIndex>\n"
      "\t\t\t<competingModelName idx=\"2\" type=\"char\" size=\"1 1\">b</competingModelName>\n"
      "\t\t\t<competingModelLogLike idx=\"2\" type=\"double\" size=\"1 1\">-200</competingModelLogLike>\n"
      "\t\t\t<timberScores idx=\"2\" type=\"double\" size=\"1 4\">-1 -1 -1 -1</timberScores>\n"
      "\t\t</phone>\n"
      "\t\t<name idx=\"2\" type=\"char\" size=\"1 3\">sil</name>\n"
      "\t\t<interval idx=\"2\" type=\"double\" size=\"1 2\">0.5 0.6</interval>\n"
      "\t\t<text idx=\"2\" type=\"char\" size=\"1 0\"></text>\n"
      "\t\t<timberScore idx=\"2\" type=\"double\" size=\"1 1\">-1</timberScore>\n"
      "\t\t<pitch idx=\"2\" type=\"double\" size=\"1 0\"></pitch>\n"
      "\t\t<volume idx=\"2\" type=\"double\" size=\"1 0\"></volume>\n"
      "\t\t<timberScores idx=\"2\" type=\"double\" size=\"1 4\">-1 -1 -1 -1</timberScores>\n"
      "\t\t<phone idx=\"2\" type=\"struct\" size=\"1 1\">\n"
      "\t\t\t<name idx=\"1\" type=\"char\" size=\"1 3\">sil</name>\n"
      "\t\t\t<index idx=\"1\" type=\"uint16\" size=\"1 1\">2</index>\n"
      "\t\t\t<interval idx=\"1\" type=\"double\" size=\"1 2\">0.5 0.6</interval>\n"
      "\t\t\t<timberScore idx=\"1\" type=\"double\" size=\"1 1\">-1</timberScore>\n"
      "\t\t\t<pitched idx=\"1\" type=\"double\" size=\"1 1\">0</pitched>\n"
      "\t\t\t<pitch idx=\"1\" type=\"double\" size=\"1 0\"></pitch>\n"
      "\t\t\t<volume idx=\"1\" type=\"double\" size=\"1 0\"></volume>\n"
      "\t\t\t<cumLogLike idx=\"1\" type=\"double\" size=\"1 1\">-400</cumLogLike>\n"
      "\t\t\t<rankRatio idx=\"1\" type=\"double\" size=\"1 1\">-1</rankRatio>\n"
      "\t\t\t<timeRatio idx=\"1\" type=\"double\" size=\"1 1\">-1</timeRatio>\n"
      "\t\t\t<competingModelIndex idx=\"1\" type=\"uint16\" size=\"1 0\"></competingModelIndex>\n"
      "\t\t\t<competingModelName idx=\"1\" type=\"char\" size=\"1 0\"></competingModelName>\n"
      "\t\t\t<competingModelLogLike idx=\"1\" type=\"double\" size=\"1 0\"></competingModelLogLike>\n"
      "\t\t\t<timberScores idx=\"1\" type=\"double\" size=\"1 4\">-1 -1 -1 -1</timberScores>\n"
      "\t\t</phone>\n"
      "\t</word>\n"
      "\t<discountFactor idx=\"1\" type=\"struct\" size=\"1 2\"><!--Discount factors for computing the discounted "
      "scores-->\n"
      "\t\t<occurrence idx=\"1\" type=\"double\" size=\"1 1\">1</occurrence>\n"
      "\t\t<ratio idx=\"1\" type=\"double\" size=\"1 1\">0.900000</ratio>\n"
      "\t\t<type idx=\"1\" type=\"char\" size=\"1 30\">Incomplete Viterbi search path</type>\n"
      "\t\t<occurrence idx=\"2\" type=\"double\" size=\"1 1\">0</occurrence>\n"
      "\t\t<ratio idx=\"2\" type=\"double\" size=\"1 1\">0.850000</ratio>\n"
      "\t\t<type idx=\"2\" type=\"char\" size=\"1 27\">No. of over-short syllables</type>\n"
      "\t</discountFactor>\n"
      "</cm>\n"
      "</root>\n";
  EXPECT_EQ(writeToString(smallResult(), set, "chinese"), expected);
}

TEST(MlfXml, EmptyResultIsStillACompleteDocument) {
  macroClass set;
  EXPECT_EQ(writeToString(mlfClass(), set, "english"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<root xml_tb_version=\"3.2.1\" idx=\"1\" type=\"struct\" size=\"1 1\">\n"
            "<version idx=\"1\" type=\"char\" size=\"1 24\">version 1.4 (2010/06/24)</version>\n"
            "<text idx=\"1\" type=\"cell\" size=\"1 0\">\n"
            "</text>\n"
            "<syl idx=\"1\" type=\"cell\" size=\"1 0\">\n"
            "</syl>\n"
            "<warningMessage idx=\"1\" type=\"cell\" size=\"1 0\">\n"
            "</warningMessage>\n"
            "<cm idx=\"1\" type=\"struct\" size=\"1 1\">\n"
            "\t<language idx=\"1\" type=\"char\" size=\"1 7\">english</language>\n"
            "\t<score idx=\"1\" type=\"double\" size=\"1 1\">0</score><!--Overall score-->\n"
            "\t<timberScore idx=\"1\" type=\"double\" size=\"1 1\">-100000</timberScore>\n"
            "\t<word idx=\"1\" type=\"struct\" size=\"1 0\"><!--List of nodes, which each node is a word (for English) "
            "or a syllable (for Chinese)-->\n"
            "\t</word>\n"
            "\t<discountFactor idx=\"1\" type=\"struct\" size=\"1 0\"><!--Discount factors for computing the "
            "discounted scores-->\n"
            "\t</discountFactor>\n"
            "</cm>\n"
            "</root>\n");
}

TEST(MlfXml, EncodingLineAndNodeTextSizeFollowTheLanguage) {
  struct Case {
    const char* language;
    const char* encodingLine;
    const char* nodeTextLine;  // two Big5 characters: counted as such only for Chinese
  };
  const Case cases[] = {
      {"chinese", "<?xml version=\"1.0\" encoding=\"big5\"?>\n", "size=\"1 2\">\xa4\x4b\xa4\x40</text>"},
      {"taiwanese", "<?xml version=\"1.0\" encoding=\"big5\"?>\n", "size=\"1 4\">\xa4\x4b\xa4\x40</text>"},
      {"english", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", "size=\"1 4\">\xa4\x4b\xa4\x40</text>"},
      {"japanese", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", "size=\"1 4\">\xa4\x4b\xa4\x40</text>"},
      {"", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", "size=\"1 4\">\xa4\x4b\xa4\x40</text>"},
  };
  macroClass set;
  smallModelSet(set);
  mlfClass mlf = smallResult();
  mlf.m_syl[0].text = "\xa4\x4b\xa4\x40";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.language);
    const std::string doc = writeToString(mlf, set, c.language);
    EXPECT_EQ(doc.substr(0, doc.find('\n') + 1), c.encodingLine);
    EXPECT_NE(doc.find(c.nodeTextLine), std::string::npos);
    // The text cell counts characters whatever the language.
    EXPECT_NE(doc.find("<item idx=\"1\" type=\"char\" size=\"1 2\">\xa4\x4b\xa4\x40</item>"), std::string::npos);
    EXPECT_NE(doc.find(std::string("<language idx=\"1\" type=\"char\" size=\"1 ") +
                       std::to_string(std::string(c.language).size()) + "\">" + c.language + "</language>"),
              std::string::npos);
  }
}

TEST(MlfXml, WritesEveryDiscountReasonAndRawFieldValues) {
  macroClass set;
  smallModelSet(set);
  mlfClass mlf;
  mlf.m_discountFactor = {0, 1, 2, 3, 4, 5, 6};
  mlf.m_discountRatio = {0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 0.95f, 0.125f};
  sylInfo syl;
  syl.name = "sp";
  syl.frameId[0] = 7;
  syl.frameId[1] = 2147483647;  // the span's end is computed without overflow
  syl.phone.push_back(makePhone("sp", -1, 7, 2147483647, -1e10f));
  mlf.m_syl.push_back(syl);
  const std::string doc = writeToString(mlf, set, "english");

  const char* reasons[] = {
      "Incomplete Viterbi search path",
      "No. of over-short syllables",
      "No. of overlong syllables",
      "No. of sp longer than 0.25 sec",
      "Difference between identified and actual no. of syllables",
      "Ratio between the longest and shortest syllables greater than 4",
      "Volume of sil too large",
  };
  std::string discounts = "\t<discountFactor idx=\"1\" type=\"struct\" size=\"1 7\"><!--Discount factors for computing "
                          "the discounted scores-->\n";
  const char* ratios[] = {"0.500000", "0.600000", "0.700000", "0.800000", "0.900000", "0.950000", "0.125000"};
  for (int k = 0; k < 7; ++k) {
    discounts += "\t\t<occurrence idx=\"" + std::to_string(k + 1) + "\" type=\"double\" size=\"1 1\">" +
                 std::to_string(k) + "</occurrence>\n";
    discounts += "\t\t<ratio idx=\"" + std::to_string(k + 1) + "\" type=\"double\" size=\"1 1\">" + ratios[k] +
                 "</ratio>\n";
    discounts += "\t\t<type idx=\"" + std::to_string(k + 1) + "\" type=\"char\" size=\"1 " +
                 std::to_string(std::string(reasons[k]).size()) + "\">" + reasons[k] + "</type>\n";
  }
  discounts += "\t</discountFactor>\n</cm>\n</root>\n";
  ASSERT_GE(doc.size(), discounts.size());
  EXPECT_EQ(doc.substr(doc.size() - discounts.size()), discounts);

  EXPECT_NE(doc.find("<interval idx=\"1\" type=\"double\" size=\"1 2\">0.07 2.14748e+07</interval><!--Time span of the "
                     "node"),
            std::string::npos);
  // A phone the ranking left without a model shows the index as the 16-bit field holds it.
  EXPECT_NE(doc.find("<index idx=\"1\" type=\"uint16\" size=\"1 1\">65535</index>"), std::string::npos);
  EXPECT_NE(doc.find("<cumLogLike idx=\"1\" type=\"double\" size=\"1 1\">-1e+10</cumLogLike>"), std::string::npos);
}

TEST(MlfXml, RejectsInconsistentRecordWithoutTouchingTheFile) {
  struct Case {
    const char* what;
    std::function<void(mlfClass&)> spoil;
    const char* message;
  };
  const Case cases[] = {
      {"negative competing model", [](mlfClass& m) { m.m_syl[1].phone[0].competingModelIndex = {-1}; },
       "writeXml: competing model -1 of phone 0 \\(sil\\) of node 1 is outside the HMM set of 4 models "
       "\\(line [0-9]+ of mlfXml\\)"},
      {"competing model past the set",
       [](mlfClass& m) {
         m.m_syl[0].phone[1].competingModelIndex = {1, 4};
         m.m_syl[0].phone[1].competingModelLogLike = {-1.0f, -2.0f};
       },
       "writeXml: competing model 4 of phone 1 \\(b\\) of node 0 is outside the HMM set of 4 models "
       "\\(line [0-9]+ of mlfXml\\)"},
      {"log-likelihoods missing", [](mlfClass& m) { m.m_syl[0].phone[0].competingModelLogLike.pop_back(); },
       "writeXml: phone 0 \\(a\\+b\\) of node 0 has 2 competing models but 1 log-likelihoods "
       "\\(line [0-9]+ of mlfXml\\)"},
      {"too many discount reasons",
       [](mlfClass& m) {
         m.m_discountFactor.assign(8, 0);
         m.m_discountRatio.assign(8, 1.0f);
       },
       "writeXml: 8 discount factors > DISCOUNT_REASON_NUM = 7 \\(line [0-9]+ of mlfXml\\)"},
      {"discount ratios missing", [](mlfClass& m) { m.m_discountRatio = {1.0f}; },
       "writeXml: 1 discount ratios for 2 discount factors \\(line [0-9]+ of mlfXml\\)"},
  };
  macroClass set;
  smallModelSet(set);
  scratchDir dir;
  const std::string path = dir.write("output.xml", "earlier result\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    mlfClass mlf = smallResult();
    c.spoil(mlf);
    try {
      mlf.writeXml(set, path, "chinese");
      ADD_FAILURE() << "no fatal error";
    } catch (char* message) {
      EXPECT_THAT(message, testing::MatchesRegex(c.message));
    }
    EXPECT_EQ(readFile(path), "earlier result\n");
  }
}

TEST(MlfXml, FileThatCannotBeOpenedOrFilledIsFatal) {
  macroClass set;
  smallModelSet(set);
  scratchDir dir;
  const std::string missingDir = dir.file("no/such/dir/output.xml");
  try {
    smallResult().writeXml(set, missingDir, "chinese");
    ADD_FAILURE() << "no fatal error";
  } catch (char* message) {
    EXPECT_THAT(message, testing::StartsWith("Cannot open file " + missingDir + ": No such file or directory (line "));
  }
  // A full disk must not pass for a written result.
  try {
    smallResult().writeXml(set, "/dev/full", "chinese");
    ADD_FAILURE() << "no fatal error";
  } catch (char* message) {
    EXPECT_THAT(message, testing::MatchesRegex("writeXml: cannot write file /dev/full: No space left on device \\(line [0-9]+ of mlfXml\\)"));
  }
}

TEST(MlfXml, WrittenOverALongerFileHoldsOnlyTheDocument) {
  macroClass set;
  smallModelSet(set);
  const std::string fresh = writeToString(smallResult(), set, "chinese");
  scratchDir dir;
  const std::string path = dir.write("output.xml", std::string(fresh.size() * 2, '#'));
  smallResult().writeXml(set, path, "chinese");
  EXPECT_EQ(readFile(path), fresh);
}

TEST(MlfXml, PrintsNumbersInTheCLocaleUnderAHostLocale) {
  macroClass set;
  smallModelSet(set);
  const std::string inC = writeToString(smallResult(), set, "chinese");
  // A host application may have chosen a locale with a decimal comma.
  const test::hostCommaLocale host;
  if (host.name().empty()) GTEST_SKIP() << "no locale with a decimal comma on this machine";
  EXPECT_EQ(writeToString(smallResult(), set, "chinese"), inC) << "under " << host.name();
}

namespace {

// A parsed document, freed with the object; null when the parser refuses the text.
struct parsedXml {
  xmlDocPtr doc;
  explicit parsedXml(const std::string& text)
      : doc(xmlReadMemory(text.data(), static_cast<int>(text.size()), "output.xml", nullptr,
                          XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING)) {}
  ~parsedXml() { xmlFreeDoc(doc); }
};

std::string attribute(xmlNodePtr node, const char* name) {
  xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
  std::string text = value ? reinterpret_cast<const char*>(value) : "";
  xmlFree(value);
  return text;
}

// "content|size" of every element with this name, in document order.
void collect(xmlNodePtr node, const std::string& name, std::vector<std::string>& out) {
  for (; node; node = node->next) {
    if (node->type != XML_ELEMENT_NODE) continue;
    if (name == reinterpret_cast<const char*>(node->name)) {
      xmlChar* content = xmlNodeGetContent(node);
      out.push_back(std::string(reinterpret_cast<const char*>(content)) + "|" + attribute(node, "size"));
      xmlFree(content);
    }
    collect(node->children, name, out);
  }
}

std::vector<std::string> elements(const parsedXml& xml, const std::string& name) {
  std::vector<std::string> out;
  collect(xmlDocGetRootElement(xml.doc), name, out);
  return out;
}

}  // namespace

TEST(MlfXml, EscapesMarkupInTextsAndNamesSoThatAParserReadsThemBack) {
  macroClass set;
  tulim::test::modelSetPrepare(set, {"sil", "c<d", "a&b"});  // sorted: a&b (0), c<d (1), sil (2)
  mlfClass mlf;
  mlf.m_textStr = {"Tom & Jerry <3", "say \"hi\" > 2"};
  mlf.m_sylStr = {"a&b", "c<d"};
  mlf.m_warning = {"Warning: <clipped> & loud"};
  sylInfo node;
  node.name = "a&b";
  node.text = "R&D<x>";
  node.frameId[0] = 0;
  node.frameId[1] = 9;
  phoneInfo phone = makePhone("c<d", 1, 0, 9, -5.0f);
  phone.competingModelIndex = {0, 1};
  phone.competingModelLogLike = {-1.0f, -2.0f};
  node.phone.push_back(phone);
  mlf.m_syl.push_back(node);

  const std::string text = writeToString(mlf, set, "english");
  parsedXml xml(text);
  ASSERT_NE(xml.doc, nullptr) << text;
  // The values come back as written; the sizes are those of the raw strings.
  EXPECT_THAT(elements(xml, "item"), ElementsAre("Tom & Jerry <3|1 14", "say \"hi\" > 2|1 12", "a&b|1 3", "c<d|1 3",
                                                  "Warning: <clipped> & loud|1 25"));
  EXPECT_THAT(elements(xml, "name"), ElementsAre("a&b|1 3", "c<d|1 3"));
  EXPECT_THAT(elements(xml, "competingModelName"), ElementsAre("a&b c<d|1 7"));
  EXPECT_THAT(elements(xml, "text"), testing::Contains("R&D<x>|1 6"));
  EXPECT_NE(text.find(">Tom &amp; Jerry &lt;3<"), std::string::npos);
  EXPECT_NE(text.find(">say &quot;hi&quot; &gt; 2<"), std::string::npos);
}

// The numbers of the document are spelled exactly as printf's "%g" spells them, for every
// kind of float: both signs of zero, subnormals, the largest and smallest of each exponent,
// ties at the sixth digit, infinities and NaNs, and a sweep of bit patterns.
TEST(MlfXml, SpellsEveryNumberAsPrintfDoes) {
  macroClass set;
  smallModelSet(set);
  std::vector<float> values = {0.0f,     -0.0f,   1.0f,        -1.0f,      0.1f,        1e-4f,      1e-5f,
                               123456.0f, 999999.5f, 1234567.0f, 0.000123456f, 1.5e-45f, -1.17549435e-38f,
                               3.40282347e+38f, 1e10f,  -1e10f,     100000.0f,  999999.0f,  2.5f,       0.125f,
                               HUGE_VALF, -HUGE_VALF, std::nanf(""), -std::nanf("")};
  uint32_t bits = 12345u;
  for (int k = 0; k < 4000; ++k) {
    bits = bits * 1664525u + 1013904223u;
    float f;
    std::memcpy(&f, &bits, sizeof f);
    values.push_back(f);
  }
  mlfClass mlf;
  sylInfo syl;
  syl.name = "ba1";
  syl.pitch = values;
  phoneInfo phone = makePhone("a+b", 0, 0, 9, values[3]);
  for (size_t k = 0; k < values.size(); ++k) phone.competingModelIndex.push_back(static_cast<int>(k % 4));
  phone.competingModelLogLike = values;
  syl.phone.push_back(phone);
  mlf.m_syl.push_back(syl);
  const std::string doc = writeToString(mlf, set, "english");

  std::string joined;
  for (size_t k = 0; k < values.size(); ++k) {
    char buf[64];
    snprintf(buf, sizeof buf, k ? " %g" : "%g", static_cast<double>(values[k]));
    joined += buf;
  }
  const std::string size = "size=\"1 " + std::to_string(values.size()) + "\">";
  EXPECT_NE(doc.find("<pitch idx=\"1\" type=\"double\" " + size + joined + "</pitch>"), std::string::npos);
  EXPECT_NE(doc.find("<competingModelLogLike idx=\"1\" type=\"double\" " + size + joined + "</competingModelLogLike>"),
            std::string::npos);
}
