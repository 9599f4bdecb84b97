// ALSA without a sound card, for the tests of the wave devices on ALSA: while the object
// lives, ALSA_CONFIG_PATH names a configuration in a scratch folder whose default PCM is
// ALSA's own "file" plugin over a null device. Capture reads the given samples from a file
// (then silence), and whatever is played is written to another file (played()). A
// configuration without a default PCM makes every open fail inside ALSA.
#pragma once

#include <string>
#include <vector>

#include "testFiles.h"

namespace tulim {
namespace test {

class alsaFileConfig {
 public:
  // Capture data: the samples at that width (8 bits: unsigned bytes; 16 bits: signed
  // little-endian words).
  alsaFileConfig(const std::vector<int>& captureSamples, int bits);
  // No PCM defined at all.
  alsaFileConfig();
  alsaFileConfig(const alsaFileConfig&) = delete;
  alsaFileConfig& operator=(const alsaFileConfig&) = delete;

  // The bytes ALSA has written to the playback file (capture data passes through it too).
  std::string played() const;

 private:
  scratchDir m_dir;
  std::string m_configFile;
  envScope m_env;
};

}  // namespace test
}  // namespace tulim
