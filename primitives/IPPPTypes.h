// The IPP 7.0 interface as the rest of the library sees it: scalar and complex types, status
// codes, enumerations, opaque FFT/FIR/IIR state types (all from platform/ipp/ippdefs.h), and one
// pointer-to-function type per bound primitive, TPtr_<name>, with the exact IPP prototype.
// Declarations only.
#pragma once

#include "platform/ipp/ippdefs.h"

namespace fundrel {

// TPtr_ippsAdd_64f is IppStatus (*)(const Ipp64f*, const Ipp64f*, Ipp64f*, int), and so on for
// every bound name. Results are IPP statuses: 0 success, negative error, positive warning.
#define IPP_FN(table, lib, name, params, args) using TPtr_##name = IppStatus(*) params;
#include "platform/ipp/ippnames.def"

// Argument and result types that the buffers hand to the primitives by pointer.
static_assert(sizeof(Ipp64fc) == 2 * sizeof(double), "Ipp64fc is two doubles, real first");
static_assert(sizeof(Ipp32fc) == 2 * sizeof(float), "Ipp32fc is two floats, real first");
static_assert(sizeof(IppStatus) == 4, "IppStatus is a 32-bit value");

}  // namespace fundrel
