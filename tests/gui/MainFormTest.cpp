#include "CatalogFixture.h"
#include "CatalogSelection.h"
#include "ConvertMain.h"
#include "DialogTestSupport.h"
#include "FailureDisplay.h"
#include "GuiTestSupport.h"
#include "InitProg.h"
#include "ProgramSettings.h"
#include "StatusBox.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QGuiApplication>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using GuiTest::DialogRecorder;
using GuiTest::UserEnvironment;
using MsgDialogs::DialogButton;
using MsgDialogs::DialogKind;
using MsgDialogs::DialogResult;

GuiTest::UrlCatcher::UrlCatcher(const QString& scheme) : scheme_(scheme)
{
    QDesktopServices::setUrlHandler(scheme_, this, "open");
}

GuiTest::UrlCatcher::~UrlCatcher() { QDesktopServices::unsetUrlHandler(scheme_); }

namespace {

QString IniNameOfThisProgram() { return ProgramSettings::DerivePaths(InitProg::ExecutablePath()).IniName; }

// Lets the queued show handler and whatever it opens run.
void Settle()
{
    for (int i = 0; i < 5; ++i)
        QTest::qWait(10);
}

void Touch(const QString& fileName) { GuiTest::WriteText(fileName, "x"); }

// Lets a conversion that the window started run to its end (a generous bound: a loaded
// machine may keep the transfer and its syncs waiting).
void WaitForConversion(const TMainForm& form)
{
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form.Converting(); }, 90000)) << "the conversion does not end";
}

// Presses "Konvertieren" and waits until the conversion has ended.
void Convert(TMainForm& form)
{
    form.bbConvert->click();
    WaitForConversion(form);
}

// Types FILENAME into the file dialog's name field and opens it, as soon as the dialog is shown.
void ChooseInOpenDialog(const QString& fileName)
{
    DialogTest::WhenShown(QStringLiteral("OpenDialog"), [fileName](QDialog* dialog) {
        auto* nameField = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(nameField, nullptr);
        nameField->setText(fileName);
        dialog->accept();  // the file dialog's own accept, through QDialog
        if (dialog->isVisible()) {
            ADD_FAILURE() << "the file dialog did not take " << fileName.toStdString();
            dialog->reject();
        }
    });
}

// Whether LINES, in order, make up TEXT but for its line breaks and the spaces that a line
// wraps at (a line shows no space at either end). Where a line wraps depends on the widths of
// the text's characters, so a wrap may fall on any space.
bool ShowsEveryCharacter(const QStringList& lines, const QString& text)
{
    qsizetype at = 0;
    for (const QString& line : lines) {
        while (at < text.size() && text[at].isSpace())
            ++at;
        if (QStringView(text).mid(at, line.size()) != line)
            return false;
        at += line.size();
    }
    while (at < text.size() && text[at].isSpace())
        ++at;
    return at == text.size();
}

// The widgets that Tab visits, in order, starting at FIRST.
std::vector<QWidget*> TabChain(QWidget* first, int count)
{
    std::vector<QWidget*> chain{first};
    for (QWidget* w = first->nextInFocusChain(); w != first && int(chain.size()) < count; w = w->nextInFocusChain()) {
        if (w->focusPolicy() & Qt::TabFocus)
            chain.push_back(w);
    }
    return chain;
}

}  // namespace

TEST(MainFormTest, FirstStartWithoutSettings)
{
    UserEnvironment user;
    user.MakeDocuments();
    QString shownDirectory, shownTitle;
    QStringList shownFilters;
    DialogTest::WhenShown(QStringLiteral("OpenDialog"), [&](QDialog* dialog) {
        auto* fileDialog = qobject_cast<QFileDialog*>(dialog);
        shownTitle = fileDialog->windowTitle();
        shownDirectory = fileDialog->directory().absolutePath();
        shownFilters = fileDialog->nameFilters();
        fileDialog->reject();
    });
    {
        TMainForm form;
        EXPECT_EQ(form.pos(), QPoint(50, 50));
        EXPECT_EQ(form.edRootDir->text(), user.Documents() + "/");
        EXPECT_EQ(form.edKatalog->text(), "");
        EXPECT_EQ(form.windowTitle(), "Musik-Katalog von Paradox nach SQLite konvertieren ");
        EXPECT_EQ(form.size(), QSize(418, 162));
        EXPECT_FALSE(form.sbKatalog->icon().isNull());
        EXPECT_FALSE(form.sbRootDir->icon().isNull());
        EXPECT_EQ(TabChain(form.bbConvert, 3), (std::vector<QWidget*>{form.bbConvert, form.edKatalog, form.edRootDir}));

        form.show();
        Settle();
        EXPECT_EQ(shownTitle, QString::fromUtf8("Katalog auswählen"));
        EXPECT_EQ(shownDirectory, user.Documents());
        EXPECT_EQ(shownFilters, QStringList{CatalogSelection::FileDialogFilter()});
        EXPECT_EQ(form.edKatalog->text(), "") << "cancelling changes nothing";
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(form.focusWidget(), form.bbConvert);
    }
    const ProgramSettings::MainSettings saved = ProgramSettings::ReadMainSettings(IniNameOfThisProgram(), "?");
    EXPECT_EQ(saved.Left, 50);
    EXPECT_EQ(saved.Directory, user.Documents() + "/");
}

