// The command-line converter as a script would run it: arguments, exit codes and its output.

#include "CatalogFixture.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>

namespace {

struct CliRun {
    int exitCode;
    QString out;
    QString err;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        catalog.WriteAlbums({AlbumRow(1, "Ella"), AlbumRow(2, "Louis")});
        catalog.WriteTitles({TitleRow(1, "Summertime")});
    }

    CliRun Cli(const QStringList& args)
    {
        QProcess process;
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(QStringLiteral(KK_CLI_PATH), args);
        process.waitForFinished(60000);
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    CatalogFixture catalog;
};

TEST_F(CliTest, ConvertsWithTheTemplateBesideItself)
{
    const CliRun run = Cli({catalog.Root(), "Jazz"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QString("2 Alben und 1 Titel nach\n\"%1\" konvertiert!\n").arg(catalog.Target()));
}

TEST_F(CliTest, ExistingTargetIsKeptWithoutYesAndReplacedWithIt)
{
    ASSERT_EQ(Cli({catalog.Root(), "Jazz"}).exitCode, 0);
    const QByteArray first = FileDigest(catalog.Target());

    const CliRun declined = Cli({catalog.Root(), "Jazz"});
    EXPECT_EQ(declined.exitCode, 3);
    EXPECT_TRUE(declined.err.contains("gibt es bereits")) << declined.err.toStdString();
    EXPECT_EQ(FileDigest(catalog.Target()), first);

    EXPECT_EQ(Cli({"--yes", catalog.Root(), "Jazz"}).exitCode, 0);
}

TEST_F(CliTest, MessagesAndFailuresGoToStandardError)
{
    const CliRun missing = Cli({catalog.Root() + "fehlt", "Jazz"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, QString("Verzeichnis \"%1fehlt\" nicht gefunden!\n").arg(catalog.Root()));
    EXPECT_TRUE(missing.out.isEmpty());

    const CliRun badCodePage = Cli({catalog.Root(), "Jazz", "--codepage", "keine-codepage"});
    EXPECT_EQ(badCodePage.exitCode, 1);
    EXPECT_TRUE(badCodePage.err.contains("keine-codepage")) << badCodePage.err.toStdString();
}

TEST_F(CliTest, BadUsageExitsWithTwo)
{
    for (const QStringList& args : {QStringList{}, QStringList{"nur-eins"}, QStringList{"a", "b", "c"},
                                    QStringList{"--unbekannt", "a", "b"}, QStringList{"a", "b", "--codepage"}}) {
        const CliRun run = Cli(args);
        EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains("Aufruf: katalogkonverter-cli")) << run.err.toStdString();
    }
}

}  // namespace
