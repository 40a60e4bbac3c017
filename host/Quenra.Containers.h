// Containers of the runtime: an indexed array list, a linked list with O(1) ends, a hashed
// dictionary, and a thread-safe list of weak holders that forgets objects as they die.
//
// TArrayList, TLinkedList and TDictionary are thread-compatible values: callers that share one
// between threads guard it themselves. TWeakHolderList is thread-safe.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <list>
#include <memory>
#include <mutex>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/Quenra.Config.h"
#include "host/Quenra.Elements.h"
#include "host/Quenra.Interfaces.h"
#include "host/Quenra.SysUtils.h"

namespace fundrel {

// Misuse of a list or dictionary other than a bad index: duplicate or missing key, empty list.
class FUNDREL_API EListError : public Exception {
 public:
  using Exception::Exception;
};

namespace detail {
// "List index out of bounds (<index>); count is <count>" as ERangeError.
[[noreturn]] FUNDREL_API void RaiseListIndexError(int AIndex, int ACount);
[[noreturn]] FUNDREL_API void RaiseCapacityError(int ACapacity, int ACount);
[[noreturn]] FUNDREL_API void RaiseListEmpty();
// AKeyText may be empty when the key has no readable form.
[[noreturn]] FUNDREL_API void RaiseDuplicateKey(const String& AKeyText);
[[noreturn]] FUNDREL_API void RaiseKeyNotFound(const String& AKeyText);

template <typename K>
String KeyText(const K& AKey) {
  if constexpr (std::is_same_v<K, bool>) {
    return AKey ? "true" : "false";
  } else if constexpr (std::is_integral_v<K>) {
    return std::to_string(AKey);
  } else if constexpr (std::is_convertible_v<const K&, String>) {
    return "\"" + String(AKey) + "\"";
  } else if constexpr (std::is_same_v<K, TGUID>) {
    return AKey.ToString();
  } else {
    return String();
  }
}
}  // namespace detail

// Hash of a GUID over all 128 bits, for unordered containers keyed by interface identity.
struct TGUIDHash {
  size_t operator()(const TGUID& AGuid) const noexcept {
    uint64_t lo = (uint64_t(AGuid.D1) << 32) | (uint64_t(AGuid.D2) << 16) | AGuid.D3;
    uint64_t hi = 0;
    for (int i = 0; i < 8; ++i) hi = (hi << 8) | AGuid.D4[i];
    // Two rounds of a 64-bit finaliser so that a change in any byte reaches every output bit.
    auto mix = [](uint64_t x) {
      x ^= x >> 30;
      x *= 0xBF58476D1CE4E5B9ull;
      x ^= x >> 27;
      x *= 0x94D049BB133111EBull;
      x ^= x >> 31;
      return x;
    };
    return static_cast<size_t>(mix(lo ^ mix(hi)));
  }
};

// A growable array with checked indices. Indices are 0-based signed 32-bit; every index
// outside 0..Count-1 (0..Count for Insert) raises ERangeError naming the index. Items are held
// by value, so a TArrayList<TIntf<I>> holds one reference per entry.
template <typename T>
class TArrayList {
 public:
  using value_type = T;
  using iterator = typename std::vector<T>::iterator;
  using const_iterator = typename std::vector<T>::const_iterator;

  TArrayList() = default;
  TArrayList(std::initializer_list<T> AItems) : FItems(AItems) {}

  int Count() const noexcept { return static_cast<int>(FItems.size()); }
  bool IsEmpty() const noexcept { return FItems.empty(); }
  int Capacity() const noexcept { return static_cast<int>(FItems.capacity()); }
  // Reserves room for ACapacity items; a value below Count raises ERangeError.
  void SetCapacity(int ACapacity) {
    if (ACapacity < Count()) detail::RaiseCapacityError(ACapacity, Count());
    if (ACapacity > Capacity()) {
      FItems.reserve(static_cast<size_t>(ACapacity));
    } else if (ACapacity < Capacity()) {
      std::vector<T> shrunk;
      shrunk.reserve(static_cast<size_t>(ACapacity));
      std::move(FItems.begin(), FItems.end(), std::back_inserter(shrunk));
      FItems.swap(shrunk);
    }
  }

  T& operator[](int AIndex) { return FItems[Checked(AIndex)]; }
  const T& operator[](int AIndex) const { return FItems[Checked(AIndex)]; }
  T& First() { return (*this)[0]; }
  const T& First() const { return (*this)[0]; }
  T& Last() { return (*this)[Count() - 1]; }
  const T& Last() const { return (*this)[Count() - 1]; }

