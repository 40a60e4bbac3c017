#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <latch>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "host/Quenra.Containers.h"

using namespace fundrel;

namespace {

std::atomic<int> gLiveKeyed{0};

struct IKeyed : IInterface {
  using Parent = IInterface;
  FUNDREL_IID("{3D6E1B52-7C0A-4F58-9A21-6B4C2D8E0F13}");
  virtual int Key() const = 0;
};
struct ITagged : IInterface {
  using Parent = IInterface;
  FUNDREL_IID("{3D6E1B52-7C0A-4F58-9A21-6B4C2D8E0F14}");
};

// Two interfaces, so two IInterface bases: the weak list must not depend on a unique one.
class TKeyed : public TImplements<TInterfacedObject, IKeyed, ITagged> {
 public:
  explicit TKeyed(int AKey) : FKey(AKey) { ++gLiveKeyed; }
  ~TKeyed() override { --gLiveKeyed; }
  int Key() const override { return FKey; }

 private:
  int FKey;
};

auto HasKey(int AKey) {
  return [AKey](const TKeyed& AObject) { return AObject.Key() == AKey; };
}

template <typename F>
std::string MessageOf(F&& AAction) {
  try {
    AAction();
  } catch (const Exception& e) {
    return e.what();
  }
  return "<no exception>";
}

class WeakHolderList : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(gLiveKeyed.load(), 0); }
};
class WeakHolderListThreads : public WeakHolderList {};

}  // namespace

TEST(ArrayList, IndexErrorsNameTheIndexAndChangeNothing) {
  TArrayList<int> list{10, 20, 30};
  EXPECT_EQ(MessageOf([&] { (void)list[3]; }), "List index out of bounds (3); count is 3");
  EXPECT_EQ(MessageOf([&] { list.Exchange(0, -1); }), "List index out of bounds (-1); count is 3");
  EXPECT_THROW(list.Insert(4, 1), ERangeError);
  EXPECT_THROW(list.Delete(3), ERangeError);
  EXPECT_THROW(list.SetCapacity(2), ERangeError);
  EXPECT_EQ(list.Items(), (std::vector<int>{10, 20, 30}));
  list.Insert(3, 40);  // inserting at Count appends
  list.Insert(0, 0);
  EXPECT_EQ(list.Remove(20), 2);
  EXPECT_EQ(list.Remove(20), -1);
  EXPECT_EQ(list.Items(), (std::vector<int>{0, 10, 30, 40}));
  TArrayList<int> empty;
  EXPECT_EQ(MessageOf([&] { (void)empty.Last(); }), "List index out of bounds (-1); count is 0");
}

TEST(ArrayList, FindOrAddCreatesOnlyWhenNothingMatches) {
  TArrayList<std::pair<int, std::string>> list{{1, "one"}, {2, "two"}, {2, "deux"}};
  int created = 0;
  auto key = [](int AKey) { return [AKey](const auto& p) { return p.first == AKey; }; };
  auto make = [&created](int AKey) {
    return [&created, AKey] { return std::pair<int, std::string>(AKey, "new" + std::to_string(++created)); };
  };
  EXPECT_EQ(list.FindOrAdd(key(2), make(2)).second, "two");  // the first match wins
  EXPECT_EQ(list.FindOrAdd(key(3), make(3)).second, "new1");
  EXPECT_EQ(list.FindOrAdd(key(3), make(3)).second, "new1");
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.FindAll(key(2)).Count(), 2);
}

TEST(ArrayList, SortIsStableAndBinarySearchFindsFirstOrInsertionPoint) {
  std::mt19937 rng(7);
  TArrayList<std::pair<int, int>> list;  // (even key, original position)
  for (int i = 0; i < 300; ++i) list.Add({int(rng() % 50) * 2, i});
  auto byKey = [](const auto& A, const auto& B) { return A.first < B.first; };
  list.Sort(byKey);
  for (int i = 1; i < list.Count(); ++i) {
    ASSERT_LE(list[i - 1].first, list[i].first);
    if (list[i - 1].first == list[i].first) {
      ASSERT_LT(list[i - 1].second, list[i].second) << "not stable at " << i;
    }
  }
  for (int key = -1; key <= 101; ++key) {
    int index = -5;
    bool found = list.BinarySearch({key, 0}, index, byKey);
    EXPECT_EQ(found, std::any_of(list.begin(), list.end(), [key](const auto& p) { return p.first == key; }));
    ASSERT_TRUE(index >= 0 && index <= list.Count()) << key;
    if (index < list.Count()) {
      EXPECT_GE(list[index].first, key) << key;
    }
    if (index > 0) {
      EXPECT_LT(list[index - 1].first, key) << key;
    }
  }
}