TEST(MainFormTest, RemembersPositionRootAndCatalogAcrossARestart)
{
    UserEnvironment user;
    const QString iniName = IniNameOfThisProgram();
    GuiTest::WriteText(iniName, "[Config]\nLeft=0x20\nTop=$40\nDirectory=/musik/\n" + iniName.toUtf8() + "=Jazz\n");
    {
        TMainForm form;
        EXPECT_EQ(form.IniName, iniName);
        EXPECT_EQ(form.pos(), QPoint(32, 64));
        EXPECT_EQ(form.edRootDir->text(), "/musik/");
        EXPECT_EQ(form.edKatalog->text(), "Jazz");
        form.move(300, 210);
        form.edRootDir->setText(QString::fromUtf8("/andere/Plätze"));
        form.edKatalog->setText("Rock");
    }
    TMainForm restarted;
    EXPECT_EQ(restarted.pos(), QPoint(300, 210));
    EXPECT_EQ(restarted.edRootDir->text(), QString::fromUtf8("/andere/Plätze"));
    EXPECT_EQ(restarted.edKatalog->text(), "Rock");
}

TEST(MainFormTest, UnwritableSettingsFileIsShownAtTheEnd)
{
    UserEnvironment user;
    ASSERT_TRUE(QDir().mkpath(IniNameOfThisProgram()));
    DialogRecorder dialogs;
    std::make_unique<TMainForm>().reset();

    ASSERT_EQ(dialogs.requests.size(), 1u);
    const MsgDialogs::DialogRequest& shown = dialogs.requests[0];
    EXPECT_EQ(shown.kind, DialogKind::Error);
    EXPECT_EQ(shown.caption, ProgramTitle(InitProg::ExecutablePath()));
    EXPECT_EQ(shown.message, "In " + IniNameOfThisProgram()
                                 + " kann nicht geschrieben werden\r\nUnter diesem Namen steht keine Datei, sondern "
                                   "ein Verzeichnis.");
    EXPECT_EQ(shown.buttons, MsgDialogs::DialogButtons{DialogButton::OK});
}

TEST(MainFormTest, MissingEngineShowsTheMessageOpensTheInformationPageAndEnds)
{
    UserEnvironment user;
    DialogRecorder dialogs;
    GuiTest::UrlCatcher pages(QStringLiteral("file"));
    // Should the file dialog open after all, it is closed again and counted.
    bool fileDialogShown = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (QDialog* dialog = DialogTest::VisibleDialog(QStringLiteral("OpenDialog"))) {
            fileDialogShown = true;
            dialog->reject();
        }
    });
    watcher.start(5);

    TMainFormHooks hooks;
    hooks.engineAvailable = [] { return false; };
    TMainForm form(hooks);
    EXPECT_FALSE(form.BdeAvail);
    form.show();
    Settle();

    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].kind, DialogKind::Error);
    EXPECT_EQ(dialogs.requests[0].caption, "Fehler");
    EXPECT_EQ(dialogs.requests[0].message,
              QString::fromUtf8("Zum Konvertieren wird die Borland Data Base Engine benötigt!\r\n"
                                "Weitere Hinweise auf der Home-Page ..."));
    EXPECT_EQ(pages.opened, std::vector<QUrl>{QUrl::fromLocalFile(form.PrgPath + "katalogkonverter.html")});
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(fileDialogShown);
}

class SelectCatalogTest : public ::testing::Test {
protected:
    SelectCatalogTest()
    {
        QDir().mkpath(Musik());
        QDir().mkpath(Andere());
        Touch(Musik() + "Jazz-Album.db");
        Touch(Musik() + "Liste.db");
        Touch(Andere() + "Rock-Album.db");
    }
    QString Musik() const { return dir_.path() + "/Musik/"; }
    QString Andere() const { return dir_.path() + "/Andere/"; }

