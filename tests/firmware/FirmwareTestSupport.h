// Program and image bytes shared by the firmware tests.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <span>
#include <vector>

namespace kestrow::test {

// `size` program bytes; programs of other seeds differ from it.
inline QByteArray Program(int size, int seed = 7) {
    QByteArray p(size, '\0');
    for (int i = 0; i < size; ++i) {
        p[i] = static_cast<char>((i * seed + i / 200) & 0xFF);
    }
    return p;
}

// A binary image: "CPUM", the target digit, "FW", six unexamined bytes, the program.
inline QByteArray Image(char digit, const QByteArray& program) {
    return QByteArray("CPUM") + digit + "FW" + QByteArray(6, '\x5A') + program;
}

inline std::vector<std::uint8_t> Bytes(const QByteArray& a) {
    return {a.begin(), a.end()};
}

inline QByteArray Q(std::span<const std::uint8_t> b) {
    return {reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size())};
}

}  // namespace kestrow::test
