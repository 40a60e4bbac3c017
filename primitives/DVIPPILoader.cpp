#include "primitives/DVIPPILoader.h"

#include "host/Quenra.Modules.h"
#include "primitives/DVIPPSLoader.h"

namespace fundrel {
namespace DVIPPILoader {

namespace {
TLibHandle ippiLIB = nullptr;
TLibHandle ippccLIB = nullptr;
TLibHandle ippcvLIB = nullptr;
}  // namespace

bool CheckIPPSDLLs() { return ippiLIB && ippccLIB; }

void* GetIPPIProcAddress(const String& AProcName) {
  for (TLibHandle lib : {ippiLIB, ippccLIB, ippcvLIB})
    if (void* entry = platform::DynLibSymbol(lib, AProcName.c_str())) return entry;
  return nullptr;
}

std::vector<TLoadedLibrary> LoadedLibraries() {
  std::vector<TLoadedLibrary> list;
  if (ippiLIB) list.push_back({"ippi", platform::DynLibPath(ippiLIB)});
  if (ippccLIB) list.push_back({"ippcc", platform::DynLibPath(ippccLIB)});
  if (ippcvLIB) list.push_back({"ippcv", platform::DynLibPath(ippcvLIB)});
  return list;
}

void LoadIPPILibraries() {
  ippiLIB = LoadIPPLibrary({"libfundrel_ippi.so", "libippi.so"});
  ippccLIB = LoadIPPLibrary({"libfundrel_ippcc.so", "libippcc.so"});
  ippcvLIB = LoadIPPLibrary({"libfundrel_ippcv.so", "libippcv.so"});
}

void FreeIPPILibraries() {
  for (TLibHandle* lib : {&ippcvLIB, &ippccLIB, &ippiLIB}) {
    platform::DynLibClose(*lib);
    *lib = nullptr;
  }
}

}  // namespace DVIPPILoader

// After the signal loader, so that the libraries load in the same order on every run.
FUNDREL_UNIT(DVIPPILoader, "DVIPPSLoader", &DVIPPILoader::LoadIPPILibraries, &DVIPPILoader::FreeIPPILibraries);

}  // namespace fundrel