    UserEnvironment user_;
    QTemporaryDir dir_;
};

TEST_F(SelectCatalogTest, ChosenFileFillsTheFields)
{
    const struct {
        const char* label;
        QString root;
        QString file;
        std::optional<DialogResult> answer;  // none: no question expected
        QString rootAfter;
        QString catalogAfter;
    } cases[] = {
        {"same root without delimiter", Musik().chopped(1), Musik() + "Jazz-Album.db", {}, Musik().chopped(1), "Jazz"},
        {"other root, Yes", Musik(), Andere() + "Rock-Album.db", DialogResult::Yes, Andere(), "Rock"},
        {"other root, No", Musik(), Andere() + "Rock-Album.db", DialogResult::No, Musik(), "alt"},
        {"other root, closed", Musik(), Andere() + "Rock-Album.db", DialogResult::Cancel, Musik(), "alt"},
        {"typed name without the ending", Musik(), Musik() + "Liste.db", {}, Musik(), ""},
    };
    for (const auto& c : cases) {
        TMainForm form;
        form.edRootDir->setText(c.root);
        form.edKatalog->setText("alt");
        DialogRecorder dialogs;
        if (c.answer)
            dialogs.answers.push_back(*c.answer);
        ChooseInOpenDialog(c.file);
        form.sbKatalog->click();

        EXPECT_EQ(form.edRootDir->text(), c.rootAfter) << c.label;
        EXPECT_EQ(form.edKatalog->text(), c.catalogAfter) << c.label;
        ASSERT_EQ(dialogs.requests.size(), c.answer ? 1u : 0u) << c.label;
        if (c.answer) {
            const MsgDialogs::DialogRequest& question = dialogs.requests[0];
            EXPECT_EQ(question.kind, DialogKind::Confirmation);
            EXPECT_EQ(question.message, "Stammverzeichnis wechseln?");
            EXPECT_EQ(question.defaultButton, DialogButton::Yes);
            EXPECT_EQ(question.point, MsgDialogs::BottomRightOfControl(form.bbConvert));
        }
    }
}

TEST_F(SelectCatalogTest, CancelledDialogChangesNothing)
{
    TMainForm form;
    form.edRootDir->setText(Musik());
    form.edKatalog->setText("Jazz");
    QString shownDirectory;
    DialogTest::WhenShown(QStringLiteral("OpenDialog"), [&](QDialog* dialog) {
        shownDirectory = qobject_cast<QFileDialog*>(dialog)->directory().absolutePath() + "/";
        dialog->reject();
    });
    form.sbKatalog->click();
    EXPECT_EQ(shownDirectory, Musik());
    EXPECT_EQ(form.edRootDir->text(), Musik());
    EXPECT_EQ(form.edKatalog->text(), "Jazz");
}

TEST_F(SelectCatalogTest, FileNameStartsEmptyEveryTime)
{
    TMainForm form;
    form.edRootDir->setText(Musik());
    ChooseInOpenDialog(Musik() + "Jazz-Album.db");
    form.sbKatalog->click();
    ASSERT_EQ(form.edKatalog->text(), "Jazz");

    QString offered = "not shown";
    DialogTest::WhenShown(QStringLiteral("OpenDialog"), [&](QDialog* dialog) {
        offered = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
        dialog->reject();
    });
    form.sbKatalog->click();
    EXPECT_EQ(offered, "");
}

TEST(MainFormTest, PositionOffEveryScreenOpensOnThePrimaryScreen)
{
    UserEnvironment user;
    const QString iniName = IniNameOfThisProgram();
    GuiTest::WriteText(iniName, "[Config]\nLeft=5000\nTop=-3000\n" + iniName.toUtf8() + "=Jazz\n");
    TMainForm form;
    EXPECT_EQ(form.pos(), QGuiApplication::primaryScreen()->availableGeometry().topLeft() + QPoint(50, 50));
}

TEST(MainFormTest, WithoutADocumentsFolderTheHomeFolderIsTheDefaultRoot)
{
    UserEnvironment user;  // no Documents folder
    TMainForm form;
    EXPECT_EQ(form.edRootDir->text(), user.Home() + "/");
}

