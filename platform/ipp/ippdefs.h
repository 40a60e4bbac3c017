/* Types, status codes and enumerations of the IPP 7.0 interface as the primitive libraries and
   their callers see them. C-compatible; no behaviour. */
#ifndef FUNDREL_IPPDEFS_H
#define FUNDREL_IPPDEFS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned char Ipp8u;
typedef signed char Ipp8s;
typedef unsigned short Ipp16u;
typedef signed short Ipp16s;
typedef unsigned int Ipp32u;
typedef signed int Ipp32s;
typedef float Ipp32f;
typedef int64_t Ipp64s;
typedef uint64_t Ipp64u;
typedef double Ipp64f;

typedef struct {
  Ipp32f re;
  Ipp32f im;
} Ipp32fc;
typedef struct {
  Ipp64f re;
  Ipp64f im;
} Ipp64fc;

typedef struct {
  int width;
  int height;
} IppiSize;
typedef struct {
  int x;
  int y;
  int width;
  int height;
} IppiRect;

typedef enum {
  ippStsResizeNoOperationErr = -201,
  ippStsLUTNofLevelsErr = -106,
  ippStsSVDCnvgErr = -65,
  ippStsNumChannelsErr = -53,
  ippStsDivisorErr = -51,
  ippStsAlphaTypeErr = -50,
  ippStsHugeWinErr = -39,
  ippStsJaehneErr = -38,
  ippStsShiftErr = -32,
  ippStsFIRLenErr = -26,
  ippStsIIROrderErr = -25,
  ippStsResizeFactorErr = -23,
  ippStsInterpolationErr = -22,
  ippStsMirrorFlipErr = -21,
  ippStsThreshNegLevelErr = -19,
  ippStsContextMatchErr = -17,
  ippStsFftFlagErr = -16,
  ippStsFftOrderErr = -15,
  ippStsStepErr = -14,
  ippStsDataTypeErr = -12,
  ippStsDivByZeroErr = -10,
  ippStsMemAllocErr = -9,
  ippStsNullPtrErr = -8,
  ippStsRangeErr = -7,
  ippStsSizeErr = -6,
  ippStsBadArgErr = -5,
  ippStsNoErr = 0,
  ippStsNoOperation = 1,
  ippStsSqrtNegArg = 3,
  ippStsDivByZero = 6,
  ippStsLnZeroArg = 7,
  ippStsLnNegArg = 8,
  ippStsOverflow = 12,
  ippStsZeroOcc = 16,
  ippStsUnderflow = 17,
  ippStsSingularity = 18,
  ippStsDomain = 19,
  ippStsWrongIntersectROI = 29
} IppStatus;

typedef enum { ippCmpLess = 0, ippCmpLessEq = 1, ippCmpEq = 2, ippCmpGreaterEq = 3, ippCmpGreater = 4 } IppCmpOp;
typedef enum { ippAlgHintNone = 0, ippAlgHintFast = 1, ippAlgHintAccurate = 2 } IppHintAlgorithm;
typedef enum { ippRndZero = 0, ippRndNear = 1, ippRndFinancial = 2 } IppRoundMode;
typedef enum { ippAxsHorizontal = 0, ippAxsVertical = 1, ippAxsBoth = 2 } IppiAxis;
typedef enum {
  ippAlphaOver = 0,
  ippAlphaIn = 1,
  ippAlphaOut = 2,
  ippAlphaATop = 3,
  ippAlphaXor = 4,
  ippAlphaPlus = 5,
  ippAlphaOverPremul = 6,
  ippAlphaInPremul = 7,
  ippAlphaOutPremul = 8,
  ippAlphaATopPremul = 9,
  ippAlphaXorPremul = 10,
  ippAlphaPlusPremul = 11
} IppiAlphaType;

#define IPP_FFT_DIV_FWD_BY_N 1
#define IPP_FFT_DIV_INV_BY_N 2
#define IPP_FFT_DIV_BY_SQRTN 4
#define IPP_FFT_NODIV_BY_ANY 8

#define IPPI_INTER_NN 1
#define IPPI_INTER_LINEAR 2
#define IPPI_INTER_CUBIC 4
#define IPPI_INTER_SUPER 8
#define IPPI_INTER_LANCZOS 16

#define IPP_MAX_8U 255
#define IPP_MAX_32S 2147483647
#define IPP_MIN_32S (-2147483647 - 1)
#define IPP_PI 3.14159265358979323846

/* Marks the exported primitives of the primitive libraries. */
#if defined(__GNUC__)
#define IPPAPI_EXPORT __attribute__((visibility("default")))
#else
#define IPPAPI_EXPORT
#endif

/* Opaque descriptors: defined by the primitive library that makes them. */
typedef struct IppsFFTSpec_R_64f IppsFFTSpec_R_64f;
typedef struct IppsFFTSpec_C_64fc IppsFFTSpec_C_64fc;
typedef struct IppsFIRState_64f IppsFIRState_64f;
typedef struct IppsIIRState_64f IppsIIRState_64f;

#ifdef __cplusplus
}
#endif

#endif
