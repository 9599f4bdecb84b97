#include "fatalCatch.h"

#include <gtest/gtest.h>

#include "testFiles.h"

namespace tulim {
namespace test {

namespace {

bool runCaught(const std::function<void()>& run, std::string& message) {
  envScope temp("temp", nullptr);
  try {
    run();
  } catch (char* text) {
    message = text;
    return true;
  }
  return false;
}

}  // namespace

std::string fatalMessage(const std::function<void()>& run) {
  std::string message;
  runCaught(run, message);
  return message;
}

std::string expectFatal(const std::function<void()>& run) {
  std::string message;
  if (!runCaught(run, message)) ADD_FAILURE() << "nothing thrown";
  return message;
}

std::string quietFatalMessage(const std::function<void()>& run) {
  testing::internal::CaptureStdout();
  std::string message;
  runCaught(run, message);
  testing::internal::GetCapturedStdout();
  return message;
}

}  // namespace test
}  // namespace tulim
