// Field-by-field reading and writing of the saved images of world records.
// Widths are those of the image, not of memory: a pointer takes 4 bytes and
// is written as 0 (and read back as null), vectors, orientations and PESELs
// are their floats and words in order, arrays are their elements in order.
// Images are little-endian like every binary file of the program.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "app/FileHelpers.h"
#include "app/Orientation.h"
#include "platform/math/Types.h"
#include "world/BezierMoving.h"
#include "world/Engine.h"

namespace imageio {

static_assert(std::endian::native == std::endian::little, "images are copied as little-endian values");

template <class T> constexpr size_t Width() {
    if constexpr (std::is_pointer_v<T>)
        return 4;
    else if constexpr (std::is_array_v<T>)
        return std::extent_v<T> * Width<std::remove_extent_t<T>>();
    else if constexpr (std::is_same_v<T, BezierMovingParams>)
        return BezierMovingParams::IMAGE_SIZE;
    else if constexpr (std::is_same_v<T, ObjectSubRecord>)
        return ObjectSubRecord::IMAGE_SIZE;
    else if constexpr (std::is_same_v<T, orientation>)
        return 116;
    else if constexpr (std::is_same_v<T, math::Vec3> || std::is_same_v<T, PESEL>)
        return 12;
    else {
        static_assert(std::is_arithmetic_v<T>, "no image form for this type");
        return sizeof(T);
    }
}

template <class T> void Put(uint8_t* p, const T& v) {
    if constexpr (std::is_pointer_v<T>) {
        std::memset(p, 0, 4);
    } else if constexpr (std::is_array_v<T>) {
        using E = std::remove_extent_t<T>;
        if constexpr (std::is_arithmetic_v<E>)
            std::memcpy(p, v, sizeof(T));
        else
            for (size_t i = 0; i < std::extent_v<T>; ++i)
                Put(p + i * Width<E>(), v[i]);
    } else if constexpr (std::is_same_v<T, BezierMovingParams> || std::is_same_v<T, ObjectSubRecord>) {
        v.WriteImage(p);
    } else if constexpr (std::is_same_v<T, orientation>) {
        Put(p, v.quaternion.x);
        Put(p + 4, v.quaternion.y);
        Put(p + 8, v.quaternion.z);
        Put(p + 12, v.quaternion.w);
        std::memcpy(p + 16, v.matrix.m, 64);
        Put(p + 80, v.forward);
        Put(p + 92, v.right);
        Put(p + 104, v.up);
    } else if constexpr (std::is_same_v<T, math::Vec3>) {
        Put(p, v.x);
        Put(p + 4, v.y);
        Put(p + 8, v.z);
    } else if constexpr (std::is_same_v<T, PESEL>) {
        Put(p, v.dwTime);
        Put(p + 4, v.dwRand);
        Put(p + 8, v.dwSlot);
    } else {
        std::memcpy(p, &v, sizeof(T));
    }
}

template <class T> void Get(const uint8_t* p, T& v) {
    if constexpr (std::is_pointer_v<T>) {
        v = nullptr;
    } else if constexpr (std::is_array_v<T>) {
        using E = std::remove_extent_t<T>;
        if constexpr (std::is_arithmetic_v<E>)
            std::memcpy(v, p, sizeof(T));
        else
            for (size_t i = 0; i < std::extent_v<T>; ++i)
                Get(p + i * Width<E>(), v[i]);
    } else if constexpr (std::is_same_v<T, BezierMovingParams> || std::is_same_v<T, ObjectSubRecord>) {
        v.ReadImage(p);
    } else if constexpr (std::is_same_v<T, orientation>) {
        Get(p, v.quaternion.x);
        Get(p + 4, v.quaternion.y);
        Get(p + 8, v.quaternion.z);
        Get(p + 12, v.quaternion.w);
        std::memcpy(v.matrix.m, p + 16, 64);
        Get(p + 80, v.forward);
        Get(p + 92, v.right);
        Get(p + 104, v.up);
    } else if constexpr (std::is_same_v<T, math::Vec3>) {
        Get(p, v.x);
        Get(p + 4, v.y);
        Get(p + 8, v.z);
    } else if constexpr (std::is_same_v<T, PESEL>) {
        Get(p, v.dwTime);
        Get(p + 4, v.dwRand);
        Get(p + 8, v.dwSlot);
    } else {
        std::memcpy(&v, p, sizeof(T));
    }
}

struct Span {
    size_t offset;
    size_t width;
};

// The listed fields lie in order, do not overlap and end inside the image.
template <size_t N> constexpr bool Fits(const Span (&spans)[N], size_t imageSize) {
    for (size_t i = 0; i < N; ++i) {
        if (spans[i].offset + spans[i].width > imageSize) return false;
        if (i + 1 < N && spans[i].offset + spans[i].width > spans[i + 1].offset) return false;
    }
    return true;
}

// A record image through the counted binary helpers. Reading first writes the
// record's own image, so a short read keeps the fields as they were.
template <class Record> void FileWrite(std::FILE* f, const Record& record) {
    uint8_t image[Record::IMAGE_SIZE];
    record.WriteImage(image);
    FileWriteBytes(f, image, sizeof image);
}

template <class Record> void FileRead(std::FILE* f, Record& record) {
    uint8_t image[Record::IMAGE_SIZE];
    record.WriteImage(image);
    FileReadBytes(f, image, sizeof image);
    record.ReadImage(image);
}

} // namespace imageio

// Defines Record::WriteImage and Record::ReadImage from the record's field
// list FIELDS(X), each entry X(offset, member): writing zeroes the image first
// so its padding is defined, reading leaves fields that are not listed alone.
#define ZT_IMAGE_PUT_FIELD(offset, member) imageio::Put(image + (offset), member);
#define ZT_IMAGE_GET_FIELD(offset, member) imageio::Get(image + (offset), member);
#define ZT_DEFINE_RECORD_IMAGE(Record, FIELDS)                                                               \
    void Record::WriteImage(uint8_t* image) const {                                                          \
        std::memset(image, 0, IMAGE_SIZE);                                                                   \
        FIELDS(ZT_IMAGE_PUT_FIELD)                                                                           \
    }                                                                                                        \
    void Record::ReadImage(const uint8_t* image) {                                                           \
        FIELDS(ZT_IMAGE_GET_FIELD)                                                                           \
    }