TEST(LinkedList, WorksAtBothEndsAndRemovesByPredicate) {
  TLinkedList<int> list;
  EXPECT_EQ(MessageOf([&] { list.RemoveFirst(); }), "List is empty");
  for (int i = 1; i <= 6; ++i) list.AddLast(i);
  list.AddFirst(0);
  EXPECT_EQ(list.RemoveIf([](int v) { return v % 2 == 1; }), 3);
  EXPECT_EQ(list.RemoveLast(), 6);
  EXPECT_EQ(list.RemoveFirst(), 0);
  EXPECT_EQ(std::vector<int>(list.begin(), list.end()), (std::vector<int>{2, 4}));
}

TEST(Dictionary, RefusesDuplicateKeysAndHashesGuids) {
  TDictionary<uintptr_t, int> byAddress;
  int a = 0, b = 0;
  auto ka = reinterpret_cast<uintptr_t>(&a), kb = reinterpret_cast<uintptr_t>(&b);
  byAddress.Add(ka, 1);
  byAddress.Add(kb, 2);
  EXPECT_EQ(MessageOf([&] { byAddress.Add(ka, 9); }), "Duplicate key " + std::to_string(ka) + " in dictionary");
  EXPECT_EQ(byAddress.Items(ka), 1);  // the refused Add left the value
  byAddress.AddOrSetValue(ka, 5);
  EXPECT_TRUE(byAddress.Remove(kb));
  EXPECT_FALSE(byAddress.Remove(kb));
  int value = 0;
  EXPECT_TRUE(byAddress.TryGetValue(ka, value));
  EXPECT_EQ(value, 5);
  EXPECT_FALSE(byAddress.TryGetValue(kb, value));
  EXPECT_EQ(MessageOf([&] { (void)TDictionary<String, int>().Items("rate"); }), "Key \"rate\" not found in dictionary");

  // GUIDs differing in any one field, by any byte value, hash apart.
  const TGUID base = TGUID::Parse("{144E7F44-DE45-463D-A94F-73ACEB80BC6F}");
  TDictionary<TGUID, int> byGuid;
  std::set<size_t> hashes;
  for (int v = 0; v < 256; ++v) {
    for (int field = 0; field < 11; ++field) {
      if (v == 0 && field > 0) continue;
      TGUID g = base;
      if (field == 0) g.D1 ^= uint32_t(v) << 24;
      if (field == 1) g.D2 ^= uint16_t(v);
      if (field == 2) g.D3 ^= uint16_t(v << 8);
      if (field >= 3) g.D4[field - 3] ^= uint8_t(v);
      hashes.insert(std::hash<TGUID>()(g));
      byGuid.Add(g, v);
    }
  }
  EXPECT_EQ(hashes.size(), size_t(byGuid.Count()));
  EXPECT_EQ(byGuid.Count(), 256 + 10 * 255);
  EXPECT_EQ(MessageOf([&] { byGuid.Add(base, 0); }), "Duplicate key " + base.ToString() + " in dictionary");
}

TEST_F(WeakHolderList, DropsEntriesAsObjectsDieAndReports) {
  TWeakHolderList<TKeyed> list;
  std::vector<TWeakListChange> changes;
  std::vector<int> countsSeen;
  // The handler uses the list: notifying under the list's lock would deadlock here.
  list.OnChange().Add([&](TWeakListChange AChange) {
    changes.push_back(AChange);
    countsSeen.push_back(list.Count());
  });
  TIntf<TKeyed> one(new TKeyed(1)), two(new TKeyed(2));
  EXPECT_TRUE(list.Add(one.get()));
  EXPECT_FALSE(list.Add(one.get()));
  EXPECT_TRUE(list.Add(two.get()));
  EXPECT_EQ(list.Objects(), (std::vector<TKeyed*>{one.get(), two.get()}));
  TKeyed* dead = one.get();
  one.reset();
  EXPECT_FALSE(list.Contains(dead));
  ASSERT_EQ(list.Snapshot().size(), 1u);
  EXPECT_EQ(list.Snapshot()[0], two);
  EXPECT_TRUE(list.Remove(two.get()));
  two.reset();  // no longer listed: no report
  using C = TWeakListChange;
  EXPECT_EQ(changes, (std::vector<C>{C::Added, C::Added, C::Died, C::Removed}));
  EXPECT_EQ(countsSeen, (std::vector<int>{1, 2, 1, 0}));

  // Owned objects leave when freed; a list of TObject takes counted ones too.
  TWeakHolderList<TObject> owned;
  auto* x = new TObject;
  auto* y = new TObject;
  TIntf<TKeyed> counted(new TKeyed(3));
  owned.Add(x);
  owned.Add(y);
  owned.Add(counted.get());
  TObject::Free(x);
  EXPECT_EQ(owned.Objects(), (std::vector<TObject*>{y, counted.get()}));
  counted.reset();
  EXPECT_EQ(owned.Count(), 1);
  owned.Clear();
  EXPECT_EQ(owned.Count(), 0);
  TObject::Free(y);
}

