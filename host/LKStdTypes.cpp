#include "host/LKStdTypes.h"

#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "host/Quenra.Modules.h"

namespace fundrel {

namespace {

struct TStreamEntry {
  TGUID Parent;
  const char* Name;
  bool Universal;
};

struct TRegistry {
  std::shared_mutex Mutex;
  std::map<TGUID, TStreamEntry> Streams;
  std::map<TGUID, const TLKDefaultHandler*> Defaults;
  // Replaced handlers stay alive: a pin may have picked one up at connect time.
  std::vector<std::unique_ptr<TLKDefaultHandler>> AllHandlers;
};

// Never destroyed: registrations and lookups may come from unit start-up and shut-down.
TRegistry& Registry() {
  static TRegistry* registry = new TRegistry;
  return *registry;
}

// Parent chains are short; a cycle from a bad registration must not hang a lookup.
constexpr int MaxChain = 64;

void RegisterFrameworkStreams() {
  static const TLKStreamTypeInfo infos[] = {
      LKStreamInfo<ILKBasicStream>("ILKBasicStream"),   LKStreamInfo<ILKDataStream>("ILKDataStream"),
      LKStreamInfo<ILKClockStream>("ILKClockStream"),   LKStreamInfo<ILKRealStream>("ILKRealStream"),
      LKStreamInfo<ILKFloatStream>("ILKFloatStream"),   LKStreamInfo<ILKStringStream>("ILKStringStream"),
      LKStreamInfo<ILKRealListStream>("ILKRealListStream"), LKStreamInfo<ILKIntegerListStream>("ILKIntegerListStream"),
  };
  LKRegisterStreams(infos, static_cast<int32_t>(std::size(infos)));
}

}  // namespace

FUNDREL_UNIT(LKStdTypes, "", &RegisterFrameworkStreams, nullptr);

void LKRegisterStreams(const TLKStreamTypeInfo* AInfos, int32_t ACount) {
  auto& r = Registry();
  std::unique_lock<std::shared_mutex> guard(r.Mutex);
  for (int32_t i = 0; i < ACount; ++i)
    r.Streams[AInfos[i].ID] = TStreamEntry{AInfos[i].Parent, AInfos[i].Name, AInfos[i].Universal};
}

void LKRegisterStream(const TLKStreamTypeInfo& AInfo) { LKRegisterStreams(&AInfo, 1); }

bool LKStreamInheritsFrom(const TGUID& AType, const TGUID& AAncestor) {
  if (AType == AAncestor) return true;
  auto& r = Registry();
  std::shared_lock<std::shared_mutex> guard(r.Mutex);
  TGUID current = AType;
  for (int depth = 0; depth < MaxChain; ++depth) {
    auto it = r.Streams.find(current);
    if (it == r.Streams.end() || it->second.Parent.IsNull()) return false;
    current = it->second.Parent;
    if (current == AAncestor) return true;
  }
  return false;
}

bool LKStreamIsUniversal(const TGUID& AType) {
  auto& r = Registry();
  std::shared_lock<std::shared_mutex> guard(r.Mutex);
  auto it = r.Streams.find(AType);
  return it != r.Streams.end() && it->second.Universal;
}

String LKStreamName(const TGUID& AType) {
  auto& r = Registry();
  std::shared_lock<std::shared_mutex> guard(r.Mutex);
  auto it = r.Streams.find(AType);
  if (it != r.Streams.end() && it->second.Name) return it->second.Name;
  return AType.ToString();
}

void LKRegisterDefaultHandler(const TGUID& AType, TLKDefaultHandler AHandler) {
  auto& r = Registry();
  std::unique_lock<std::shared_mutex> guard(r.Mutex);
  if (!AHandler) {
    r.Defaults.erase(AType);
    return;
  }
  r.AllHandlers.push_back(std::make_unique<TLKDefaultHandler>(std::move(AHandler)));
  r.Defaults[AType] = r.AllHandlers.back().get();
}

const TLKDefaultHandler* LKFindDefaultHandler(const TGUID& AType) {
  auto& r = Registry();
  std::shared_lock<std::shared_mutex> guard(r.Mutex);
  TGUID current = AType;
  for (int depth = 0; depth < MaxChain && !current.IsNull(); ++depth) {
    auto handler = r.Defaults.find(current);
    if (handler != r.Defaults.end()) return handler->second;
    auto stream = r.Streams.find(current);
    if (stream == r.Streams.end()) return nullptr;
    current = stream->second.Parent;
  }
  return nullptr;
}

}  // namespace fundrel
