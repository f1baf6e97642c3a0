#include "platform/platform.h"

#include <atomic>

namespace pwlevel::platform {
namespace {

std::atomic<Platform*> g_in_force{nullptr};

}  // namespace

Platform& Os() {
  Platform* current = g_in_force.load(std::memory_order_acquire);
  return current != nullptr ? *current : NativePlatform();
}

ScopedPlatform::ScopedPlatform(Platform& replacement)
    : previous_(g_in_force.exchange(&replacement)) {}

ScopedPlatform::~ScopedPlatform() { g_in_force.store(previous_); }

}  // namespace pwlevel::platform
