// The entry point every fuzz target defines. Built with libFuzzer it is
// driven by the fuzzer; built without it, by the regression runner, which
// feeds it the stored inputs under tests/fuzz.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

// A broken property is a finding: abort, so that the fuzzer keeps the input.
#define FUZZ_REQUIRE(condition)                                                                   \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                         \
        }                                                                                         \
    } while (false)
