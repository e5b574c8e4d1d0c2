// Licensed under the MIT licence; see LICENSE.
// How each field value type is laid out in a file: little-endian, fixed size
// for scalars, the bare bytes for strings, the bare elements for arrays (the
// field record's length says how many).
#pragma once

#include "scenegraph/BaseTypes.h"
#include "scenegraph/ByteSink.h"
#include "scenegraph/Matrix.h"
#include "scenegraph/MemoryPages.h"
#include "scenegraph/Vec3f.h"

#include <cstddef>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace osg {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "values are stored little-endian by plain copies");

// Each specialisation offers: size(v), write(sink, v), check(data, size) ->
// nullptr or a short reason, and read(data, size, v) for checked bytes.
template <class T> struct FieldCodec;

template <class T> struct FixedSizeFieldCodec {
    static UInt64 size(const T&) { return sizeof(T); }
    static void write(ByteSink& sink, const T& v) { sink.write(&v, sizeof(T)); }
    static const char* check(const UInt8*, UInt64 size)
    {
        return size < sizeof(T) ? "truncated" : size > sizeof(T) ? "too long" : nullptr;
    }
    static void read(const UInt8* data, UInt64, T& v) { std::memcpy(&v, data, sizeof(T)); }
};

template <> struct FieldCodec<UInt32> : FixedSizeFieldCodec<UInt32> {};
template <> struct FieldCodec<Int32> : FixedSizeFieldCodec<Int32> {};
template <> struct FieldCodec<UInt64> : FixedSizeFieldCodec<UInt64> {};
template <> struct FieldCodec<Real32> : FixedSizeFieldCodec<Real32> {};
template <> struct FieldCodec<Vec3f> : FixedSizeFieldCodec<Vec3f> {};
template <> struct FieldCodec<Matrix> : FixedSizeFieldCodec<Matrix> {};

template <> struct FieldCodec<std::string> {
    static UInt64 size(const std::string& v) { return v.size(); }
    static void write(ByteSink& sink, const std::string& v) { sink.write(v.data(), v.size()); }
    static const char* check(const UInt8*, UInt64) { return nullptr; }
    static void read(const UInt8* data, UInt64 size, std::string& v)
    {
        v.assign(reinterpret_cast<const char*>(data), std::size_t(size));
    }
};

template <class E> struct ArrayFieldCodec {
    static UInt64 size(const std::vector<E>& v) { return UInt64(v.size()) * sizeof(E); }
    static void write(ByteSink& sink, const std::vector<E>& v)
    {
        if (!v.empty())
            sink.write(v.data(), v.size() * sizeof(E));
    }
    static const char* check(const UInt8*, UInt64 size)
    {
        return size % sizeof(E) != 0 ? "length is not a whole number of elements" : nullptr;
    }
    static void read(const UInt8* data, UInt64 size, std::vector<E>& v)
    {
        // Built straight from the bytes into storage of the final size:
        // resizing first would write every element twice, and a fresh
        // array's first write is its cost, so a large one asks for huge
        // pages before it is written.
        v.clear();
        v.shrink_to_fit();
        v.reserve(std::size_t(size / sizeof(E)));
        if (size >= LargeArrayBytes)
            adviseHugePages(v.data(), std::size_t(size));
        v.assign(ElementIterator{data}, ElementIterator{data + size});
    }

private:
    // Yields elements from unaligned bytes.
    struct ElementIterator {
        using iterator_category = std::random_access_iterator_tag;
        using value_type = E;
        using difference_type = std::ptrdiff_t;
        using pointer = const E*;
        using reference = E;

        const UInt8* p;
        E operator*() const
        {
            E e;
            std::memcpy(&e, p, sizeof(E));
            return e;
        }
        ElementIterator& operator++()
        {
            p += sizeof(E);
            return *this;
        }
        ElementIterator operator++(int)
        {
            ElementIterator old = *this;
            p += sizeof(E);
            return old;
        }
        ElementIterator& operator--()
        {
            p -= sizeof(E);
            return *this;
        }
        ElementIterator& operator+=(difference_type n)
        {
            p += n * difference_type(sizeof(E));
            return *this;
        }
        ElementIterator& operator-=(difference_type n) { return *this += -n; }
        ElementIterator operator+(difference_type n) const { return ElementIterator(*this) += n; }
        ElementIterator operator-(difference_type n) const { return ElementIterator(*this) += -n; }
        E operator[](difference_type n) const { return *(*this + n); }
        difference_type operator-(const ElementIterator& o) const { return (p - o.p) / difference_type(sizeof(E)); }
        bool operator==(const ElementIterator& o) const { return p == o.p; }
        bool operator!=(const ElementIterator& o) const { return p != o.p; }
        bool operator<(const ElementIterator& o) const { return p < o.p; }
    };
};

template <> struct FieldCodec<std::vector<Vec3f>> : ArrayFieldCodec<Vec3f> {};
template <> struct FieldCodec<std::vector<UInt32>> : ArrayFieldCodec<UInt32> {};

} // namespace osg
