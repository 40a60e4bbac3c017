#include "platform/DynLib.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

#include <cerrno>
#include <cfenv>
#include <cstdlib>
#include <cstring>

namespace fundrel::platform {

namespace {
// glibc keeps errno out of dlopen's result but ends its message with strerror's text
// ("...: cannot open shared object file: No such file or directory"); read the code back.
int CodeFromMessage(const char* AMessage) {
  const char* colon = AMessage ? std::strrchr(AMessage, ':') : nullptr;
  if (!colon || colon[1] != ' ') return 0;
  for (int code = 1; code < 256; ++code)
    if (std::strcmp(colon + 2, strerrordesc_np(code) ? strerrordesc_np(code) : "") == 0) return code;
  return 0;
}
}  // namespace

TDynLibHandle DynLibOpen(const std::string& AFileName, TDynLibError* AError) {
  std::fenv_t savedEnv;
  std::fegetenv(&savedEnv);
  errno = 0;
  dlerror();
  void* handle = dlopen(AFileName.c_str(), RTLD_NOW | RTLD_LOCAL);
  int code = errno;
  const char* text = handle ? nullptr : dlerror();
  std::fesetenv(&savedEnv);
  if (!handle && AError) {
    AError->Code = code != 0 ? code : CodeFromMessage(text);
    AError->Message = text ? text : "";
  }
  return handle;
}

void* DynLibSymbol(TDynLibHandle AHandle, const char* AName) {
  if (!AHandle || !AName) return nullptr;
  return dlsym(AHandle, AName);
}

void DynLibClose(TDynLibHandle AHandle) {
  if (AHandle) dlclose(AHandle);
}

std::string DynLibPath(TDynLibHandle AHandle) {
  link_map* map = nullptr;
  if (!AHandle || dlinfo(AHandle, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return {};
  char* resolved = realpath(map->l_name, nullptr);
  if (!resolved) return map->l_name;
  std::string path(resolved);
  std::free(resolved);
  return path;
}

std::string ModulePathOf(const void* AAddress) {
  Dl_info info{};
  if (!dladdr(AAddress, &info) || !info.dli_fname) return {};
  return info.dli_fname;
}

std::string DirectoryOf(const std::string& APath) {
  size_t slash = APath.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return APath.substr(0, slash);
}

bool FileExists(const std::string& APath) {
  struct stat st;
  return stat(APath.c_str(), &st) == 0;
}

}  // namespace fundrel::platform
