// The evaluation mode that the error bounds of the elementary functions
// assume: every operation on doubles rounded to nearest on its own, in
// binary64. A build that breaks this stops here rather than giving wrong
// results without a word. What no macro tells (contraction into fused
// multiply-adds) is switched off by the flags that
// cmake/FloatingPoint.cmake sets on every target compiling these files.
#pragma once

#include <cfloat>

#if defined(__FAST_MATH__)
#error "the math of calculator/math/ needs IEEE arithmetic: build without -ffast-math"
#endif

#if !defined(FLT_EVAL_METHOD) || FLT_EVAL_METHOD != 0
#error \
    "the math of calculator/math/ needs doubles evaluated in binary64 (FLT_EVAL_METHOD 0): build with SSE2, not the x87"
#endif
