/* Prototypes of every primitive the libfundrel_ipp* libraries export, generated from ippnames.def.

   Every kernel source includes this header before defining its names, so a definition whose
   parameter types differ from the IPP 7.0 prototype fails to compile ("conflicting declaration
   of C function") instead of binding a mismatched pointer at run time.

   The own kernels of ippnames.def are not declared here: libfundrel serves them itself and no
   primitive library may export them.

   Besides the IPP names, a primitive library may export these helpers (not IPP; looked up by
   name, so a library without them, real IPP included, just leaves them unanswered):

     const char* fundrel_ipps_target_name(void)      libfundrel_ipps
     const char* fundrel_ippcore_target_name(void)   libfundrel_ippcore
       The name of the SIMD target (hwy::TargetName) that the library's run-time dispatch
       chose on this CPU, e.g. "AVX2". A static string; callable from any thread. */
#ifndef FUNDREL_IPP_API_H
#define FUNDREL_IPP_API_H

#include "platform/ipp/ippdefs.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ippsConvert_64f32f appears twice in the list; repeating an identical declaration is legal. */
#define IPP_FN(table, lib, name, params, args) IPPAPI_EXPORT IppStatus name params;
#include "platform/ipp/ippnames.def"

IPPAPI_EXPORT const char* fundrel_ipps_target_name(void);
IPPAPI_EXPORT const char* fundrel_ippcore_target_name(void);

#ifdef __cplusplus
}
#endif

#endif
