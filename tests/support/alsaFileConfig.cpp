#include "alsaFileConfig.h"

#include "waveFixtures.h"

namespace tulim {
namespace test {

namespace {

// The configuration replaces ALSA's whole one, so the null slave is given by its type: the
// PCM named "null" is defined only in the system's configuration.
std::string fileConfig(const std::string& infile, const std::string& outfile) {
  return "pcm.!default {\n"
         "  type file\n"
         "  slave.pcm { type null }\n"
         "  infile \"" + infile + "\"\n"
         "  file \"" + outfile + "\"\n"
         "  format \"raw\"\n"
         "}\n";
}

}  // namespace

// ALSA reads the configuration at its next open, so it may be named before it is written.
alsaFileConfig::alsaFileConfig(const std::vector<int>& captureSamples, int bits)
    : m_configFile(m_dir.file("asound.conf")), m_env("ALSA_CONFIG_PATH", m_configFile.c_str()) {
  const std::string infile = m_dir.write("capture.raw", pcmBytes(captureSamples, bits));
  m_dir.write("asound.conf", fileConfig(infile, m_dir.file("played.raw")));
}

alsaFileConfig::alsaFileConfig()
    : m_configFile(m_dir.file("asound.conf")), m_env("ALSA_CONFIG_PATH", m_configFile.c_str()) {
  m_dir.write("asound.conf", "# no PCM\n");
}

std::string alsaFileConfig::played() const { return readFile(m_dir.file("played.raw")); }

}  // namespace test
}  // namespace tulim