TEST(RootDirClickTest, ChooserStartsHomeOrInTheFieldAndItsAnswerIsTaken)
{
    UserEnvironment user;
    user.MakeDocuments();
    QTemporaryDir dir;
    const QString musik = dir.path() + "/";

    struct Call {
        QString title, home, dir;
        bool hidden, fileView, zipAsFiles;
    };
    std::vector<Call> calls;
    bool confirm = true;
    QString answer;
    TMainFormHooks hooks;
    hooks.executeFolderChooser = [&](const QString& title, bool hidden, bool fileView, bool zip, const QString& home,
                                     QString& Dir) {
        calls.push_back({title, home, Dir, hidden, fileView, zip});
        if (!answer.isEmpty())
            Dir = answer;
        return confirm;
    };
    TMainForm form(hooks);

    // An existing directory: the chooser starts there; confirming it unchanged puts it back.
    form.edRootDir->setText(musik);
    form.sbRootDir->click();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].title, QString::fromUtf8("Standardverzeichnis für Kataloge"));
    EXPECT_EQ(calls[0].dir, musik);
    EXPECT_EQ(calls[0].home, user.Documents());
    EXPECT_FALSE(calls[0].hidden);
    EXPECT_TRUE(calls[0].fileView);
    EXPECT_TRUE(calls[0].zipAsFiles);
    EXPECT_EQ(form.edRootDir->text(), musik);

    // No such directory: the chooser starts in the documents folder; cancelling keeps the text.
    confirm = false;
    form.edRootDir->setText("/gibt es nicht");
    form.sbRootDir->click();
    EXPECT_EQ(calls.back().dir, user.Documents());
    EXPECT_EQ(form.edRootDir->text(), "/gibt es nicht");

    // The chosen directory is taken as it comes, unchecked.
    confirm = true;
    answer = "/neu/";
    form.edRootDir->setText("");
    form.sbRootDir->click();
    EXPECT_EQ(calls.back().dir, user.Documents());
    EXPECT_EQ(form.edRootDir->text(), "/neu/");
}

TEST(RootDirClickTest, FailureInTheChooserIsShownAndTheFieldStays)
{
    UserEnvironment user;
    TMainFormHooks hooks;
    hooks.executeFolderChooser = [](const QString&, bool, bool, bool, const QString&, QString& Dir) -> bool {
        Dir = "/halb/";
        throw std::runtime_error("Kaputt");
    };
    TMainForm form(hooks);
    form.edRootDir->setText("/vorher/");
    DialogRecorder dialogs;
    form.sbRootDir->click();
    EXPECT_EQ(form.edRootDir->text(), "/vorher/");
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].message, "Kaputt.");
    EXPECT_EQ(dialogs.requests[0].caption, ProgramTitle(InitProg::ExecutablePath()));
}

class WindowConversionTest : public ::testing::Test {
protected:
    WindowConversionTest()
    {
        fixture_.MakeTemplate();
        fixture_.WriteAlbums({AlbumRow(1, "Miles Davis")});
        fixture_.WriteTitles({TitleRow(1, "So What"), TitleRow(1, "Blue in Green")});
        form_.PrgPath = fixture_.ProgramDir();
        form_.edRootDir->setText(fixture_.Root());
        form_.edKatalog->setText("Jazz");
    }
    QString Status(int albums, int titles) const
    {
        return QStringLiteral("%1 Alben und %2 Titel nach\r\n\"%3\" konvertiert!")
            .arg(albums)
            .arg(titles)
            .arg(fixture_.Target());
    }

    UserEnvironment user_;
    CatalogFixture fixture_;
    TMainForm form_;
};

TEST_F(WindowConversionTest, ConvertsAndAsksBeforeReplacing)
{
    DialogRecorder dialogs;
    Convert(form_);
    EXPECT_TRUE(dialogs.requests.empty());
    EXPECT_EQ(form_.stStatus->text(), Status(1, 2));

    // The target exists now: No leaves file and status alone, Yes converts again.
    fixture_.WriteAlbums({AlbumRow(1, "Miles Davis"), AlbumRow(2, "Bill Evans")});
    const QByteArray before = FileDigest(fixture_.Target());
    dialogs.answers = {DialogResult::No};
    Convert(form_);
    ASSERT_EQ(dialogs.requests.size(), 1u);
    const MsgDialogs::DialogRequest& question = dialogs.requests[0];
    EXPECT_EQ(question.kind, DialogKind::Confirmation);
    EXPECT_EQ(question.message, QString::fromUtf8("Die Datei \"%1\" gibt es bereits!\r\nSoll sie überschrieben werden?")
                                    .arg(fixture_.Target()));
    EXPECT_EQ(question.point, MsgDialogs::BottomRightOfControl(form_.bbConvert));
    EXPECT_EQ(question.defaultButton, DialogButton::Yes);
    EXPECT_EQ(FileDigest(fixture_.Target()), before);
    EXPECT_EQ(form_.stStatus->text(), Status(1, 2));

    dialogs.answers = {DialogResult::Yes};
    Convert(form_);
    EXPECT_EQ(dialogs.requests.size(), 2u);
    EXPECT_EQ(form_.stStatus->text(), Status(2, 2));
}

