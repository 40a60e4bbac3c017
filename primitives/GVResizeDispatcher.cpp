#include "primitives/GVResizeDispatcher.h"

#include "host/Quenra.Modules.h"
#include "primitives/detail/IPPBinding.h"

namespace fundrel {
inline namespace GVResizeDispatcher {

#define FUNDREL_SELECT_basic(x)
#define FUNDREL_SELECT_scope(x)
#define FUNDREL_SELECT_resize(x) x
#define FUNDREL_SELECT_norm(x)

#define IPP_FN(table, lib, name, params, args) FUNDREL_SELECT_##table(FUNDREL_DEFINE_ENTRY(name))
#include "platform/ipp/ippnames.def"

void BindResizePrimitives() {
#define IPP_FN(table, lib, name, params, args) FUNDREL_SELECT_##table(FUNDREL_BIND_ENTRY(lib, name))
#include "platform/ipp/ippnames.def"
}

std::vector<TPrimitiveInfo> ResizePrimitives() {
  return {
#define IPP_FN(table, lib, name, params, args) FUNDREL_SELECT_##table(FUNDREL_LIST_ENTRY(table, name))
#include "platform/ipp/ippnames.def"
  };
}

}  // namespace GVResizeDispatcher

FUNDREL_UNIT(GVResizeDispatcher, "DVIPPILoader", &GVResizeDispatcher::BindResizePrimitives, nullptr);

}  // namespace fundrel
