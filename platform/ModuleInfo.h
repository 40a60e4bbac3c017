// Module identity and run-time loading of shared objects: the one place that calls the dynamic
// loader (dladdr, dlopen, dlsym, dlclose, dlinfo). Uses nothing of the library.
//
// A module is the executable or one loaded shared object; it is identified by the address at
// which it is mapped (its base), which stays valid as an identity while the module is loaded.
// All functions are safe from any thread.
#pragma once

#include <string>

namespace fundrel::platform {

// The base of the module that contains AAddress (code or data), or null when no loaded module
// contains it (heap and stack addresses, unmapped memory).
void* ModuleOfAddress(const void* AAddress);
// The path the module was loaded from ("" when unknown; the executable may answer its argv[0]).
std::string ModuleFileName(void* AModule);
// The base of the executable.
void* MainModule();

// A shared object opened with RTLD_NOW | RTLD_LOCAL. Null on failure, with the loader's text
// in AError.
void* OpenLibrary(const std::string& APath, std::string& AError);
// The base of an opened library (for comparison with ModuleOfAddress).
void* ModuleOfLibrary(void* ALibrary);
void* LibrarySymbol(void* ALibrary, const char* AName);
// Drops one reference; the object is unmapped when the last goes (its static destructors run
// inside this call). Returns false with the loader's text on failure.
bool CloseLibrary(void* ALibrary, std::string& AError);
// True while the shared object at APath is mapped (checked without loading it).
bool LibraryIsLoaded(const std::string& APath);

}  // namespace fundrel::platform
