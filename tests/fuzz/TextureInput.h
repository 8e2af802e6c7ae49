// One input of the texture readers: the bytes as a picture file (DDS, TGA
// and the rest by content), as its header alone, with a reduced DDS load,
// and as a texture description and substitutes file in the current data
// directory. Shared by the libFuzzer target and the seeded-mutation test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/image/Image.h"
#include "platform/os/Os.h"
#include "render/Renderer.h"

namespace texfuzz {

inline void Feed(const uint8_t* data, size_t size) {
    image::Picture p;
    image::Info info;
    std::string error;
    image::Decode(data, size, &p, &error);
    image::ReadInfo(data, size, &info, &error);
    image::DecodeOptions reduced;
    reduced.skipTopLevels = 2;
    reduced.keepBlocks = true;
    image::Decode(data, size, &p, &error, reduced);
    for (const char* name : {"scripts\\textures.txt", "scripts\\texture_substitutes.txt"}) {
        if (std::FILE* f = os::OpenFile(name, "wb")) {
            std::fwrite(data, 1, size, f);
            std::fclose(f);
        }
    }
    ERenderer r;
    r.RegisterTexturePath(".\\textures\\a.tga");
    r.RegisterTexturePath(".\\textures\\a.dds");
    r.LoadTextureDescriptions("scripts\\textures.txt");
    r.LinkTextureTwins();
    r.LoadTextureSubstitutes();
    r.FindTextureSubstitute("a.tga");
}

} // namespace texfuzz
