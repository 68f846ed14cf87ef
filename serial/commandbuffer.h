#pragma once

#include <QByteArrayView>

#include <array>

// The one buffer every request is built in and every reply is read into, from byte 0.
// The longest request is the 8-byte dot pattern; the longest single read is 9 bytes
// (a drain chunk and the Tarvik status reply).
class CommandBuffer
{
public:
    static constexpr qsizetype Size = 9;

    // Copies a request into the buffer from byte 0; a request longer than the buffer is cut
    // to its size (no command of the reader is that long).
    qsizetype load(QByteArrayView request);

    // Puts a substitute reply into the buffer, as if it had been read.
    void substitute(QByteArrayView reply) { load(reply); }

    char *data() { return m_bytes.data(); }
    const char *data() const { return m_bytes.data(); }
    quint8 at(qsizetype index) const;

    // The first length bytes, clamped to the buffer.
    QByteArrayView view(qsizetype length) const;

private:
    std::array<char, Size> m_bytes{};
};
