#include "platform/mesh/XFile.h"

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "platform/math/Math.h"
#include "platform/os/Os.h"

namespace mesh {
namespace {

enum class Tok { End, Name, Number, String, Guid, LBrace, RBrace, Separator, Bad };

struct Token {
    Tok kind = Tok::End;
    std::string_view text;
    double number = 0;
    int line = 1;
};

constexpr int kMaxFrameDepth = 64;
// The largest mesh file read into memory.
constexpr long long kMaxFileBytes = 256LL << 20;
// The longest path a texture may have; every material holds a copy.
constexpr size_t kMaxTextureName = 259;

bool IsNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsNameChar(char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}
bool IsNumberStart(char c) {
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.';
}

class Parser {
  public:
    Parser(std::string_view text, std::string_view fileName) : s_(text), file_(fileName) {}

    bool Run(XFile* out, std::string* error) {
        bool ok = ReadHeader() && ParseTopLevel(out);
        if (!ok && error) *error = error_;
        return ok;
    }

  private:
    // ---- Lexer ---------------------------------------------------------------
    void Advance() {
        SkipBlanks();
        tok_ = Token{};
        tok_.line = line_;
        if (pos_ >= s_.size()) return;
        size_t start = pos_;
        char c = s_[pos_];
        if (c == '{' || c == '}') {
            tok_.kind = c == '{' ? Tok::LBrace : Tok::RBrace;
            ++pos_;
        } else if (c == ',' || c == ';') {
            tok_.kind = Tok::Separator;
            ++pos_;
        } else if (c == '"') {
            size_t end = s_.find('"', pos_ + 1);
            if (end == std::string_view::npos) {
                tok_.kind = Tok::Bad;
                tok_.text = "unterminated string";
                pos_ = s_.size();
                return;
            }
            for (size_t i = pos_; i < end; ++i)
                if (s_[i] == '\n') ++line_;
            tok_.kind = Tok::String;
            tok_.text = s_.substr(pos_ + 1, end - pos_ - 1);
            pos_ = end + 1;
            return;
        } else if (c == '<') {
            size_t end = s_.find('>', pos_);
            if (end == std::string_view::npos) {
                tok_.kind = Tok::Bad;
                tok_.text = "unterminated <guid>";
                pos_ = s_.size();
                return;
            }
            tok_.kind = Tok::Guid;
            pos_ = end + 1;
        } else if (IsNameStart(c)) {
            while (pos_ < s_.size() && IsNameChar(s_[pos_]))
                ++pos_;
            tok_.kind = Tok::Name;
        } else if (IsNumberStart(c)) {
            while (pos_ < s_.size() && (IsNumberStart(s_[pos_]) || s_[pos_] == 'e' || s_[pos_] == 'E'))
                ++pos_;
            std::string_view t = s_.substr(start, pos_ - start);
            const char* first = t.data() + (t[0] == '+' ? 1 : 0);
            auto r = std::from_chars(first, t.data() + t.size(), tok_.number);
            tok_.kind = (r.ec == std::errc() && r.ptr == t.data() + t.size() && std::isfinite(tok_.number))
                            ? Tok::Number
                            : Tok::Bad;
        } else {
            tok_.kind = Tok::Bad;
            ++pos_;
        }
        tok_.text = s_.substr(start, pos_ - start);
    }

    void SkipBlanks() {
        while (pos_ < s_.size()) {
            char c = s_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                ++pos_;
            } else if (c == '#' || (c == '/' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '/')) {
                while (pos_ < s_.size() && s_[pos_] != '\n')
                    ++pos_;
            } else {
                break;
            }
        }
    }

    void SkipSeparators() {
        while (tok_.kind == Tok::Separator)
            Advance();
    }

    size_t BytesLeft() const { return s_.size() - pos_; }

    // ---- Errors --------------------------------------------------------------
    bool Fail(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        if (!error_.empty()) return false;
        char what[256];
        va_list ap;
        va_start(ap, format);
        std::vsnprintf(what, sizeof what, format, ap);
        va_end(ap);
        error_ = std::string(file_) + ": line " + std::to_string(tok_.line) + ": " + what;
        return false;
    }

