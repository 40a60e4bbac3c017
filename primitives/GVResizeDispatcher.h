// The resize table: the 4 ippiResizeCenter_* primitives, bound for the packages built on this
// library, looked up in the image libraries (ippi, ippcc, ippcv) in the order C3R, C1R, 16u C1R,
// C4R. Null when no image library exports a name. Never written after start-up; read without
// locks. Call through FUNDREL_IPP (GVTypes.h).
#pragma once

#include <vector>

#include "primitives/GVTypes.h"
#include "primitives/IPPPTypes.h"

namespace fundrel {
inline namespace GVResizeDispatcher {

#define FUNDREL_DECLARE_basic(name)
#define FUNDREL_DECLARE_scope(name)
#define FUNDREL_DECLARE_resize(name) extern FUNDREL_API TPtr_##name name;
#define FUNDREL_DECLARE_norm(name)
#define IPP_FN(table, lib, name, params, args) FUNDREL_DECLARE_##table(name)
#include "platform/ipp/ippnames.def"
#undef FUNDREL_DECLARE_basic
#undef FUNDREL_DECLARE_scope
#undef FUNDREL_DECLARE_resize
#undef FUNDREL_DECLARE_norm

// Start-up action (public for tests and tools that re-load the libraries; same rules as the
// loaders' actions): binds every pointer of this table.
FUNDREL_API void BindResizePrimitives();

// Every pointer of this table with its current value, in list order.
FUNDREL_API std::vector<TPrimitiveInfo> ResizePrimitives();

}  // namespace GVResizeDispatcher
}  // namespace fundrel
