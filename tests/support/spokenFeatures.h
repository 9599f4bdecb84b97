// Feature matrices "spoken" by the models of the model-set fixture: runs of frames at one
// model's state means, frame after frame, for tests of the span scores and the phone ranking.
#pragma once

#include <vector>

namespace tulim {
namespace test {

// Appends framesPerState frames at each of the three state means of the k-th model of the
// fixture's name list (list order), FIXTURE_VECTOR_SIZE values a frame.
void speakModel(std::vector<float>& features, int k, int framesPerState);

// The frames of features.
int spokenFrameNum(const std::vector<float>& features);

}  // namespace test
}  // namespace tulim
