#include "waveBackendFactory.h"

#include <atomic>

#include "alsaWaveFactory.h"

namespace tulim {

namespace {
std::atomic<waveBackendFactory*> g_factory{nullptr};
}  // namespace

waveBackendFactory::~waveBackendFactory() = default;

void setWaveBackendFactory(waveBackendFactory* factory) { g_factory.store(factory); }

waveBackendFactory* waveBackendFactoryGet() {
  if (waveBackendFactory* installed = g_factory.load()) return installed;
  static alsaWaveFactory alsaDefault;
  return &alsaDefault;
}

}  // namespace tulim
