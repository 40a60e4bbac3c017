// The object model: GUIDs, reference-counted interfaces, the interface smart pointer,
// the root object class and the reference-counted base object.
//
// Interfaces are abstract structs deriving from IInterface (or another interface), each naming
// its parent as `Parent` and its identity with FUNDREL_IID. Objects implement them through
// TImplements<Base, I...>, which answers QueryInterface for every listed interface and its
// parents. A TIntf<I> holds one counted reference; an object made with `new` starts at count 0
// and dies when the last TIntf lets go of it.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "host/Quenra.Config.h"

namespace fundrel {

using HRESULT = int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);

// A 128-bit interface identity in the usual field layout.
struct TGUID {
  uint32_t D1 = 0;
  uint16_t D2 = 0;
  uint16_t D3 = 0;
  uint8_t D4[8] = {};

  // Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (braces optional). Used in constant
  // expressions, where a malformed text fails the compilation.
  static constexpr TGUID Parse(const char* AText) {
    TGUID g;
    const char* p = AText;
    bool braced = *p == '{';
    if (braced) ++p;
    auto hex = [&p](int ADigits) -> uint32_t {
      uint32_t v = 0;
      for (int i = 0; i < ADigits; ++i, ++p) {
        char c = *p;
        uint32_t d = (c >= '0' && c <= '9')   ? uint32_t(c - '0')
                     : (c >= 'a' && c <= 'f') ? uint32_t(c - 'a' + 10)
                     : (c >= 'A' && c <= 'F') ? uint32_t(c - 'A' + 10)
                                              : throw "malformed GUID text";
        v = (v << 4) | d;
      }
      return v;
    };
    auto dash = [&p]() {
      if (*p++ != '-') throw "malformed GUID text";
    };
    g.D1 = hex(8);
    dash();
    g.D2 = static_cast<uint16_t>(hex(4));
    dash();
    g.D3 = static_cast<uint16_t>(hex(4));
    dash();
    g.D4[0] = static_cast<uint8_t>(hex(2));
    g.D4[1] = static_cast<uint8_t>(hex(2));
    dash();
    for (int i = 2; i < 8; ++i) g.D4[i] = static_cast<uint8_t>(hex(2));
    if (braced && *p++ != '}') throw "malformed GUID text";
    if (*p != '\0') throw "malformed GUID text";
    return g;
  }

  // Same as Parse, but reports a malformed text by returning false instead of throwing.
  static bool TryParse(const char* AText, TGUID& AResult);

  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
  String ToString() const;
  bool IsNull() const { return *this == TGUID(); }

  friend constexpr bool operator==(const TGUID& A, const TGUID& B) {
    if (A.D1 != B.D1 || A.D2 != B.D2 || A.D3 != B.D3) return false;
    for (int i = 0; i < 8; ++i)
      if (A.D4[i] != B.D4[i]) return false;
    return true;
  }
  friend constexpr bool operator<(const TGUID& A, const TGUID& B) {
    if (A.D1 != B.D1) return A.D1 < B.D1;
    if (A.D2 != B.D2) return A.D2 < B.D2;
    if (A.D3 != B.D3) return A.D3 < B.D3;
    for (int i = 0; i < 8; ++i)
      if (A.D4[i] != B.D4[i]) return A.D4[i] < B.D4[i];
    return false;
  }
};

// Declares an interface's identity inside its struct.
#define FUNDREL_IID(text) static constexpr ::fundrel::TGUID IID = ::fundrel::TGUID::Parse(text)

// The root interface. Counts are what the object reports; only their zero-crossing matters.
struct IInterface {
  FUNDREL_IID("{00000000-0000-0000-C000-000000000046}");
  virtual HRESULT QueryInterface(const TGUID& AIID, void** AObj) = 0;
  virtual int32_t _AddRef() = 0;
  virtual int32_t _Release() = 0;

 protected:
  ~IInterface() = default;
};

// The interface smart pointer: the role of an interface variable. Thread-compatible like any
// value: one TIntf is not to be written by two threads at once, but copies may live anywhere.
template <typename I>
class TIntf {
 public:
  TIntf() noexcept = default;
  TIntf(std::nullptr_t) noexcept {}
  TIntf(I* AIntf) noexcept : FPtr(AIntf) {
    if (FPtr) FPtr->_AddRef();
  }
  TIntf(const TIntf& AOther) noexcept : TIntf(AOther.FPtr) {}
  TIntf(TIntf&& AOther) noexcept : FPtr(std::exchange(AOther.FPtr, nullptr)) {}
  template <typename J, typename = std::enable_if_t<std::is_convertible_v<J*, I*>>>
  TIntf(const TIntf<J>& AOther) noexcept : TIntf(static_cast<I*>(AOther.get())) {}
  ~TIntf() {
    if (FPtr) FPtr->_Release();
  }
  TIntf& operator=(TIntf AOther) noexcept {
    std::swap(FPtr, AOther.FPtr);
    return *this;
  }

