// The file helpers against Windows' own mechanisms: share modes held by
// another process, attributes after a copy, junctions in a deleted tree, and
// the staged replacement.
#include "FileInUse.h"
#include "FileReplace.h"
#include "FileUtils.h"
#include "WholeFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <optional>
#include <vector>

using namespace FileUtils;

namespace {

class WinFiles : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return QDir::toNativeSeparators(FDir.filePath(name)); }

    QString Write(const QString& name, const QByteArray& content = "data") const
    {
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return Path(name);
    }

    static QByteArray Read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }

    static DWORD Attributes(const QString& path) { return ::GetFileAttributesW(path.toStdWString().c_str()); }

    QTemporaryDir FDir;
};

// A child process that holds a file open with a share mode until it is destroyed.
class Holder {
public:
    Holder(const QString& file, DWORD shareMode)
    {
        FProcess.start(QStringLiteral(KK_SHARE_HOLDER), {file, QString::number(shareMode)});
        FReady = FProcess.waitForStarted(30000) && FProcess.waitForReadyRead(30000)
                 && FProcess.readLine().startsWith("ready");
    }
    ~Holder()
    {
        FProcess.closeWriteChannel();
        if (!FProcess.waitForFinished(30000))
            FProcess.kill();
    }
    bool Ready() const { return FReady; }

private:
    QProcess FProcess;
    bool FReady = false;
};

// A junction at link leading to target, through the mount-point reparse data
// that "mklink /J" writes.
bool MakeJunction(const QString& link, const QString& target)
{
    if (!::CreateDirectoryW(link.toStdWString().c_str(), nullptr))
        return false;
    const HANDLE dir = ::CreateFileW(link.toStdWString().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (dir == INVALID_HANDLE_VALUE)
        return false;
    const std::wstring substitute = L"\\??\\" + QDir::toNativeSeparators(target).toStdWString();
    const std::wstring print = QDir::toNativeSeparators(target).toStdWString();
    const USHORT substituteBytes = USHORT(substitute.size() * sizeof(wchar_t));
    const USHORT printBytes = USHORT(print.size() * sizeof(wchar_t));
    // Header (8 bytes), four offsets and lengths (8 bytes), both names with their NULs.
    std::vector<BYTE> buffer(16 + substituteBytes + printBytes + 4, 0);
    auto put16 = [&](size_t at, USHORT value) { std::memcpy(&buffer[at], &value, 2); };
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    std::memcpy(&buffer[0], &tag, 4);
    put16(4, USHORT(buffer.size() - 8));
    put16(8, 0);
    put16(10, substituteBytes);
    put16(12, USHORT(substituteBytes + 2));
    put16(14, printBytes);
    std::memcpy(&buffer[16], substitute.c_str(), substituteBytes);
    std::memcpy(&buffer[16 + substituteBytes + 2], print.c_str(), printBytes);
    DWORD returned = 0;
    const bool made = ::DeviceIoControl(dir, FSCTL_SET_REPARSE_POINT, buffer.data(), DWORD(buffer.size()), nullptr,
                                        0, &returned, nullptr);
    ::CloseHandle(dir);
    if (!made)
        ::RemoveDirectoryW(link.toStdWString().c_str());
    return made;
}

}  // namespace