// A damaged album table: after the overwrite question comes the question whether to convert
// the readable rows, at the button, with Nein as the default. Nein leaves the earlier catalog
// and the status; Ja converts them, and the status says what is missing.
TEST_F(WindowConversionTest, DamagedSourceAsksWithNeinAsTheDefault)
{
    DialogRecorder dialogs;
    Convert(form_);
    const QByteArray earlier = FileDigest(fixture_.Target());
    std::vector<pxw::Row> albums;
    for (int i = 1; i <= 100; ++i)
        albums.push_back(AlbumRow(i, "Miles Davis"));
    fixture_.WriteAlbums(albums);
    const QString albumFile = fixture_.Path("Jazz-Album.db");
    const int lost = ZeroTableBlock(albumFile, 2);

    dialogs.answers = {DialogResult::Yes, DialogResult::No};
    Convert(form_);
    ASSERT_EQ(dialogs.requests.size(), 2u);
    const MsgDialogs::DialogRequest& question = dialogs.requests[1];
    EXPECT_EQ(question.kind, DialogKind::Confirmation);
    EXPECT_EQ(question.defaultButton, DialogButton::No);
    EXPECT_EQ(question.point, MsgDialogs::BottomRightOfControl(form_.bbConvert));
    EXPECT_EQ(question.message,
              QString::fromUtf8("Die Tabelle \"%1\" ist beschädigt: %2 von 100 Zeilen gelesen; Block 2 ist unlesbar.\r\n"
                                "\r\nSollen die lesbaren Zeilen trotzdem konvertiert werden?\r\n"
                                "Bei \"Nein\": Die bisherige Datei \"%3\" bleibt unverändert.")
                  .arg(albumFile)
                  .arg(100 - lost)
                  .arg(fixture_.Target()));
    EXPECT_EQ(FileDigest(fixture_.Target()), earlier);
    EXPECT_EQ(form_.stStatus->text(), Status(1, 2));

    dialogs.answers = {DialogResult::Yes, DialogResult::Yes};
    Convert(form_);
    EXPECT_EQ(form_.stStatus->text(),
              Status(100 - lost, 2) + QStringLiteral("\r\nAus \"%1\" fehlen %2 von 100 Zeilen.").arg(albumFile).arg(lost));
}

// A root that is not there, a catalog name that is a path, a name without tables: one centred
// error each, before any question, and nothing is made.
TEST_F(WindowConversionTest, CheckFailuresAreCentredErrorsAndKeepTheStatus)
{
    struct Case {
        QString root;
        QString catalog;
        QString message;
    } cases[] = {
        {fixture_.Root() + "fehlt", "Jazz", "Verzeichnis \"" + fixture_.Root() + "fehlt\" nicht gefunden!"},
        {fixture_.Root(), "../Jazz",
         "Der Katalogname \"../Jazz\" ist nicht zulässig: er enthält \"/\"; ein Verzeichnis gehört ins "
         "Stammverzeichnis."},
        {fixture_.Root(), "Jaz", "Datei \"" + fixture_.Path("Jaz-Album.db") + "\" nicht gefunden!"},
    };
    const QStringList before = QDir(fixture_.Root()).entryList(QDir::AllEntries | QDir::Hidden);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.catalog.toStdString());
        form_.stStatus->setText("vorher");
        form_.edRootDir->setText(c.root);
        form_.edKatalog->setText(c.catalog);
        DialogRecorder dialogs;
        Convert(form_);
        ASSERT_EQ(dialogs.requests.size(), 1u);
        EXPECT_EQ(dialogs.requests[0].kind, DialogKind::Error);
        EXPECT_EQ(dialogs.requests[0].caption, "Fehler");
        EXPECT_EQ(dialogs.requests[0].point, MsgDialogs::DefaultDialogPos);
        EXPECT_EQ(dialogs.requests[0].message, c.message);
        EXPECT_EQ(form_.stStatus->text(), "vorher");
        EXPECT_EQ(QDir(fixture_.Root()).entryList(QDir::AllEntries | QDir::Hidden), before);
    }
}

