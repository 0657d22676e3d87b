// File names of any bytes: every name leads back to its bytes, messages show the bytes that
// are not UTF-8 escaped, and a folder lists them all (POSIX systems, where names are bytes).

#include "FileNames.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(FileNames, EveryNameRoundTripsToItsBytes)
{
    struct Case {
        QByteArray bytes;
        const char* shown;  // UTF-8
    };
    for (const Case& c : {Case{"Kunden.db", "Kunden.db"}, Case{"Gr\xC3\xB6\xC3\x9F" "e.db", "Größe.db"},
                          Case{"GR\x99SSE.DB", "GR\\x99SSE.DB"}, Case{"\xF0\x9F\x8E\xB5", "\xF0\x9F\x8E\xB5"},
                          // overlong forms and encoded surrogates are no UTF-8
                          Case{"\xC0\xAF\xED\xB2\x80", "\\xC0\\xAF\\xED\\xB2\\x80"}, Case{"\xC3", "\\xC3"}}) {
        const QString name = pdx::DecodeFileName(c.bytes);
        EXPECT_EQ(pdx::EncodeFileName(name), c.bytes) << c.shown;
        EXPECT_EQ(pdx::DisplayFileName(name), QString::fromUtf8(c.shown));
        EXPECT_EQ(pdx::HasHeldBytes(name), QString::fromUtf8(c.shown).contains(u'\\')) << c.shown;
    }
}

// Names typed and names on the disk meet across case and Unicode normal form; bytes that are
// not UTF-8 stay what they are.
TEST(FileNames, FoldedNamesMeetAcrossCaseAndNormalForm)
{
    const QString composed = QString::fromUtf8("Größte Hits-Album.db");
    struct Case {
        QString first;
        QString second;
        bool same;
    } cases[] = {
        {composed, composed.normalized(QString::NormalizationForm_D), true},
        {QString::fromUtf8("GRÖSSTE"), QString::fromUtf8("gro\u0308sste"), true},
        {"JAZZ-ALBUM.DB", "jazz-album.db", true},
        {pdx::DecodeFileName("GR\x99SSE.DB"), pdx::DecodeFileName("gr\x99sse.db"), true},
        {pdx::DecodeFileName("GR\x99SSE.DB"), pdx::DecodeFileName("GR\x9ASSE.DB"), false},
        {QString::fromUtf8("Grösse"), "Grosse", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(pdx::FoldedFileName(c.first) == pdx::FoldedFileName(c.second), c.same)
            << pdx::DisplayFileName(c.first).toStdString() << " / " << pdx::DisplayFileName(c.second).toStdString();
    EXPECT_EQ(pdx::EncodeFileName(pdx::FoldedFileName(pdx::DecodeFileName("GR\x99SSE.DB"))), "gr\x99sse.db");
}

#ifndef _WIN32
TEST(FileNames, FoldersListEveryNameWithItsKind)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray folder = QFile::encodeName(dir.path());
    const QByteArray odd = folder + "/GR\x99SSE.DB";
    const int fd = ::open(odd.constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ASSERT_EQ(::mkdir((folder + "/Unter").constData(), 0755), 0);
    ASSERT_EQ(::symlink(odd.constData(), (folder + "/link.db").constData()), 0);

    std::vector<pdx::DirEntry> entries;
    ASSERT_TRUE(pdx::ListDirectory(dir.path(), entries));
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(pdx::DisplayFileName(entries[0].name), "GR\\x99SSE.DB");
    EXPECT_EQ(entries[0].kind, pdx::FileKind::Regular);
    EXPECT_EQ(entries[1].name, "Unter");
    EXPECT_EQ(entries[1].kind, pdx::FileKind::Directory);
    EXPECT_EQ(entries[2].name, "link.db");
    EXPECT_EQ(entries[2].kind, pdx::FileKind::Regular);
    EXPECT_TRUE(entries[2].link);

    const QString path = pdx::JoinFileName(dir.path(), entries[0].name);
    EXPECT_EQ(pdx::KindOf(path), pdx::FileKind::Regular);
    EXPECT_EQ(pdx::FileIdentity(path), pdx::FileIdentity(pdx::JoinFileName(dir.path(), "link.db")));
    EXPECT_TRUE(pdx::IsSymbolicLink(pdx::JoinFileName(dir.path(), "link.db")));
    EXPECT_FALSE(pdx::ListDirectory(pdx::JoinFileName(dir.path(), "fehlt"), entries));
    ::unlink(odd.constData());
}
#endif

} // namespace
