// Where the programs find the template and the information page: beside the executable first,
// then in ../share/ of the executable's real directory, else named beside it.

#include "DataFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cctype>
#include <ostream>
#include <string>

namespace {

struct LookupCase {
    const char* what;
    QStringList files;       // made below the temporary root
    const char* programDir;  // relative to the root, with its trailing slash
    QStringList shareDirs;
    const char* expected;    // relative to the root
};

// gtest shows a failing case by its words, not its bytes.
void PrintTo(const LookupCase& c, std::ostream* os)
{
    *os << c.what;
}

class DataFilesTest : public ::testing::TestWithParam<LookupCase> {
protected:
    // The root with its links resolved, as the look-up sees the real directories.
    QString Path(const QString& relative) const
    {
        return QFileInfo(root_.path()).canonicalFilePath() + u'/' + relative;
    }

    void MakeFile(const QString& relative) const
    {
        const QString path = Path(relative);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    QTemporaryDir root_;
};

TEST_P(DataFilesTest, FindsTheFirstExistingPlace)
{
    const LookupCase& c = GetParam();
    ASSERT_TRUE(QDir().mkpath(Path("inst/bin")));
    for (const QString& file : c.files)
        MakeFile(file);
    // "link/bin" is a link to the installed program directory, as a portable start script or
    // /usr/local/bin pointing into /opt would give.
    ASSERT_TRUE(QDir().mkpath(Path("link")));
    ASSERT_TRUE(QFile::link(Path("inst/bin"), Path("link/bin")));
    // On Windows QFile::link makes a shell shortcut, which no path goes through.
    if (QString(c.programDir).startsWith("link/") && !QFileInfo(Path("link/bin")).isSymbolicLink())
        GTEST_SKIP() << "no symbolic links to directories here";

    const QString found = DataFiles::Locate(Path(c.programDir), "def-Music.sqlite", c.shareDirs);
    EXPECT_EQ(found, QDir::toNativeSeparators(Path(c.expected))) << c.what;
}

const QStringList kTemplateDirs{"katalogkonverter"};
const QStringList kPageDirs{"katalogkonverter", "doc/katalogkonverter"};

INSTANTIATE_TEST_SUITE_P(
    Places, DataFilesTest,
    ::testing::Values(
        LookupCase{"beside wins over share",
                   {"inst/bin/def-Music.sqlite", "inst/share/katalogkonverter/def-Music.sqlite"},
                   "inst/bin/", kTemplateDirs, "inst/bin/def-Music.sqlite"},
        LookupCase{"share when nothing lies beside",
                   {"inst/share/katalogkonverter/def-Music.sqlite"},
                   "inst/bin/", kTemplateDirs, "inst/share/katalogkonverter/def-Music.sqlite"},
        LookupCase{"share folders in their order",
                   {"inst/share/doc/katalogkonverter/def-Music.sqlite", "inst/share/katalogkonverter/def-Music.sqlite"},
                   "inst/bin/", kPageDirs, "inst/share/katalogkonverter/def-Music.sqlite"},
        LookupCase{"a later share folder",
                   {"inst/share/doc/katalogkonverter/def-Music.sqlite"},
                   "inst/bin/", kPageDirs, "inst/share/doc/katalogkonverter/def-Music.sqlite"},
        LookupCase{"a directory of that name is no file",
                   {"inst/bin/def-Music.sqlite/x", "inst/share/katalogkonverter/def-Music.sqlite"},
                   "inst/bin/", kTemplateDirs, "inst/share/katalogkonverter/def-Music.sqlite"},
        LookupCase{"nowhere: named beside",
                   {"inst/share/other/def-Music.sqlite"},
                   "inst/bin/", kTemplateDirs, "inst/bin/def-Music.sqlite"},
        LookupCase{"through a link: share of the real directory, not beside the link",
                   {"inst/share/katalogkonverter/def-Music.sqlite", "link/share/katalogkonverter/def-Music.sqlite"},
                   "link/bin/", kTemplateDirs, "inst/share/katalogkonverter/def-Music.sqlite"},
        LookupCase{"through a link: beside still wins, named as given",
                   {"inst/bin/def-Music.sqlite", "inst/share/katalogkonverter/def-Music.sqlite"},
                   "link/bin/", kTemplateDirs, "link/bin/def-Music.sqlite"},
        LookupCase{"missing program directory: named beside",
                   {"inst/share/katalogkonverter/def-Music.sqlite"},
                   "gone/bin/", kTemplateDirs, "gone/bin/def-Music.sqlite"}),
    [](const ::testing::TestParamInfo<LookupCase>& info) {
        // The case's words in camel case, so that ctest lists it by what it tries.
        std::string name;
        bool upper = true;
        for (const char c : std::string(info.param.what)) {
            if (std::isalnum(static_cast<unsigned char>(c))) {
                name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
                upper = false;
            } else {
                upper = true;
            }
        }
        return name;
    });

} // namespace
