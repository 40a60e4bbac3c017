// Compiler and export settings shared by every Fundrel header.
#pragma once

#if defined(__GNUC__)
#define FUNDREL_API __attribute__((visibility("default")))
#define FUNDREL_LIKELY(x) __builtin_expect(!!(x), 1)
#define FUNDREL_UNLIKELY(x) __builtin_expect(!!(x), 0)
#else
#define FUNDREL_API
#define FUNDREL_LIKELY(x) (x)
#define FUNDREL_UNLIKELY(x) (x)
#endif

#include <string>

namespace fundrel {
// Text is UTF-8 in std::string throughout the library; UTF-16 appears only where a format requires it.
using String = std::string;
}  // namespace fundrel