    bool Unexpected(const char* expected) {
        if (tok_.kind == Tok::End) return Fail("%s expected, the file ends", expected);
        if (tok_.kind == Tok::Bad)
            return Fail("%s expected, found bad text \"%.*s\"", expected,
                        int(tok_.text.size() > 32 ? 32 : tok_.text.size()), tok_.text.data());
        return Fail("%s expected, found \"%.*s\"", expected,
                    int(tok_.text.size() > 32 ? 32 : tok_.text.size()), tok_.text.data());
    }

    // ---- Values --------------------------------------------------------------
    bool Float(float* v) {
        SkipSeparators();
        if (tok_.kind != Tok::Number) return Unexpected("a number");
        *v = float(tok_.number);
        Advance();
        return true;
    }

    bool Vector(math::Vec3* v) { return Float(&v->x) && Float(&v->y) && Float(&v->z); }

    bool Unsigned(uint32_t* v, const char* what) {
        SkipSeparators();
        if (tok_.kind != Tok::Number) return Unexpected(what);
        double d = tok_.number;
        if (d < 0 || d > 4294967295.0 || d != std::floor(d))
            return Fail("%s %g is not a whole number", what, d);
        *v = uint32_t(d);
        Advance();
        return true;
    }

    // A count of items each written with at least minBytes characters: a
    // count the rest of the file cannot hold is refused before allocation.
    bool Count(uint32_t* n, size_t minBytes, const char* what) {
        if (!Unsigned(n, what)) return false;
        if (uint64_t(*n) * minBytes > BytesLeft() + minBytes)
            return Fail("%s %u is more than the file holds", what, *n);
        return true;
    }

    bool Index(uint32_t* v, uint32_t limit, const char* what) {
        if (!Unsigned(v, what)) return false;
        if (*v >= limit) return Fail("%s %u is not below %u", what, *v, limit);
        return true;
    }

    // ---- Objects -------------------------------------------------------------
    bool ReadHeader() {
        if (s_.size() < 16 || s_.substr(0, 4) != "xof ") {
            tok_.line = 1;
            return Fail("not a DirectX .x file (no \"xof \" header)");
        }
        std::string_view format = s_.substr(8, 4);
        if (format == "bin ") return Fail("binary .x files are not supported");
        if (format == "tzip" || format == "bzip") return Fail("compressed .x files are not supported");
        if (format != "txt ") return Fail("unknown .x format \"%.*s\"", 4, format.data());
        pos_ = 16;
        Advance();
        return true;
    }

    // At '{' just read: steps over the body up to its matching '}'.
    bool SkipBody() {
        int depth = 1;
        while (depth > 0) {
            Advance();
            if (tok_.kind == Tok::End) return Fail("'}' missing");
            if (tok_.kind == Tok::LBrace) ++depth;
            if (tok_.kind == Tok::RBrace) --depth;
        }
        Advance();
        return true;
    }

    // Reads "Type [name] {" and leaves the first token of the body current.
    bool OpenObject(std::string_view* type, std::string_view* name) {
        *type = tok_.text;
        *name = {};
        Advance();
        if (tok_.kind == Tok::Name) {
            *name = tok_.text;
            Advance();
        }
        if (tok_.kind != Tok::LBrace) return Unexpected("'{'");
        Advance();
        if (tok_.kind == Tok::Guid) Advance();
        return true;
    }

    // At '{': a reference "{ Name }" to an object defined elsewhere.
    bool Reference(std::string_view* name) {
        Advance();
        if (tok_.kind != Tok::Name) return Unexpected("a referenced name");
        *name = tok_.text;
        Advance();
        if (tok_.kind == Tok::Guid) Advance();
        if (tok_.kind != Tok::RBrace) return Unexpected("'}'");
        Advance();
        return true;
    }

    bool CloseObject() {
        SkipSeparators();
        if (tok_.kind != Tok::RBrace) return Unexpected("'}'");
        Advance();
        return true;
    }

    bool ParseTopLevel(XFile* out) {
        while (true) {
            SkipSeparators();
            if (tok_.kind == Tok::End) return true;
            if (tok_.kind != Tok::Name) return Unexpected("a template or data object");
            if (tok_.text == "template") {
                Advance();
                if (tok_.kind == Tok::Name) Advance();
                if (tok_.kind != Tok::LBrace) return Unexpected("'{'");
                if (!SkipBody()) return false;
                continue;
            }
            if (!ParseObject(out, -1, 0)) return false;
        }
    }

