#include "platform/mesh/XFile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <utility>

#include <zlib.h>

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

constexpr const char* kCacheStampName = "ZtMeshCache";

// Vertex element types of DeclData and their sizes in 32-bit words (float1
// .. float4, colour, ubyte4, short2, short4, ubyte4n, short2n, short4n,
// ushort2n, ushort4n, udec3, dec3n, float16x2, float16x4).
constexpr uint32_t kDeclTypeCount = 17;
constexpr uint32_t kDeclTypeWords[kDeclTypeCount] = {1, 2, 3, 4, 1, 1, 1, 2, 1, 1, 2, 1, 2, 1, 1, 1, 2};
constexpr uint32_t kDeclFloat2 = 1, kDeclFloat3 = 2, kDeclColor = 4;
constexpr uint32_t kUsageNormal = 3, kUsageTexCoord = 5, kUsageTangent = 6, kUsageBinormal = 7,
                   kUsageColor = 10;

// Compressed files: an inflated size (header included) above kMaxFileBytes
// is refused, and so is a block that inflates past MSZIP's 32 KB.
constexpr uint32_t kMszipBlockBytes = 32768;

bool IsNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsNameChar(char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}
bool IsNumberStart(char c) {
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.';
}

bool IsNumberChar(char c) {
    return IsNumberStart(c) || c == 'e' || c == 'E';
}

