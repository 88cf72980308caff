// The libFuzzer entry point of one target; VANTORIX_FUZZ_HARNESS names its harness
// function (see FuzzHarness.h). A fault the harness reports ends the run like a crash,
// so that libFuzzer keeps the input.
#include <cstdio>
#include <cstdlib>

#include "FuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    const std::string fault = vx::fuzz::VANTORIX_FUZZ_HARNESS(AData, ASize);
    if (!fault.empty()) {
        std::fprintf(stderr, "==FAULT== %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