  // Appends AItem and returns its index.
  int Add(T AItem) {
    FItems.push_back(std::move(AItem));
    return Count() - 1;
  }
  // Inserts before AIndex; AIndex == Count appends.
  void Insert(int AIndex, T AItem) {
    if (AIndex < 0 || static_cast<size_t>(AIndex) > FItems.size()) detail::RaiseListIndexError(AIndex, Count());
    FItems.insert(FItems.begin() + AIndex, std::move(AItem));
  }
  void Delete(int AIndex) { FItems.erase(FItems.begin() + Checked(AIndex)); }
  // Removes the first item equal to AItem; returns its former index, or -1 when absent.
  int Remove(const T& AItem) {
    int i = IndexOf(AItem);
    if (i >= 0) FItems.erase(FItems.begin() + i);
    return i;
  }
  // Removes and returns the item at AIndex.
  T Extract(int AIndex) {
    T item = std::move(FItems[Checked(AIndex)]);
    FItems.erase(FItems.begin() + AIndex);
    return item;
  }
  void Exchange(int AIndex1, int AIndex2) { std::swap(FItems[Checked(AIndex1)], FItems[Checked(AIndex2)]); }
  void Swap(int AIndex1, int AIndex2) { Exchange(AIndex1, AIndex2); }
  void Clear() noexcept { FItems.clear(); }

  // Index of the first item equal to AItem, or -1.
  int IndexOf(const T& AItem) const {
    auto it = std::find(FItems.begin(), FItems.end(), AItem);
    return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
  }
  bool Contains(const T& AItem) const { return IndexOf(AItem) >= 0; }
  // Index of the first item for which APred holds, or -1.
  template <typename TPred>
  int FindFirst(TPred&& APred) const {
    auto it = std::find_if(FItems.begin(), FItems.end(), std::forward<TPred>(APred));
    return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
  }
  // The items for which APred holds, in order.
  template <typename TPred>
  TArrayList FindAll(TPred&& APred) const {
    TArrayList result;
    std::copy_if(FItems.begin(), FItems.end(), std::back_inserter(result.FItems), std::forward<TPred>(APred));
    return result;
  }
  // The first item for which AMatch holds; when none does, the result of ACreate() is appended
  // and returned. The reference is valid until the list next changes.
  template <typename TMatch, typename TCreate>
  T& FindOrAdd(TMatch&& AMatch, TCreate&& ACreate) {
    int i = FindFirst(std::forward<TMatch>(AMatch));
    if (i < 0) i = Add(std::forward<TCreate>(ACreate)());
    return FItems[static_cast<size_t>(i)];
  }

  // Orders the items by ALess (a strict weak order); equal items keep their relative order.
  template <typename TLess = std::less<>>
  void Sort(TLess ALess = {}) {
    std::stable_sort(FItems.begin(), FItems.end(), ALess);
  }
  // On a list sorted by ALess: true with AIndex at the first item equal to AItem, or false with
  // AIndex where AItem would be inserted to keep the order.
  template <typename TLess = std::less<>>
  bool BinarySearch(const T& AItem, int& AIndex, TLess ALess = {}) const {
    auto it = std::lower_bound(FItems.begin(), FItems.end(), AItem, ALess);
    AIndex = static_cast<int>(it - FItems.begin());
    return it != FItems.end() && !ALess(AItem, *it);
  }

  iterator begin() noexcept { return FItems.begin(); }
  iterator end() noexcept { return FItems.end(); }
  const_iterator begin() const noexcept { return FItems.begin(); }
  const_iterator end() const noexcept { return FItems.end(); }
  const std::vector<T>& Items() const noexcept { return FItems; }

 private:
  size_t Checked(int AIndex) const {
    if (AIndex < 0 || static_cast<size_t>(AIndex) >= FItems.size()) detail::RaiseListIndexError(AIndex, Count());
    return static_cast<size_t>(AIndex);
  }
  std::vector<T> FItems;
};

// A doubly linked list with O(1) work at both ends; First is the oldest item of a queue filled
// with AddLast. Taking from an empty list raises EListError, except through the Try forms.
template <typename T>
class TLinkedList {
 public:
  using value_type = T;
  using iterator = typename std::list<T>::iterator;
  using const_iterator = typename std::list<T>::const_iterator;

  int Count() const noexcept { return static_cast<int>(FItems.size()); }
  bool IsEmpty() const noexcept { return FItems.empty(); }

  void AddFirst(T AItem) { FItems.push_front(std::move(AItem)); }
  void AddLast(T AItem) { FItems.push_back(std::move(AItem)); }

  T& First() { return NonEmpty().front(); }
  const T& First() const { return NonEmpty().front(); }
  T& Last() { return NonEmpty().back(); }
  const T& Last() const { return NonEmpty().back(); }

