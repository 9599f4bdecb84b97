#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "discountReason.h"
#include "mlfClass.h"
#include "platform/cLocaleScope.h"
#include "utility.h"

namespace tulim {

namespace {

const char* const XML_VERSION_TEXT = "version 1.4 (2010/06/24)";

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

// A double as "%g" writes it; most numbers of a document are these, so they are not
// formatted through printf one by one. The shortest-form converter follows the same rules
// (precision 6, trailing zeros dropped); the values it has no spelling in common with printf
// for (infinities, NaNs) still go through printf.
void appendG(std::string& doc, double value) {
  char buf[64];
  if (std::isfinite(value)) {
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 6);
    doc.append(buf, r.ptr);
    return;
  }
  const int n = snprintf(buf, sizeof buf, "%g", value);
  doc.append(buf, static_cast<size_t>(n > 0 ? n : 0));
}

template <typename T>
void appendInt(std::string& doc, T value) {
  char buf[24];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, value);
  doc.append(buf, r.ptr);
}

void appendFloats(std::string& doc, const std::vector<float>& values) {
  for (size_t k = 0; k < values.size(); ++k) {
    if (k) doc += ' ';
    appendG(doc, static_cast<double>(values[k]));
  }
}

// The opening tag of one field: indent, <name idx="idx" type="type" size="1 size">.
void openField(std::string& doc, const char* indent, const char* name, size_t idx, const char* type, size_t size) {
  doc += indent;
  doc += '<';
  doc += name;
  doc += " idx=\"";
  appendInt(doc, idx);
  doc += "\" type=\"";
  doc += type;
  doc += "\" size=\"1 ";
  appendInt(doc, size);
  doc += "\">";
}

// The readers of the document find the field descriptions on the first node and the first
// phone only; every other line ends bare.
void closeField(std::string& doc, const char* name, const char* comment, bool commented) {
  doc += "</";
  doc += name;
  doc += '>';
  doc += commented ? comment : "\n";
}

// A field of numbers joined by blanks.
void floatField(std::string& doc, const char* indent, const char* name, size_t idx, const std::vector<float>& values,
                const char* comment, bool commented) {
  openField(doc, indent, name, idx, "double", values.size());
  appendFloats(doc, values);
  closeField(doc, name, comment, commented);
}

void doubleField(std::string& doc, const char* indent, const char* name, size_t idx, double value, const char* comment,
                 bool commented) {
  openField(doc, indent, name, idx, "double", 1);
  appendG(doc, value);
  closeField(doc, name, comment, commented);
}

void textField(std::string& doc, const char* indent, const char* name, size_t idx, size_t size,
               const std::string& raw, const char* comment, bool commented) {
  openField(doc, indent, name, idx, "char", size);
  doc += xmlText(raw);
  closeField(doc, name, comment, commented);
}

void intervalField(std::string& doc, const char* indent, size_t idx, const int* frameId, const char* comment,
                   bool commented) {
  openField(doc, indent, "interval", idx, "double", 2);
  appendG(doc, seconds(frameId[0]));
  doc += ' ';
  appendG(doc, endSeconds(frameId[1]));
  closeField(doc, "interval", comment, commented);
}

