// libFuzzer target: any bytes as a binary animation file, through the reader
// and the sampler.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/AnimationInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    animfuzz::Feed(data, size);
    return 0;
}
