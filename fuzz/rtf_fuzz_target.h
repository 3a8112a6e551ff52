// The RTF reader's fuzz body, shared by the libFuzzer entry point and the replay test. Any bytes
// load without a crash, and what loaded survives our own writer: read, write and read again
// gives the same text, and writing that once more gives the same bytes.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QTextDocument>
#include <cstdint>
#include <cstdlib>

#include "richtext/rtf.h"

namespace rtffuzz {

inline void read(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QTextDocument first;
    marlo::richtext::readRtf(bytes, first);
    const QByteArray written = marlo::richtext::writeRtf(first);
    QTextDocument second;
    marlo::richtext::readRtf(written, second);
    if (second.toRawText() != first.toRawText()) std::abort();
    if (marlo::richtext::writeRtf(second) != written) std::abort();
}

}  // namespace rtffuzz
