#pragma once
// Helpers shared by the engine's tests: pxlib-written tables in a temporary
// directory, and raw byte access for making damaged copies of them.

#include "PxWriter.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <string>
#include <vector>

namespace enginetest {

inline QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

inline void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

inline void PutLe16(QByteArray& bytes, qsizetype at, int value)
{
    bytes[at] = char(value & 0xFF);
    bytes[at + 1] = char((value >> 8) & 0xFF);
}

inline void PutLe32(QByteArray& bytes, qsizetype at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char((value >> (8 * i)) & 0xFF);
}

inline int Le16(const QByteArray& bytes, qsizetype at)
{
    return std::uint8_t(bytes[at]) | (std::uint8_t(bytes[at + 1]) << 8);
}

// Writes a table with pxlib and returns its path.
inline QString WriteTable(const QTemporaryDir& dir, const QString& name, const std::vector<pxw::Field>& fields,
                          const std::vector<pxw::Row>& rows, pxw::Options options = {})
{
    const QString path = dir.filePath(name);
    pxw::TableWriter writer(path.toStdString(), fields, options);
    for (const auto& row : rows)
        writer.Add(row);
    writer.Close();
    return path;
}

// pxlib always writes the driver ANSIINTL; this names another one, as the
// engine would have written for a table in that code page.
inline void SetLanguageDriver(const QString& path, const char* driver, std::uint8_t sortOrder)
{
    QByteArray bytes = ReadAll(path);
    const qsizetype at = bytes.indexOf(QByteArray("ANSIINTL"));
    if (at < 0)
        return;
    const QByteArray name(driver);
    for (qsizetype i = 0; i < 8; ++i)
        bytes[at + i] = i < name.size() ? name[i] : '\0';
    bytes[0x29] = char(sortOrder);
    WriteAll(path, bytes);
}

// BYTES of a plain table or index file as if it were password-protected with KEY (pxlib's cipher).
inline QByteArray Protected(QByteArray bytes, std::uint32_t key)
{
    pxw::ProtectBytes(reinterpret_cast<unsigned char*>(bytes.data()), std::size_t(bytes.size()), key);
    return bytes;
}

// The blocks of a protected file unscrambled with pxlib's cipher; the header is left as it is.
inline QByteArray Unscrambled(QByteArray bytes)
{
    pxw::UnscrambleBytes(reinterpret_cast<unsigned char*>(bytes.data()), std::size_t(bytes.size()));
    return bytes;
}

// The scrambling key in the header of BYTES; 0 for a plain file.
inline std::uint32_t KeyOf(const QByteArray& bytes)
{
    return pxw::ScrambleKey(reinterpret_cast<const unsigned char*>(bytes.constData()));
}

inline pxw::Value Text(const char* utf8) { return std::string(utf8); }
inline pxw::Value Int(std::int64_t v) { return v; }
inline pxw::Value Real(double v) { return v; }
inline pxw::Value Null() { return pxw::Blank{}; }

} // namespace enginetest
