#include <cstdint>
#include <cstdio>

#include "discountReason.h"
#include "mlfClass.h"
#include "platform/cLocaleScope.h"
#include "utility.h"

namespace tulim {

namespace {

const char* const XML_VERSION_TEXT = "version 1.4 (2010/06/24)";

// The readers of the document find the field descriptions on the first node and the first
// phone only; every other line ends bare.
void addLine(std::string& doc, const std::string& line, const char* comment, bool commented) {
  doc += line;
  doc += commented ? comment : "\n";
}

// Texts, names and messages go into element content as markup-safe text; the sizes written
// beside them stay those of the raw strings. Quotes are escaped too, so the same text could
// stand in an attribute value. Big5 trail bytes start at 0x40, so no byte of a double-byte
// character is taken for one of these.
std::string xmlText(const std::string& raw) {
  std::string out;
  out.reserve(raw.size());
  for (char c : raw) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

double seconds(int frame) { return frame / 100.0; }
// End of an inclusive span; the + 1 is taken in double so the last frame may be any int.
double endSeconds(int lastFrame) { return (lastFrame + 1.0) / 100.0; }

std::string floatJoin(const std::vector<float>& values) {
  std::string out;
  for (size_t k = 0; k < values.size(); ++k) out += strFormat(k ? " %g" : "%g", static_cast<double>(values[k]));
  return out;
}

void addCell(std::string& doc, const char* name, const std::vector<std::string>& items, bool countCharacters) {
  doc += strFormat("<%s idx=\"1\" type=\"cell\" size=\"1 %zu\">\n", name, items.size());
  for (size_t k = 0; k < items.size(); ++k) {
    const size_t size = countCharacters ? static_cast<size_t>(dbcsCharCount(items[k])) : items[k].size();
    doc += strFormat("\t<item idx=\"%zu\" type=\"char\" size=\"1 %zu\">%s</item>\n", k + 1, size, xmlText(items[k]).c_str());
  }
  doc += strFormat("</%s>\n", name);
}

void addPhone(std::string& doc, const macroClass& set, const phoneInfo& phone, size_t idx, bool commented,
              size_t node) {
  const size_t modelNum = set.MMF.model.size();
  std::string indices, names;
  for (size_t k = 0; k < phone.competingModelIndex.size(); ++k) {
    const int model = phone.competingModelIndex[k];
    if (model < 0 || static_cast<size_t>(model) >= modelNum)
      errorThrowf("writeXml: competing model %d of phone %zu (%s) of node %zu is outside the HMM set of %zu models "
                  "(line %d of %s)",
                  model, idx - 1, phone.name.c_str(), node, modelNum, TULIM_HERE);
    if (k) {
      indices += ' ';
      names += ' ';
    }
    indices += strFormat("%d", model);
    names += set.MMF.model[static_cast<size_t>(model)].str;
  }
  if (phone.competingModelLogLike.size() != phone.competingModelIndex.size())
    errorThrowf("writeXml: phone %zu (%s) of node %zu has %zu competing models but %zu log-likelihoods "
                "(line %d of %s)",
                idx - 1, phone.name.c_str(), node, phone.competingModelIndex.size(),
                phone.competingModelLogLike.size(), TULIM_HERE);

  addLine(doc, strFormat("\t\t\t<name idx=\"%zu\" type=\"char\" size=\"1 %zu\">%s</name>", idx, phone.name.size(),
                         xmlText(phone.name).c_str()),
          "<!--Phonetic alphabets for the node-->\n", commented);
  // The field is declared uint16: the index is written as that type holds it.
  addLine(doc, strFormat("\t\t\t<index idx=\"%zu\" type=\"uint16\" size=\"1 1\">%d</index>", idx,
                         static_cast<int>(static_cast<uint16_t>(phone.modelIndex))),
          "<!--Model index within the macro file-->\n", commented);
  addLine(doc, strFormat("\t\t\t<interval idx=\"%zu\" type=\"double\" size=\"1 2\">%g %g</interval>", idx,
                         seconds(phone.frameId[0]), endSeconds(phone.frameId[1])),
          "<!--Time span of the phone, in seconds-->\n", commented);
  addLine(doc, strFormat("\t\t\t<timberScore idx=\"%zu\" type=\"double\" size=\"1 1\">%g</timberScore>", idx,
                         static_cast<double>(phone.timberScore)),
          "<!--Timber score of the node (-1 if the node is sil/sp)-->\n", commented);
  doc += strFormat("\t\t\t<pitched idx=\"%zu\" type=\"double\" size=\"1 1\">%d</pitched>\n", idx,
                   static_cast<int>(phone.pitched));
  addLine(doc, strFormat("\t\t\t<pitch idx=\"%zu\" type=\"double\" size=\"1 %zu\">%s</pitch>", idx,
                         phone.pitch.size(), floatJoin(phone.pitch).c_str()),
          "<!--Pitch of the node (0 if no pitch at all)-->\n", commented);
  addLine(doc, strFormat("\t\t\t<volume idx=\"%zu\" type=\"double\" size=\"1 %zu\">%s</volume>", idx,
                         phone.volume.size(), floatJoin(phone.volume).c_str()),
          "<!--Volume of the node (0 if no pitch at all)-->\n", commented);
  addLine(doc, strFormat("\t\t\t<cumLogLike idx=\"%zu\" type=\"double\" size=\"1 1\">%g</cumLogLike>", idx,
                         static_cast<double>(phone.cumLogLike)),
          "<!--Cumulated log probability of the phone-->\n", commented);
  addLine(doc, strFormat("\t\t\t<rankRatio idx=\"%zu\" type=\"double\" size=\"1 1\">%g</rankRatio>", idx,
                         static_cast<double>(phone.rankRatio)),
          "<!--Rank ratio of the phone-->\n", commented);
  addLine(doc, strFormat("\t\t\t<timeRatio idx=\"%zu\" type=\"double\" size=\"1 1\">%g</timeRatio>", idx,
                         static_cast<double>(phone.timeRatio)),
          "<!--Time ratio of the phone-->\n", commented);
  addLine(doc, strFormat("\t\t\t<competingModelIndex idx=\"%zu\" type=\"uint16\" size=\"1 %zu\">%s</competingModelIndex>",
                         idx, phone.competingModelIndex.size(), indices.c_str()),
          "<!--Indices of the competing models of the phone-->\n", commented);
  addLine(doc, strFormat("\t\t\t<competingModelName idx=\"%zu\" type=\"char\" size=\"1 %zu\">%s</competingModelName>",
                         idx, names.size(), xmlText(names).c_str()),
          "<!--Name of the competing models of the phone-->\n", commented);
  addLine(doc, strFormat("\t\t\t<competingModelLogLike idx=\"%zu\" type=\"double\" size=\"1 %zu\">%s</competingModelLogLike>",
                         idx, phone.competingModelIndex.size(), floatJoin(phone.competingModelLogLike).c_str()),
          "<!--Log likelihoods of the competing models of the phone-->\n", commented);
  addLine(doc, strFormat("\t\t\t<timberScores idx=\"%zu\" type=\"double\" size=\"1 4\">%g %g %g %g</timberScores>",
                         idx, static_cast<double>(phone.timberScores[0]), static_cast<double>(phone.timberScores[1]),
                         static_cast<double>(phone.timberScores[2]), static_cast<double>(phone.timberScores[3])),
          "<!--All timber scores of the phone (primarily for debugging)-->\n", commented);
}

void addNode(std::string& doc, const macroClass& set, const sylInfo& syl, size_t i, bool chinese) {
  const size_t idx = i + 1;
  const bool commented = i == 0;
  addLine(doc, strFormat("\t\t<name idx=\"%zu\" type=\"char\" size=\"1 %zu\">%s</name>", idx, syl.name.size(),
                         xmlText(syl.name).c_str()),
          "<!--Phonetic alphabets of the node-->\n", commented);
  addLine(doc, strFormat("\t\t<interval idx=\"%zu\" type=\"double\" size=\"1 2\">%g %g</interval>", idx,
                         seconds(syl.frameId[0]), endSeconds(syl.frameId[1])),
          "<!--Time span of the node, in seconds-->\n", commented);
  // Chinese node texts are taken as all double-byte; other languages count bytes.
  const size_t textSize = chinese ? syl.text.size() / 2 : syl.text.size();
  addLine(doc, strFormat("\t\t<text idx=\"%zu\" type=\"char\" size=\"1 %zu\">%s</text>", idx, textSize,
                         xmlText(syl.text).c_str()),
          "<!--Text of the node (empty if the node is sil/sp)-->\n", commented);
  addLine(doc, strFormat("\t\t<timberScore idx=\"%zu\" type=\"double\" size=\"1 1\">%g</timberScore>", idx,
                         static_cast<double>(syl.timberScore)),
          "<!--Score of the node (-1 if the node is sil/sp)-->\n", commented);
  addLine(doc, strFormat("\t\t<pitch idx=\"%zu\" type=\"double\" size=\"1 %zu\">%s</pitch>", idx, syl.pitch.size(),
                         floatJoin(syl.pitch).c_str()),
          "<!--Pitch of the node (0 if no pitch at all)-->\n", commented);
  addLine(doc, strFormat("\t\t<volume idx=\"%zu\" type=\"double\" size=\"1 %zu\">%s</volume>", idx, syl.volume.size(),
                         floatJoin(syl.volume).c_str()),
          "<!--Volume of the node (0 if not computed)-->\n", commented);
  addLine(doc, strFormat("\t\t<timberScores idx=\"%zu\" type=\"double\" size=\"1 4\">%g %g %g %g</timberScores>", idx,
                         static_cast<double>(syl.timberScores[0]), static_cast<double>(syl.timberScores[1]),
                         static_cast<double>(syl.timberScores[2]), static_cast<double>(syl.timberScores[3])),
          "<!--All timber scores of the node (primarily for debugging)-->\n", commented);
  addLine(doc, strFormat("\t\t<phone idx=\"%zu\" type=\"struct\" size=\"1 %zu\">", idx, syl.phone.size()),
          "<!--List of phones in the node-->\n", commented);
  for (size_t j = 0; j < syl.phone.size(); ++j) addPhone(doc, set, syl.phone[j], j + 1, commented && j == 0, i);
  doc += "\t\t</phone>\n";
}

}  // namespace

void mlfClass::writeXml(const macroClass& set, const std::string& fileName, const std::string& language) const {
  if (m_discountFactor.size() > static_cast<size_t>(DISCOUNT_REASON_NUM))
    errorThrowf("writeXml: %zu discount factors > DISCOUNT_REASON_NUM = %d (line %d of %s)", m_discountFactor.size(),
                DISCOUNT_REASON_NUM, TULIM_HERE);
  if (m_discountRatio.size() < m_discountFactor.size())
    errorThrowf("writeXml: %zu discount ratios for %zu discount factors (line %d of %s)", m_discountRatio.size(),
                m_discountFactor.size(), TULIM_HERE);

  // A host application's locale must not turn the decimal points into commas.
  cLocaleScope cLocale;
  const bool big5 = language == "chinese" || language == "taiwanese";
  std::string doc = big5 ? "<?xml version=\"1.0\" encoding=\"big5\"?>\n" : "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  doc += "<root xml_tb_version=\"3.2.1\" idx=\"1\" type=\"struct\" size=\"1 1\">\n";
  doc += strFormat("<version idx=\"1\" type=\"char\" size=\"1 %zu\">%s</version>\n", std::string(XML_VERSION_TEXT).size(),
                   XML_VERSION_TEXT);
  addCell(doc, "text", m_textStr, true);
  addCell(doc, "syl", m_sylStr, false);
  addCell(doc, "warningMessage", m_warning, false);

  doc += "<cm idx=\"1\" type=\"struct\" size=\"1 1\">\n";
  doc += strFormat("\t<language idx=\"1\" type=\"char\" size=\"1 %zu\">%s</language>\n", language.size(),
                   xmlText(language).c_str());
  doc += strFormat("\t<score idx=\"1\" type=\"double\" size=\"1 1\">%g</score><!--Overall score-->\n",
                   static_cast<double>(m_score));
  doc += strFormat("\t<timberScore idx=\"1\" type=\"double\" size=\"1 1\">%g</timberScore>\n",
                   static_cast<double>(m_timberScore));
  doc += strFormat("\t<word idx=\"1\" type=\"struct\" size=\"1 %zu\"><!--List of nodes, which each node is a word (for "
                   "English) or a syllable (for Chinese)-->\n",
                   m_syl.size());
  for (size_t i = 0; i < m_syl.size(); ++i) addNode(doc, set, m_syl[i], i, language == "chinese");
  doc += "\t</word>\n";

  doc += strFormat("\t<discountFactor idx=\"1\" type=\"struct\" size=\"1 %zu\"><!--Discount factors for computing the "
                   "discounted scores-->\n",
                   m_discountFactor.size());
  for (size_t k = 0; k < m_discountFactor.size(); ++k) {
    doc += strFormat("\t\t<occurrence idx=\"%zu\" type=\"double\" size=\"1 1\">%d</occurrence>\n", k + 1,
                     m_discountFactor[k]);
    doc += strFormat("\t\t<ratio idx=\"%zu\" type=\"double\" size=\"1 1\">%f</ratio>\n", k + 1,
                     static_cast<double>(m_discountRatio[k]));
    doc += strFormat("\t\t<type idx=\"%zu\" type=\"char\" size=\"1 %zu\">%s</type>\n", k + 1,
                     std::string(DISCOUNT_REASONS[k].xml).size(), DISCOUNT_REASONS[k].xml);
  }
  doc += "\t</discountFactor>\n";
  doc += "</cm>\n";
  doc += "</root>\n";

  filePtr fp = openFilePtr(fileName, "w");
  const bool written = fwrite(doc.data(), 1, doc.size(), fp.get()) == doc.size();
  const bool closed = fclose(fp.release()) == 0;
  if (!written || !closed) errorThrowf("writeXml: cannot write file %s (line %d of %s)", fileName.c_str(), TULIM_HERE);
}

}  // namespace tulim