    // A data object at the top level or inside a frame.
    bool ParseObject(XFile* out, int frame, int depth) {
        std::string_view type = tok_.text;
        if (os::EqualNoCase(type, "Frame")) return ParseFrame(out, frame, depth);
        if (os::EqualNoCase(type, "Mesh")) return ParseMesh(out, frame);
        if (os::EqualNoCase(type, "Material")) {
            std::string_view t, name;
            if (!OpenObject(&t, &name)) return false;
            XMaterial m;
            if (!ParseMaterialBody(&m)) return false;
            // A later material of the same name replaces the earlier one.
            materials_[std::string(name)] = std::move(m);
            return true;
        }
        return SkipObject();
    }

    // Any data object the engine does not use: "Type [name] { ... }".
    bool SkipObject() {
        std::string_view t, name;
        if (!OpenObject(&t, &name)) return false;
        int depth = 1;
        while (true) {
            if (tok_.kind == Tok::End) return Fail("'}' missing");
            if (tok_.kind == Tok::LBrace) ++depth;
            if (tok_.kind == Tok::RBrace && --depth == 0) break;
            Advance();
        }
        Advance();
        return true;
    }

    bool ParseFrame(XFile* out, int parent, int depth) {
        if (depth >= kMaxFrameDepth) return Fail("frames nested deeper than %d", kMaxFrameDepth);
        std::string_view type, name;
        if (!OpenObject(&type, &name)) return false;
        int index = int(out->frames.size());
        out->frames.push_back(XFrame{std::string(name), math::Matrix{}, parent});
        while (true) {
            SkipSeparators();
            if (tok_.kind == Tok::RBrace) {
                Advance();
                return true;
            }
            if (tok_.kind == Tok::LBrace) {
                std::string_view ref;
                if (!Reference(&ref)) return false;
                continue;
            }
            if (tok_.kind != Tok::Name) return Unexpected("a frame member or '}'");
            if (os::EqualNoCase(tok_.text, "FrameTransformMatrix")) {
                std::string_view t, n;
                if (!OpenObject(&t, &n)) return false;
                math::Matrix m;
                for (int i = 0; i < 16; ++i)
                    if (!Float(&m.m[i / 4][i % 4])) return false;
                if (!CloseObject()) return false;
                out->frames[index].transform = m;
                continue;
            }
            if (!ParseObject(out, index, depth + 1)) return false;
        }
    }

    struct Polygon {
        uint32_t first; // into the corner list
        uint32_t count;
    };

    bool ParseMesh(XFile* out, int frame) {
        std::string_view type, name;
        if (!OpenObject(&type, &name)) return false;
        XMesh m;
        m.name = std::string(name);
        m.frame = frame;
        meshName_ = m.name;

        uint32_t numVertices = 0;
        if (!Count(&numVertices, 6, "vertex count")) return false;
        m.positions.resize(numVertices);
        for (auto& p : m.positions)
            if (!Vector(&p)) return false;

        std::vector<Polygon> polygons;
        std::vector<uint32_t> corners;
        if (!ReadPolygons(numVertices, "vertex", &polygons, &corners)) return false;

        std::vector<uint32_t> normalCorners;
        std::vector<uint32_t> polygonMaterials;
        while (true) {
            SkipSeparators();
            if (tok_.kind == Tok::RBrace) {
                Advance();
                break;
            }
            if (tok_.kind == Tok::LBrace) {
                std::string_view ref;
                if (!Reference(&ref)) return false;
                continue;
            }
            if (tok_.kind != Tok::Name) return Unexpected("a mesh member or '}'");
            bool ok;
            if (os::EqualNoCase(tok_.text, "MeshNormals"))
                ok = ParseNormals(polygons, &m.normals, &normalCorners);
            else if (os::EqualNoCase(tok_.text, "MeshTextureCoords"))
                ok = ParseTexCoords(numVertices, &m.texCoords);
            else if (os::EqualNoCase(tok_.text, "MeshMaterialList"))
                ok = ParseMaterialList(uint32_t(polygons.size()), &m.materials, &polygonMaterials);
            else
                ok = SkipObject();
            if (!ok) return false;
        }

        // Polygons become triangle fans; normals and materials follow them.
        for (size_t p = 0; p < polygons.size(); ++p) {
            const Polygon& poly = polygons[p];
            for (uint32_t k = 1; k + 1 < poly.count; ++k) {
                const uint32_t idx[3] = {poly.first, poly.first + k, poly.first + k + 1};
                for (uint32_t i : idx) {
                    m.faces.push_back(corners[i]);
                    if (!normalCorners.empty()) m.normalFaces.push_back(normalCorners[i]);
                }
                if (!polygonMaterials.empty()) m.faceMaterials.push_back(polygonMaterials[p]);
            }
        }
        out->meshes.push_back(std::move(m));
        return true;
    }