TEST_F(WindowConversionTest, TransferFailureReachesTheFailureDisplay)
{
    GuiTest::WriteText(fixture_.Path("Jazz-Album.db"), QByteArray(4096, '\x7f'));
    form_.stStatus->setText("vorher");
    DialogRecorder dialogs;
    Convert(form_);

    ASSERT_EQ(dialogs.requests.size(), 1u);
    const MsgDialogs::DialogRequest& shown = dialogs.requests[0];
    EXPECT_EQ(shown.kind, DialogKind::Error);
    EXPECT_EQ(shown.caption, ProgramTitle(InitProg::ExecutablePath()));
    EXPECT_TRUE(shown.message.contains("Jazz-Album.db")) << shown.message.toStdString();
    EXPECT_EQ(form_.stStatus->text(), "vorher");
    EXPECT_TRUE(form_.isEnabled());

    // The command can run again once the table is whole.
    fixture_.WriteAlbums({AlbumRow(1, "Miles Davis")});
    dialogs.answers = {DialogResult::Yes};
    Convert(form_);
    EXPECT_EQ(form_.stStatus->text(), Status(1, 2));
}

TEST_F(WindowConversionTest, ReturnOnTheFocusedButtonConvertsButNotElsewhere)
{
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        form_.stStatus->setText("vorher");
        QTest::keyClick(form_.edKatalog, key);
        EXPECT_EQ(form_.stStatus->text(), "vorher") << "the button is not the window's default button";

        DialogRecorder dialogs;
        dialogs.answers = {DialogResult::Yes};
        // The key clicks the button after its pressed look has shown, on a timer: the
        // conversion is over once the window says so.
        QSignalSpy ended(&form_, &TMainForm::conversionEnded);
        QTest::keyClick(form_.bbConvert, key);
        EXPECT_TRUE(QTest::qWaitFor([&] { return ended.count() == 1; }, 90000)) << "no conversion ended";
        EXPECT_EQ(form_.stStatus->text(), Status(1, 2));
    }
}

TEST_F(WindowConversionTest, LongTargetWrapsAfterDelimitersAndShowsWholeInTheTooltip)
{
    const QSize size = form_.stStatus->size();
    // Each target's path has a set length whatever the temporary folder's (two folders below
    // it take up the rest), so that what fits does not depend on where TMPDIR lies: with
    // /tmp, folders of 12, 24 and 90 characters.
    struct Case {
        int targetLength;  // of the target's whole path
        bool fits;
    } cases[] = {{64, true}, {88, true}, {220, false}};
    const qsizetype fixedPart = fixture_.Root().size() + QStringLiteral("a/b/Jazz-Music.sqlite").size() - 2;
    for (const Case& c : cases) {
        const qsizetype nameLength = (c.targetLength - fixedPart) / 2;
        if (nameLength < 1)
            GTEST_SKIP() << "the temporary folder's path is too long: " << fixture_.Root().toStdString();
        const QString root = fixture_.Root() + QString(nameLength, 'a') + "/" + QString(nameLength, 'b') + "/";
        ASSERT_TRUE(QDir().mkpath(root));
        for (const char* name : {"Jazz-Album.db", "Jazz-Titel.db", "Jazz-Album.mb", "Jazz-Titel.mb"})
            QFile::copy(fixture_.Path(name), root + name);
        form_.edRootDir->setText(root);
        DialogRecorder dialogs;
        Convert(form_);

        const QString text = form_.stStatus->text();
        EXPECT_TRUE(text.endsWith("konvertiert!")) << text.toStdString();
        EXPECT_EQ(form_.stStatus->showsAll(), c.fits) << root.toStdString();
        EXPECT_EQ(form_.stStatus->size(), size);
        if (c.fits) {
            // Every character is shown, on lines no wider than the box.
            EXPECT_TRUE(ShowsEveryCharacter(form_.stStatus->shownLines(), text))
                << form_.stStatus->shownLines().join("|").toStdString();
            const QFontMetrics metrics(form_.stStatus->font());
            for (const QString& line : form_.stStatus->shownLines())
                EXPECT_LE(metrics.horizontalAdvance(line), form_.stStatus->contentsRect().width()) << line.toStdString();
            EXPECT_TRUE(form_.stStatus->toolTip().isEmpty());
        } else {
            EXPECT_TRUE(form_.stStatus->shownLines().back().endsWith(QString::fromUtf8("…")));
            EXPECT_EQ(form_.stStatus->toolTip(), QString(text).replace("\r\n", "\n"));
        }
    }
}

