// The scope table: 7 signal primitives bound for the packages built on this library (no code of
// the library itself calls them). Bound at start-up through the signal loader; null when the
// library lacks a name. Never written afterwards; read without locks.
//
// Unlike the other tables this namespace is not inline: its ippsConvert_64f32f is a variable of
// its own (bound to the same library entry as the main table's), so qualify the names:
//   FUNDREL_IPP(GVScopeDispatcher::ippsMove_8u)(pSrc, pDst, len);
#pragma once

#include <vector>

#include "primitives/GVTypes.h"
#include "primitives/IPPPTypes.h"

namespace fundrel {
namespace GVScopeDispatcher {

#define FUNDREL_DECLARE_basic(name)
#define FUNDREL_DECLARE_scope(name) extern FUNDREL_API TPtr_##name name;
#define FUNDREL_DECLARE_resize(name)
#define FUNDREL_DECLARE_norm(name)
#define IPP_FN(table, lib, name, params, args) FUNDREL_DECLARE_##table(name)
#include "platform/ipp/ippnames.def"
#undef FUNDREL_DECLARE_basic
#undef FUNDREL_DECLARE_scope
#undef FUNDREL_DECLARE_resize
#undef FUNDREL_DECLARE_norm

// Start-up action (public for tests and tools that re-load the libraries; same rules as the
// loaders' actions): binds every pointer of this table.
FUNDREL_API void BindScopePrimitives();

// Every pointer of this table with its current value, in list order.
FUNDREL_API std::vector<TPrimitiveInfo> ScopePrimitives();

}  // namespace GVScopeDispatcher
}  // namespace fundrel