    bool ReadPolygons(uint32_t limit, const char* what, std::vector<Polygon>* polygons,
                      std::vector<uint32_t>* corners) {
        uint32_t numFaces = 0;
        if (!Count(&numFaces, 8, "face count")) return false;
        polygons->resize(numFaces);
        for (uint32_t f = 0; f < numFaces; ++f) {
            uint32_t n = 0;
            if (!Count(&n, 2, "corner count")) return false;
            if (n < 3) return Fail("mesh \"%s\": face %u has %u corners", meshName_.c_str(), f, n);
            (*polygons)[f] = Polygon{uint32_t(corners->size()), n};
            for (uint32_t i = 0; i < n; ++i) {
                uint32_t v = 0;
                if (!Unsigned(&v, "index")) return false;
                if (v >= limit)
                    return Fail("mesh \"%s\": face %u uses %s %u, not below %u", meshName_.c_str(), f, what,
                                v, limit);
                corners->push_back(v);
            }
        }
        return true;
    }

    bool ParseNormals(const std::vector<Polygon>& polygons, std::vector<math::Vec3>* normals,
                      std::vector<uint32_t>* normalCorners) {
        std::string_view type, name;
        if (!OpenObject(&type, &name)) return false;
        uint32_t numNormals = 0;
        if (!Count(&numNormals, 6, "normal count")) return false;
        normals->resize(numNormals);
        for (auto& n : *normals)
            if (!Vector(&n)) return false;
        std::vector<Polygon> normalPolygons;
        normalCorners->clear();
        if (!ReadPolygons(numNormals, "normal", &normalPolygons, normalCorners)) return false;
        if (normalPolygons.size() != polygons.size())
            return Fail("mesh \"%s\": %zu normal faces for %zu faces", meshName_.c_str(),
                        normalPolygons.size(), polygons.size());
        for (size_t f = 0; f < polygons.size(); ++f)
            if (normalPolygons[f].count != polygons[f].count)
                return Fail("mesh \"%s\": normal face %zu has %u corners, the face has %u", meshName_.c_str(),
                            f, normalPolygons[f].count, polygons[f].count);
        return CloseObject();
    }

    bool ParseTexCoords(uint32_t numVertices, std::vector<math::Vec2>* uv) {
        std::string_view type, name;
        if (!OpenObject(&type, &name)) return false;
        uint32_t n = 0;
        if (!Count(&n, 4, "texture coordinate count")) return false;
        if (n != numVertices)
            return Fail("mesh \"%s\": %u texture coordinates for %u vertices", meshName_.c_str(), n,
                        numVertices);
        uv->resize(n);
        for (auto& t : *uv)
            if (!Float(&t.x) || !Float(&t.y)) return false;
        return CloseObject();
    }

    bool ParseMaterialList(uint32_t numPolygons, std::vector<XMaterial>* materials,
                           std::vector<uint32_t>* polygonMaterials) {
        std::string_view type, name;
        if (!OpenObject(&type, &name)) return false;
        uint32_t numMaterials = 0, numIndices = 0;
        if (!Count(&numMaterials, 4, "material count") || !Count(&numIndices, 2, "material index count"))
            return false;
        if (numIndices > numPolygons)
            return Fail("mesh \"%s\": %u material indices for %u faces", meshName_.c_str(), numIndices,
                        numPolygons);
        if (numIndices == 0 && numPolygons > 0 && numMaterials > 0)
            return Fail("mesh \"%s\": no material indices", meshName_.c_str());
        polygonMaterials->assign(numPolygons, 0);
        for (uint32_t i = 0; i < numIndices; ++i)
            if (!Index(&(*polygonMaterials)[i], numMaterials, "material index")) return false;
        // Faces past the list keep the last index given.
        for (uint32_t i = numIndices; i < numPolygons && numIndices > 0; ++i)
            (*polygonMaterials)[i] = (*polygonMaterials)[numIndices - 1];
        materials->clear();
        while (true) {
            SkipSeparators();
            if (tok_.kind == Tok::RBrace) {
                Advance();
                break;
            }
            if (tok_.kind == Tok::LBrace) {
                std::string_view ref;
                if (!Reference(&ref)) return false;
                if (materials->size() >= numMaterials) return TooManyMaterials(numMaterials);
                auto found = materials_.find(std::string(ref));
                if (found == materials_.end())
                    return Fail("mesh \"%s\": material \"%.*s\" is not defined", meshName_.c_str(),
                                int(ref.size()), ref.data());
                materials->push_back(found->second);
                continue;
            }
            if (tok_.kind != Tok::Name) return Unexpected("a material or '}'");
            if (os::EqualNoCase(tok_.text, "Material")) {
                if (materials->size() >= numMaterials) return TooManyMaterials(numMaterials);
                std::string_view t, n;
                if (!OpenObject(&t, &n)) return false;
                XMaterial mat;
                if (!ParseMaterialBody(&mat)) return false;
                materials->push_back(mat);
                continue;
            }
            if (!SkipObject()) return false;
        }
        if (materials->size() != numMaterials)
            return Fail("mesh \"%s\": %zu materials given, %u declared", meshName_.c_str(), materials->size(),
                        numMaterials);
        return true;
    }

