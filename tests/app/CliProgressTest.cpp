// The command-line converter's progress line: on a terminal, one line on standard error that is
// rewritten and cleared at the end; nothing when standard error is no terminal.

#include "CatalogFixture.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

namespace {

class CliProgressTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::vector<pxw::Row> albums, titles;
        for (int i = 1; i <= 300; ++i)
            albums.push_back(AlbumRow(i, "Interpret"));
        for (int i = 1; i <= 3000; ++i)
            titles.push_back(TitleRow(1 + i % 300, "Titel"));
        catalog.WriteAlbums(albums);
        catalog.WriteTitles(titles);
    }

    CatalogFixture catalog;
};

TEST_F(CliProgressTest, TerminalSeesOneRewrittenLineThatIsClearedAtTheEnd)
{
    int master = -1, slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    QProcess cli;
    cli.setStandardInputFile(QProcess::nullDevice());
    cli.setChildProcessModifier([slave] { ::dup2(slave, STDERR_FILENO); });
    cli.start(QStringLiteral(KK_CLI_PATH), {catalog.Root(), "Jazz"});
    ASSERT_TRUE(cli.waitForStarted());
    ::close(slave);
    QByteArray terminal;
    const auto drain = [&] {
        char buffer[4096];
        for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
            terminal.append(buffer, n);
    };
    while (!cli.waitForFinished(20))
        drain();
    drain();
    ::close(master);

    EXPECT_EQ(cli.exitCode(), 0) << terminal.toStdString();
    EXPECT_TRUE(cli.readAllStandardOutput().startsWith("300 Alben und 3000 Titel nach"));
    EXPECT_FALSE(terminal.contains('\n')) << "one line, rewritten";
    EXPECT_TRUE(terminal.startsWith("\rAlben 0 von 300, Titel 0 von 3000 (0 %)")) << terminal.toStdString();
    const QByteArray last = "\rAlben 300 von 300, Titel 3000 von 3000 (100 %)";
    ASSERT_TRUE(terminal.contains(last)) << terminal.toStdString();
    const QByteArray cleared = '\r' + QByteArray(last.size() - 1, ' ') + '\r';
    EXPECT_TRUE(terminal.endsWith(last + cleared)) << terminal.toStdString();
}

TEST_F(CliProgressTest, NothingWhenStandardErrorIsNoTerminal)
{
    QProcess cli;
    cli.setStandardInputFile(QProcess::nullDevice());
    cli.start(QStringLiteral(KK_CLI_PATH), {catalog.Root(), "Jazz"});
    ASSERT_TRUE(cli.waitForFinished(300000));
    EXPECT_EQ(cli.exitCode(), 0);
    EXPECT_EQ(cli.readAllStandardError(), QByteArray());
}

}  // namespace
