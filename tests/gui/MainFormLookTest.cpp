// The main window as a person meets it: access keys, the information page that cannot be
// opened, the window kept on the screen as it grows, and the catalog selection in German.
#include "CatalogFixture.h"
#include "ConvertMain.h"
#include "DialogTestSupport.h"
#include "GuiTestSupport.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

using GuiTest::DialogRecorder;
using GuiTest::UserEnvironment;

namespace {

TMainFormHooks EngineThere()
{
    TMainFormHooks hooks;
    hooks.engineAvailable = [] { return true; };
    return hooks;
}

TEST(MainFormLook, LabelsAndTheButtonHaveAccessKeysThatReachTheirFields)
{
    UserEnvironment user;
    TMainForm form(EngineThere());
    form.edKatalog->setText("Jazz");  // no catalog selection at start
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));

    EXPECT_EQ(form.lbRootDir->text(), "&Stammverzeichnis der Kataloge");
    EXPECT_EQ(form.lbKatalog->text(), "&Name des Katalogs");
    EXPECT_EQ(form.bbConvert->text(), "&Konvertieren");
    EXPECT_EQ(form.lbRootDir->buddy(), form.edRootDir);
    EXPECT_EQ(form.lbKatalog->buddy(), form.edKatalog);
    // The labels are as wide as their texts without the mark.
    EXPECT_EQ(form.lbRootDir->width(), form.lbRootDir->sizeHint().width());

    QTest::keyClick(&form, Qt::Key_N, Qt::AltModifier);
    EXPECT_TRUE(form.edKatalog->hasFocus());
    QTest::keyClick(&form, Qt::Key_S, Qt::AltModifier);
    EXPECT_TRUE(form.edRootDir->hasFocus());
}

TEST(MainFormLook, AnInformationPageThatCannotBeOpenedIsNamed)
{
    UserEnvironment user;
    DialogRecorder dialogs;
    std::vector<QUrl> tried;
    TMainFormHooks hooks;
    hooks.engineAvailable = [] { return false; };
    hooks.openUrl = [&tried](const QUrl& url) {
        tried.push_back(url);
        return false;  // no program to open it, as without xdg-open
    };
    TMainForm form(hooks);
    form.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }, 30000));

    const QString page = form.PrgPath + "katalogkonverter.html";
    EXPECT_EQ(tried, std::vector<QUrl>{QUrl::fromLocalFile(page)});
    ASSERT_EQ(dialogs.requests.size(), 2u);
    EXPECT_EQ(dialogs.requests[1].kind, MsgDialogs::DialogKind::Error);
    EXPECT_EQ(dialogs.requests[1].message,
              QString::fromUtf8("Die Informationsseite konnte nicht geöffnet werden, es fehlt ein Programm, das sie "
                                "anzeigt.\r\nSie liegt hier:\r\n")
                  + page);
}

class GrowingWindowTest : public GuiTest::SlowedConversionTest {
protected:
    GrowingWindowTest() : SlowedConversionTest(20, 40, 20, EngineThere()) {}
};

TEST_F(GrowingWindowTest, AWindowNearTheBottomStaysInsideTheWorkAreaAsItGrowsAndGoesBackAfter)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    form_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));
    // Room for the window, not for the run row.
    const QPoint start(area.left() + 100, area.bottom() - form_.frameGeometry().height() - 5);
    form_.move(start);
    ASSERT_LE(form_.frameGeometry().bottom(), area.bottom());

    form_.bbConvert->click();
    ASSERT_TRUE(form_.Converting());
    ASSERT_TRUE(QTest::qWaitFor([&] { return reports_ >= 2; }, 30000));
    EXPECT_LE(form_.frameGeometry().bottom(), area.bottom()) << "the run row is on the screen";
    EXPECT_LT(form_.y(), start.y());
    EXPECT_EQ(form_.x(), start.x());

    ASSERT_TRUE(QTest::qWaitFor([&] { return !form_.Converting(); }, 90000));
    EXPECT_EQ(form_.pos(), start) << "back where it stood";
}

TEST(MainFormLook, TheCatalogSelectionWritesSizesAndDatesInGermanAndFitsItsColumns)
{
    UserEnvironment user;
    DialogRecorder dialogs;
    const QString musik = user.Home() + "/Musik/";
    QDir().mkpath(musik);
    GuiTest::WriteText(musik + "Jazz-Album.db", QByteArray(22000, 'x'));
    TMainForm form(EngineThere());
    form.edRootDir->setText(musik);
    form.edKatalog->setText("Jazz");
    form.show();

    QStringList sizes, dates;
    bool fits = true;
    DialogTest::WhenShown(QStringLiteral("OpenDialog"), [&](QDialog* dialog) {
        auto* view = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
        ASSERT_NE(view, nullptr);
        QAbstractItemModel* model = view->model();
        EXPECT_TRUE(QTest::qWaitFor([&] { return model->rowCount(view->rootIndex()) == 1; }, 30000));
        const QModelIndex row = model->index(0, 0, view->rootIndex());
        QHeaderView* header = view->header();
        const QFontMetrics metrics = view->fontMetrics();
        // The columns are fitted once the folder has been read, after the row has come.
        fits = QTest::qWaitFor(
            [&] {
                for (int c = 1; c < 4; ++c) {
                    if (header->sectionSize(c) < header->sectionSizeHint(c)
                        || header->sectionSize(c)
                               <= metrics.horizontalAdvance(row.siblingAtColumn(c).data().toString()))
                        return false;
                }
                return true;
            },
            10000);
        sizes << row.siblingAtColumn(1).data().toString();
        dates << row.siblingAtColumn(3).data().toString();
        dialog->reject();
    });
    form.sbKatalogClick();
    EXPECT_EQ(sizes, QStringList{"22 KB"});
    ASSERT_EQ(dates.size(), 1);
    const QRegularExpression germanDate(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d$"));
    EXPECT_TRUE(germanDate.match(dates[0]).hasMatch()) << dates[0].toStdString();
    EXPECT_TRUE(fits) << "headings and texts are not cut";
}

}  // namespace