    // Checked as each material comes, so that references to one material
    // cannot copy it without end.
    bool TooManyMaterials(uint32_t numMaterials) {
        return Fail("mesh \"%s\": more materials given than the %u declared", meshName_.c_str(),
                    numMaterials);
    }

    bool ParseMaterialBody(XMaterial* m) {
        if (!Float(&m->diffuse.x) || !Float(&m->diffuse.y) || !Float(&m->diffuse.z) ||
            !Float(&m->diffuse.w) || !Float(&m->power) || !Vector(&m->specular) || !Vector(&m->emissive))
            return false;
        while (true) {
            SkipSeparators();
            if (tok_.kind == Tok::RBrace) {
                Advance();
                return true;
            }
            if (tok_.kind != Tok::Name) return Unexpected("a material member or '}'");
            if (os::EqualNoCase(tok_.text, "TextureFilename")) {
                std::string_view t, n;
                if (!OpenObject(&t, &n)) return false;
                SkipSeparators();
                if (tok_.kind != Tok::String) return Unexpected("a texture file name");
                if (tok_.text.size() > kMaxTextureName)
                    return Fail("texture file name of %zu characters, at most %zu allowed", tok_.text.size(),
                                kMaxTextureName);
                m->textureFile = Unescape(tok_.text);
                Advance();
                if (!CloseObject()) return false;
                continue;
            }
            if (!SkipObject()) return false;
        }
    }

    static std::string Unescape(std::string_view s) {
        std::string r;
        r.reserve(s.size());
        for (size_t i = 0; i < s.size(); ++i) {
            if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == '\\') ++i;
            r.push_back(s[i]);
        }
        return r;
    }

    std::string_view s_;
    std::string_view file_;
    size_t pos_ = 0;
    int line_ = 1;
    Token tok_;
    std::string error_;
    std::string meshName_;
    std::unordered_map<std::string, XMaterial> materials_; // top-level, by name, for references
};

} // namespace

bool ParseXFile(std::string_view bytes, std::string_view fileName, XFile* out, std::string* error) {
    XFile result;
    Parser parser(bytes, fileName);
    if (!parser.Run(&result, error)) return false;
    *out = std::move(result);
    return true;
}

bool ReadXFile(std::string_view fileName, XFile* out, std::string* error) {
    std::FILE* f = os::OpenFile(fileName, "rb");
    if (!f) {
        if (error) *error = std::string(fileName) + ": cannot be opened";
        return false;
    }
    if (const long long size = os::FileSize(fileName); size > kMaxFileBytes) {
        std::fclose(f);
        if (error)
            *error = std::string(fileName) + ": " + std::to_string(size) + " bytes, more than the " +
                     std::to_string(kMaxFileBytes) + " a mesh file may have";
        return false;
    }
    std::string bytes;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        bytes.append(buf, n);
    std::fclose(f);
    return ParseXFile(bytes, fileName, out, error);
}

math::Matrix FrameWorldMatrix(const XFile& file, int frame) {
    math::Matrix m;
    int guard = 0;
    while (frame >= 0 && frame < int(file.frames.size()) && guard++ < int(file.frames.size())) {
        m = math::MatrixMultiply(m, file.frames[frame].transform);
        frame = file.frames[frame].parent;
    }
    return m;
}

} // namespace mesh
