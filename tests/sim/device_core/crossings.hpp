// What the device core's tests send across the bridge, computed the same way by the guest image
// (arm64, built with the device toolchain) and by the host: any difference is the bridge's.
#pragma once

#include "objc/uikit.hpp"

// Over 16 bytes and no float aggregate: passed by reference, returned through x8.
struct Big {
    long a, b, c;
};

inline long combine(long a, int b, BOOL flag, unsigned char c) { return flag ? a * 1000 + b * 10 + c : -1; }
inline CGRect rectAt(CGPoint origin, CGSize size, double scale) {
    return CGRect{{origin.x * scale, origin.y * scale}, {size.width * scale, size.height * scale}};
}
inline Big bigFrom(Big big, long a) { return Big{big.a + a, big.b * 2, big.c - a}; }
inline double half(float x) { return double(x) / 2; }

// What the guest got back from the host's methods of the same functions.
struct Answers {
    long combined;
    long refused; // combine with the flag off
    CGRect rect;
    Big big;
    double half;
};

constexpr long kCombineA = -70000000000;
constexpr int kCombineB = -3;
constexpr unsigned char kCombineC = 250;
constexpr CGPoint kOrigin{1.5, -2.25};
constexpr CGSize kSize{320, 0.125};
constexpr double kScale = 3;
constexpr Big kBig{1L << 40, -5, 77};
constexpr long kBigAddend = 9;
constexpr float kHalfOf = 7.25f;