TEST_F(WinFiles, ShareModesRefuseWithSharingViolation)
{
    const QString file = Write(QStringLiteral("held.db"));
    {
        // Share modes are per handle: a second handle of this very process is refused too.
        TExtFileStream first(file, TExtFileStream::fmOpenRead | TExtFileStream::fmShareExclusive);
        try {
            TExtFileStream second(file, TExtFileStream::fmOpenRead | TExtFileStream::fmShareDenyNone);
            ADD_FAILURE() << "a second handle was let in";
        } catch (const EExtFileStreamError& e) {
            EXPECT_EQ(e.ErrorCode, 32u);
        }
        // A stream that shares reading lets a reader in, but no writer.
    }
    {
        TExtFileStream reader(file, TExtFileStream::fmOpenRead | TExtFileStream::fmShareDenyWrite);
        EXPECT_NO_THROW(TExtFileStream(file, TExtFileStream::fmOpenRead | TExtFileStream::fmShareDenyNone));
        EXPECT_THROW(TExtFileStream(file, TExtFileStream::fmOpenWrite | TExtFileStream::fmShareDenyNone),
                     EExtFileStreamError);
    }

    // Another process holding it, sharing reading and writing as SQLite does: still in use,
    // not to be created over, not a copy target; its content stays.
    Holder holder(file, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(holder.Ready());
    EXPECT_EQ(CheckFileNotInUse(file).ErrorCode, 32u);
    EXPECT_FALSE(FileUseText(CheckFileNotInUse(file)).isEmpty());
    try {
        TExtFileStream create(file, TExtFileStream::fmCreate);
        ADD_FAILURE() << "created over a file another process holds";
    } catch (const EExtFileStreamError& e) {
        EXPECT_EQ(e.ErrorCode, 32u);
        EXPECT_TRUE(e.Message().contains(QStringLiteral("held.db"))) << e.what();
    }
    try {
        CopyFileTimeAttr(Write(QStringLiteral("new.db"), "new"), file, 32, 4096);
        ADD_FAILURE() << "copied onto a held file";
    } catch (const ECopyError& e) {
        EXPECT_EQ(e.ErrorCode, 32u);
    }
    EXPECT_EQ(Read(file), "data");
}

TEST_F(WinFiles, CopyCarriesTimeAndSetsAttributes)
{
    const QString source = Write(QStringLiteral("source.bin"), QByteArray(10000, 'x'));
    const FileTime past = CurrentFileTime() - 400 * FileTimePerDay;
    ASSERT_EQ(SetFileWriteTime(source, past), 0u);
    ASSERT_EQ(ChangeFileAttributes(source, FileAttr::ReadOnly | FileAttr::Hidden | FileAttr::Archive), 0u);

    // The source's attributes, read-only and hidden included.
    const QString copy = Path(QStringLiteral("copy.bin"));
    CopyFileTimeAttr(source, copy, SourceAttributes, 4096);
    EXPECT_EQ(Read(copy), Read(source));
    EXPECT_EQ(GetFileWriteTime(copy), past);
    EXPECT_EQ(Attributes(copy) & 0x27, DWORD(FileAttr::ReadOnly | FileAttr::Hidden | FileAttr::Archive));

    // Over that read-only, hidden target with attributes 32: archive alone.
    CopyFileTimeAttr(source, copy, FileAttr::Archive, 1);
    EXPECT_EQ(Attributes(copy) & 0x27, DWORD(FileAttr::Archive));
    EXPECT_EQ(Read(copy).size(), 10000);

    // A read-only file refuses writing and a new write time; a folder is no copy source.
    ASSERT_EQ(ChangeFileAttributes(copy, FileAttr::ReadOnly), 0u);
    EXPECT_EQ(SetFileWriteTime(copy, past), 5u);
    EXPECT_THROW(TExtFileStream(copy, TExtFileStream::fmOpenWrite), EExtFileStreamError);
    try {
        CopyFileTimeAttr(FDir.path(), Path(QStringLiteral("x")), 32, 16);
        ADD_FAILURE();
    } catch (const ECopyError& e) {
        EXPECT_EQ(e.ErrorCode, 2u);
    }
    // Letter case alone names the same file: nothing happens.
    EXPECT_NO_THROW(CopyFileTimeAttr(source, source.toUpper(), 32, 16));
}

TEST_F(WinFiles, TreeDeletionRemovesJunctionsAsLinks)
{
    QTemporaryDir outside;
    const QString kept = QDir::toNativeSeparators(outside.filePath(QStringLiteral("kept.txt")));
    QFile(kept).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::exists(kept));

    const QString tree = Path(QStringLiteral("tree"));
    QDir().mkpath(tree + QStringLiteral("\\sub\\deeper"));
    Write(QStringLiteral("tree\\sub\\deeper\\f.txt"));
    const QString readOnly = Write(QStringLiteral("tree\\sub\\ro.txt"));
    ASSERT_EQ(ChangeFileAttributes(readOnly, FileAttr::ReadOnly | FileAttr::Hidden), 0u);
    const QString junction = tree + QStringLiteral("\\sub\\link");
    if (!MakeJunction(junction, QDir::toNativeSeparators(outside.path())))
        GTEST_SKIP() << "this system makes no junctions (error " << ::GetLastError() << ")";
    ASSERT_TRUE(Attributes(junction) & FILE_ATTRIBUTE_REPARSE_POINT);
    ASSERT_TRUE(QFile::exists(junction + QStringLiteral("\\kept.txt"))) << "the junction leads outside";

    const DeleteTreeCounts counts = DeleteDirectoryTree(tree, true);
    EXPECT_EQ(counts.Failures, 0u);
    EXPECT_EQ(counts.FilesDeleted, 3u);  // two files and the junction
    EXPECT_EQ(counts.DirsRemoved, 3u);
    EXPECT_FALSE(QFileInfo::exists(tree));
    EXPECT_TRUE(QFile::exists(kept)) << "the junction's target was entered";
}

