#include "platform/ModuleInfo.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/auxv.h>

namespace fundrel::platform {

void* ModuleOfAddress(const void* AAddress) {
  Dl_info info{};
  if (!AAddress || dladdr(AAddress, &info) == 0) return nullptr;
  return info.dli_fbase;
}

std::string ModuleFileName(void* AModule) {
  Dl_info info{};
  if (!AModule || dladdr(AModule, &info) == 0 || !info.dli_fname) return std::string();
  return info.dli_fname;
}

void* MainModule() {
  // The executable's program headers lie inside its first mapping.
  return ModuleOfAddress(reinterpret_cast<const void*>(getauxval(AT_PHDR)));
}

void* OpenLibrary(const std::string& APath, std::string& AError) {
  void* handle = dlopen(APath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* text = dlerror();
    AError = text ? text : "unknown error";
  }
  return handle;
}

void* ModuleOfLibrary(void* ALibrary) {
  link_map* map = nullptr;
  if (!ALibrary || dlinfo(ALibrary, RTLD_DI_LINKMAP, &map) != 0 || !map) return nullptr;
  // The dynamic section lies inside the module, so dladdr answers with the same base as for
  // any other address in it.
  return ModuleOfAddress(map->l_ld);
}

void* LibrarySymbol(void* ALibrary, const char* AName) { return ALibrary ? dlsym(ALibrary, AName) : nullptr; }

bool CloseLibrary(void* ALibrary, std::string& AError) {
  if (dlclose(ALibrary) == 0) return true;
  const char* text = dlerror();
  AError = text ? text : "unknown error";
  return false;
}

bool LibraryIsLoaded(const std::string& APath) {
  void* handle = dlopen(APath.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!handle) return false;
  dlclose(handle);
  return true;
}

}  // namespace fundrel::platform
