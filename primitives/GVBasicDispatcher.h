// The main dispatch table and the library's own kernels.
//
// Table: one process-wide pointer per primitive, named exactly as the IPP function and typed
// TPtr_<name> (IPPPTypes.h): 174 signal primitives looked up in the signal library and 12 image
// ones (ippiCopy_8u_C4R ... ippsSVD_64f_D2L) looked up in the image libraries. A pointer holds
// the library's entry or null when no loaded library exports the name; nothing else decides.
// Start-up sets the environment variable KMP_AFFINITY to "disabled" (threaded IPP builds pin
// their OpenMP threads otherwise) and then binds; the pointers are never written afterwards and
// are read without locks from any thread.
//
// Call a pointer through FUNDREL_IPP (GVTypes.h), which raises EGVException naming the primitive
// instead of calling through null:
//   FUNDREL_IPP(ippsAdd_64f)(pSrc1, pSrc2, pDst, len);
//
// Own kernels: nine IPP-style functions served by this library itself, never looked up and never
// replaced; call them directly. See the contract of each below.
//
// The names live in the inline namespace fundrel::GVBasicDispatcher, so code in namespace
// fundrel writes them unqualified. They are C++ symbols: a primitive library loaded into the
// same process exports the same names as C symbols, and the two never collide.
#pragma once

#include <vector>

#include "primitives/GVTypes.h"
#include "primitives/IPPPTypes.h"

namespace fundrel {
inline namespace GVBasicDispatcher {

#define FUNDREL_DECLARE_basic(name) extern FUNDREL_API TPtr_##name name;
#define FUNDREL_DECLARE_scope(name)
#define FUNDREL_DECLARE_resize(name)
#define FUNDREL_DECLARE_norm(name)
#define IPP_FN(table, lib, name, params, args) FUNDREL_DECLARE_##table(name)
#include "platform/ipp/ippnames.def"
#undef FUNDREL_DECLARE_basic
#undef FUNDREL_DECLARE_scope
#undef FUNDREL_DECLARE_resize
#undef FUNDREL_DECLARE_norm

// Own kernels. Lengths of 0 or less do nothing; every one is reentrant and keeps no state.
//
// ippsDivC_32s_ISfs(val, pSrcDst, len, scaleFactor), ippsDivC_32s_Sfs(pSrc, val, pDst, len,
// scaleFactor): integer quotient x / val truncated toward zero (-7 / 3 = -2), unlike IPP's
// rounding division; scaleFactor is ignored. val == 0 raises EDivByZero, INT32_MIN / -1 raises
// EIntOverflow (elements before the offending one are already written). Return 0.
//
// ippsConvert_64s64f: nearest double of each signed value. ippsConvert_64u64f: each value read
// as signed, converted, plus 2^64 when that reading is negative (2^64 - 1 gives 2^64). Return 0.
//
// ippsWinKaiser_64f_I, ippsWinKaiser_64f, ippsWinKaiser_64fc_I: multiply element n of a length-L
// vector by w(n) = I0(alpha sqrt(h^2 - (n - h)^2)) / I0(alpha h), h = (L - 1) / 2, with I0 the
// order-0 modified Bessel function by its power series cut after nine terms; the complex form
// scales both parts. L = 1 gives the weight 1. Return 0.
//
// _ippMalloc(size): a new zero-filled block of size bytes, aligned to 64 bytes; null for a size
// of 0 or less; raises EOutOfMemory when memory is exhausted. Release it with _ippFree (null is
// ignored).
#define IPP_OWN_FN(result, name, params, args) FUNDREL_API result name params;
#include "platform/ipp/ippnames.def"

// Start-up action (public for tests and tools that re-load the libraries; same rules as the
// loaders' actions): sets KMP_AFFINITY, then binds every pointer of this table.
FUNDREL_API void BindBasicPrimitives();

// Every pointer of this table with its current value, in list order.
FUNDREL_API std::vector<TPrimitiveInfo> BasicPrimitives();

}  // namespace GVBasicDispatcher
}  // namespace fundrel
