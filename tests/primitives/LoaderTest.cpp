// The loaders and the binding of the dispatch tables: where libraries are found, which library
// answers a name, what happens when libraries are missing.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <map>

#include "PrimitiveTestSupport.h"
#include "host/Quenra.Modules.h"
#include "platform/DynLib.h"

namespace fundrel {
namespace {

using test::AllPrimitives;
using test::BuiltLibraryDir;
using test::InChild;
using test::ReloadFrom;
using test::TTempDir;

// The library group of every table entry, straight from the list.
std::map<std::string, char> LibraryGroups() {
  std::map<std::string, char> groups;
#define IPP_FN(table, lib, name, params, args) groups[#name] = #lib[0];
#include "platform/ipp/ippnames.def"
  return groups;
}

template <class F>
F Entry(void* AAddress) {
  return reinterpret_cast<F>(AAddress);
}

TEST(DVIPPLoaders, StartupBindsEveryNameToWhatTheLibrariesExport) {
  const std::string dir = BuiltLibraryDir();
  ASSERT_TRUE(platform::FileExists(dir + "/libfundrel.so")) << "default folder is the library's own: " << dir;
  ASSERT_TRUE(DVIPPSLoader::CheckIPPSDLLs());
  EXPECT_EQ(platform::DynLibPath(DVIPPSLoader::ippsLIB), dir + "/libfundrel_ipps.so");

  // Independent look-ups: the signal library alone, or the image libraries in order.
  auto open = [&](const char* file) { return platform::DynLibOpen(dir + "/" + file); };
  platform::TDynLibHandle ipps = open("libfundrel_ipps.so");
  platform::TDynLibHandle image[] = {open("libfundrel_ippi.so"), open("libfundrel_ippcc.so"),
                                     open("libfundrel_ippcv.so")};
  std::map<std::string, char> groups = LibraryGroups();
  std::vector<TPrimitiveInfo> all = AllPrimitives();
  EXPECT_EQ(all.size(), 198u);
  for (const TPrimitiveInfo& p : all) {
    ASSERT_TRUE(groups.count(p.Name)) << p.Name;
    const void* expected = nullptr;
    if (groups[p.Name] == 'S') {
      expected = platform::DynLibSymbol(ipps, p.Name);
    } else {
      for (platform::TDynLibHandle lib : image)
        if (!expected) expected = platform::DynLibSymbol(lib, p.Name);
    }
    EXPECT_EQ(p.Address, expected) << p.Table << " " << p.Name;
  }
  // The own kernels are this library's alone; a primitive library exporting one would be a
  // second implementation that nothing calls.
  for (const char* own : {
#define IPP_OWN_FN(result, name, params, args) #name,
#include "platform/ipp/ippnames.def"
       }) {
    EXPECT_EQ(platform::DynLibSymbol(ipps, own), nullptr) << own;
    for (platform::TDynLibHandle lib : image) EXPECT_EQ(platform::DynLibSymbol(lib, own), nullptr) << own;
  }
  EXPECT_EQ(reinterpret_cast<const void*>(ippsConvert_64f32f),
            reinterpret_cast<const void*>(GVScopeDispatcher::ippsConvert_64f32f));
  platform::DynLibClose(ipps);
  for (platform::TDynLibHandle lib : image) platform::DynLibClose(lib);

  const char* affinity = getenv("KMP_AFFINITY");
  EXPECT_STREQ(affinity ? affinity : "(unset)", "disabled");

  // Loaders start before the tables that look names up in them.
  std::vector<std::string> order = StartedUnitOrder();
  auto at = [&](const char* unit) { return std::find(order.begin(), order.end(), unit) - order.begin(); };
  EXPECT_LT(at("DVIPPSLoader"), at("DVIPPILoader"));
  for (const char* table : {"GVBasicDispatcher", "GVScopeDispatcher", "GVResizeDispatcher", "GVNormDispatcher"}) {
    EXPECT_LT(at("DVIPPILoader"), at(table)) << table;
    EXPECT_LT(at(table), static_cast<long>(order.size())) << table << " did not start";
  }
}

TEST(DVIPPLoaders, WithoutLibrariesEveryPointerIsNullAndCallsRaise) {
  InChild([] {
    setenv("KMP_AFFINITY", "granularity=fine,compact", 1);
    TTempDir empty;
    // A file that is not a library counts as missing, as silently as an absent one.
    std::ofstream(empty.Path() + "/libfundrel_ippi.so") << "not an ELF file\n";
    for (const std::string& dir : {empty.Path(), empty.Path() + "/does-not-exist"}) {
      ReloadFrom(dir);
      EXPECT_FALSE(DVIPPSLoader::CheckIPPSDLLs()) << dir;
      EXPECT_FALSE(DVIPPILoader::CheckIPPSDLLs()) << dir;
      EXPECT_EQ(DVIPPSLoader::ippcoreLIB, nullptr);
      EXPECT_TRUE(DVIPPILoader::LoadedLibraries().empty());
      for (const TPrimitiveInfo& p : AllPrimitives()) EXPECT_EQ(p.Address, nullptr) << p.Name;
    }
    EXPECT_STREQ(getenv("KMP_AFFINITY"), "disabled") << "whatever it held before binding";
    try {
      FUNDREL_IPP(ippsAdd_64f)(nullptr, nullptr, nullptr, 0);
      ADD_FAILURE() << "no exception";
    } catch (const EGVException& e) {
      EXPECT_EQ(e.Message(), "Primitive ippsAdd_64f is not available");
    }
    try {
      FUNDREL_IPP(GVScopeDispatcher::ippsMove_8u)(nullptr, nullptr, 0);
      ADD_FAILURE() << "no exception";
    } catch (const EGVException& e) {
      EXPECT_EQ(e.Message(), "Primitive ippsMove_8u is not available");
    }
    // Own kernels never depend on a library.
    Ipp64s in[] = {-3, 1LL << 60};
    Ipp64f out[2] = {};
    ippsConvert_64s64f(in, out, 2);
    EXPECT_EQ(out[0], -3.0);
    EXPECT_EQ(out[1], 1152921504606846976.0);
  });
}

TEST(DVIPPLoaders, ImageLibrariesAreSearchedInOrderAndTheFirstEntryWins) {
  InChild([] {
    const std::string built = BuiltLibraryDir();
    auto fixtureCalls = [](int id) {
      void* f = DVIPPILoader::GetIPPIProcAddress(id == 1 ? "fundrel_fixture_calls" : "fundrel_fixture_second_only");
      return f ? Entry<int (*)()>(f)() : -1;
    };

    // ippi and ippcc present, ippcv and ippcore missing.
    TTempDir both;
    both.Link("libfundrel_ipps.so", built + "/libfundrel_ipps.so");
    both.Link("libfundrel_ippi.so", FUNDREL_TEST_DUP1);
    both.Link("libfundrel_ippcc.so", FUNDREL_TEST_DUP2);
    ReloadFrom(both.Path());
    EXPECT_TRUE(DVIPPSLoader::CheckIPPSDLLs()) << "ippcore is not required";
    EXPECT_EQ(DVIPPSLoader::ippcoreLIB, nullptr);
    EXPECT_TRUE(DVIPPILoader::CheckIPPSDLLs()) << "ippcv is not required";
    EXPECT_EQ(DVIPPILoader::LoadedLibraries().size(), 2u);
    void* id = DVIPPILoader::GetIPPIProcAddress("fundrel_fixture_id");
    ASSERT_NE(id, nullptr);
    EXPECT_EQ(Entry<int (*)()>(id)(), 1);
    EXPECT_EQ(fixtureCalls(2), 2) << "a name only the second library has is still found";
    EXPECT_EQ(DVIPPILoader::GetIPPIProcAddress("ippsSVD_64f_D2L"), nullptr);
    EXPECT_EQ(ippsSVD_64f_D2L, nullptr);
    EXPECT_EQ(ippiMirror_8u_C4R, nullptr);

    // The table pointer is the first library's working entry.
    Ipp32s src[2][4] = {{1, 2, 3, 4}, {5, 6, 7, 8}};
    Ipp32s dst[2][3] = {};
    ASSERT_NE(ippiCopy_32s_C1R, nullptr);
    EXPECT_EQ(FUNDREL_IPP(ippiCopy_32s_C1R)(&src[0][1], sizeof(src[0]), &dst[0][0], sizeof(dst[0]), IppiSize{3, 2}),
              ippStsNoErr);
    EXPECT_EQ(dst[1][0], 6);
    EXPECT_EQ(dst[1][2], 8);
    EXPECT_EQ(fixtureCalls(1), 1);

    // Swapped: now the other library is first.
    TTempDir swapped;
    swapped.Link("libfundrel_ippi.so", FUNDREL_TEST_DUP2);
    swapped.Link("libfundrel_ippcc.so", FUNDREL_TEST_DUP1);
    ReloadFrom(swapped.Path());
    EXPECT_FALSE(DVIPPSLoader::CheckIPPSDLLs());
    EXPECT_EQ(ippsAdd_64f, nullptr);
    EXPECT_EQ(Entry<int (*)()>(DVIPPILoader::GetIPPIProcAddress("fundrel_fixture_id"))(), 2);

    // Only ippcc: the loader is not complete, but a library not loaded is skipped, not fatal.
    TTempDir ccOnly;
    ccOnly.Link("libfundrel_ippcc.so", FUNDREL_TEST_DUP2);
    ReloadFrom(ccOnly.Path());
    EXPECT_FALSE(DVIPPILoader::CheckIPPSDLLs());
    void* idCc = DVIPPILoader::GetIPPIProcAddress("fundrel_fixture_id");
    ASSERT_NE(idCc, nullptr);
    EXPECT_EQ(Entry<int (*)()>(idCc)(), 2);
  });
}

TEST(DVIPPLoaders, OurFileNameComesBeforeIntels) {
  InChild([] {
    TTempDir both;
    both.Link("libfundrel_ipps.so", FUNDREL_TEST_DUP1);
    both.Link("libipps.so", FUNDREL_TEST_DUP2);
    ReloadFrom(both.Path());
    void* id = DVIPPSLoader::GetIPPSProcAddress("fundrel_fixture_id");
    ASSERT_NE(id, nullptr);
    EXPECT_EQ(Entry<int (*)()>(id)(), 1);

    TTempDir intelOnly;
    intelOnly.Link("libipps.so", FUNDREL_TEST_DUP1);
    intelOnly.Link("libippcore.so", FUNDREL_TEST_DUP2);
    ReloadFrom(intelOnly.Path());
    ASSERT_TRUE(DVIPPSLoader::CheckIPPSDLLs());
    ASSERT_NE(DVIPPSLoader::ippcoreLIB, nullptr);
    EXPECT_EQ(Entry<int (*)()>(DVIPPSLoader::GetIPPSProcAddress("fundrel_fixture_id"))(), 1);
    // Only the core library exports this one, and the core library is never searched.
    EXPECT_NE(platform::DynLibSymbol(DVIPPSLoader::ippcoreLIB, "fundrel_fixture_second_only"), nullptr);
    EXPECT_EQ(DVIPPSLoader::GetIPPSProcAddress("fundrel_fixture_second_only"), nullptr);
  });
}

}  // namespace
}  // namespace fundrel
