#include "layoutAhead.h"

#include <system_error>

#include "stateScorer.h"

namespace tulim {

void layoutAhead::prepare(macroClass& models, int frameNum) {
  models.layoutPrepare();
  stateScorer::threadsPrepare(models, models.MMF().modelNum, frameNum);
}

layoutAhead::layoutAhead(macroClass& models, int frameNum) {
  try {
    m_thread = std::thread([this, &models, frameNum] {
      try {
        prepare(models, frameNum);
      } catch (...) {
        m_error = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    prepare(models, frameNum);
  }
}

void layoutAhead::wait() {
  if (m_thread.joinable()) m_thread.join();
  if (m_error) {
    std::exception_ptr error = m_error;
    m_error = nullptr;
    std::rethrow_exception(error);
  }
}

layoutAhead::~layoutAhead() {
  if (m_thread.joinable()) m_thread.join();
}

}  // namespace tulim
