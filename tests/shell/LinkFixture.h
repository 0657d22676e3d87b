// Builds small Windows shortcut (.lnk) files byte by byte, after the public description of
// the shell link binary format: a 76-byte header, an optional location block holding the
// local base path, then counted UTF-16 strings, then the terminal block.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>

namespace LinkFixture {

struct Link {
    QString localPath;  // empty: no location block
    QString description;
    QString workDir;
    QString arguments;
    bool runAsUser = false;
};

inline void PutU16(QByteArray& out, std::uint16_t v)
{
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>(v >> 8));
}

inline void PutU32(QByteArray& out, std::uint32_t v)
{
    PutU16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    PutU16(out, static_cast<std::uint16_t>(v >> 16));
}

inline void PutCountedText(QByteArray& out, const QString& text)
{
    PutU16(out, static_cast<std::uint16_t>(text.size()));
    for (QChar c : text)
        PutU16(out, c.unicode());
}

inline QByteArray Build(const Link& link)
{
    constexpr std::uint32_t HasLinkInfo = 0x02, HasName = 0x04, HasWorkingDir = 0x10, HasArguments = 0x20,
                            IsUnicode = 0x80, RunAsUser = 0x2000;
    std::uint32_t flags = IsUnicode;
    if (!link.localPath.isEmpty())
        flags |= HasLinkInfo;
    if (!link.description.isEmpty())
        flags |= HasName;
    if (!link.workDir.isEmpty())
        flags |= HasWorkingDir;
    if (!link.arguments.isEmpty())
        flags |= HasArguments;
    if (link.runAsUser)
        flags |= RunAsUser;

    QByteArray out;
    PutU32(out, 0x4C);  // header size
    out.append(QByteArray::fromHex("0114020000000000C000000000000046"));  // the ShellLink class
    PutU32(out, flags);
    PutU32(out, 0x10);                // file attributes: a directory
    out.append(QByteArray(24, '\0'));  // creation, access and write times
    PutU32(out, 0);                   // file size
    PutU32(out, 0);                   // icon index
    PutU32(out, 1);                   // show command: normal
    PutU16(out, 0);                   // hot key
    out.append(QByteArray(10, '\0'));  // reserved

    if (!link.localPath.isEmpty()) {
        const QByteArray base = link.localPath.toLatin1() + '\0';
        const std::uint32_t headerSize = 0x1C, volumeSize = 0x11;
        const std::uint32_t volumeOffset = headerSize;
        const std::uint32_t baseOffset = volumeOffset + volumeSize;
        const std::uint32_t suffixOffset = baseOffset + static_cast<std::uint32_t>(base.size());
        const std::uint32_t total = suffixOffset + 1;
        PutU32(out, total);
        PutU32(out, headerSize);
        PutU32(out, 1);  // a volume and a local base path
        PutU32(out, volumeOffset);
        PutU32(out, baseOffset);
        PutU32(out, 0);  // no network location
        PutU32(out, suffixOffset);
        PutU32(out, volumeSize);
        PutU32(out, 3);           // fixed drive
        PutU32(out, 0x12345678);  // serial number
        PutU32(out, 0x10);        // label offset
        out.append('\0');         // empty label
        out.append(base);
        out.append('\0');  // empty common path suffix
    }
    if (!link.description.isEmpty())
        PutCountedText(out, link.description);
    if (!link.workDir.isEmpty())
        PutCountedText(out, link.workDir);
    if (!link.arguments.isEmpty())
        PutCountedText(out, link.arguments);
    PutU32(out, 0);  // terminal block
    return out;
}

inline bool Write(const QString& fileName, const Link& link)
{
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(Build(link)) >= 0;
}

}  // namespace LinkFixture
