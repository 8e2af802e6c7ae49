// libFuzzer target: any bytes as a Bezier path file (".bzr"), then the
// length of the first node's path.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/FuzzSupport.h"
#include "world/BezierMgr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::PrepareDataDirectory({"worlds"});
    fuzz::WriteInput("worlds/fuzz.bzr", data, size);
    g_BezierMgr.LoadFile("worlds\\fuzz.bzr");
    if (const BezierNode* n = g_BezierMgr.First()) g_BezierMgr.GetPathLength(n->szName);
    g_BezierMgr.FreeAll();
    return 0;
}
