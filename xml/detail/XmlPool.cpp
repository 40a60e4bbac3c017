// Memory of nodes and node lists: blocks of a few sizes cut from large chunks owned by a pool, one
// pool per name table. Freed blocks are reused by the next node of their size, and a document's
// nodes lie close together. The pool lives while its table or any of its blocks does. A pool's first
// megabyte comes in small chunks; beyond that it takes large blocks of huge pages, so that a big
// document does not pay a page fault for every 4 KB of its nodes. Blocks too big for a chunk come
// from malloc but stay on the pool's list, so that the pool can free everything it gave at once.
#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

#include "platform/LargeBlocks.h"
#include "xml/DVSimpleXML.h"
#include "xml/detail/XmlInternals.h"

#if defined(__SANITIZE_ADDRESS__)
#define FUNDREL_XML_POOL 0  // plain allocations, so that the sanitizer sees every block
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FUNDREL_XML_POOL 0
#endif
#endif
#ifndef FUNDREL_XML_POOL
#define FUNDREL_XML_POOL 1
#endif

namespace fundrel {

namespace {

constexpr size_t ChunkSize = 64 * 1024;
constexpr size_t SmallChunksPerPool = 16;
constexpr size_t BigClass = TXmlPool::BigClass;

// The word before every block (see TXmlPool). Most blocks are small nodes, so the word is worth
// keeping small.
struct TBlockHeader {
  uintptr_t Word;
  TXmlPool* Pool() const { return reinterpret_cast<TXmlPool*>(Word & PoolMask); }  // null: malloc
  size_t Class() const { return Word >> TXmlPool::ClassShift; }  // BigClass: a big block of the pool
  static constexpr uintptr_t PoolMask = (uintptr_t(1) << TXmlPool::ClassShift) - 1;
};
static_assert(sizeof(TBlockHeader) == 8);

// Chunks of pools that died, kept for the next documents so that loading one document after another
// does not hand memory back to the system and fault it in again (a fresh page costs more than the
// nodes written to it). Of the large blocks, as many as the last pool used (at least 32 MB) stay
// ready: documents tend to follow documents of their size. Older ones are parked while kept: the
// system may reclaim them under memory pressure, so the cache can hold as much as a large document
// needs without pinning it after the large documents stop.
class TChunkCache {
 public:
  char* Take() {
    {
      std::lock_guard<std::mutex> guard(FLock);
      if (!FChunks.empty()) {
        char* c = FChunks.back();
        FChunks.pop_back();
        return c;
      }
    }
    return static_cast<char*>(std::malloc(ChunkSize));
  }
  void Give(char* AChunk) {
    {
      std::lock_guard<std::mutex> guard(FLock);
      if (FChunks.size() < MaxChunks) {
        FChunks.push_back(AChunk);
        return;
      }
    }
    std::free(AChunk);
  }
  char* TakeLarge() {
    {
      std::lock_guard<std::mutex> guard(FLock);
      for (std::vector<char*>* from : {&FReady, &FParked})
        if (!from->empty()) {
          char* c = from->back();
          from->pop_back();
          return c;
        }
    }
    return static_cast<char*>(platform::AllocateLargeBlock());
  }
  void Count(size_t& AReady, size_t& AParked) {
    std::lock_guard<std::mutex> guard(FLock);
    AReady = FReady.size();
    AParked = FParked.size();
  }
  // The large blocks of a pool that died.
  void GiveLarge(const std::vector<char*>& ABlocks) {
    std::vector<char*> older;
    {
      std::lock_guard<std::mutex> guard(FLock);
      FReady.insert(FReady.end(), ABlocks.begin(), ABlocks.end());
      const size_t ready = std::min(MaxLarge, std::max(KeptLarge, ABlocks.size()));
      if (FReady.size() > ready) {
        const auto cut = FReady.begin() + static_cast<std::ptrdiff_t>(FReady.size() - ready);
        older.assign(FReady.begin(), cut);
        FReady.erase(FReady.begin(), cut);
      }
    }
    // Parked before they are shared again, never while another pool uses them.
    for (char* b : older) platform::ParkLargeBlock(b);
    std::lock_guard<std::mutex> guard(FLock);
    for (char* b : older) {
      if (FReady.size() + FParked.size() < MaxLarge)
        FParked.push_back(b);
      else
        platform::FreeLargeBlock(b);
    }
  }

