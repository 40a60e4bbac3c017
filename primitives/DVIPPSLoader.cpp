#include "primitives/DVIPPSLoader.h"

#include <cstdlib>

#include "host/Quenra.Modules.h"

namespace fundrel {

String IPPLibraryDirectory() {
  const char* env = std::getenv(IPPPathVariable);
  if (env && *env) return env;
  return platform::DirectoryOf(platform::ModulePathOf(reinterpret_cast<const void*>(&IPPLibraryDirectory)));
}

TLibHandle LoadIPPLibrary(std::initializer_list<const char*> AFileNames) {
  String dir = IPPLibraryDirectory();
  for (const char* name : AFileNames) {
    String path = dir + "/" + name;
    // Only a file that exists is opened: a bare-name fallback through the linker's search path
    // would pick up libraries from elsewhere and defeat FUNDREL_IPP_PATH.
    if (!platform::FileExists(path)) continue;
    if (TLibHandle handle = platform::DynLibOpen(path)) return handle;
  }
  return nullptr;
}

namespace DVIPPSLoader {

TLibHandle ippsLIB = nullptr;
TLibHandle ippcoreLIB = nullptr;

bool CheckIPPSDLLs() { return ippsLIB != nullptr; }

void* GetIPPSProcAddress(const String& AProcName) {
  return ippsLIB ? platform::DynLibSymbol(ippsLIB, AProcName.c_str()) : nullptr;
}

std::vector<TLoadedLibrary> LoadedLibraries() {
  std::vector<TLoadedLibrary> list;
  if (ippsLIB) list.push_back({"ipps", platform::DynLibPath(ippsLIB)});
  if (ippcoreLIB) list.push_back({"ippcore", platform::DynLibPath(ippcoreLIB)});
  return list;
}

void LoadIPPSLibraries() {
  ippsLIB = LoadIPPLibrary({"libfundrel_ipps.so", "libipps.so"});
  ippcoreLIB = LoadIPPLibrary({"libfundrel_ippcore.so", "libippcore.so"});
}

void FreeIPPSLibraries() {
  platform::DynLibClose(ippcoreLIB);
  ippcoreLIB = nullptr;
  platform::DynLibClose(ippsLIB);
  ippsLIB = nullptr;
}

}  // namespace DVIPPSLoader

FUNDREL_UNIT(DVIPPSLoader, "", &DVIPPSLoader::LoadIPPSLibraries, &DVIPPSLoader::FreeIPPSLibraries);

}  // namespace fundrel