// Reads the number token at p (the longest run of number characters) as
// std::from_chars reads it, a leading '+' allowed; *ok tells whether it is a
// finite number. Returns the token's end. Plain decimals of at most 15 digits,
// nearly every number of a mesh, are read in the same pass: their digits and
// the power of ten are both exact in a double, so one division gives the
// correctly rounded value from_chars gives.
const char* LexNumber(const char* p, const char* end, double* value, bool* ok) {
    static constexpr double kPow10[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* const start = p;
    if (*p == '-' || *p == '+') ++p;
    uint64_t digits = 0;
    int count = 0, fraction = -1;
    for (; p < end; ++p) {
        const char c = *p;
        if (c >= '0' && c <= '9') {
            digits = digits * 10 + uint64_t(c - '0');
            ++count;
            if (fraction >= 0) ++fraction;
        } else if (c == '.' && fraction < 0) {
            fraction = 0;
        } else {
            break;
        }
    }
    if ((p == end || !IsNumberChar(*p)) && count > 0 && count <= 15) {
        const double v = fraction > 0 ? double(digits) / kPow10[fraction] : double(digits);
        *value = *start == '-' ? -v : v;
        *ok = true;
        return p;
    }
    while (p < end && IsNumberChar(*p))
        ++p;
    const auto r = std::from_chars(start + (*start == '+' ? 1 : 0), p, *value);
    *ok = r.ec == std::errc() && r.ptr == p && std::isfinite(*value);
    return p;
}

class Parser {
  public:
    // text: the whole file, or for a compressed one the header followed by
    // the inflated body.
    Parser(std::string_view text, std::string_view fileName) : s_(text), file_(fileName) {}

    bool Run(XFile* out, std::string* error) {
        bool ok = ReadHeader() && ParseTopLevel(out);
        if (!ok && error) *error = error_;
        return ok;
    }

  private:
    // ---- Lexer ---------------------------------------------------------------
    void Advance() {
        if (binary_)
            AdvanceBinary();
        else
            AdvanceText();
    }

    void AdvanceText() {
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
            bool ok = false;
            pos_ = size_t(LexNumber(s_.data() + pos_, s_.data() + s_.size(), &tok_.number, &ok) - s_.data());
            tok_.kind = ok ? Tok::Number : Tok::Bad;
        } else {
            tok_.kind = Tok::Bad;
            ++pos_;
        }
        tok_.text = std::string_view(s_.data() + start, pos_ - start);
    }

    // The binary form: 16-bit token codes, names and strings with a 32-bit
    // length, lists of 32-bit integers or of floats (4 or 8 bytes) with a
    // 32-bit count. The tokens become the text form's: each list element a
    // number, template-only codes bad text (skipped inside templates).
    enum BinaryToken : uint16_t {
        kName = 1,
        kString = 2,
        kInteger = 3,
        kGuid = 5,
        kIntegerList = 6,
        kFloatList = 7,
        kOpenBrace = 10,
        kCloseBrace = 11,
        kComma = 19,
        kSemicolon = 20,
        kTemplate = 31,
    };

    bool TakeU16(uint16_t* v) {
        if (BytesLeft() < 2) return false;
        *v = uint16_t(uint8_t(s_[pos_]) | uint8_t(s_[pos_ + 1]) << 8);
        pos_ += 2;
        return true;
    }
    bool TakeU32(uint32_t* v) {
        if (BytesLeft() < 4) return false;
        std::memcpy(v, s_.data() + pos_, 4);
        pos_ += 4;
        return true;
    }

    // Ends the token stream: nothing after a bad token is read, not even the
    // rest of the current list.
    void BadBinary(const char* what) {
        tok_.kind = Tok::Bad;
        tok_.text = what;
        pos_ = s_.size();
        listLeft_ = 0;
    }

    void AdvanceBinary() {
        tok_ = Token{};
        while (true) {
            tok_.line = int(pos_);
            if (listLeft_ > 0) {
                --listLeft_;
                tok_.kind = Tok::Number;
                tok_.text = "<number>";
                if (listFloats_ && floatBytes_ == 8) {
                    double d;
                    std::memcpy(&d, s_.data() + pos_, 8);
                    tok_.number = d;
                    pos_ += 8;
                } else if (listFloats_) {
                    float f;
                    std::memcpy(&f, s_.data() + pos_, 4);
                    tok_.number = f;
                    pos_ += 4;
                } else {
                    uint32_t u;
                    TakeU32(&u);
                    tok_.number = u;
                }
                if (!std::isfinite(tok_.number)) BadBinary("a number that is not finite");
                return;
            }
            if (pos_ >= s_.size()) return; // Tok::End
            uint16_t code = 0;
            if (!TakeU16(&code)) return BadBinary("a cut token");
            uint32_t n = 0;
            switch (code) {
            case kName:
            case kString:
                if (!TakeU32(&n) || n > BytesLeft()) return BadBinary("a cut name or string");
                tok_.kind = code == kName ? Tok::Name : Tok::String;
                tok_.text = s_.substr(pos_, n);
                pos_ += n;
                if (code == kString) {
                    uint16_t end = 0; // the string's ';' or ','
                    if (!TakeU16(&end)) return BadBinary("a cut string");
                }
                return;
            case kInteger:
                if (!TakeU32(&n)) return BadBinary("a cut integer");
                tok_.kind = Tok::Number;
                tok_.text = "<number>";
                tok_.number = n;
                return;
            case kGuid:
                if (BytesLeft() < 16) return BadBinary("a cut guid");
                pos_ += 16;
                tok_.kind = Tok::Guid;
                tok_.text = "<guid>";
                return;
            case kIntegerList:
            case kFloatList: {
                listFloats_ = code == kFloatList;
                const uint32_t size = listFloats_ ? floatBytes_ : 4;
                if (!TakeU32(&n) || uint64_t(n) * size > BytesLeft()) return BadBinary("a cut list");
                listLeft_ = n;
                continue; // an empty list gives no token
            }
            case kOpenBrace:
                tok_.kind = Tok::LBrace;
                tok_.text = "{";
                return;
            case kCloseBrace:
                tok_.kind = Tok::RBrace;
                tok_.text = "}";
                return;
            case kComma:
            case kSemicolon:
                tok_.kind = Tok::Separator;
                tok_.text = ";";
                return;
            case kTemplate:
                tok_.kind = Tok::Name;
                tok_.text = "template";
                return;
            default:
                // Punctuation and type words of template definitions (12-18,
                // 40-53) are only skipped; anything else is not .x at all.
                if ((code >= 12 && code <= 18) || (code >= 40 && code <= 53)) {
                    tok_.kind = Tok::Bad;
                    tok_.text = "<template word>";
                    return;
                }
                return BadBinary("an unknown binary token");
            }
        }
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
        error_ =
            std::string(file_) + (binary_ ? ": byte " : ": line ") + std::to_string(tok_.line) + ": " + what;
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
        // Compressed files arrive here inflated, with their header kept.
        std::string_view format = s_.substr(8, 4);
        std::string_view floats = s_.substr(12, 4);
        if (floats != "0032" && floats != "0064")
            return Fail("unknown float size \"%.*s\"", 4, floats.data());
        floatBytes_ = floats == "0064" ? 8 : 4;
        if (format == "bin " || format == "bzip")
            binary_ = true;
        else if (format != "txt " && format != "tzip")
            return Fail("unknown .x format \"%.*s\"", 4, format.data());
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
        if (os::EqualNoCase(type, kCacheStampName)) return ParseCacheStamp(out);
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

    // A face list as the file gives it, cut into triangle fans as it is
    // read: three indices a triangle, and each face's corner count (normal
    // faces must match it, and a face's material goes to each of its
    // triangles).
    struct Faces {
        std::vector<uint32_t> triangles;
        std::vector<uint32_t> cornerCounts;
    };

    bool ParseMesh(XFile* out, int frame) {
        std::string_view type, name;
        if (!OpenObject(&type, &name)) return false;
        XMesh m;
        m.name = std::string(name);
        m.frame = frame;
        m.framesBefore = uint32_t(out->frames.size());
        meshName_ = m.name;

        uint32_t numVertices = 0;
        if (!Count(&numVertices, 6, "vertex count")) return false;
        m.positions.resize(numVertices);
        for (auto& p : m.positions)
            if (!Vector(&p)) return false;

        Faces faces;
        if (!ReadFaces(numVertices, "vertex", &faces)) return false;

        std::vector<uint32_t> polygonMaterials;
        while (true) {
            SkipSeparators();
            if (tok_.kind == Tok::RBrace) {
                if (m.hasSkinHeader && m.skinHeader.boneCount != m.skinWeights.size())
                    return Fail("mesh \"%s\": the skin header declares %u bones, %zu SkinWeights given",
                                meshName_.c_str(), m.skinHeader.boneCount, m.skinWeights.size());
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
                ok = ParseNormals(faces.cornerCounts, &m.normals, &m.normalFaces);
            else if (os::EqualNoCase(tok_.text, "MeshTextureCoords"))
                ok = ParseTexCoords(numVertices, &m.texCoords);
            else if (os::EqualNoCase(tok_.text, "MeshMaterialList"))
                ok = ParseMaterialList(uint32_t(faces.cornerCounts.size()), &m.materials, &polygonMaterials);
            else if (os::EqualNoCase(tok_.text, "DeclData"))
                ok = ParseDeclData(numVertices, &m, faces.triangles);
            else if (os::EqualNoCase(tok_.text, "MeshVertexColors"))
                ok = ParseVertexColors(numVertices, &m.colors);
            else if (os::EqualNoCase(tok_.text, "XSkinMeshHeader"))
                ok = ParseSkinHeader(&m);
            else if (os::EqualNoCase(tok_.text, "SkinWeights"))
                ok = ParseSkinWeights(numVertices, &m);
            else
                ok = SkipObject();
            if (!ok) return false;
        }

        m.faces = std::move(faces.triangles);
        if (!polygonMaterials.empty()) {
            m.faceMaterials.reserve(m.faces.size() / 3);
            for (size_t p = 0; p < faces.cornerCounts.size(); ++p)
                m.faceMaterials.insert(m.faceMaterials.end(), faces.cornerCounts[p] - 2, polygonMaterials[p]);
        }
        out->meshes.push_back(std::move(m));
        return true;
    }

    // Each face becomes the fan (0, k, k + 1) of its corners.
    bool ReadFaces(uint32_t limit, const char* what, Faces* faces) {
        uint32_t numFaces = 0;
        if (!Count(&numFaces, 8, "face count")) return false;
        faces->cornerCounts.resize(numFaces);
        faces->triangles.clear();
        for (uint32_t f = 0; f < numFaces; ++f) {
            uint32_t n = 0;
            if (!Count(&n, 2, "corner count")) return false;
            if (n < 3) return Fail("mesh \"%s\": face %u has %u corners", meshName_.c_str(), f, n);
            faces->cornerCounts[f] = n;
            // Sized from the first face, as if every face had as many corners
            // (most meshes are all triangles or all quads), and never beyond
            // what the rest of the file can hold at two characters an index.
            if (f == 0)
                faces->triangles.reserve(
                    size_t(std::min<uint64_t>(uint64_t(numFaces) * (n - 2), BytesLeft() / 2) * 3));
            uint32_t first = 0, previous = 0;
            for (uint32_t i = 0; i < n; ++i) {
                uint32_t v = 0;
                if (!Unsigned(&v, "index")) return false;
                if (v >= limit)
                    return Fail("mesh \"%s\": face %u uses %s %u, not below %u", meshName_.c_str(), f, what,
                                v, limit);
                if (i == 0) {
                    first = v;
                } else if (i >= 2) {
                    const uint32_t triangle[3] = {first, previous, v};
                    faces->triangles.insert(faces->triangles.end(), triangle, triangle + 3);
                }
                previous = v;
            }
        }
        return true;
    }

    bool ParseNormals(const std::vector<uint32_t>& cornerCounts, std::vector<math::Vec3>* normals,
                      std::vector<uint32_t>* normalFaces) {
        std::string_view type, name;
        if (!OpenObject(&type, &name)) return false;
        uint32_t numNormals = 0;
        if (!Count(&numNormals, 6, "normal count")) return false;
        normals->resize(numNormals);
        for (auto& n : *normals)
            if (!Vector(&n)) return false;
        Faces normal;
        if (!ReadFaces(numNormals, "normal", &normal)) return false;
        if (normal.cornerCounts.size() != cornerCounts.size())
            return Fail("mesh \"%s\": %zu normal faces for %zu faces", meshName_.c_str(),
                        normal.cornerCounts.size(), cornerCounts.size());
        for (size_t f = 0; f < cornerCounts.size(); ++f)
            if (normal.cornerCounts[f] != cornerCounts[f])
                return Fail("mesh \"%s\": normal face %zu has %u corners, the face has %u", meshName_.c_str(),
                            f, normal.cornerCounts[f], cornerCounts[f]);
        *normalFaces = std::move(normal.triangles);
        return CloseObject();
    }

    // DeclData: the vertex elements (type, method, usage, usage index) and
    // then every vertex's elements as 32-bit words. Normals read here are
    // indexed like the positions.
    bool ParseDeclData(uint32_t numVertices, XMesh* m, const std::vector<uint32_t>& faces) {
        std::string_view type, name;
        if (!OpenObject(&type, &name)) return false;
        uint32_t numElements = 0;
        if (!Count(&numElements, 8, "vertex element count")) return false;
        struct Element {
            uint32_t type, usage, index, word;
        };
        std::vector<Element> elements(numElements);
        uint32_t words = 0;
        for (Element& e : elements) {
            uint32_t method = 0;
            if (!Index(&e.type, kDeclTypeCount, "vertex element type") ||
                !Unsigned(&method, "element method") || !Unsigned(&e.usage, "element usage") ||
                !Unsigned(&e.index, "element usage index"))
                return false;
            e.word = words;
            words += kDeclTypeWords[e.type];
        }
        uint32_t numWords = 0;
        if (!Count(&numWords, 2, "vertex data size")) return false;
        if (uint64_t(words) * numVertices != numWords)
            return Fail("mesh \"%s\": %u words of vertex data, %u vertices of %u words", meshName_.c_str(),
                        numWords, numVertices, words);
        std::vector<uint32_t> data(numWords);
        for (uint32_t& w : data)
            if (!Unsigned(&w, "vertex data word")) return false;
        auto word = [&](uint32_t v, const Element& e, uint32_t k) {
            float f;
            std::memcpy(&f, &data[size_t(v) * words + e.word + k], 4);
            return std::isfinite(f) ? f : 0.0f;
        };
        auto vec3 = [&](const Element& e, std::vector<math::Vec3>* out) {
            out->resize(numVertices);
            for (uint32_t v = 0; v < numVertices; ++v)
                (*out)[v] = {word(v, e, 0), word(v, e, 1), word(v, e, 2)};
        };
        for (const Element& e : elements) {
            if (e.index != 0) continue;
            if (e.usage == kUsageNormal && e.type == kDeclFloat3) {
                vec3(e, &m->normals);
                m->normalFaces = faces;
            } else if (e.usage == kUsageTangent && e.type == kDeclFloat3) {
                vec3(e, &m->tangents);
            } else if (e.usage == kUsageBinormal && e.type == kDeclFloat3) {
                vec3(e, &m->binormals);
            } else if (e.usage == kUsageTexCoord && e.type == kDeclFloat2) {
                m->texCoords.resize(numVertices);
                for (uint32_t v = 0; v < numVertices; ++v)
                    m->texCoords[v] = {word(v, e, 0), word(v, e, 1)};
            } else if (e.usage == kUsageColor && e.type == kDeclColor) {
                m->colors.resize(numVertices);
                for (uint32_t v = 0; v < numVertices; ++v)
                    m->colors[v] = data[size_t(v) * words + e.word];
            }
        }
        return CloseObject();
    }

    // MeshVertexColors: (vertex index, r, g, b, a) pairs; the rest white.
    bool ParseVertexColors(uint32_t numVertices, std::vector<uint32_t>* colors) {
        std::string_view type, name;
        if (!OpenObject(&type, &name)) return false;
        uint32_t n = 0;
        if (!Count(&n, 10, "vertex colour count")) return false;
        colors->assign(numVertices, 0xFFFFFFFFu);
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t v = 0;
            float c[4];
            if (!Index(&v, numVertices, "vertex colour index") || !Float(&c[0]) || !Float(&c[1]) ||
                !Float(&c[2]) || !Float(&c[3]))
                return false;
            auto byte = [](float f) { return uint32_t(std::clamp(f, 0.0f, 1.0f) * 255.0f + 0.5f); };
            (*colors)[v] = byte(c[3]) << 24 | byte(c[0]) << 16 | byte(c[1]) << 8 | byte(c[2]);
        }
        return CloseObject();
    }

    // XSkinMeshHeader: three 16-bit words; once per mesh.
    bool ParseSkinHeader(XMesh* m) {
        std::string_view type, name;
        if (!OpenObject(&type, &name)) return false;
        if (m->hasSkinHeader) return Fail("mesh \"%s\": a second skin header", meshName_.c_str());
        XSkinHeader& h = m->skinHeader;
        for (uint32_t* v : {&h.maxWeightsPerVertex, &h.maxWeightsPerFace, &h.boneCount}) {
            if (!Unsigned(v, "skin header value")) return false;
            if (*v > 0xFFFF) return Fail("skin header value %u does not fit 16 bits", *v);
        }
        m->hasSkinHeader = true;
        return CloseObject();
    }

    // SkinWeights: bone name, influence count, the position indices, their
    // weights and the offset matrix.
    bool ParseSkinWeights(uint32_t numVertices, XMesh* m) {
        std::string_view type, name;
        if (!OpenObject(&type, &name)) return false;
        SkipSeparators();
        if (tok_.kind != Tok::String) return Unexpected("a bone name");
        XSkinWeights w;
        w.boneName = std::string(tok_.text);
        for (const XSkinWeights& other : m->skinWeights)
            if (other.boneName == w.boneName)
                return Fail("mesh \"%s\": bone \"%s\" is named twice", meshName_.c_str(), w.boneName.c_str());
        Advance();
        uint32_t n = 0;
        // An index and a weight take at least two characters each.
        if (!Count(&n, 4, "influence count")) return false;
        w.vertices.resize(n);
        w.weights.resize(n);
        for (uint32_t& v : w.vertices) {
            if (!Unsigned(&v, "influenced vertex")) return false;
            if (v >= numVertices)
                return Fail("mesh \"%s\": bone \"%s\" influences vertex %u, not below %u", meshName_.c_str(),
                            w.boneName.c_str(), v, numVertices);
        }
        for (float& weight : w.weights) {
            if (!Float(&weight)) return false;
            if (!(weight >= 0.0f && weight <= 1.0f))
                return Fail("mesh \"%s\": bone \"%s\" has weight %g, not in 0..1", meshName_.c_str(),
                            w.boneName.c_str(), double(weight));
        }
        for (int i = 0; i < 16; ++i)
            if (!Float(&w.offset.m[i / 4][i % 4])) return false;
        if (!CloseObject()) return false;
        m->skinWeights.push_back(std::move(w));
        return true;
    }

    bool ParseCacheStamp(XFile* out) {
        std::string_view type, name;
        if (!OpenObject(&type, &name)) return false;
        uint32_t w[5];
        for (uint32_t& v : w)
            if (!Unsigned(&v, "cache stamp value")) return false;
        out->hasCacheStamp = true;
        out->cacheStamp = {w[0], uint64_t(w[2]) << 32 | w[1], int64_t(uint64_t(w[4]) << 32 | w[3])};
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
    bool binary_ = false;
    uint32_t floatBytes_ = 4;
    uint32_t listLeft_ = 0; // elements of the current binary list still to give
    bool listFloats_ = false;
    size_t pos_ = 0;
    int line_ = 1;
    Token tok_;
    std::string error_;
    std::string meshName_;
    std::unordered_map<std::string, XMaterial> materials_; // top-level, by name, for references
};

// A compressed file: after the 16-byte header, the inflated size of the
// whole file (header included), then blocks of: inflated size (16 bits),
// stored size (16 bits, counting the "CK" that opens the data) and a raw
// deflate stream whose dictionary is the previous block's output. Gives the
// header followed by the inflated body.
bool Inflate(std::string_view bytes, std::string_view fileName, std::string* out, std::string* error) {
    auto fail = [&](const std::string& what) {
        if (error) *error = std::string(fileName) + ": " + what;
        return false;
    };
    if (bytes.size() < 20) return fail("compressed file cut short");
    uint32_t total = 0;
    std::memcpy(&total, bytes.data() + 16, 4);
    if (total < 16 || total > kMaxFileBytes)
        return fail("compressed file declares " + std::to_string(total) + " bytes");
    out->assign(bytes.substr(0, 16));
    out->reserve(std::min<size_t>(total, 16 + 64 * size_t(bytes.size())));
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return fail("inflate cannot start");
    size_t pos = 20, previous = 16, previousSize = 0;
    bool ok = true;
    std::string what;
    while (pos < bytes.size() && ok) {
        if (bytes.size() - pos < 6) {
            what = "compressed block header cut short";
            ok = false;
            break;
        }
        const uint32_t inflated = uint8_t(bytes[pos]) | uint32_t(uint8_t(bytes[pos + 1])) << 8;
        const uint32_t stored = uint8_t(bytes[pos + 2]) | uint32_t(uint8_t(bytes[pos + 3])) << 8;
        if (stored < 2 || stored > bytes.size() - pos - 4 || bytes.substr(pos + 4, 2) != "CK") {
            what = "compressed block at byte " + std::to_string(pos) + " is damaged";
            ok = false;
            break;
        }
        if (inflated > kMszipBlockBytes || out->size() + inflated > total) {
            what = "compressed block at byte " + std::to_string(pos) + " inflates past the declared size";
            ok = false;
            break;
        }
        inflateReset(&z);
        if (previousSize)
            inflateSetDictionary(&z, reinterpret_cast<const Bytef*>(out->data() + previous),
                                 uInt(previousSize));
        const size_t start = out->size();
        out->resize(start + inflated);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data() + pos + 6));
        z.avail_in = stored - 2;
        z.next_out = reinterpret_cast<Bytef*>(out->data() + start);
        z.avail_out = inflated;
        const int r = inflate(&z, Z_FINISH);
        if (r != Z_STREAM_END || z.avail_out != 0) {
            what = "compressed block at byte " + std::to_string(pos) + " does not inflate to its size";
            ok = false;
            break;
        }
        previous = start;
        previousSize = inflated;
        pos += 4 + stored;
    }
    inflateEnd(&z);
    if (!ok) return fail(what);
    if (out->size() != total)
        return fail("compressed file inflates to " + std::to_string(out->size()) + " bytes, not " +
                    std::to_string(total));
    return true;
}

} // namespace

