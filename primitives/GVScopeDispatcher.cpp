#include "primitives/GVScopeDispatcher.h"

#include "host/Quenra.Modules.h"
#include "primitives/detail/IPPBinding.h"

namespace fundrel {
namespace GVScopeDispatcher {

#define FUNDREL_SELECT_basic(x)
#define FUNDREL_SELECT_scope(x) x
#define FUNDREL_SELECT_resize(x)
#define FUNDREL_SELECT_norm(x)

#define IPP_FN(table, lib, name, params, args) FUNDREL_SELECT_##table(FUNDREL_DEFINE_ENTRY(name))
#include "platform/ipp/ippnames.def"

void BindScopePrimitives() {
#define IPP_FN(table, lib, name, params, args) FUNDREL_SELECT_##table(FUNDREL_BIND_ENTRY(lib, name))
#include "platform/ipp/ippnames.def"
}

std::vector<TPrimitiveInfo> ScopePrimitives() {
  return {
#define IPP_FN(table, lib, name, params, args) FUNDREL_SELECT_##table(FUNDREL_LIST_ENTRY(table, name))
#include "platform/ipp/ippnames.def"
  };
}

}  // namespace GVScopeDispatcher

FUNDREL_UNIT(GVScopeDispatcher, "DVIPPSLoader", &GVScopeDispatcher::BindScopePrimitives, nullptr);

}  // namespace fundrel
