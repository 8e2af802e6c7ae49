#pragma once

#include <sstream>
#include <string>

// A w x h grid mesh as a text .x file for the loading benchmarks: x along
// u, z along v, normals up, one material.
inline std::string GridText(int w, int h) {
    std::ostringstream s;
    s << "xof 0303txt 0032\nMesh Grid {\n " << w * h << ";\n";
    for (int z = 0; z < h; ++z)
        for (int x = 0; x < w; ++x)
            s << " " << x << ";0;" << z << (z == h - 1 && x == w - 1 ? ";;\n" : ";,\n");
    const int faces = (w - 1) * (h - 1) * 2;
    s << " " << faces << ";\n";
    int n = 0;
    for (int z = 0; z + 1 < h; ++z)
        for (int x = 0; x + 1 < w; ++x) {
            const int a = z * w + x, b = a + 1, c = a + w, d = c + 1;
            s << " 3;" << a << "," << c << "," << d << ";,\n";
            s << " 3;" << a << "," << d << "," << b << (++n, n * 2 == faces ? ";;\n" : ";,\n");
        }
    s << " MeshNormals { 1; 0;1;0;; " << faces << ";\n";
    for (int f = 0; f < faces; ++f)
        s << " 3;0,0,0" << (f == faces - 1 ? ";;\n" : ";,\n");
    s << " }\n MeshTextureCoords { " << w * h << ";\n";
    for (int z = 0; z < h; ++z)
        for (int x = 0; x < w; ++x)
            s << " " << float(x) / float(w - 1) << ";" << float(z) / float(h - 1)
              << (z == h - 1 && x == w - 1 ? ";;\n" : ";,\n");
    s << " }\n MeshMaterialList { 1; 1; 0;; Material { 1;1;1;1;; 8; 0;0;0;; 0;0;0;; "
         "TextureFilename { \"textures\\\\floor.tga\"; } } }\n}\n";
    return s.str();
}