bool ParseXFile(std::string_view bytes, std::string_view fileName, XFile* out, std::string* error) {
    XFile result;
    std::string inflated;
    if (bytes.size() >= 16 && bytes.substr(0, 4) == "xof " &&
        (bytes.substr(8, 4) == "tzip" || bytes.substr(8, 4) == "bzip")) {
        if (!Inflate(bytes, fileName, &inflated, error)) return false;
        bytes = inflated;
    }
    Parser parser(bytes, fileName);
    if (!parser.Run(&result, error)) return false;
    *out = std::move(result);
    return true;
}

namespace {

// The binary form's writer: tokens as the reader takes them.
class BinaryWriter {
  public:
    explicit BinaryWriter(std::string* out) : out_(*out) {}

    void Token(uint16_t t) { Bytes(&t, 2); }
    void Name(std::string_view n) {
        Token(1);
        U32(uint32_t(n.size()));
        out_.append(n);
    }
    void String(std::string_view text) {
        Token(2);
        U32(uint32_t(text.size()));
        out_.append(text);
        Token(20); // ';'
    }
    void Open(std::string_view type) {
        Name(type);
        Token(10);
    }
    void Close() { Token(11); }
    void Integers(const std::vector<uint32_t>& v) {
        Token(6);
        U32(uint32_t(v.size()));
        Bytes(v.data(), v.size() * 4);
    }
    void Floats(const std::vector<float>& v) {
        Token(7);
        U32(uint32_t(v.size()));
        Bytes(v.data(), v.size() * 4);
    }

