#pragma once

#include <QByteArrayView>
#include <QString>
#include <memory>

namespace pdx {

// Decodes the bytes of one code page to UTF-16, each call on its own: no
// state carries over from one value to the next, and a lead byte that ends
// the bytes is dropped.
class CodePageDecoder {
public:
    virtual ~CodePageDecoder() = default;
    virtual QString Decode(QByteArrayView bytes) = 0;
};

// The decoder for a codec name as CodePage gives them ("IBM850",
// "windows-1252", "Shift_JIS", "hp-roman8", also "UTF-8"); null when the
// name is unknown. Qt decodes what it knows; where Qt has no converter of its
// own (Qt for Windows comes without ICU), the platform's converter stands in,
// bent to read every byte as Qt with ICU does, so that a table reads the same
// on every system. CodePageDecoderPosix.cpp and CodePageDecoderWin.cpp choose.
std::unique_ptr<CodePageDecoder> MakeCodePageDecoder(const QString& codecName);

// Qt's own decoder for the name; null when Qt does not know it.
std::unique_ptr<CodePageDecoder> MakeQtDecoder(const QString& codecName);

} // namespace pdx
