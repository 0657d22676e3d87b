// Byte-for-byte copy that carries the last-write time and sets attributes.
// The copying goes through the stream and the attribute helpers; only the
// check that the source is a regular file asks the system directly.
#include "FileUtils.h"
#include "Platform.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>

namespace FileUtils {

namespace {

constexpr std::uint16_t kOpenSourceMode = TExtFileStream::fmOpenRead
                                          | TExtFileStream::fmShareDenyNone;  // 0x40
constexpr std::uint16_t kCreateTargetMode = TExtFileStream::fmCreate;        // 0xFF00
constexpr std::uint32_t kDiskFull = 112;

[[noreturn]] void Fail(const QString& pattern, const QString& fileName, std::uint32_t code)
{
    throw ECopyError(SafeFormat(pattern, {fileName}), code);
}

bool IsSameFile(const QString& source, const QString& target)
{
    // Besides the same spelling, any other spelling of the same file ("a//b",
    // "./b", a link) must count too: copying onto it would truncate the source.
    return SamePathSpelling(source, target) || Platform::SameFileObject(source, target);
}

std::uint32_t TargetAttributes(const QString& source, std::uint32_t attributes)
{
    if (attributes & 0x80000000u) {
        // The source was found a moment ago; should its attributes vanish
        // meanwhile, a plain archive file is the safe choice.
        std::uint32_t sourceAttributes = FileAttr::Archive;
        if (QueryFileAttributes(source, sourceAttributes) != 0)
            sourceAttributes = FileAttr::Archive;
        attributes = sourceAttributes;
    }
    return attributes & 0xFFFF;
}

}  // namespace

std::uint32_t QueryFileAttributes(const QString& fileName, std::uint32_t& attributes)
{
    FileAttributeData data;
    const std::uint32_t error = GetFileAttributeData(fileName, data);
    if (error == 0)
        attributes = data.Attributes;
    return error;
}

FileTime GetFileWriteTime(const QString& fileName)
{
    FileAttributeData data;
    return GetFileAttributeData(fileName, data) == 0 ? data.LastWriteTime : 0;
}

FileTime Platform::WithoutFutureTime(FileTime time)
{
    // Values beyond the calendar are in the future too.
    const FileTime now = CurrentFileTime();
    return time > now && time - now > FileTimePerDay ? now : time;
}

void CopyFileTimeAttr(const QString& source, const QString& target, std::uint32_t attributes,
                      std::uint32_t bufferSize)
{
    if (IsSameFile(source, target))
        return;
    if (!Platform::IsRegularFile(source) || target.isEmpty())
        Fail(QStringLiteral("Datei nicht gefunden: \"%s\""), source, 2);

    // A zero size would never end the loop; reads and writes take at most an int32 count.
    const std::int32_t chunk = static_cast<std::int32_t>(
        std::clamp<std::uint32_t>(bufferSize, 1, std::numeric_limits<std::int32_t>::max()));
    const std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(chunk)]);

    const FileTime writeTime = GetFileWriteTime(source);
    const std::uint32_t targetAttributes = TargetAttributes(source, attributes);

    std::optional<TExtFileStream> in;
    try {
        in.emplace(source, kOpenSourceMode);
    } catch (const EExtFileStreamError& e) {
        Fail(QStringLiteral("Fehler beim Öffnen von \"%s\""), source, e.ErrorCode);
    }
    // The name may have been replaced since the check above; what counts is
    // the file actually opened (the stream opens without blocking).
    if (!Platform::IsRegularFile(*in))
        Fail(QStringLiteral("Datei nicht gefunden: \"%s\""), source, 2);

    if (FileExists(target)) {
        if (const std::uint32_t error = ChangeFileAttributes(target, FileAttr::Archive))
            Fail(QStringLiteral("Fehler beim Erstellen von \"%s\""), target, error);
    }

    std::optional<TExtFileStream> out;
    try {
        out.emplace(target, kCreateTargetMode);
    } catch (const EExtFileStreamError& e) {
        Fail(QStringLiteral("Fehler beim Erstellen von \"%s\""), target, e.ErrorCode);
    }

    // Only a read of 0 bytes marks the end: a read may deliver fewer bytes
    // than asked for long before it (files under /proc, network file systems,
    // and Linux moves at most 0x7ffff000 bytes per call).
    // An exception below closes both streams on its way out.
    for (;;) {
        std::int32_t readCount = 0;
        if (const std::uint32_t error = in->Read(buffer.get(), chunk, readCount))
            Fail(QStringLiteral("Fehler beim Lesen aus \"%s\""), source, error);
        if (readCount == 0)
            break;
        std::int32_t writeCount = 0;
        if (const std::uint32_t error = out->Write(buffer.get(), readCount, writeCount))
            Fail(QStringLiteral("Fehler beim Schreiben in \"%s\""), target, error);
        if (writeCount < readCount)
            Fail(QStringLiteral("Fehler beim Schreiben in \"%s\""), target, kDiskFull);
    }

    in->Close();  // nothing was written to the source: its close cannot lose data
    // The file system may report only now that it could not store the data
    // (network and quota-bound file systems do); that is a failed write.
    if (const std::uint32_t error = out->Close())
        Fail(QStringLiteral("Fehler beim Schreiben in \"%s\""), target, error);

    if (const std::uint32_t error = SetFileWriteTime(target, writeTime))
        Fail(QStringLiteral("Fehler beim Setzen der Zeitstempel von \"%s\""), target, error);
    if (const std::uint32_t error = ChangeFileAttributes(target, targetAttributes))
        Fail(QStringLiteral("Fehler beim Setzen der Attribute von \"%s\""), target, error);
}

}  // namespace FileUtils
