#include "primitives/GVNormDispatcher.h"

#include "host/Quenra.Modules.h"
#include "primitives/detail/IPPBinding.h"

namespace fundrel {
inline namespace GVNormDispatcher {

#define FUNDREL_SELECT_basic(x)
#define FUNDREL_SELECT_scope(x)
#define FUNDREL_SELECT_resize(x)
#define FUNDREL_SELECT_norm(x) x

#define IPP_FN(table, lib, name, params, args) FUNDREL_SELECT_##table(FUNDREL_DEFINE_ENTRY(name))
#include "platform/ipp/ippnames.def"

void BindNormPrimitives() {
#define IPP_FN(table, lib, name, params, args) FUNDREL_SELECT_##table(FUNDREL_BIND_ENTRY(lib, name))
#include "platform/ipp/ippnames.def"
}

std::vector<TPrimitiveInfo> NormPrimitives() {
  return {
#define IPP_FN(table, lib, name, params, args) FUNDREL_SELECT_##table(FUNDREL_LIST_ENTRY(table, name))
#include "platform/ipp/ippnames.def"
  };
}

}  // namespace GVNormDispatcher

FUNDREL_UNIT(GVNormDispatcher, "DVIPPSLoader", &GVNormDispatcher::BindNormPrimitives, nullptr);

}  // namespace fundrel
