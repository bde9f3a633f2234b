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

// Three arguments past the eight registers, which Apple's arm64 packs on the stack by their own
// size and alignment (char at sp, short at sp+2, int at sp+4); each weighs differently.
inline long stackSum(long a0, long a1, long a2, long a3, long a4, long a5, long a6, long a7, char c, short s, int i) {
    return a0 + 2 * a1 + 3 * a2 + 4 * a3 + 5 * a4 + 6 * a5 + 7 * a6 + 8 * a7 + 1000 * c + 100000 * long(s) +
           10000000 * long(i);
}
constexpr char kStackChar = -7;
constexpr short kStackShort = 300;
constexpr int kStackInt = -40000;
