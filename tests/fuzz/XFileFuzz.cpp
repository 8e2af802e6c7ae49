// libFuzzer target: any bytes as a .x mesh file in any of its forms (text,
// binary, compressed, the optimised-mesh cache). Reading, merging, the
// first-load pipeline and the drawable mesh must finish every input without
// a crash or a read outside their data.
#include "tests/fuzz/MeshInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    meshfuzz::Feed(data, size);
    return 0;
}
