// Reports what the vector-primitive layer found at start-up: the primitive libraries and where
// they were loaded from, the SIMD target their kernels dispatch to, and how many table pointers
// are bound.
//
//   fundrel-info            summary, plus the names left unbound
//   fundrel-info --all      also one line per table entry with the library that serves it
//   fundrel-info --check    as the summary, but exits with 1 when any pointer is unbound
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/DynLib.h"
#include "primitives/DVIPPILoader.h"
#include "primitives/DVIPPSLoader.h"
#include "primitives/GVBasicDispatcher.h"
#include "primitives/GVNormDispatcher.h"
#include "primitives/GVResizeDispatcher.h"
#include "primitives/GVScopeDispatcher.h"

using namespace fundrel;

namespace {

// The dispatch target is not part of IPP: our libraries answer it through a helper function,
// Intel's libraries do not have one.
std::string TargetName() {
  using TTargetName = const char* (*)();
  if (auto f = reinterpret_cast<TTargetName>(platform::DynLibSymbol(DVIPPSLoader::ippsLIB, "fundrel_ipps_target_name")))
    return f();
  if (auto f = reinterpret_cast<TTargetName>(platform::DynLibSymbol(DVIPPSLoader::ippcoreLIB, "fundrel_ippcore_target_name")))
    return f();
  return "unknown";
}

std::string FileName(const std::string& APath) {
  size_t slash = APath.find_last_of('/');
  return slash == std::string::npos ? APath : APath.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
  const bool all = argc > 1 && std::strcmp(argv[1], "--all") == 0;
  const bool check = argc > 1 && std::strcmp(argv[1], "--check") == 0;

  std::printf("primitive library directory: %s%s\n", IPPLibraryDirectory().c_str(),
              std::getenv(IPPPathVariable) && *std::getenv(IPPPathVariable) ? " (FUNDREL_IPP_PATH)" : "");
  std::vector<TLoadedLibrary> libs = DVIPPSLoader::LoadedLibraries();
  for (const TLoadedLibrary& l : DVIPPILoader::LoadedLibraries()) libs.push_back(l);
  for (const char* name : {"ipps", "ippcore", "ippi", "ippcc", "ippcv"}) {
    const TLoadedLibrary* found = nullptr;
    for (const TLoadedLibrary& l : libs)
      if (l.Name == name) found = &l;
    std::printf("  %-8s %s\n", name, found ? found->Path.c_str() : "not loaded");
  }
  std::printf("SIMD target: %s\n", TargetName().c_str());

  std::vector<TPrimitiveInfo> table = BasicPrimitives();
  for (auto* more : {&GVScopeDispatcher::ScopePrimitives, &GVResizeDispatcher::ResizePrimitives, &GVNormDispatcher::NormPrimitives})
    for (const TPrimitiveInfo& p : more()) table.push_back(p);
  size_t bound = 0;
  for (const TPrimitiveInfo& p : table) bound += p.Address != nullptr;
  std::printf("primitives bound: %zu/%zu\n", bound, table.size());

  for (const TPrimitiveInfo& p : table) {
    if (all)
      std::printf("  %-7s %-28s %s\n", p.Table, p.Name,
                  p.Address ? FileName(platform::ModulePathOf(p.Address)).c_str() : "-");
    else if (!p.Address)
      std::printf("  unbound: %s (%s table)\n", p.Name, p.Table);
  }
  return check && bound != table.size() ? 1 : 0;
}
