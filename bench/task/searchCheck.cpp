// tulim-search-check: counts the search errors of the engine on the benchmark task. For every
// utterance, clean and with each noise level, and for the recognition (all candidate texts)
// and the assessment (the spoken text), the net and the candidate count are prepared as a run
// prepares them; the engine's search is then compared with the exact search of the same net
// (every state kept, no beam). A search error: the exact search ends in a complete path and the
// engine either has none or one that scores lower. Prints one line per condition and function
// with the errors and the seconds of the engine's searches, and one line per error.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "exactSearch.h"
#include "macroClass.h"
#include "stringUtil.h"
#include "utility.h"

using namespace tulim;

namespace {

constexpr int UTTERANCE_NUM = 14;
const char* const CONDITIONS[] = {"", "-10dB", "-5dB", "-0dB"};
const char* const CONDITION_NAMES[] = {"clean", "10 dB", "5 dB", "0 dB"};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    printf("Usage: %s taskDir\n", argv[0]);
    return 1;
  }
  try {
    if (chdir(argv[1]) != 0) errorThrowf("Error: cannot enter %s (line %d of %s)", argv[1], TULIM_HERE);
    // The search's own lines go to a file; this program prints only its findings.
    FILE* quiet = freopen("search-check.log", "w", stdout);
    FILE* out = fdopen(dup(2), "w");
    if (!quiet || !out) errorThrowf("Error: cannot redirect the output (line %d of %s)", TULIM_HERE);
    macroClass mac;
    mac.macroRead("models.macb", true);
    mac.layoutPrepare();
    int total = 0;
    for (size_t c = 0; c < sizeof CONDITIONS / sizeof *CONDITIONS; c++)
      for (const char* function : {"recog", "assess"}) {
        int errors = 0, largest = 0;
        double seconds = 0;
        for (int u = 1; u <= UTTERANCE_NUM; u++) {
          const std::string name = strFormat("utt%02d", u);
          const std::string txt = name + (std::string(function) == "recog" ? ".txt" : "-said.txt");
          const test::searchComparison r =
              test::searchCompare(strFormat("%s-macb.prm", function), name + CONDITIONS[c] + ".wav", txt, mac);
          seconds += r.seconds;
          largest = std::max(largest, r.candidateNum);
          if (r.error()) {
            errors++;
            fprintf(out, "  search error: %s %s%s: engine %.2f, exact %.2f (%d candidates, %d states)\n", function,
                    name.c_str(), CONDITIONS[c], r.engine, r.exact.score, r.candidateNum, r.exact.states);
          }
        }
        total += errors;
        fprintf(out, "%-6s %-6s search errors %2d of %d, engine search %.3f s, largest candidate count %d\n",
                CONDITION_NAMES[c], function, errors, UTTERANCE_NUM, seconds, largest);
        fflush(out);
      }
    fprintf(out, "search errors in all: %d\n", total);
    fclose(out);
  } catch (char* message) {
    fprintf(stderr, "%s\n", message);
    return 1;
  }
  return 0;
}
