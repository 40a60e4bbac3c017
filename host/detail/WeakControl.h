// The control block shared by an object and its weak holders. Internal.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "host/Quenra.Interfaces.h"

namespace fundrel::detail {

// Lives as long as the object or any holder refers to it. The mutex guards Target and the
// listeners only for short sections and is never held while calling out, so holders may be
// used under any other lock.
struct TWeakControl {
  std::atomic<int32_t> Refs{1};  // the object's own reference plus one per holder
  std::mutex Mutex;
  TObject* Target = nullptr;
  uint64_t NextListenerId = 1;
  std::vector<std::pair<uint64_t, std::function<void()>>> Listeners;

  void AddRef() noexcept { Refs.fetch_add(1, std::memory_order_relaxed); }
  void Release() noexcept {
    if (Refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  // Called once by the dying object: clears Target, runs the death listeners, drops its reference.
  void Detach() noexcept;
  uint64_t Subscribe(std::function<void()> AOnDeath);
  void Unsubscribe(uint64_t AId) noexcept;
};

}  // namespace fundrel::detail
