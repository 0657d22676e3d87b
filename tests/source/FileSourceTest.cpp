// Table files as each system opens them: only regular files, read-only, and
// without getting in the way of the program that owns the table.

#include "ByteSource.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>

namespace {

#ifdef Q_OS_WIN
const QString kNullDevice = QStringLiteral("NUL");
#else
const QString kNullDevice = QStringLiteral("/dev/null");
#endif

// A table file in a folder of its own, held open for writing by its owner
// (the engine that owns a table may do so while it is read).
class FileSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(owner.open(QIODevice::ReadWrite));
        ASSERT_EQ(owner.write("0123456789"), 10);
        ASSERT_TRUE(owner.flush());
    }

    QTemporaryDir dir;
    const QString path = dir.filePath("Titel.db");
    QFile owner{path};
};

TEST_F(FileSourceTest, OpensRegularFilesOnly)
{
    owner.close();
    struct Case {
        const char* what;
        QString path;
        bool regular;
    };
    const Case cases[] = {
        {"regular file", path, true},
        {"directory", dir.path(), false},
        {"missing file", dir.filePath("Fehlt.db"), false},
        {"null device", kNullDevice, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(pdx::IsRegularFile(c.path), c.regular) << c.what;
        pdx::FileSource source;
        ASSERT_EQ(source.Open(c.path), c.regular) << c.what;
        if (c.regular) {
            char bytes[4] = {};
            EXPECT_EQ(source.Size(), 10u);
            EXPECT_TRUE(source.ReadAt(6, bytes, 4));
            EXPECT_EQ(std::string(bytes, 4), "6789");
            EXPECT_FALSE(source.ReadAt(8, bytes, 3)) << "reads past the end";
        }
    }
}

// The source opens while the owner writes, and reads on while the owner
// writes, renames or deletes the table.
TEST_F(FileSourceTest, LeavesTheFileToOtherPrograms)
{
    pdx::FileSource source;
    ASSERT_TRUE(source.Open(path));
    EXPECT_EQ(owner.write("ab"), 2) << "the owner can no longer write";
    owner.close();

    const QString renamed = dir.filePath("Titel.alt");
    EXPECT_TRUE(QFile::rename(path, renamed)) << "the owner can no longer rename the table";
    EXPECT_TRUE(QFile::remove(renamed)) << "the owner can no longer delete the table";
    char bytes[4] = {};
    ASSERT_TRUE(source.ReadAt(0, bytes, 4));
    EXPECT_EQ(std::string(bytes, 4), "0123");
}

} // namespace