TEST_F(WinFiles, StagedReplacement)
{
    const QString target = Write(QStringLiteral("Music.sqlite"), "old");
    ASSERT_EQ(ChangeFileAttributes(target, FileAttr::ReadOnly | FileAttr::Archive), 0u);
    {
        // The rule that keeps the old bits keeps read-only.
        TStagedFile staged(target, TStagedFile::ModeRule::Keep);
        ASSERT_EQ(staged.Create(), 0u) << staged.FailureCause().toStdString();
        EXPECT_TRUE(staged.Replaces());
        QFile temp(staged.TempName());
        ASSERT_TRUE(temp.open(QIODevice::WriteOnly));
        temp.write("new");
        temp.close();
        ASSERT_EQ(staged.Commit(), 0u) << staged.FailureCause().toStdString();
    }
    EXPECT_EQ(Read(target), "new");
    EXPECT_TRUE(Attributes(target) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(QDir(FDir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1) << "a temporary file remains";

    // A file that another process holds is not replaced; a folder is none to replace.
    ASSERT_EQ(ChangeFileAttributes(target, FileAttr::Archive), 0u);
    {
        Holder holder(target, FILE_SHARE_READ | FILE_SHARE_WRITE);
        ASSERT_TRUE(holder.Ready());
        TStagedFile staged(target);
        EXPECT_EQ(staged.Create(), 32u);
        EXPECT_FALSE(StagingFailureText(staged, 32, QStringLiteral("%s")).isEmpty());
    }
    TStagedFile folder(FDir.path());
    EXPECT_EQ(folder.Create(), 5u);

    // A new file where there was none, and the temporary file gone when not committed.
    const QString fresh = Path(QStringLiteral("fresh.sqlite"));
    {
        TStagedFile staged(fresh);
        ASSERT_EQ(staged.Create(), 0u);
        EXPECT_FALSE(staged.Replaces());
        ASSERT_EQ(staged.Commit(), 0u);
    }
    EXPECT_TRUE(QFile::exists(fresh));
    {
        TStagedFile staged(fresh);
        ASSERT_EQ(staged.Create(), 0u);
        EXPECT_TRUE(QFile::exists(staged.TempName()));
    }
    EXPECT_EQ(QDir(FDir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST_F(WinFiles, WholeFileStoredWhole)
{
    const QString file = Path(QStringLiteral("settings.ini"));
    EXPECT_EQ(ReadWholeFile(file).state, WholeFile::Missing);
    ASSERT_EQ(StoreWholeFile(file, "a=1\n", ReadWholeFile(file)), 0u);
    const WholeFile first = ReadWholeFile(file);
    EXPECT_EQ(first.state, WholeFile::Read);
    EXPECT_EQ(first.bytes, "a=1\n");
    ASSERT_EQ(StoreWholeFile(file, "a=2\nb=3\n", first), 0u);
    EXPECT_EQ(Read(file), "a=2\nb=3\n");
    EXPECT_EQ(ReadWholeFile(FDir.path()).state, WholeFile::Unreadable);
    EXPECT_EQ(QDir(FDir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}
