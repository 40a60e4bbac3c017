// Loads the signal primitive library and its core library, and looks names up in the former.
//
// Where the libraries are found: the directory named by the environment variable
// FUNDREL_IPP_PATH when it is set and not empty, otherwise the directory libfundrel.so itself was
// loaded from (the build puts the primitive libraries beside it, in <build>/lib). In that
// directory each library is tried under our file name first (libfundrel_ipps.so,
// libfundrel_ippcore.so) and then under Intel's (libipps.so, libippcore.so), so pointing
// FUNDREL_IPP_PATH at an Intel IPP installation binds whatever of the names it still exports.
// A library that is missing or fails to load leaves its handle null, silently.
//
// Libraries are loaded with RTLD_LOCAL and libfundrel never links them: their exported C names
// therefore never meet the pointer variables of the dispatch tables, which live in namespace
// fundrel and carry C++ symbol names.
//
// Start-up loads (ipps, then ippcore) when libfundrel loads; shut-down frees them in reverse.
// The handles are written only then and read without locks afterwards.
#pragma once

#include <initializer_list>
#include <vector>

#include "primitives/GVTypes.h"

namespace fundrel {

// Name of the environment variable that overrides the directory of the primitive libraries.
inline constexpr const char* IPPPathVariable = "FUNDREL_IPP_PATH";

// The directory searched for every primitive library: FUNDREL_IPP_PATH, or the directory of
// libfundrel.so. Read anew on each call (the loaders read it once, at start-up).
FUNDREL_API String IPPLibraryDirectory();

// Loads the first of AFileNames present in IPPLibraryDirectory(); null when none loads.
// AFileNames lists alternatives for one library (our name, then Intel's).
FUNDREL_API TLibHandle LoadIPPLibrary(std::initializer_list<const char*> AFileNames);

namespace DVIPPSLoader {

// Null when not loaded.
extern FUNDREL_API TLibHandle ippsLIB;
extern FUNDREL_API TLibHandle ippcoreLIB;

// True when the signal library is loaded (the core library is not considered).
FUNDREL_API bool CheckIPPSDLLs();

// The entry AProcName exported by the signal library; null when it is not loaded or lacks the
// name. The core library is never searched.
FUNDREL_API void* GetIPPSProcAddress(const String& AProcName);

// The libraries loaded now, in load order.
FUNDREL_API std::vector<TLoadedLibrary> LoadedLibraries();

// The unit's start-up and shut-down actions. Public so that tests and tools can load again after
// changing FUNDREL_IPP_PATH: call them only while no other thread uses a primitive, and re-bind
// the dispatch tables afterwards.
FUNDREL_API void LoadIPPSLibraries();
FUNDREL_API void FreeIPPSLibraries();

}  // namespace DVIPPSLoader
}  // namespace fundrel
