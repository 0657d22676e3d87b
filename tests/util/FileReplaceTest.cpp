// A staged file replacing its target with one rename.
#include "FileReplace.h"
#include "FileUtils.h"
#include "HolderProcess.h"
#include "TempTree.h"

#include <gtest/gtest.h>

using namespace FileUtils;

TEST(StagedFile, CommitReplacesTheTargetWithOneRenameAndDropsItsSideFiles)
{
    TempTree tree;
    const QString target = tree.WriteFile("Jazz-Music.sqlite", "alt");
    SetMode(target, 0440);
    // Left by a dead program, at rest: the journal zeroed, the WAL empty.
    tree.WriteFile("Jazz-Music.sqlite-journal", QByteArray(512, '\0'));
    tree.WriteFile("Jazz-Music.sqlite-wal", "");
    tree.WriteFile("Jazz-Music.sqlite-shm", "von einem toten Programm");

    TStagedFile staged(target);
    ASSERT_EQ(staged.Create(), 0u);
    const QString temp = staged.TempName();
    EXPECT_EQ(QFileInfo(temp).path(), tree.Root());
    EXPECT_TRUE(QFileInfo(temp).fileName().startsWith(".Jazz-Music.sqlite.kk-"));
    {
        QFile file(temp);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("neu");
    }
    EXPECT_EQ(ReadAll(target), "alt");  // untouched until the commit

    ASSERT_EQ(staged.Commit(), 0u);
    EXPECT_EQ(ReadAll(target), "neu");
    EXPECT_EQ(ModeOf(target), mode_t(0640));  // the old permissions, writable for the owner
    EXPECT_EQ(QDir(tree.Root()).entryList(QDir::Files | QDir::Hidden), QStringList{"Jazz-Music.sqlite"});
}

TEST(StagedFile, LinkStaysALinkAndTheFileItLeadsToIsReplaced)
{
    TempTree tree;
    tree.MakeDir("daten");
    const QString real = tree.WriteFile("daten/echt.sqlite", "alt");
    const QString link = tree.Link("Jazz-Music.sqlite", "daten/echt.sqlite");
    const QString dangling = tree.Link("Neu-Music.sqlite", "daten/neu.sqlite");

    for (const QString& name : {link, dangling}) {
        TStagedFile staged(name);
        ASSERT_EQ(staged.Create(), 0u);
        EXPECT_EQ(QFileInfo(staged.TempName()).path(), tree.Path("daten"));
        QFile file(staged.TempName());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("neu");
        file.close();
        ASSERT_EQ(staged.Commit(), 0u);
        EXPECT_TRUE(QFileInfo(name).isSymLink());
        EXPECT_EQ(ReadAll(name), "neu");
    }
    EXPECT_EQ(ReadAll(real), "neu");
}

TEST(StagedFile, DebrisIsRemovedButALiveStagingRefusesASecondOne)
{
    TempTree tree;
    const QString target = tree.WriteFile("Jazz-Music.sqlite", "alt");
    const QString debris = tree.WriteFile(".Jazz-Music.sqlite.kk-abcdef");
    tree.WriteFile(".Jazz-Music.sqlite.kk-abcdef-journal");
    const QString other = tree.WriteFile(".Klassik-Music.sqlite.kk-abcdef");

    TStagedFile first(target);
    ASSERT_EQ(first.Create(), 0u);
    EXPECT_FALSE(QFile::exists(debris));
    EXPECT_FALSE(QFile::exists(debris + "-journal"));
    EXPECT_TRUE(QFile::exists(other));  // another catalog's file is not ours to remove

    // Held by another process, the first staging is live.
    const Holder holder(first.TempName(), [](int) { return true; });
    TStagedFile second(target);
    EXPECT_EQ(second.Create(), 32u);
    EXPECT_TRUE(second.StagedElsewhere());
    EXPECT_TRUE(QFile::exists(first.TempName()));
}

TEST(StagedFile, CommitRefusedWhileTheTargetIsHeldLeavesIt)
{
    TempTree tree;
    const QString target = tree.WriteFile("Jazz-Music.sqlite", "alt");
    TStagedFile staged(target);
    ASSERT_EQ(staged.Create(), 0u);
    const QString temp = staged.TempName();
    {
        const Holder holder(target, [](int) { return true; });
        EXPECT_EQ(staged.Commit(), 32u);
    }
    EXPECT_EQ(ReadAll(target), "alt");
    EXPECT_FALSE(QFile::exists(temp));
}

TEST(StagedFile, DiscardedOrDestroyedStagingLeavesNothing)
{
    TempTree tree;
    const QString target = tree.WriteFile("Jazz-Music.sqlite", "alt");
    {
        TStagedFile staged(target);
        ASSERT_EQ(staged.Create(), 0u);
        tree.WriteFile(QFileInfo(staged.TempName()).fileName() + "-journal");
    }
    EXPECT_EQ(QDir(tree.Root()).entryList(QDir::Files | QDir::Hidden), QStringList{"Jazz-Music.sqlite"});
    EXPECT_EQ(ReadAll(target), "alt");
}
