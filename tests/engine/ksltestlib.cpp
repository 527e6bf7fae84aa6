// Routines that test scripts call through RegisterRoutine, one per argument and result kind.
// Long and Real values travel as pointers; results that are pointers point into this library,
// which the engine unloads after every call.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
int64_t longResult;
double realResult;
char textResult[256];
} // namespace

extern "C" {

int32_t ksl_add(int32_t a, int32_t b) {
    return a + b;
}

uint32_t ksl_all_bits() {
    return 0xFFFFFFFFu;
}

int64_t* ksl_long_twice(const int64_t* value) {
    longResult = *value * 2;
    return &longResult;
}

double* ksl_real_half(const double* value) {
    realResult = *value / 2;
    return &realResult;
}

const char* ksl_greet(const char* name) {
    std::snprintf(textResult, sizeof textResult, "Hello, %s!", name);
    return textResult;
}

// Every kind in one call: Integer, Long, Real, String.
int32_t ksl_mix(int32_t i, const int64_t* l, const double* r, const char* s) {
    return i + int32_t(*l) + int32_t(*r) + int32_t(std::strlen(s));
}

// All 32 slots; past the first few, arguments travel on the stack.
int32_t ksl_weighted_sum32(int32_t a1, int32_t a2, int32_t a3, int32_t a4, int32_t a5, int32_t a6,
                           int32_t a7, int32_t a8, int32_t a9, int32_t a10, int32_t a11,
                           int32_t a12, int32_t a13, int32_t a14, int32_t a15, int32_t a16,
                           int32_t a17, int32_t a18, int32_t a19, int32_t a20, int32_t a21,
                           int32_t a22, int32_t a23, int32_t a24, int32_t a25, int32_t a26,
                           int32_t a27, int32_t a28, int32_t a29, int32_t a30, int32_t a31,
                           int32_t a32) {
    const int32_t values[] = {a1,  a2,  a3,  a4,  a5,  a6,  a7,  a8,  a9,  a10, a11,
                              a12, a13, a14, a15, a16, a17, a18, a19, a20, a21, a22,
                              a23, a24, a25, a26, a27, a28, a29, a30, a31, a32};
    int32_t sum = 0;
    for (int32_t k = 0; k < 32; ++k)
        sum += (k + 1) * values[k];
    return sum;
}

// A procedure leaves its trace where a script can see it: in the environment.
void ksl_set_env(const char* name, const char* value) {
    setenv(name, value, 1);
}
}