  T RemoveFirst() {
    T item = std::move(NonEmpty().front());
    FItems.pop_front();
    return item;
  }
  T RemoveLast() {
    T item = std::move(NonEmpty().back());
    FItems.pop_back();
    return item;
  }
  bool TryRemoveFirst(T& AItem) {
    if (FItems.empty()) return false;
    AItem = RemoveFirst();
    return true;
  }
  bool TryRemoveLast(T& AItem) {
    if (FItems.empty()) return false;
    AItem = RemoveLast();
    return true;
  }
  // Removes every item for which APred holds; returns how many went.
  template <typename TPred>
  int RemoveIf(TPred&& APred) {
    return static_cast<int>(FItems.remove_if(std::forward<TPred>(APred)));
  }
  void Clear() noexcept { FItems.clear(); }

  iterator begin() noexcept { return FItems.begin(); }
  iterator end() noexcept { return FItems.end(); }
  const_iterator begin() const noexcept { return FItems.begin(); }
  const_iterator end() const noexcept { return FItems.end(); }

 private:
  std::list<T>& NonEmpty() {
    if (FItems.empty()) detail::RaiseListEmpty();
    return FItems;
  }
  const std::list<T>& NonEmpty() const {
    if (FItems.empty()) detail::RaiseListEmpty();
    return FItems;
  }
  std::list<T> FItems;
};

// A hashed map from unique keys to values; iteration order is unspecified. Pointer-sized
// unsigned keys, strings and TGUID hash out of the box.
template <typename K, typename V, typename THash = std::hash<K>, typename TEqual = std::equal_to<K>>
class TDictionary {
 public:
  using TMap = std::unordered_map<K, V, THash, TEqual>;
  using iterator = typename TMap::iterator;
  using const_iterator = typename TMap::const_iterator;

  int Count() const noexcept { return static_cast<int>(FMap.size()); }
  // Raises EListError naming the key when it is present already.
  void Add(const K& AKey, V AValue) {
    if (!FMap.try_emplace(AKey, std::move(AValue)).second) detail::RaiseDuplicateKey(detail::KeyText(AKey));
  }
  void AddOrSetValue(const K& AKey, V AValue) { FMap.insert_or_assign(AKey, std::move(AValue)); }
  // True when the key was present.
  bool Remove(const K& AKey) { return FMap.erase(AKey) != 0; }
  bool TryGetValue(const K& AKey, V& AValue) const {
    auto it = FMap.find(AKey);
    if (it == FMap.end()) return false;
    AValue = it->second;
    return true;
  }
  bool ContainsKey(const K& AKey) const { return FMap.find(AKey) != FMap.end(); }
  // The value of AKey; a missing key raises EListError naming it.
  V& Items(const K& AKey) {
    auto it = FMap.find(AKey);
    if (it == FMap.end()) detail::RaiseKeyNotFound(detail::KeyText(AKey));
    return it->second;
  }
  const V& Items(const K& AKey) const { return const_cast<TDictionary*>(this)->Items(AKey); }
  void Clear() noexcept { FMap.clear(); }

  iterator begin() noexcept { return FMap.begin(); }
  iterator end() noexcept { return FMap.end(); }
  const_iterator begin() const noexcept { return FMap.begin(); }
  const_iterator end() const noexcept { return FMap.end(); }

 private:
  TMap FMap;
};

// What happened to an entry of a TWeakHolderList.
enum class TWeakListChange : uint8_t {
  Added,    // Add or FindOrAdd took a new object in
  Removed,  // Remove or Clear took it out while it lived
  Died,     // the object died and its entry was dropped
};

namespace detail {
// Releases one counted reference.
struct TCountedRelease {
  void operator()(TInterfacedObject* AObject) const noexcept { AObject->ReleaseImpl(); }
};
using TCountedRef = std::unique_ptr<TInterfacedObject, TCountedRelease>;

// The untyped state of a TWeakHolderList, shared with the death callbacks of its entries so
// that a callback arriving after the list is gone finds nothing to do. Internal.
class FUNDREL_API TWeakListCore : public std::enable_shared_from_this<TWeakListCore> {
 public:
  TWeakListCore();
  TWeakListCore(const TWeakListCore&) = delete;
  TWeakListCore& operator=(const TWeakListCore&) = delete;
  ~TWeakListCore();

  // ACounted is AObject as a counted object, or null for an owned one.
  bool Add(TObject* AObject, TInterfacedObject* ACounted);
  bool Remove(const TObject* AObject);
  bool Contains(const TObject* AObject) const;
  void Clear();
  int Count() const;
  std::vector<TObject*> Objects() const;
  // A reference to each live counted object.
  std::vector<TCountedRef> LockAll() const;
  // The first live counted object accepted by AMatch, or else the one ACreate returns (null
  // allowed), added. ACreate hands over a reference; the result carries one for the caller.
  TCountedRef FindOrAdd(const std::function<bool(TObject*)>& AMatch, const std::function<TCountedRef()>& ACreate);

