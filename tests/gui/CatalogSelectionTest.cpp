#include "CatalogSelection.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace CatalogSelection;

TEST(CatalogSelectionTest, ChosenFileGivesRootAndCatalog)
{
    const struct {
        const char* root;
        const char* file;
        bool sameRoot;
        const char* directory;
        const char* catalog;
    } cases[] = {
        {"/d/Musik", "/d/Musik/Jazz-Album.db", true, "/d/Musik/", "Jazz"},
        {"/d/Musik/", "/d/Musik/Jazz-Album.db", true, "/d/Musik/", "Jazz"},
        // Another spelling of the directory is another directory on this file system; the name
        // is still searched ignoring case.
        {"/d/Musik/", "/d/musik/Jazz-album.DB", false, "/d/musik/", "Jazz"},
        {"/d/Musik/", "/e/Andere/Rock-Album.db", false, "/e/Andere/", "Rock"},
        {"/d/Musik/", "/d/Musik/Liste.db", true, "/d/Musik/", ""},
        {"/d/Musik/", "/d/Musik/A-Album.db-Album.db", true, "/d/Musik/", "A"},
        {"/d/Musik/", "/d/Musik/-Album.db", true, "/d/Musik/", ""},
        {"", "/Jazz-Album.db", false, "/", "Jazz"},
    };
    for (const auto& c : cases) {
        const ChosenCatalog chosen = ResolveChosenFile(c.root, c.file);
        EXPECT_EQ(chosen.sameRoot, c.sameRoot) << c.root << " " << c.file;
        EXPECT_EQ(chosen.directory, c.directory) << c.file;
        EXPECT_EQ(chosen.catalog, c.catalog) << c.file;
    }
}

TEST(CatalogSelectionTest, FilterListsAlbumFilesInAnyCase)
{
    EXPECT_TRUE(FileDialogFilter().startsWith("Plattenkataloge ("));
    const QRegularExpression pattern(QRegularExpression::wildcardToRegularExpression(
        CaseInsensitivePattern(AlbumPattern)));
    for (const char* name : {"Jazz-Album.db", "x-album.DB", "X-ALBUM.DB", "-Album.db"})
        EXPECT_TRUE(pattern.match(QString::fromUtf8(name)).hasMatch()) << name;
    for (const char* name : {"Jazz-Titel.db", "Jazz-Album.dbx", "JazzAlbum.db", "Jazz-Album.mb"})
        EXPECT_FALSE(pattern.match(QString::fromUtf8(name)).hasMatch()) << name;
}

TEST(CatalogSelectionTest, FolderChooserStartsInAnExistingRootElseInTheDocuments)
{
    QTemporaryDir dir;
    const QString musik = dir.path() + QStringLiteral("/Musik/");
    ASSERT_TRUE(QDir().mkpath(musik));
    ASSERT_TRUE(QFile::link(musik, dir.path() + QStringLiteral("/link")));
    QFile file(dir.path() + QStringLiteral("/file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));

    const QString documents = QStringLiteral("/home/u/Documents");
    EXPECT_EQ(RootDirStart(musik, documents), musik);
    EXPECT_EQ(RootDirStart(dir.path() + "/link", documents), dir.path() + "/link");
    EXPECT_EQ(RootDirStart(dir.path() + "/Gibt es nicht", documents), documents);
    EXPECT_EQ(RootDirStart(dir.path() + "/file", documents), documents);
    EXPECT_EQ(RootDirStart("", documents), documents);
}
