// libFuzzer target: any bytes as a text .x mesh file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/mesh/XFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    mesh::XFile file;
    std::string error;
    if (!mesh::ParseXFile(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.x", &file,
                          &error))
        return 0;
    for (const mesh::XMesh& m : file.meshes)
        mesh::FrameWorldMatrix(file, m.frame);
    return 0;
}
