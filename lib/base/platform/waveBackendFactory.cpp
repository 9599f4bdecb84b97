#include "waveBackendFactory.h"

#include <atomic>

namespace tulim {

namespace {
std::atomic<waveBackendFactory*> g_factory{nullptr};
}  // namespace

waveBackendFactory::~waveBackendFactory() = default;

void setWaveBackendFactory(waveBackendFactory* factory) { g_factory.store(factory); }

waveBackendFactory* waveBackendFactoryGet() { return g_factory.load(); }

}  // namespace tulim
