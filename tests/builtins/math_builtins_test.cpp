// Math, random, interpolation, key-frame and rectangle built-ins called from
// scripts: argument and result cells, float bit patterns, script-memory
// records and the failure values for bad pointers.
#include "builtins/general_builtins_test_util.h"

namespace zelt::hosttest {
namespace {

// fs(x) records a float as "%f" through ftoa; rc(r) records a rectangle.
const char* kGlobals =
    "int b; int r; int i; int k; int t; int *ra; int *rb; int *rd; float f; float g;\n"
    "int fs(float x) { ftoa(b, x); outs(b); return 0; }\n"
    "int rc(int *p) { sprintf(b, \"%d,%d,%d,%d\", p[0], p[1], p[2], p[3]); outs(b); return 0; }\n";
const char* kPrelude = "b = malloc(64); ra = malloc(16); rb = malloc(16); rd = malloc(16); t = malloc(64);";
const char* kEpilogue = "free(b); free(ra); free(rb); free(rd); free(t);";

class MathBuiltins : public ScriptCases {};

TEST_F(MathBuiltins, IntegersAndTables) {
  run_cases(kGlobals, kPrelude, kEpilogue,
            {
                {"abs", "out(abs(-5) * 100 + abs(7));", "507"},
                {"abs of the most negative value wraps", "out(abs(0x80000000));", "-2147483648"},
                {"sgn", "out(sgn(-9) * 100 + sgn(0) * 10 + sgn(3));", "-99"},
                {"tsin of a right angle", "out(tsin(512));", "65536"},
                {"tsin wraps negative angles", "out(tsin(-512));", "-65536"},
                {"tsin of a full turn", "out(tsin(2048));", "0"},
                {"tcos", "out(tcos(0));", "65536"},
                {"tatan of the five directions",
                 "sprintf(b, \"%d %d %d %d %d\", tatan(1, 0), tatan(0, 1), tatan(-1, 0), tatan(0, -1), tatan(5, 5)); outs(b);",
                 "0 512 1024 1536 256"},
                {"tatan of the zero vector", "out(tatan(0, 0));", "0"},
            });
}

TEST_F(MathBuiltins, FloatsAndRandomNumbers) {
  run_cases(kGlobals, kPrelude, kEpilogue,
            {
                {"sqrt rounds to single precision", "fs(sqrt(2.0));", "1.414214"},
                {"pow", "fs(pow(2.0, 10.0));", "1024.000000"},
                {"fabs, floor, ceil", "f = fabs(-1.5) + floor(-1.5) * 10 + ceil(1.2) * 100; fs(f);", "181.500000"},
                {"log and exp", "fs(log(exp(3.0)));", "3.000000"},
                {"sin, cos, tan", "fs(sin(0.0) + cos(0.0) + tan(0.0));", "1.000000"},
                {"asin, acos, atan", "fs(asin(1.0) + acos(1.0) + atan(0.0));", "1.570796"},
                {"sqrt of a negative number", "fs(sqrt(-1.0));", "-nan"},
                {"srand(1) repeats its sequence",
                 "srand(1); r = rand(); i = rand(); srand(1); k = (rand() == r) * 10; if (rand() == i) k++; out(k + (r != i) * 100);",
                 "111"},
                {"rand is 31 bits", "k = 0; for (i = 0; i < 1000; i++) { if (rand() < 0) k++; } out(k);", "0"},
                {"random lies in [0, 1]",
                 "k = 0; for (i = 0; i < 1000; i++) { f = random(); if (f < 0.0 || f > 1.0) k++; } out(k);", "0"},
                {"srand returns 1, also for the clock seed", "out(srand(0) + srand(7));", "2"},
                {"linear", "fs(linear(2.0, 4.0, 0.25));", "2.500000"},
                {"bezier", "fs(bezier(0.0, 1.0, 2.0, 0.5));", "1.000000"},
                {"neville passes through its middle value", "fs(neville(3.0, 7.0, 9.0, 0.5));", "7.000000"},
            });
}

// A track of three keys (0, 0), (1, 1), (2, 4) at t.
const char* kTrack = "kf_setkey(t, 0.0, 0.0); kf_setkey(t + 16, 1.0, 1.0); kf_setkey(t + 32, 2.0, 4.0); kf_calc(t, 3);";

TEST_F(MathBuiltins, KeyFrames) {
  run_cases(kGlobals, std::string(kPrelude) + kTrack, kEpilogue,
            {
                {"kf_setkey returns 1", "out(kf_setkey(t + 48, 3.0, 9.0));", "1"},
                {"kf_getindex", "out(kf_getindex(t, 3, 1.5) * 10 + kf_getindex(t, 3, 0.0));", "10"},
                {"kf_getindex at the last key's time", "out(kf_getindex(t, 3, 2.0));", "-1"},
                {"linear between keys", "fs(kf_getkey(t, 3, 0.5, 1));", "0.500000"},
                {"the Newton polynomial through all keys", "fs(kf_getkey(t, 3, 1.5, 4));", "2.250000"},
                {"before the first key", "fs(kf_getkey(t, 3, -3.0, 4));", "0.000000"},
                {"after the last key", "fs(kf_getkey(t, 3, 8.0, 1));", "4.000000"},
                {"an unknown type", "fs(kf_getkey(t, 3, 0.5, 77));", "0.000000"},
                {"a null track", "fs(kf_getkey(0, 3, 0.5, 1)); ", "0.000000"},
                {"a count beyond usable memory", "out(kf_calc(t, 0x7FFFFFFF) + kf_getindex(t, 0x7FFFFFFF, 0.5) * 10);", "-10"},
                {"kf_setkey to a wild address", "out(kf_setkey(16, 1.0, 1.0));", "0"},
            });
}

TEST_F(MathBuiltins, Rectangles) {
  run_cases(kGlobals, kPrelude, kEpilogue,
            {
                {"rc_set", "rc_set(ra, 1, 2, 3, 4); rc(ra);", "1,2,3,4"},
                {"rc_setwh", "rc_setwh(ra, 10, 20, 5, 6); rc(ra);", "10,20,15,26"},
                {"rc_empty", "rc_set(ra, 1, 2, 3, 4); rc_empty(ra); rc(ra);", "0,0,0,0"},
                {"rc_copy", "rc_set(rb, 1, 2, 3, 4); rc_copy(ra, rb); rc(ra);", "1,2,3,4"},
                {"rc_move", "rc_set(ra, 1, 2, 3, 4); rc_move(ra, 10, -1); rc(ra);", "11,1,13,3"},
                {"rc_inflate", "rc_set(ra, 10, 10, 20, 20); rc_inflate(ra, 2, -3); rc(ra);", "8,13,22,17"},
                {"rc_intersect", "rc_set(ra, 0, 0, 10, 10); rc_set(rb, 5, 5, 20, 20); out(rc_intersect(rd, ra, rb) != 0); ", "1"},
                {"rc_intersect result", "rc(rd);", "5,5,10,10"},
                {"rc_intersect of disjoint rectangles clears the destination",
                 "rc_set(rb, 10, 0, 20, 10); r = rc_intersect(rd, ra, rb); out(r * 10 + rd[2]);", "0"},
                {"rc_union ignores an empty rectangle",
                 "rc_set(ra, 1, 1, 5, 5); rc_set(rb, 100, 100, 100, 200); out(rc_union(rd, ra, rb) != 0);", "1"},
                {"rc_union result", "rc(rd);", "1,1,5,5"},
                {"rc_union of two empty rectangles", "rc_empty(ra); r = rc_union(rd, ra, rb); out(r * 10 + rd[3]);", "0"},
                {"rc_union of two rectangles", "rc_set(ra, 0, 0, 1, 1); rc_set(rb, 5, 6, 7, 8); rc_union(rd, ra, rb); rc(rd);", "0,0,7,8"},
                {"rc_in: left and top inside, right and bottom outside",
                 "rc_set(ra, 0, 0, 10, 10); out(rc_in(ra, 0, 0) * 100 + rc_in(ra, 9, 9) * 10 + rc_in(ra, 10, 5));", "110"},
                {"rc_check", "rc_set(ra, 0, 0, 0, 10); out(rc_check(ra) * 100 + rc_check(0) * 10 + rc_check(rd));", "110"},
                {"null and wild rectangles",
                 "out(rc_set(0, 1, 2, 3, 4) + rc_copy(ra, 0) + rc_copy(16, ra) + rc_move(0, 1, 1) + rc_intersect(rd, ra, 0)"
                 " + rc_union(0, ra, rb) + rc_inflate(16, 1, 1) + rc_in(0, 0, 0) + rc_empty(0));",
                 "0"},
            });
}

}  // namespace
}  // namespace zelt::hosttest
