// Following and stopping a transfer from another thread: the progress it reports and what a
// cancel leaves behind.

#include "CatalogFixture.h"
#include "CatalogTransfer.h"

#include <gtest/gtest.h>

#include <QFile>

#include <atomic>
#include <vector>

namespace {

class TransferControlTest : public ::testing::Test {
protected:
    static constexpr std::uint64_t kAlbums = 600;
    static constexpr std::uint64_t kTitles = 1000;

    TransferControlTest()
    {
        catalog.MakeTemplate();
        std::vector<pxw::Row> albums, titles;
        for (std::uint64_t i = 1; i <= kAlbums; ++i)
            albums.push_back(AlbumRow(std::int64_t(i), "Interpret"));
        for (std::uint64_t i = 1; i <= kTitles; ++i)
            titles.push_back(TitleRow(std::int64_t(1 + i % kAlbums), "Titel"));
        catalog.WriteAlbums(albums);
        catalog.WriteTitles(titles);
        QFile::copy(catalog.ProgramDir() + "def-Music.sqlite", catalog.Target());
    }

    TransferCounts Transfer(const TransferControl& control)
    {
        return TransferCatalog(catalog.Root(), QStringLiteral("Jazz"), catalog.Target(), QString(), QString(), control);
    }
    qlonglong Count(const char* table)
    {
        return Query(catalog.Target(), QStringLiteral("SELECT count(*) FROM %1").arg(table)).at(0).at(0).toLongLong();
    }

    CatalogFixture catalog;
};

TEST_F(TransferControlTest, ReportsBothTablesTotalsAndCountsEveryFewHundredRows)
{
    std::vector<TransferProgress> reports;
    TransferControl control;
    control.progress = [&](const TransferProgress& progress) { reports.push_back(progress); };
    const TransferCounts counts = Transfer(control);
    EXPECT_EQ(counts.albums, kAlbums);

    constexpr std::uint64_t step = TransferControl::kRowsBetweenChecks;
    // Tables open; albums at 256, 512 and their end; titles at 256, 512, 768 and their end.
    const std::vector<std::pair<std::uint64_t, std::uint64_t>> expected{
        {0, 0}, {step, 0}, {2 * step, 0}, {kAlbums, 0}, {kAlbums, step}, {kAlbums, 2 * step},
        {kAlbums, 3 * step}, {kAlbums, kTitles}};
    ASSERT_EQ(reports.size(), expected.size());
    for (std::size_t i = 0; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i].albumsTotal, kAlbums) << i;
        EXPECT_EQ(reports[i].titlesTotal, kTitles) << i;
        EXPECT_EQ(std::make_pair(reports[i].albumsDone, reports[i].titlesDone), expected[i]) << i;
    }
}

TEST_F(TransferControlTest, CancelStopsAtTheNextCheckWithEverythingClosed)
{
    const struct {
        const char* label;
        std::uint64_t albumsBeforeCancel;  // the report after which the cancel comes
        std::uint64_t titlesBeforeCancel;
    } cases[] = {
        {"while the tables open", 0, 0},
        {"in the albums", 2 * TransferControl::kRowsBetweenChecks, 0},
        {"in the titles", kAlbums, TransferControl::kRowsBetweenChecks},
    };
    for (const auto& c : cases) {
        QFile::remove(catalog.Target());
        QFile::copy(catalog.ProgramDir() + "def-Music.sqlite", catalog.Target());
        std::atomic<bool> cancel{false};
        TransferControl control;
        control.cancel = &cancel;
        control.progress = [&](const TransferProgress& progress) {
            if (progress.albumsDone == c.albumsBeforeCancel && progress.titlesDone == c.titlesBeforeCancel)
                cancel = true;
        };
        EXPECT_THROW(Transfer(control), TransferCancelled) << c.label;
        // The rows inserted up to the cancel stay, and the file is free again (an exclusive lock
        // left behind would make this query fail).
        EXPECT_EQ(Count("Alben"), qlonglong(std::min(kAlbums, c.albumsBeforeCancel + TransferControl::kRowsBetweenChecks)))
            << c.label;
        EXPECT_EQ(Count("Titel"), qlonglong(c.titlesBeforeCancel ? c.titlesBeforeCancel + TransferControl::kRowsBetweenChecks : 0))
            << c.label;
    }
}

}  // namespace