  private:
    void U32(uint32_t v) { Bytes(&v, 4); }
    void Bytes(const void* p, size_t n) { out_.append(static_cast<const char*>(p), n); }
    std::string& out_;
};

uint32_t FloatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

} // namespace

std::string XFileBinaryBytes(const XMesh& m, const XCacheStamp& stamp) {
    std::string bytes = "xof 0303bin 0032";
    BinaryWriter w(&bytes);
    w.Open(kCacheStampName);
    w.Integers({stamp.version, uint32_t(stamp.sourceSize), uint32_t(stamp.sourceSize >> 32),
                uint32_t(uint64_t(stamp.sourceTime)), uint32_t(uint64_t(stamp.sourceTime) >> 32)});
    w.Close();

    const uint32_t numVertices = uint32_t(m.positions.size());
    const uint32_t numFaces = uint32_t(m.TriangleCount());
    w.Open("Mesh");
    w.Integers({numVertices});
    std::vector<float> floats;
    floats.reserve(size_t(numVertices) * 3);
    for (const math::Vec3& p : m.positions)
        floats.insert(floats.end(), {p.x, p.y, p.z});
    w.Floats(floats);
    std::vector<uint32_t> ints;
    ints.reserve(1 + size_t(numFaces) * 4);
    ints.push_back(numFaces);
    for (uint32_t f = 0; f < numFaces; ++f)
        ints.insert(ints.end(), {3u, m.faces[3 * f], m.faces[3 * f + 1], m.faces[3 * f + 2]});
    w.Integers(ints);

    w.Open("MeshMaterialList");
    ints.assign({uint32_t(m.materials.size()), numFaces});
    for (uint32_t f = 0; f < numFaces; ++f)
        ints.push_back(f < m.faceMaterials.size() ? m.faceMaterials[f] : 0);
    w.Integers(ints);
    for (const XMaterial& mat : m.materials) {
        w.Open("Material");
        w.Floats({mat.diffuse.x, mat.diffuse.y, mat.diffuse.z, mat.diffuse.w, mat.power, mat.specular.x,
                  mat.specular.y, mat.specular.z, mat.emissive.x, mat.emissive.y, mat.emissive.z});
        if (!mat.textureFile.empty()) {
            w.Open("TextureFilename");
            w.String(mat.textureFile);
            w.Close();
        }
        w.Close();
    }
    w.Close();

    // Normal, tangent, binormal (float3), colour, texture coordinate 0
    // (float2): the engine's vertex after its position.
    struct Element {
        uint32_t type, usage;
    };
    const Element elements[] = {{kDeclFloat3, kUsageNormal},
                                {kDeclFloat3, kUsageTangent},
                                {kDeclFloat3, kUsageBinormal},
                                {kDeclColor, kUsageColor},
                                {kDeclFloat2, kUsageTexCoord}};
    w.Open("DeclData");
    ints.assign({uint32_t(std::size(elements))});
    for (const Element& e : elements)
        ints.insert(ints.end(), {e.type, 0u, e.usage, 0u});
    ints.push_back(numVertices * 12);
    auto vec = [&](const std::vector<math::Vec3>& v, uint32_t i) {
        const math::Vec3 x = i < v.size() ? v[i] : math::Vec3{};
        ints.insert(ints.end(), {FloatBits(x.x), FloatBits(x.y), FloatBits(x.z)});
    };
    std::vector<math::Vec3> normals(numVertices);
    if (m.normalFaces.size() == m.faces.size())
        for (size_t c = 0; c < m.faces.size(); ++c)
            normals[m.faces[c]] = m.normals[m.normalFaces[c]];
    for (uint32_t v = 0; v < numVertices; ++v) {
        vec(normals, v);
        vec(m.tangents, v);
        vec(m.binormals, v);
        ints.push_back(v < m.colors.size() ? m.colors[v] : 0xFFFFFFFFu);
        const math::Vec2 uv = v < m.texCoords.size() ? m.texCoords[v] : math::Vec2{};
        ints.insert(ints.end(), {FloatBits(uv.x), FloatBits(uv.y)});
    }
    w.Integers(ints);
    w.Close();
    w.Close();
    return bytes;
}

bool WriteXFileBinary(std::string_view fileName, const XMesh& mesh, const XCacheStamp& stamp,
                      std::string* error) {
    const std::string bytes = XFileBinaryBytes(mesh, stamp);
    std::FILE* f = os::OpenFile(fileName, "wb");
    if (!f) {
        if (error) *error = std::string(fileName) + ": cannot be created";
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok && error) *error = std::string(fileName) + ": cannot be written";
    return ok;
}

bool ReadXFile(std::string_view fileName, XFile* out, std::string* error) {
    os::FileBytes bytes;
    if (!os::ReadWholeFile(fileName, &bytes, size_t(kMaxFileBytes))) {
        if (!error) return false;
        if (errno == EFBIG)
            *error = std::string(fileName) + ": " + std::to_string(os::FileSize(fileName)) +
                     " bytes, more than the " + std::to_string(kMaxFileBytes) + " a mesh file may have";
        else
            *error = std::string(fileName) + ": cannot be opened";
        return false;
    }
    return ParseXFile(bytes.view(), fileName, out, error);
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
