// The other forms of a .x file for the reader's tests and fuzzing: a binary
// file written token by token, and the compressed form of a text or binary
// file (MSZIP blocks of 32 KB, raw deflate, each block with the previous one
// as its dictionary).
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

// The binary form's tokens; floats as 32 or 64 bits as the header says.
struct XTokens {
    std::string bytes;
    bool doubles = false;
    void Token(uint16_t t) { bytes.append(reinterpret_cast<const char*>(&t), 2); }
    void U32(uint32_t v) { bytes.append(reinterpret_cast<const char*>(&v), 4); }
    void Name(const std::string& n) {
        Token(1);
        U32(uint32_t(n.size()));
        bytes += n;
    }
    void Open(const std::string& type) {
        Name(type);
        Token(10);
    }
    void Close() { Token(11); }
    void Ints(std::vector<uint32_t> v) {
        Token(6);
        U32(uint32_t(v.size()));
        for (uint32_t x : v)
            U32(x);
    }
    void Floats(std::vector<double> v) {
        Token(7);
        U32(uint32_t(v.size()));
        for (double x : v) {
            if (doubles) {
                bytes.append(reinterpret_cast<const char*>(&x), 8);
            } else {
                const float f = float(x);
                bytes.append(reinterpret_cast<const char*>(&f), 4);
            }
        }
    }
    void String(const std::string& s) {
        Token(2);
        U32(uint32_t(s.size()));
        bytes += s;
        Token(20);
    }
};

// "txt " becomes "tzip", "bin " becomes "bzip"; blockBytes cuts the body.
inline std::string CompressXFile(std::string_view file, size_t blockBytes = 32768) {
    std::string header(file.substr(0, 16));
    header.replace(8, 4, header.substr(8, 4) == "bin " ? "bzip" : "tzip");
    const std::string_view body = file.substr(16);
    std::string out = header;
    const uint32_t total = uint32_t(file.size());
    out.append(reinterpret_cast<const char*>(&total), 4);
    std::string_view previous;
    for (size_t at = 0; at < body.size(); at += blockBytes) {
        const std::string_view block = body.substr(at, blockBytes);
        z_stream z{};
        deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        if (!previous.empty())
            deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(previous.data()), uInt(previous.size()));
        std::string data(deflateBound(&z, uLong(block.size())) + 16, '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block.data()));
        z.avail_in = uInt(block.size());
        z.next_out = reinterpret_cast<Bytef*>(data.data());
        z.avail_out = uInt(data.size());
        deflate(&z, Z_FINISH);
        data.resize(z.total_out);
        deflateEnd(&z);
        const uint16_t sizes[2] = {uint16_t(block.size()), uint16_t(data.size() + 2)};
        out.append(reinterpret_cast<const char*>(sizes), 4);
        out += "CK";
        out += data;
        previous = block;
    }
    return out;
}
