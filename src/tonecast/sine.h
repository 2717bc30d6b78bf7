#pragma once
// The converter's own double-precision sine.
//
// The resampler's output bytes depend on the last bit of one sine per output sample, and the C
// library's sin differs in that bit between systems. This one is built from IEEE-754 basic
// operations alone (+, -, *, / in double precision, round to nearest, no fused multiply-add) and
// integer bit handling, so it gives the same bits on every platform and in every build. Its
// error is below 1 ulp for every finite argument; NaN and infinities give NaN.

double sine(double x);
