// Loads the image primitive libraries (ippi, ippcc, ippcv) and looks names up in them, in that
// order. The libraries are found as the signal loader finds its own (see DVIPPSLoader.h:
// FUNDREL_IPP_PATH or the directory of libfundrel.so; libfundrel_ippi.so before libippi.so, and
// so on); a missing one leaves its handle null, silently.
//
// Start-up loads ippi, ippcc, ippcv after the signal libraries; shut-down frees ippcv, ippcc,
// ippi. The handles are written only then and read without locks afterwards.
#pragma once

#include <vector>

#include "primitives/GVTypes.h"

namespace fundrel::DVIPPILoader {

// True when ippi and ippcc are both loaded; ippcv is not considered.
FUNDREL_API bool CheckIPPSDLLs();

// The first non-null entry named AProcName in ippi, ippcc, ippcv (libraries not loaded are
// skipped); null when none exports it.
FUNDREL_API void* GetIPPIProcAddress(const String& AProcName);

// The libraries loaded now, in search order.
FUNDREL_API std::vector<TLoadedLibrary> LoadedLibraries();

// The unit's start-up and shut-down actions; same rules as DVIPPSLoader's.
FUNDREL_API void LoadIPPILibraries();
FUNDREL_API void FreeIPPILibraries();

}  // namespace fundrel::DVIPPILoader
