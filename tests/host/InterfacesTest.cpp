#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "host/Quenra.Elements.h"
#include "host/Quenra.Interfaces.h"
#include "host/Quenra.SysUtils.h"

using namespace fundrel;

namespace {

struct IAnimal : IInterface {
  using Parent = IInterface;
  FUNDREL_IID("{6B1D1C3E-2A41-4A0C-9C8E-1F0D2B3A4C5D}");
  virtual int Legs() = 0;
};
struct IDog : IAnimal {
  using Parent = IAnimal;
  FUNDREL_IID("{6B1D1C3E-2A41-4A0C-9C8E-1F0D2B3A4C5E}");
  virtual const char* Bark() = 0;
};
struct IPet : IInterface {
  using Parent = IInterface;
  FUNDREL_IID("{0F6E5D4C-3B2A-1908-7766-554433221100}");
  virtual int Owners() = 0;
};
struct IUnknownToAll : IInterface {
  using Parent = IInterface;
  FUNDREL_IID("{11111111-2222-3333-4444-555555555555}");
};

int gLive = 0;

class TDog : public TImplements<TInterfacedObject, IDog> {
 public:
  TDog() { ++gLive; }
  ~TDog() override { --gLive; }
  int Legs() override { return 4; }
  const char* Bark() override { return "woof"; }
};
// A derived class adds an interface to an implemented base.
class TPetDog : public TImplements<TDog, IPet> {
 public:
  int Owners() override { return 2; }
};

}  // namespace

TEST(GUID, ParsesFormatsAndCompares) {
  constexpr TGUID g = TGUID::Parse("{986F190A-1C6B-49CF-9302-B01DB2F15B20}");
  static_assert(g.D1 == 0x986F190A && g.D2 == 0x1C6B && g.D3 == 0x49CF && g.D4[0] == 0x93 && g.D4[7] == 0x20);
  EXPECT_EQ(g.ToString(), "{986F190A-1C6B-49CF-9302-B01DB2F15B20}");
  EXPECT_EQ(TGUID::Parse("986f190a-1c6b-49cf-9302-b01db2f15b20"), g);
  TGUID out;
  EXPECT_TRUE(TGUID::TryParse("{986F190A-1C6B-49CF-9302-B01DB2F15B20}", out));
  EXPECT_EQ(out, g);
  for (const char* bad : {"", "{986F190A-1C6B-49CF-9302-B01DB2F15B2}", "{986F190A-1C6B-49CF-9302-B01DB2F15B20",
                          "986F190A1C6B49CF9302B01DB2F15B20", "{986F190A-1C6B-49CF-9302-B01DB2F15B2G}",
                          "{986F190A-1C6B-49CF-9302-B01DB2F15B20}x"})
    EXPECT_FALSE(TGUID::TryParse(bad, out)) << bad;
  EXPECT_TRUE(TGUID().IsNull());
  EXPECT_TRUE(TGUID::Parse("{00000000-0000-0000-0000-000000000001}") < g);
}

TEST(Interfaces, QueryInterfaceWalksParentsAndRefusesUnknown) {
  {
    TIntf<IDog> dog(new TDog);
    EXPECT_EQ(gLive, 1);
    TIntf<IAnimal> animal = Supports<IAnimal>(dog);
    ASSERT_TRUE(animal);
    EXPECT_EQ(animal->Legs(), 4);
    TIntf<IInterface> root = Supports<IInterface>(dog);
    EXPECT_TRUE(root);
    EXPECT_FALSE(Supports<IPet>(dog));
    void* obj = reinterpret_cast<void*>(1);
    EXPECT_EQ(dog->QueryInterface(IUnknownToAll::IID, &obj), static_cast<HRESULT>(0x80004002u));
    EXPECT_EQ(obj, nullptr);
    EXPECT_THROW(IntfCast<IPet>(dog), EInvalidCast);
    EXPECT_EQ(static_cast<TDog*>(dog.get())->RefCount(), 3);
  }
  EXPECT_EQ(gLive, 0);
  {
    TIntf<IPet> pet(new TPetDog);
    TIntf<IDog> dog = Supports<IDog>(pet);
    ASSERT_TRUE(dog);
    EXPECT_STREQ(dog->Bark(), "woof");
    EXPECT_EQ(Supports<IPet>(dog)->Owners(), 2);
    // One object, one identity whichever interface asks.
    EXPECT_EQ(Supports<IInterface>(pet).get(), Supports<IInterface>(Supports<IPet>(dog)).get());
  }
  EXPECT_EQ(gLive, 0);
}