  // Adopts a reference the caller already owns (the result of QueryInterface).
  static TIntf Adopt(I* AIntf) noexcept {
    TIntf r;
    r.FPtr = AIntf;
    return r;
  }
  // Gives up the reference without releasing it.
  I* Detach() noexcept { return std::exchange(FPtr, nullptr); }

  I* get() const noexcept { return FPtr; }
  I* operator->() const noexcept { return FPtr; }
  I& operator*() const noexcept { return *FPtr; }
  explicit operator bool() const noexcept { return FPtr != nullptr; }
  void reset() noexcept { TIntf().swap(*this); }
  void swap(TIntf& AOther) noexcept { std::swap(FPtr, AOther.FPtr); }

  friend bool operator==(const TIntf& A, const TIntf& B) { return A.FPtr == B.FPtr; }
  friend bool operator==(const TIntf& A, std::nullptr_t) { return A.FPtr == nullptr; }

 private:
  I* FPtr = nullptr;
};

// Queries AIntf for interface J; the result is null when the object does not implement it.
template <typename J, typename I>
TIntf<J> Supports(I* AIntf) {
  void* obj = nullptr;
  if (AIntf && AIntf->QueryInterface(J::IID, &obj) == S_OK) return TIntf<J>::Adopt(static_cast<J*>(obj));
  return TIntf<J>();
}
template <typename J, typename I>
TIntf<J> Supports(const TIntf<I>& AIntf) {
  return Supports<J>(AIntf.get());
}
template <typename J, typename I>
bool Supports(const TIntf<I>& AIntf, TIntf<J>& AResult) {
  AResult = Supports<J>(AIntf.get());
  return bool(AResult);
}
// Like Supports, but a missing interface raises EInvalidCast.
template <typename J, typename I>
TIntf<J> IntfCast(const TIntf<I>& AIntf);

namespace detail {
struct TWeakControl;
[[noreturn]] FUNDREL_API void RaiseIntfCast();
}  // namespace detail

template <typename J, typename I>
TIntf<J> IntfCast(const TIntf<I>& AIntf) {
  TIntf<J> r = Supports<J>(AIntf.get());
  if (!r && AIntf) detail::RaiseIntfCast();
  return r;
}

// The root of the class hierarchy: a virtual destructor and support for weak holders, which
// learn of the object's death (TWeakHolder in Quenra.Elements).
class FUNDREL_API TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject();

  // Runs before any destructor of the object; owned objects are destroyed through Free so
  // that this hook sees the whole object. Overrides call the inherited step.
  virtual void BeforeDestruction();
  // Destroys an owned (not reference-counted) object: BeforeDestruction, then delete.
  static void Free(TObject* AObject);

  // The weak-reference control block, made on first use; null once the object is dying.
  // Internal to the weak holders.
  detail::TWeakControl* WeakControl();

 protected:
  // Tells the weak holders that the object is gone; idempotent. Called by Free and by the
  // last _Release before any destructor runs.
  void DetachWeak() noexcept;
  // Called once, when the object gets its first weak holder: objects that may die without their
  // destructor's usual path (a tree freed at once) learn that they must not.
  virtual void WeakControlMade() noexcept {}

 private:
  std::atomic<detail::TWeakControl*> FWeak{nullptr};
};

// A reference-counted object: the count is atomic, the object dies when it falls to 0.
class FUNDREL_API TInterfacedObject : public TObject {
 public:
  int32_t RefCount() const noexcept { return FRefCount.load(std::memory_order_relaxed); }

