// Filter kernels behind ippsFIR_64f and ippsIIR_64f. Internal to libfundrel_ipps.
#ifndef FUNDREL_IPP_IPPS_DSP_FILTER_H
#define FUNDREL_IPP_IPPS_DSP_FILTER_H

namespace fundrel::ipp::dsp {

// y[n] = sum over j = 0..tapsLen-1 of reversedTaps[j] * x[n + j], n = 0..count-1: the FIR
// output for input x[n + tapsLen - 1] when x holds tapsLen - 1 past samples first.
// y must not overlap x.
void FirBlock(const double* reversedTaps, int tapsLen, const double* x, double* y, int count);

// Transposed direct form II of the given order (order + 1 numerator taps b, order
// denominator taps a1..a_order, a0 being 1); d holds order partial sums, updated.
// src may equal dst.
void IirDirect(const double* b, const double* a, int order, double* d, const double* src,
               double* dst, int len);

// numBq biquads in cascade; taps are b0 b1 b2 a1 a2 per section (a0 being 1), d two partial
// sums per section, updated. src may equal dst.
void IirBiquads(const double* taps, int numBq, double* d, const double* src, double* dst,
                int len);

}  // namespace fundrel::ipp::dsp

#endif