TEST(Interfaces, SmartPointerCopiesMovesAndResets) {
  TIntf<IDog> a(new TDog);
  TIntf<IDog> b = a;
  TIntf<IDog> c = std::move(b);
  EXPECT_FALSE(b);
  EXPECT_EQ(a, c);
  TIntf<IAnimal> up = a;  // implicit upcast
  EXPECT_EQ(static_cast<TDog*>(a.get())->RefCount(), 3);
  c.reset();
  up = nullptr;
  a = a;  // self-assignment keeps the object
  EXPECT_EQ(gLive, 1);
  a.reset();
  EXPECT_EQ(gLive, 0);
}

TEST(WeakHolder, SeesDeathOfCountedAndOwnedObjects) {
  TWeakHolder weak;
  int deaths = 0;
  {
    TIntf<IDog> dog(new TDog);
    weak = TWeakHolder(static_cast<TDog*>(dog.get()));
    weak.Subscribe([&deaths] { ++deaths; });
    EXPECT_TRUE(weak.IsAlive());
    TIntf<IAnimal> again = weak.Lock<IAnimal>();
    ASSERT_TRUE(again);
    EXPECT_FALSE(weak.Lock<IPet>());
  }
  EXPECT_EQ(deaths, 1);
  EXPECT_FALSE(weak.IsAlive());
  EXPECT_FALSE(weak.Lock<IDog>());

  {
    // An object with several interfaces is reached through the object, not an ambiguous base.
    TIntf<IPet> pet(new TPetDog);
    TWeakHolder w(static_cast<TPetDog*>(pet.get()));
    EXPECT_TRUE(w.Lock<IDog>());
    EXPECT_TRUE(w.Lock<IPet>());
  }

  auto* owned = new TObject;
  TWeakHolder w2(owned), w3 = w2;
  EXPECT_TRUE(w3.Holds(owned));
  TObject::Free(owned);
  EXPECT_EQ(w2.Get(), nullptr);
  EXPECT_EQ(w3.Subscribe([] {}), 0u);  // too late to subscribe
}

TEST(WeakHolderThreads, LockRacesWithLastRelease) {
  // A weak Lock racing with the last release either gets a live object or null, never a dead one.
  for (int round = 0; round < 200; ++round) {
    TIntf<IDog> dog(new TDog);
    TWeakHolder weak(static_cast<TDog*>(dog.get()));
    std::thread t([&weak] {
      for (int i = 0; i < 50; ++i) {
        TIntf<IDog> d = weak.Lock<IDog>();
        if (d) {
          EXPECT_EQ(d->Legs(), 4);
        }
      }
    });
    dog.reset();
    t.join();
    EXPECT_FALSE(weak.IsAlive());
  }
  EXPECT_EQ(gLive, 0);
}

TEST(Exceptions, CarryTheirMessages) {
  EXPECT_THROW(Assert(false, "Unkonwn filter type"), EAssertionFailed);
  try {
    Assert(false, "Unkonwn filter type");
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Unkonwn filter type");
  }
  EXPECT_NO_THROW(Assert(true, "x"));
  EXPECT_THROW(CheckedAdd(INT32_MAX, 1), EIntOverflow);
  EXPECT_THROW(CheckedMul(1 << 16, 1 << 16), EIntOverflow);
  EXPECT_THROW(CheckedDiv(1, 0), EDivByZero);
  EXPECT_THROW(CheckedDiv(INT32_MIN, -1), EIntOverflow);
  EXPECT_EQ(CheckedDiv(-7, 2), -3);
  EXPECT_EQ(Format("Index out of range = %u", 7u), "Index out of range = 7");
  EXPECT_EQ(Format("%s", std::string(600, 'a').c_str()).size(), 600u);
  try {
    RaiseFileOpenError("/no/such/file");
  } catch (const EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"/no/such/file\".", 0), 0u);
  }
  EGVDLLLoadError dll("libx.so: cannot open shared object file");
  const EGVException& base = dll;
  EXPECT_STREQ(base.what(), "libx.so: cannot open shared object file");
}
