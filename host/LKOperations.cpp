#include "host/LKOperations.h"

#include <algorithm>
#include <atomic>

namespace fundrel {

namespace {
constinit std::atomic<uint32_t> gLastOperationID{0};
}  // namespace

uint32_t LKNextOperationID() noexcept { return gLastOperationID.fetch_add(1, std::memory_order_relaxed) + 1; }

bool TLKPumpRequestOperation::TakeOver(TObject* ATaker, uint32_t APriority, double AGrantedRate) {
  std::lock_guard<std::mutex> guard(FMutex);
  const bool wins = (FTakenOver && FPumpOwner == ATaker) || (!FTakenOver && APriority >= FOwnerPriority) ||
                    (FTakenOver && APriority > FOwnerPriority);
  if (!wins) return false;
  // The owner changing its grant keeps the rank it won with.
  FOwnerPriority = FTakenOver && FPumpOwner == ATaker ? std::max(FOwnerPriority, APriority) : APriority;
  FPumpOwner = ATaker;
  FGrantedRate = AGrantedRate;
  FTakenOver = true;
  return true;
}

TObject* TLKPumpRequestOperation::PumpOwner() const {
  std::lock_guard<std::mutex> guard(FMutex);
  return FPumpOwner;
}

double TLKPumpRequestOperation::GrantedRate() const {
  std::lock_guard<std::mutex> guard(FMutex);
  return FGrantedRate;
}

bool TLKPumpRequestOperation::TakenOver() const {
  std::lock_guard<std::mutex> guard(FMutex);
  return FTakenOver;
}

}  // namespace fundrel