  TMultiProc<TWeakListChange> OnChange;

 private:
  struct TEntry;
  using TEntryPtr = std::unique_ptr<TEntry>;
  TEntryPtr TakeLocked(uint64_t AId);
  void Died(uint64_t AId);

  mutable std::mutex FMutex;
  // Serialises FindOrAdd so that two callers looking for the same object cannot both create
  // it; recursive because a change handler or factory may use the list again.
  std::recursive_mutex FFindOrAddMutex;
  std::vector<TEntryPtr> FEntries;  // in the order added
  uint64_t FLastId = 0;
};
}  // namespace detail

// A thread-safe list of weak holders of T (a TObject descendant). It never keeps an object
// alive: an entry goes as soon as its object dies, on the thread that destroys it, and OnChange
// is told. Every operation may be called from any thread, including from OnChange handlers and
// from the match and create functions of FindOrAdd.
//
// OnChange handlers run on the thread that made the change (for Died, the destroying thread),
// with no lock of the list held, and must neither block nor throw. Changes made on different
// threads may be reported in either order. Destroying the list drops its handlers, but a
// notification already under way on another thread may still finish afterwards.
template <typename T>
class TWeakHolderList {
  static_assert(std::is_base_of_v<TObject, T>, "TWeakHolderList holds TObject descendants");
  static constexpr bool IsCounted = std::is_base_of_v<TInterfacedObject, T>;

 public:
  TWeakHolderList() : FCore(std::make_shared<detail::TWeakListCore>()) {}
  TWeakHolderList(const TWeakHolderList&) = delete;
  TWeakHolderList& operator=(const TWeakHolderList&) = delete;
  ~TWeakHolderList() {
    FCore->OnChange.Clear();
    FCore->Clear();
  }

  // Adds a live object (the caller keeps it alive during the call). False for null, for an
  // object already listed, or for one that is already dying.
  bool Add(T* AObject) {
    if (!AObject) return false;
    TInterfacedObject* counted;
    if constexpr (IsCounted) {
      counted = AObject;
    } else {
      counted = dynamic_cast<TInterfacedObject*>(static_cast<TObject*>(AObject));
    }
    return FCore->Add(AObject, counted);
  }
  // Takes the object's entry out; AObject is only compared, never used, so it may be dead.
  bool Remove(const T* AObject) { return FCore->Remove(AObject); }
  bool Contains(const T* AObject) const { return FCore->Contains(AObject); }
  void Clear() { FCore->Clear(); }
  // Entries whose object is alive and not dying.
  int Count() const { return FCore->Count(); }

  // The live objects as raw pointers, in the order added. They stay valid only as long as the
  // caller knows the objects live; for counted objects Snapshot is the safe form.
  std::vector<T*> Objects() const {
    std::vector<T*> result;
    for (TObject* o : FCore->Objects()) result.push_back(static_cast<T*>(o));
    return result;
  }

  // Counted references to the live objects, in the order added.
  std::vector<TIntf<T>> Snapshot() const
    requires IsCounted
  {
    std::vector<detail::TCountedRef> refs = FCore->LockAll();
    std::vector<TIntf<T>> result;
    result.reserve(refs.size());
    for (auto& r : refs) result.push_back(TIntf<T>::Adopt(static_cast<T*>(r.release())));
    return result;
  }

  // The first live object for which AMatch(const T&) holds; when there is none, ACreate() makes
  // one (a T* fresh from new, or a TIntf<T>), which is added as a weak entry. The returned
  // reference is what keeps the object alive. AMatch sees only objects that live throughout the
  // call. Calls are serialised, so concurrent callers agree on one object; AMatch and ACreate
  // run inside that serialisation and must not wait for another thread's FindOrAdd on this
  // list. A null from ACreate is returned as null and nothing is added.
  template <typename TMatch, typename TCreate>
  TIntf<T> FindOrAdd(TMatch&& AMatch, TCreate&& ACreate)
    requires IsCounted
  {
    detail::TCountedRef found = FCore->FindOrAdd(
        [&AMatch](TObject* AObject) -> bool { return AMatch(static_cast<const T&>(*static_cast<T*>(AObject))); },
        [&ACreate]() -> detail::TCountedRef {
          TIntf<T> made(ACreate());
          return detail::TCountedRef(made.Detach());
        });
    return TIntf<T>::Adopt(static_cast<T*>(found.release()));
  }

  TMultiProc<TWeakListChange>& OnChange() noexcept { return FCore->OnChange; }

 private:
  std::shared_ptr<detail::TWeakListCore> FCore;
};

}  // namespace fundrel

namespace std {
template <>
struct hash<fundrel::TGUID> : fundrel::TGUIDHash {};
}  // namespace std
