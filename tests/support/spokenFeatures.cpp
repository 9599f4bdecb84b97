#include "spokenFeatures.h"

#include "modelSetFixture.h"

namespace tulim {
namespace test {

void speakModel(std::vector<float>& features, int k, int framesPerState) {
  for (int state = 0; state < 3; state++) {
    const std::vector<float> frame = fixtureFrame(k, state);
    for (int r = 0; r < framesPerState; r++) features.insert(features.end(), frame.begin(), frame.end());
  }
}

int spokenFrameNum(const std::vector<float>& features) {
  return static_cast<int>(features.size() / FIXTURE_VECTOR_SIZE);
}

}  // namespace test
}  // namespace tulim
