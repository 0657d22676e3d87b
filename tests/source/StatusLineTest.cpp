// The console programs' status line on a terminal (a pseudo-terminal of 24 columns here): drawn
// over in place, cut to the terminal's width, erased with ESC [ K or with blanks where the
// terminal cannot erase, and nothing at all where standard error is no terminal.

#include "StandardOutput.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

namespace {

class Terminal {
public:
    Terminal()
    {
        winsize size{};
        size.ws_col = 24;
        size.ws_row = 10;
        if (::openpty(&master_, &slave_, nullptr, nullptr, &size) == 0) {
            ::fcntl(master_, F_SETFL, O_NONBLOCK);
            stream_ = ::fdopen(slave_, "w");
        }
    }
    ~Terminal()
    {
        if (stream_)
            std::fclose(stream_);
        if (master_ >= 0)
            ::close(master_);
    }

    std::FILE* Stream() const { return stream_; }

    // What reached the terminal since the last call.
    QByteArray Written()
    {
        QByteArray seen;
        char buffer[512];
        for (ssize_t n; (n = ::read(master_, buffer, sizeof buffer)) > 0;)
            seen.append(buffer, n);
        return seen;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::FILE* stream_ = nullptr;
};

class TermVariable {
public:
    explicit TermVariable(const char* value)
    {
        if (const char* old = std::getenv("TERM"))
            old_ = old;
        ::setenv("TERM", value, 1);
    }
    ~TermVariable()
    {
        if (old_)
            ::setenv("TERM", old_->c_str(), 1);
        else
            ::unsetenv("TERM");
    }

private:
    std::optional<std::string> old_;
};

TEST(StatusLine, ErasesWithTheEscapeWhereTheTerminalKnowsIt)
{
    const TermVariable term("xterm-256color");
    Terminal terminal;
    ASSERT_TRUE(terminal.Stream());
    pdx::StatusLine line(terminal.Stream());
    EXPECT_TRUE(line.OnTerminal());
    line.Show(QStringLiteral("Tabelle 1 von 2: Kunden"));
    EXPECT_EQ(terminal.Written(), QByteArray("\rTabelle 1 von 2: Kunden\x1b[K"));
    // 23 characters at most (umlauts are one each), so that the cursor stays on the line.
    line.Show(QStringLiteral("Tabelle 2 von 2: Größere Übersicht"));
    EXPECT_EQ(QString::fromUtf8(terminal.Written()), QStringLiteral("\rTabelle 2 von 2: Größer\x1b[K"));
    EXPECT_TRUE(line.Visible());
    line.Clear();
    EXPECT_EQ(terminal.Written(), QByteArray("\r\x1b[K"));
    EXPECT_FALSE(line.Visible());
    line.Clear();
    EXPECT_EQ(terminal.Written(), QByteArray());
    EXPECT_EQ(pdx::StatusLine::EraseLineText(terminal.Stream()), "\r\x1b[K");
}

TEST(StatusLine, WritesOverWithBlanksWhereTheTerminalCannotErase)
{
    const TermVariable term("dumb");
    Terminal terminal;
    ASSERT_TRUE(terminal.Stream());
    {
        pdx::StatusLine line(terminal.Stream());
        line.Show(QStringLiteral("Tabelle 10 von 12"));
        EXPECT_EQ(terminal.Written(), QByteArray("\rTabelle 10 von 12"));
        line.Show(QStringLiteral("Fertig"));
        EXPECT_EQ(terminal.Written(), "\rFertig" + QByteArray(11, ' '));
        line.Show(QStringLiteral("Tabelle 11 von 12: Gäste mit langem Namen"));
        EXPECT_EQ(QString::fromUtf8(terminal.Written()), QStringLiteral("\rTabelle 11 von 12: Gäst"));
    }
    // Gone with the line: its 23 characters blanked.
    EXPECT_EQ(terminal.Written(), '\r' + QByteArray(23, ' ') + '\r');
    EXPECT_EQ(pdx::StatusLine::EraseLineText(terminal.Stream()), '\r' + std::string(23, ' ') + '\r');
}

TEST(StatusLine, NothingWhereTheStreamIsNoTerminal)
{
    std::FILE* file = std::tmpfile();
    ASSERT_TRUE(file);
    {
        pdx::StatusLine line(file);
        EXPECT_FALSE(line.OnTerminal());
        line.Show(QStringLiteral("Tabelle 1 von 1"));
        EXPECT_FALSE(line.Visible());
    }
    EXPECT_EQ(std::ftell(file), 0L);
    EXPECT_EQ(pdx::StatusLine::EraseLineText(file), "");
    std::fclose(file);
}

}  // namespace