TEST_F(WeakHolderList, FindOrAddKeepsOnlyWhatCallersHold) {
  int created = 0;
  auto make = [&created](int AKey) {
    return [&created, AKey] {
      ++created;
      return new TKeyed(AKey);
    };
  };
  TIntf<TKeyed> survivor;
  {
    TWeakHolderList<TKeyed> list;
    TIntf<TKeyed> first = list.FindOrAdd(HasKey(1), make(1));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->RefCount(), 1);  // the list adds no reference of its own
    EXPECT_EQ(list.FindOrAdd(HasKey(1), make(1)), first);
    survivor = list.FindOrAdd(HasKey(2), make(2));
    EXPECT_EQ(created, 2);
    first.reset();
    EXPECT_EQ(list.Count(), 1);
    TIntf<TKeyed> renewed = list.FindOrAdd(HasKey(1), make(1));
    EXPECT_EQ(created, 3);
    EXPECT_EQ(list.FindOrAdd(HasKey(2), make(2)), survivor);
    EXPECT_FALSE(list.FindOrAdd(HasKey(5), [] { return TIntf<TKeyed>(); }));  // a factory may decline
    EXPECT_EQ(list.Count(), 2);
  }
  EXPECT_EQ(gLiveKeyed.load(), 1);
  survivor.reset();  // outliving its list, it dies without touching it
}

TEST_F(WeakHolderListThreads, ObjectsDieOnOneThreadWhileAnotherFindsOrAdds) {
  TWeakHolderList<TKeyed> list;
  std::atomic<int> added{0}, gone{0}, wrong{0};
  list.OnChange().Add([&](TWeakListChange AChange) { ++(AChange == TWeakListChange::Added ? added : gone); });
  constexpr int kRounds = 2000;
  std::latch start(2);
  std::thread finder([&] {
    start.arrive_and_wait();
    std::vector<TIntf<TKeyed>> held(3);
    for (int i = 0; i < kRounds; ++i) {
      int k = i % 5;
      TIntf<TKeyed> found = list.FindOrAdd(HasKey(k), [k] { return new TKeyed(k); });
      if (!found || found->Key() != k) ++wrong;
      held[size_t(i) % held.size()] = found;  // drops an older reference, often the last one
      if (list.Count() < 1) ++wrong;         // the object just found is held and listed
    }
  });
  std::thread killer([&] {
    start.arrive_and_wait();
    for (int i = 0; i < kRounds; ++i) {
      TIntf<TKeyed> mine(new TKeyed(100 + i % 3));
      list.Add(mine.get());
      // The snapshot shares the finder's objects, so their last release often happens here.
      for (const TIntf<TKeyed>& s : list.Snapshot())
        if (s->RefCount() < 1 || (s->Key() > 4 && s->Key() < 100)) ++wrong;
    }
  });
  finder.join();
  killer.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(added.load(), gone.load());
  EXPECT_GE(added.load(), kRounds);
}

TEST_F(WeakHolderListThreads, ConcurrentFindOrAddAgreeOnOneObject) {
  TWeakHolderList<TKeyed> list;
  std::atomic<int> created{0};
  constexpr int kKeys = 300;
  std::latch start(2);
  auto run = [&](std::vector<TIntf<TKeyed>>& AOut) {
    start.arrive_and_wait();
    for (int k = 0; k < kKeys; ++k)
      AOut.push_back(list.FindOrAdd(HasKey(k), [k, &created] {
        ++created;
        return new TKeyed(k);
      }));
  };
  std::vector<TIntf<TKeyed>> a, b;
  std::thread t1(run, std::ref(a)), t2(run, std::ref(b));
  t1.join();
  t2.join();
  EXPECT_EQ(created.load(), kKeys);
  for (int k = 0; k < kKeys; ++k) ASSERT_EQ(a[size_t(k)], b[size_t(k)]) << k;
  a.clear();
  EXPECT_EQ(list.Count(), kKeys);
  b.clear();
  EXPECT_EQ(list.Count(), 0);
}