  int32_t AddRefImpl() noexcept { return FRefCount.fetch_add(1, std::memory_order_relaxed) + 1; }
  // The first reference to an object no other thread can see yet is a plain store: a locked
  // instruction would wait for every store before it, which is costly when many fresh objects are
  // being built.
  int32_t AddFirstRef() noexcept {
    if (FRefCount.load(std::memory_order_relaxed) != 0) return AddRefImpl();
    FRefCount.store(1, std::memory_order_relaxed);
    return 1;
  }
  int32_t ReleaseImpl() noexcept {
    int32_t n = FRefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (n == 0) DestroyCounted();
    return n;
  }
  // The same for objects whose contract confines them to one thread at a time (the XML nodes): the
  // count is kept with plain loads and stores, so that taking and dropping references costs no
  // locked instruction. Another thread sees the count once the object is handed over through
  // something that synchronizes.
  int32_t AddRefConfined() noexcept {
    const int32_t n = FRefCount.load(std::memory_order_relaxed) + 1;
    FRefCount.store(n, std::memory_order_relaxed);
    return n;
  }
  int32_t ReleaseConfined() noexcept {
    const int32_t n = FRefCount.load(std::memory_order_relaxed) - 1;
    FRefCount.store(n, std::memory_order_relaxed);
    if (n == 0) DestroyCounted();
    return n;
  }
  // Takes a reference only while the object is still alive (count above 0). Used by weak holders.
  bool TryAddRef() noexcept;
  // QueryInterface reached through the object rather than through one of its interfaces (which
  // may be ambiguous when it implements several). Answers E_NOINTERFACE here; TImplements answers.
  virtual HRESULT ObjQueryInterface(const TGUID& AIID, void** AObj) {
    (void)AIID;
    if (AObj) *AObj = nullptr;
    return E_NOINTERFACE;
  }

 private:
  void DestroyCounted() noexcept;
  std::atomic<int32_t> FRefCount{0};
};

namespace detail {
template <typename I>
constexpr bool InterfaceChainHas(const TGUID& AIID) {
  if (I::IID == AIID) return true;
  if constexpr (std::is_same_v<I, IInterface>) {
    return false;
  } else {
    return InterfaceChainHas<typename I::Parent>(AIID);
  }
}
template <typename T>
concept HasQueryInterface = requires(T* t, const TGUID& g, void** o) { t->QueryInterface(g, o); };
}  // namespace detail

namespace detail {
// The address of interface AIID inside AIntf's parent chain (as that very interface type, which
// matters when bases are virtual and sit at other offsets), or null.
template <typename I, typename TListed>
void* CastInChain(TListed* AIntf, const TGUID& AIID) {
  if (I::IID == AIID) return static_cast<I*>(AIntf);
  if constexpr (std::is_same_v<I, IInterface>) {
    return nullptr;
  } else {
    return CastInChain<typename I::Parent>(AIntf, AIID);
  }
}

// The QueryInterface of TImplements and TImplementsVirtual: the first listed interface whose
// parent chain holds AIID, else TBase's own answer.
template <typename TBase, typename... TIntfs, typename TSelf>
HRESULT QueryListed(TSelf* ASelf, const TGUID& AIID, void** AObj) {
  if (!AObj) return E_NOINTERFACE;
  void* found = nullptr;
  auto tryListed = [&]<typename I>(I* AListed) {
    if (found) return;
    found = CastInChain<I>(AListed, AIID);
    if (found) static_cast<IInterface*>(AListed)->_AddRef();
  };
  (tryListed(static_cast<TIntfs*>(ASelf)), ...);
  if (found) {
    *AObj = found;
    return S_OK;
  }
  if constexpr (HasQueryInterface<TBase>) {
    return ASelf->TBase::QueryInterface(AIID, AObj);
  } else {
    *AObj = nullptr;
    return E_NOINTERFACE;
  }
}
}  // namespace detail

// Implements the listed interfaces (and their parent chains) on top of TBase, which is
// TInterfacedObject or a class already built with TImplements.
template <typename TBase, typename... TIntfs>
class TImplements : public TBase, public TIntfs... {
 public:
  using TBase::TBase;

  HRESULT QueryInterface(const TGUID& AIID, void** AObj) override {
    return detail::QueryListed<TBase, TIntfs...>(this, AIID, AObj);
  }
  int32_t _AddRef() override { return this->AddRefImpl(); }
  int32_t _Release() override { return this->ReleaseImpl(); }
  HRESULT ObjQueryInterface(const TGUID& AIID, void** AObj) override { return QueryInterface(AIID, AObj); }
};

// The same for interface families declared with virtual bases (struct IDerived : virtual IBase),
// where each class level adds the interface that extends the one its parent implements and
// inherits the parent's implementation of the shared base. Every interface of such a family
// must name its bases as virtual, and the root of the family derives from IInterface.
template <typename TBase, typename... TIntfs>
class TImplementsVirtual : public TBase, public virtual TIntfs... {
 public:
  using TBase::TBase;

  HRESULT QueryInterface(const TGUID& AIID, void** AObj) override {
    return detail::QueryListed<TBase, TIntfs...>(this, AIID, AObj);
  }
  int32_t _AddRef() override { return this->AddRefImpl(); }
  int32_t _Release() override { return this->ReleaseImpl(); }
  HRESULT ObjQueryInterface(const TGUID& AIID, void** AObj) override { return QueryInterface(AIID, AObj); }
};

}  // namespace fundrel
