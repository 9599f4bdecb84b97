#include "lexiconFixture.h"

namespace tulim {
namespace test {

strVec englishFixtureModels() {
  return {"eh+s", "g+ax", "g+ow", "ax+ow", "n+ow", "ow+sil", "s+sil", "sil", "sp", "y+eh"};
}

void englishTaskWrite(const scratchDir& dir, recogParam& param) {
  param.language = "english";
  param.function = "recog";
  param.wpaFile = dir.write("lex.wpa", "go\tg_ow\nno\tn_ow\nyes\ty_eh_s\n");
  param.wpaAddendaFile = dir.write("add.wpa", "go\tg_ow#g_ax_ow\n");
  param.tnmFile = dir.write("map.tnm", "!##$\n");
  param.txtFile = dir.write("texts.txt", "Yes!\nno\ngo\n");
}

}  // namespace test
}  // namespace tulim