// A catalog that reports its progress a dozen times, its transfer slowed by the test hook, so
// that the window can be watched and acted on while it converts.
class ConversionRunTest : public GuiTest::SlowedConversionTest {
protected:
    static constexpr int kAlbums = 300;
    static constexpr int kTitles = 2700;

    ConversionRunTest() : SlowedConversionTest(kAlbums, kTitles, 40) {}

    // Converts at full speed, so that an earlier catalog is there.
    void MakeEarlierCatalog()
    {
        delayMs_ = 0;
        Convert(form_);
        ASSERT_TRUE(QFile::exists(fixture_.Target()));
    }

    // Starts a slowed conversion and waits until its transfer is well under way.
    void StartSlowConversion()
    {
        delayMs_ = 40;
        reports_ = 0;
        form_.bbConvert->click();
        ASSERT_TRUE(form_.Converting());
        ASSERT_TRUE(QTest::qWaitFor([&] { return reports_ >= 3; }, 30000));
    }

    // The files in the root directory, hidden ones included: no temporary file stays behind.
    QStringList RootFiles() const
    {
        return QDir(fixture_.Root()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    QString Cancelled(const QString& what) const
    {
        return "Die Konvertierung wurde abgebrochen.\r\n" + what.arg(fixture_.Target());
    }

};

TEST_F(ConversionRunTest, WindowStaysUsableShowsProgressAndTakesNoSecondRun)
{
    form_.show();
    Settle();
    const QSize restSize = form_.size();
    const std::vector<QWidget*> inputs{form_.edRootDir, form_.sbRootDir, form_.edKatalog, form_.sbKatalog,
                                       form_.bbConvert};
    DialogRecorder dialogs;
    StartSlowConversion();

    for (const QWidget* input : inputs)
        EXPECT_FALSE(input->isEnabled()) << input->objectName().toStdString();
    EXPECT_TRUE(form_.bbCancel->isVisible() && form_.bbCancel->isEnabled());
    EXPECT_TRUE(form_.pbProgress->isVisible());
    EXPECT_EQ(form_.cursor().shape(), Qt::BusyCursor);
    EXPECT_EQ(form_.size(), restSize + QSize(0, TMainForm::kRunRowHeight));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form_.stStatus->text().contains("Titel:"); }, 30000));
    EXPECT_TRUE(form_.stStatus->text().startsWith(QString::fromUtf8("Die Konvertierung läuft …\r\nAlben: ")))
        << form_.stStatus->text().toStdString();
    EXPECT_TRUE(form_.stStatus->showsAll()) << "the counts fit the box";

    // Presses during the run, by mouse, by key or by a call, start nothing, then or later.
    QTest::mouseClick(form_.bbConvert, Qt::LeftButton);
    QTest::keyClick(form_.bbConvert, Qt::Key_Return);
    QTest::keyClick(&form_, Qt::Key_Return);
    form_.bbConvertClick();

    std::vector<int> values;
    while (form_.Converting()) {
        const int value = form_.pbProgress->value();
        if (value > 0 && (values.empty() || values.back() != value))
            values.push_back(value);
        QTest::qWait(20);
    }
    EXPECT_GE(values.size(), 2u) << "the bar moves";
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_EQ(form_.pbProgress->maximum(), kAlbums + kTitles);

    EXPECT_EQ(form_.stStatus->text(), QStringLiteral("%1 Alben und %2 Titel nach\r\n\"%3\" konvertiert!")
                                          .arg(kAlbums)
                                          .arg(kTitles)
                                          .arg(fixture_.Target()));
    for (const QWidget* input : inputs)
        EXPECT_TRUE(input->isEnabled()) << input->objectName().toStdString();
    EXPECT_FALSE(form_.bbCancel->isVisible());
    EXPECT_FALSE(form_.pbProgress->isVisible());
    EXPECT_EQ(form_.cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(form_.size(), restSize);
    EXPECT_EQ(form_.focusWidget(), form_.bbConvert);
    QTest::qWait(300);
    EXPECT_FALSE(form_.Converting());
    EXPECT_TRUE(dialogs.requests.empty()) << "a second run would have asked before replacing the catalog";
}