 private:
  static constexpr size_t MaxChunks = 128;  // 8 MB
  static constexpr size_t KeptLarge = 16;   // 32 MB
  static constexpr size_t MaxLarge = 128;   // 256 MB in all
  std::mutex FLock;
  std::vector<char*> FChunks;
  std::vector<char*> FReady;   // as they were left
  std::vector<char*> FParked;  // the system may have taken their pages back
};

// Created on first use and never destroyed: pools may die during static destruction.
TChunkCache& Chunks() {
  static auto* cache = new TChunkCache;
  return *cache;
}

}  // namespace

void* TXmlPool::TakeFromNewChunk(size_t AClass) {
  const bool large = FChunks.size() >= SmallChunksPerPool;
  std::vector<char*>& owned = large ? FLarge : FChunks;
  owned.reserve(owned.size() + 1);
  char* chunk = large ? Chunks().TakeLarge() : Chunks().Take();
  if (!chunk) throw std::bad_alloc();
  owned.push_back(chunk);
  FCurrent = chunk;
  FLeft = large ? platform::LargeBlockSize : ChunkSize;
  FAhead = owned.size() > 1 || large ? 4096 : 0;
  return Take(AClass);
}

void* TXmlPool::TakeBig(size_t ASize) {
  auto* link = static_cast<TBigLink*>(std::malloc(sizeof(TBigLink) + sizeof(TBlockHeader) + ASize));
  if (!link) throw std::bad_alloc();
  link->Prev = &FBig;
  link->Next = FBig.Next;
  FBig.Next->Prev = link;
  FBig.Next = link;
  auto* h = reinterpret_cast<TBlockHeader*>(link + 1);
  h->Word = TXmlPool::HeaderWord(this, BigClass);
  ++FRefs;
  return h + 1;
}

void TXmlPool::FreeBig(TBigLink* ALink) {
  ALink->Prev->Next = ALink->Next;
  ALink->Next->Prev = ALink->Prev;
  std::free(ALink);
}

void TXmlPool::GiveBig(void* ABlock) {
  FreeBig(reinterpret_cast<TBigLink*>(static_cast<TBlockHeader*>(ABlock) - 1) - 1);
  Release();
}

void TXmlPool::DropAll() {
  ReturnAll();
  FChunks.clear();
  FLarge.clear();
  for (void*& f : FFree) f = nullptr;
  FCurrent = nullptr;
  FLeft = 0;
  FAhead = 0;
  FRefs = 1;
}

TXmlPool::~TXmlPool() { ReturnAll(); }

void TXmlPool::ReturnAll() {
  for (char* c : FChunks) Chunks().Give(c);
  if (!FLarge.empty()) Chunks().GiveLarge(FLarge);
  while (FBig.Next != &FBig) FreeBig(FBig.Next);
}

TXmlPool* NewXmlPool() { return FUNDREL_XML_POOL ? new TXmlPool : nullptr; }

void ReleaseXmlPool(TXmlPool* APool) {
  if (APool) APool->Release();
}

void DropXmlPoolBlocks(TXmlPool* APool) {
  if (APool) APool->DropAll();
}

size_t XmlPoolBlocksInUse(const TXmlPool* APool) { return APool ? APool->BlocksInUse() : 0; }

TXmlPool* XmlPoolOf(const void* ABlock) { return (static_cast<const TBlockHeader*>(ABlock) - 1)->Pool(); }

bool detail::XmlPoolsEnabled() { return FUNDREL_XML_POOL != 0; }

void detail::XmlCachedLargeBlocks(size_t& AReady, size_t& AParked) { Chunks().Count(AReady, AParked); }

void* TXmlBase::NewOutsideChunks(size_t ASize, TXmlPool* APool) {
  if (APool) return APool->TakeBig(ASize);
  auto* h = static_cast<TBlockHeader*>(std::malloc(sizeof(TBlockHeader) + ASize));
  if (!h) throw std::bad_alloc();
  h->Word = 0;
  return h + 1;
}

void TXmlBase::operator delete(void* ABlock) noexcept {
  if (!ABlock) return;
  auto* h = static_cast<TBlockHeader*>(ABlock) - 1;
  TXmlPool* pool = h->Pool();
  if (!pool)
    std::free(h);
  else if (h->Class() == BigClass)
    pool->GiveBig(ABlock);
  else
    pool->Give(ABlock, h->Class());
}

}  // namespace fundrel
