// The colour-conversion library. None of the image names the library binds is a colour
// conversion, so it exports nothing yet; it exists because the image loader opens ippi, ippcc
// and ippcv and counts the image primitives as available only when ippi and ippcc both load,
// as it does with IPP's own image libraries.
#include "platform/ipp/ipp_api.h"
