// The norm table: ippsNorm_L2_64fc64f, which the window calculator uses to turn a
// frequency-domain window into a gain figure. Bound at start-up through the signal loader; null
// when missing. Never written afterwards; read without locks. Call through FUNDREL_IPP
// (GVTypes.h).
#pragma once

#include <vector>

#include "primitives/GVTypes.h"
#include "primitives/IPPPTypes.h"

namespace fundrel {
inline namespace GVNormDispatcher {

#define FUNDREL_DECLARE_basic(name)
#define FUNDREL_DECLARE_scope(name)
#define FUNDREL_DECLARE_resize(name)
#define FUNDREL_DECLARE_norm(name) extern FUNDREL_API TPtr_##name name;
#define IPP_FN(table, lib, name, params, args) FUNDREL_DECLARE_##table(name)
#include "platform/ipp/ippnames.def"
#undef FUNDREL_DECLARE_basic
#undef FUNDREL_DECLARE_scope
#undef FUNDREL_DECLARE_resize
#undef FUNDREL_DECLARE_norm

// Start-up action (public for tests and tools that re-load the libraries; same rules as the
// loaders' actions): binds every pointer of this table.
FUNDREL_API void BindNormPrimitives();

// Every pointer of this table with its current value, in list order.
FUNDREL_API std::vector<TPrimitiveInfo> NormPrimitives();

}  // namespace GVNormDispatcher
}  // namespace fundrel