TEST_F(ConversionRunTest, CancelLeavesWhatWasThereAndSaysSo)
{
    const struct {
        const char* label;
        bool earlier;
        bool escape;  // cancelled with Escape instead of the button
        QString status;
    } cases[] = {
        {"earlier catalog, button", true, false, QString::fromUtf8("Die bisherige Datei \"%1\" bleibt unverändert.")},
        {"no catalog before, Escape", false, true, QStringLiteral("Die Datei \"%1\" wurde nicht angelegt.")},
    };
    form_.show();
    Settle();
    for (const auto& c : cases) {
        QFile::remove(fixture_.Target());
        if (c.earlier)
            MakeEarlierCatalog();
        const QByteArray before = c.earlier ? FileDigest(fixture_.Target()) : QByteArray();
        const QStringList filesBefore = RootFiles();
        DialogRecorder dialogs;
        dialogs.answers = {DialogResult::Yes};
        StartSlowConversion();

        if (c.escape) {
            form_.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&form_));
            QTest::keyClick(&form_, Qt::Key_Escape);
        } else {
            form_.bbCancel->click();
        }
        WaitForConversion(form_);

        EXPECT_EQ(form_.stStatus->text(), Cancelled(c.status)) << c.label;
        if (c.earlier)
            EXPECT_EQ(FileDigest(fixture_.Target()), before) << c.label;
        else
            EXPECT_FALSE(QFile::exists(fixture_.Target())) << c.label;
        EXPECT_EQ(RootFiles(), filesBefore) << c.label;
        EXPECT_TRUE(form_.bbConvert->isEnabled()) << c.label;
        EXPECT_EQ(dialogs.requests.size(), c.earlier ? 1u : 0u) << c.label << ": only the overwrite question";
    }
}

TEST_F(ConversionRunTest, CloseDuringARunAsksAndYesClosesAfterACleanCancel)
{
    form_.show();
    Settle();
    MakeEarlierCatalog();
    const QByteArray before = FileDigest(fixture_.Target());
    DialogRecorder dialogs;
    dialogs.answers = {DialogResult::Yes};
    StartSlowConversion();

    dialogs.answers = {DialogResult::No};
    EXPECT_FALSE(form_.close());
    ASSERT_EQ(dialogs.requests.size(), 2u);
    const MsgDialogs::DialogRequest& question = dialogs.requests[1];
    EXPECT_EQ(question.kind, DialogKind::Confirmation);
    EXPECT_EQ(question.message, QString::fromUtf8("Die Konvertierung läuft noch.\r\n"
                                                  "Soll sie abgebrochen und das Programm beendet werden?"));
    EXPECT_EQ(question.point, MsgDialogs::BottomRightOfControl(form_.bbConvert));
    EXPECT_EQ(question.defaultButton, DialogButton::Yes);
    EXPECT_TRUE(form_.Converting()) << "No goes on converting";
    EXPECT_TRUE(form_.isVisible());

    dialogs.answers = {DialogResult::Yes};
    form_.close();
    EXPECT_EQ(dialogs.requests.size(), 3u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form_.isVisible(); }, 30000));
    EXPECT_FALSE(form_.Converting());
    EXPECT_EQ(FileDigest(fixture_.Target()), before);
    EXPECT_EQ(form_.stStatus->text(),
              Cancelled(QString::fromUtf8("Die bisherige Datei \"%1\" bleibt unverändert.")));
    EXPECT_EQ(dialogs.requests.size(), 3u);
}

TEST(GlyphIconTest, LowerLeftColourIsTransparentAndTheRightHalfIsTheGreyedImage)
{
    QImage strip(32, 16, QImage::Format_RGB32);
    strip.fill(Qt::red);
    strip.setPixel(3, 4, qRgb(0, 0, 255));
    strip.setPixel(16 + 3, 4, qRgb(0, 255, 0));
    const QIcon icon = ConvertMain::GlyphIcon(strip);

    const QImage normal = icon.pixmap(16, QIcon::Normal).toImage();
    const QImage greyed = icon.pixmap(16, QIcon::Disabled).toImage();
    EXPECT_EQ(qAlpha(normal.pixel(0, 15)), 0);
    EXPECT_EQ(qAlpha(normal.pixel(10, 10)), 0);
    EXPECT_EQ(normal.pixel(3, 4), qRgb(0, 0, 255));
    EXPECT_EQ(greyed.pixel(3, 4), qRgb(0, 255, 0));
    EXPECT_EQ(qAlpha(greyed.pixel(0, 0)), 0);
}
