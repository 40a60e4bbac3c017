// Shared-library loading: the one place that talks to the dynamic linker (dlopen and friends).
//
// Callers get plain handles (null = not loaded) and strings; nothing here throws or prints.
// Every function may be called from any thread; the dynamic linker serialises them itself.
#pragma once

#include <string>

namespace fundrel::platform {

using TDynLibHandle = void*;

// Why a load failed: the dynamic linker's text (dlerror) and an errno-style code, 0 when the
// linker left no reason behind.
struct TDynLibError {
  int Code = 0;
  std::string Message;
};

// Loads AFileName (a path, or a bare name searched the linker's usual way) with every symbol
// resolved now and kept private to the handle (RTLD_NOW | RTLD_LOCAL), so that libraries
// exporting the same names never see each other's entries. The floating-point environment is
// restored afterwards: a library built with fast-math may switch flush-to-zero on while loading.
// Returns null on failure and fills *AError when given.
TDynLibHandle DynLibOpen(const std::string& AFileName, TDynLibError* AError = nullptr);

// The address exported as AName by AHandle, null when AHandle is null or lacks the name.
void* DynLibSymbol(TDynLibHandle AHandle, const char* AName);

// Drops one reference taken by DynLibOpen; null is ignored.
void DynLibClose(TDynLibHandle AHandle);

// The absolute path the linker loaded AHandle from; empty for null.
std::string DynLibPath(TDynLibHandle AHandle);

// The path of the loaded file (executable or shared library) holding AAddress; empty if none.
std::string ModulePathOf(const void* AAddress);

// The directory part of APath without a trailing slash ("." for a bare name).
std::string DirectoryOf(const std::string& APath);

bool FileExists(const std::string& APath);

}  // namespace fundrel::platform