void scoresField(std::string& doc, const char* indent, size_t idx, const float* scores, const char* comment,
                 bool commented) {
  openField(doc, indent, "timberScores", idx, "double", 4);
  for (int k = 0; k < 4; ++k) {
    if (k) doc += ' ';
    appendG(doc, static_cast<double>(scores[k]));
  }
  closeField(doc, "timberScores", comment, commented);
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
  const size_t modelNum = set.MMF().model.size();
  for (const int model : phone.competingModelIndex)
    if (model < 0 || static_cast<size_t>(model) >= modelNum)
      errorThrowf("writeXml: competing model %d of phone %zu (%s) of node %zu is outside the HMM set of %zu models "
                  "(line %d of %s)",
                  model, idx - 1, phone.name.c_str(), node, modelNum, TULIM_HERE);
  if (phone.competingModelLogLike.size() != phone.competingModelIndex.size())
    errorThrowf("writeXml: phone %zu (%s) of node %zu has %zu competing models but %zu log-likelihoods "
                "(line %d of %s)",
                idx - 1, phone.name.c_str(), node, phone.competingModelIndex.size(),
                phone.competingModelLogLike.size(), TULIM_HERE);

  const char* const in = "\t\t\t";
  textField(doc, in, "name", idx, phone.name.size(), phone.name, "<!--Phonetic alphabets for the node-->\n", commented);
  // The field is declared uint16: the index is written as that type holds it.
  openField(doc, in, "index", idx, "uint16", 1);
  appendInt(doc, static_cast<int>(static_cast<uint16_t>(phone.modelIndex)));
  closeField(doc, "index", "<!--Model index within the macro file-->\n", commented);
  intervalField(doc, in, idx, phone.frameId, "<!--Time span of the phone, in seconds-->\n", commented);
  doubleField(doc, in, "timberScore", idx, static_cast<double>(phone.timberScore),
              "<!--Timber score of the node (-1 if the node is sil/sp)-->\n", commented);
  openField(doc, in, "pitched", idx, "double", 1);
  appendInt(doc, static_cast<int>(phone.pitched));
  closeField(doc, "pitched", "", false);
  floatField(doc, in, "pitch", idx, phone.pitch, "<!--Pitch of the node (0 if no pitch at all)-->\n", commented);
  floatField(doc, in, "volume", idx, phone.volume, "<!--Volume of the node (0 if no pitch at all)-->\n", commented);
  doubleField(doc, in, "cumLogLike", idx, static_cast<double>(phone.cumLogLike),
              "<!--Cumulated log probability of the phone-->\n", commented);
  doubleField(doc, in, "rankRatio", idx, static_cast<double>(phone.rankRatio), "<!--Rank ratio of the phone-->\n",
              commented);
  doubleField(doc, in, "timeRatio", idx, static_cast<double>(phone.timeRatio), "<!--Time ratio of the phone-->\n",
              commented);
  openField(doc, in, "competingModelIndex", idx, "uint16", phone.competingModelIndex.size());
  for (size_t k = 0; k < phone.competingModelIndex.size(); ++k) {
    if (k) doc += ' ';
    appendInt(doc, phone.competingModelIndex[k]);
  }
  closeField(doc, "competingModelIndex", "<!--Indices of the competing models of the phone-->\n", commented);
  std::string names;
  for (size_t k = 0; k < phone.competingModelIndex.size(); ++k) {
    if (k) names += ' ';
    names += set.MMF().model[static_cast<size_t>(phone.competingModelIndex[k])].str;
  }
  textField(doc, in, "competingModelName", idx, names.size(), names,
            "<!--Name of the competing models of the phone-->\n", commented);
  floatField(doc, in, "competingModelLogLike", idx, phone.competingModelLogLike,
             "<!--Log likelihoods of the competing models of the phone-->\n", commented);
  scoresField(doc, in, idx, phone.timberScores, "<!--All timber scores of the phone (primarily for debugging)-->\n",
              commented);
}

void addNode(std::string& doc, const macroClass& set, const sylInfo& syl, size_t i, bool chinese) {
  const size_t idx = i + 1;
  const bool commented = i == 0;
  const char* const in = "\t\t";
  textField(doc, in, "name", idx, syl.name.size(), syl.name, "<!--Phonetic alphabets of the node-->\n", commented);
  intervalField(doc, in, idx, syl.frameId, "<!--Time span of the node, in seconds-->\n", commented);
  // Chinese node texts are taken as all double-byte; other languages count bytes.
  const size_t textSize = chinese ? syl.text.size() / 2 : syl.text.size();
  textField(doc, in, "text", idx, textSize, syl.text, "<!--Text of the node (empty if the node is sil/sp)-->\n",
            commented);
  doubleField(doc, in, "timberScore", idx, static_cast<double>(syl.timberScore),
              "<!--Score of the node (-1 if the node is sil/sp)-->\n", commented);
  floatField(doc, in, "pitch", idx, syl.pitch, "<!--Pitch of the node (0 if no pitch at all)-->\n", commented);
  floatField(doc, in, "volume", idx, syl.volume, "<!--Volume of the node (0 if not computed)-->\n", commented);
  scoresField(doc, in, idx, syl.timberScores, "<!--All timber scores of the node (primarily for debugging)-->\n",
              commented);
  openField(doc, in, "phone", idx, "struct", syl.phone.size());
  doc += commented ? "<!--List of phones in the node-->\n" : "\n";
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
  const int writeError = written ? 0 : errno;
  const bool closed = closeWrittenFileChecked(fp);
  if (!written || !closed)
    errorThrowf("writeXml: cannot write file %s: %s (line %d of %s)", fileName.c_str(),
                strerror(closed ? writeError : errno), TULIM_HERE);
}

}  // namespace tulim
