// The folder chooser on real temporary directory trees: Execute and its fallbacks, the tree
// commands, the history, the keys, the file list switch and folder shortcuts.
#include "DialogTestSupport.h"
#include "LinkFixture.h"
#include "MsgDialogs.h"
#include "ScopedEnv.h"
#include "SelectDlg.h"
#include "ShellDirDlg.h"
#include "ShellDirWidgets.h"
#include "TempTree.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRubberBand>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>

// Readable values in failure messages.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

using namespace ShellDirDlg;
using MsgDialogs::DialogKind;
using MsgDialogs::DialogResult;

namespace {

constexpr int kLoadMs = 5000;

struct Message {
    DialogKind kind;
    QString text;
};

// Every test runs with its own home, trash, network folder and working tree; message
// dialogs and the option dialog are answered by hooks that record what was asked.
class ShellDirTest : public ::testing::Test {
protected:
    ShellDirTest()
        : FHomeEnv("HOME", FHome.Root()),
          FConfigEnv("XDG_CONFIG_HOME", FHome.Path(".config")),
          FDataEnv("XDG_DATA_HOME", FHome.Path(".local/share")),
          FRuntimeEnv("XDG_RUNTIME_DIR", FRuntime.Root()),
          FCwd(QDir::currentPath())
    {
        FDocuments = FHome.MakeDir(QStringLiteral("Documents"));
        MsgDialogs::SetAnswerHook([this](const MsgDialogs::DialogRequest& r) {
            FMessages.push_back({r.kind, r.message});
            return std::optional<DialogResult>(DialogResult::OK);
        });
        SelectDlg::SetAnswerHook([this](const SelectDlg::SelectRequest& r) {
            FSelectRequests.push_back(r);
            return std::optional<int>(FSelectAnswer);
        });
    }
    ~ShellDirTest() override
    {
        MsgDialogs::SetAnswerHook({});
        SelectDlg::SetAnswerHook({});
        ShellDirDlg::SetInputHook({});
        QDir::setCurrent(FCwd);
    }

    TShellDirDialog& Dialog()
    {
        if (!FDialog)
            FDialog = std::make_unique<TShellDirDialog>();
        return *FDialog;
    }

    // Runs Execute; action runs once the window shows and may close it (else it is cancelled).
    bool Run(QString& dir, const QString& home, std::function<void(TShellDirDialog&)> action,
             bool fileView = true, bool hidden = false)
    {
        TShellDirDialog& dlg = Dialog();
        DialogTest::WhenShown(QStringLiteral("ShellDirDialog"), [&dlg, action](QDialog*) {
            action(dlg);
            if (dlg.isVisible())
                dlg.reject();
        });
        return dlg.Execute(QStringLiteral("Standardverzeichnis für Kataloge"), hidden, fileView, true, home, dir);
    }

    // Shows the window without Execute's modal loop, in dir, for the tree commands.
    TShellDirDialog& ShownIn(const QString& dir)
    {
        TShellDirDialog& dlg = Dialog();
        dlg.show();
        dlg.SetRoot(rfMyComputer);
        EXPECT_TRUE(dlg.WaitUntilLoaded(kLoadMs));
        EXPECT_TRUE(dlg.SetPath(dir)) << dir.toStdString();
        return dlg;
    }

    // The names the tree shows below the selected folder, once it has been read.
    QStringList ShownChildren(TShellDirDialog& dlg)
    {
        QAbstractItemModel* model = dlg.ShellTreeView->model();
        if (model->canFetchMore(dlg.ShellTreeView->currentIndex()))
            model->fetchMore(dlg.ShellTreeView->currentIndex());
        EXPECT_TRUE(dlg.WaitUntilLoaded(kLoadMs));
        const QModelIndex node = dlg.ShellTreeView->currentIndex();
        QStringList names;
        for (int row = 0; row < model->rowCount(node); ++row)
            names << model->index(row, 0, node).data().toString();
        names.sort();
        return names;
    }

    // The selected folder's children once a refresh has reached the view: the model reads
    // folders on a thread of its own, and under load a removed entry may take a moment to go.
    QStringList ShownChildrenOnceSettled(TShellDirDialog& dlg, const QStringList& expected)
    {
        QStringList names = ShownChildren(dlg);
        for (int waited = 0; names != expected && waited < 5000; waited += 50) {
            QTest::qWait(50);
            names = ShownChildren(dlg);
        }
        return names;
    }

    // The texts of one column of the file list's rows, in the list's order.
    static QStringList ListColumn(TShellDirDialog& dlg, int column)
    {
        QAbstractItemModel* model = dlg.ShellListView->model();
        const QModelIndex root = dlg.ShellListView->rootIndex();
        QStringList texts;
        for (int row = 0; row < model->rowCount(root); ++row)
            texts << model->index(row, column, root).data().toString();
        return texts;
    }

    // Whether the tree shows its selected node inside its viewport.
    static bool SelectedNodeInView(TShellDirDialog& dlg)
    {
        const QRect node = dlg.ShellTreeView->visualRect(dlg.ShellTreeView->currentIndex());
        return !node.isEmpty() && dlg.ShellTreeView->viewport()->rect().contains(node);
    }

    QStringList MessageTexts() const
    {
        QStringList texts;
        for (const Message& m : FMessages)
            texts << m.text;
        return texts;
    }

    TempTree FHome;
    TempTree FRuntime;
    ScopedEnv FHomeEnv, FConfigEnv, FDataEnv, FRuntimeEnv;
    QString FCwd;
    QString FDocuments;
    TempTree FTree;
    std::vector<Message> FMessages;
    std::vector<SelectDlg::SelectRequest> FSelectRequests;
    int FSelectAnswer = -1;
    std::unique_ptr<TShellDirDialog> FDialog;
};

// ---- Execute ---------------------------------------------------------------------------

TEST_F(ShellDirTest, ConfirmingAtOnceReturnsTheStartDirectoryWithOneDelimiter)
{
    const QString daten = FTree.MakeDir(QStringLiteral("Daten"));
    QString dir = daten;
    QString rootSeen, textSeen;
    EXPECT_TRUE(Run(dir, FDocuments, [&](TShellDirDialog& dlg) {
        rootSeen = dlg.Root();
        textSeen = dlg.cbxSelectedDir->currentText();
        EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Standardverzeichnis für Kataloge"));
        EXPECT_TRUE(dlg.btbOK->isEnabled());
        dlg.btbOK->click();
    }));
    EXPECT_EQ(rootSeen, rfMyComputer);
    EXPECT_EQ(textSeen, daten);
    EXPECT_EQ(dir, daten + QLatin1Char('/'));
    EXPECT_EQ(Dialog().History(), QStringList{daten});
}

TEST_F(ShellDirTest, StartDirectoryFallbacks)
{
    const QString home = FTree.MakeDir(QStringLiteral("Heim"));
    const QString cwd = FTree.MakeDir(QStringLiteral("Arbeit"));
    QDir::setCurrent(cwd);
    struct Case {
        const char* what;
        QString dir, home, expected;
        bool removeDocuments;
    };
    const QString missing = FTree.Path(QStringLiteral("fehlt"));
    for (const Case& c : {Case{"empty Dir, existing HomeDir", QString(), home, home, false},
                          Case{"missing Dir, existing HomeDir", missing, home, home, false},
                          Case{"both missing: documents", missing, missing, FDocuments, false},
                          Case{"no documents either: current directory", QString(), missing, cwd, true}}) {
        // Without a documents folder the home folder may stand in: it is missing as well.
        std::optional<ScopedEnv> noHome;
        if (c.removeDocuments) {
            QDir(FDocuments).removeRecursively();
            noHome.emplace("HOME", FTree.Path(QStringLiteral("kein Heim")));
        }
        QString dir = c.dir;
        QString started;
        EXPECT_FALSE(Run(dir, c.home, [&](TShellDirDialog& dlg) { started = dlg.Path(); })) << c.what;
        EXPECT_EQ(started, c.expected) << c.what;
        EXPECT_EQ(dir, c.dir) << c.what << ": cancelling leaves Dir alone";
    }
    EXPECT_TRUE(Dialog().History().isEmpty());
    EXPECT_TRUE(FMessages.empty());
}

TEST_F(ShellDirTest, NetworkStartPathNeedsNetworkBrowsing)
{
    const QString home = FTree.MakeDir(QStringLiteral("Heim"));
    // Without the network mounts folder the button is hidden and a network path is refused.
    QString dir = FRuntime.Path(QStringLiteral("gvfs/smb-share:server=srv,share=x/Musik"));
    QString started;
    Run(dir, home, [&](TShellDirDialog& dlg) {
        EXPECT_TRUE(dlg.spbNetwork->isHidden());
        started = dlg.Path();
    });
    EXPECT_EQ(started, home);
    ASSERT_EQ(FMessages.size(), 1u);
    EXPECT_EQ(FMessages[0].kind, DialogKind::Error);
    EXPECT_EQ(FMessages[0].text,
              QStringLiteral("Das Durchsuchen der Netzwerkumgebung wird von diesem System nicht unterstützt!"));

    // With it (checked when the window is made), the tree opens under the network root.
    FDialog.reset();
    FMessages.clear();
    const QString share = FRuntime.MakeDir(QStringLiteral("gvfs/smb-share:server=srv,share=x/Musik"));
    QString rootSeen;
    Run(dir, home, [&](TShellDirDialog& dlg) {
        EXPECT_FALSE(dlg.spbNetwork->isHidden());
        rootSeen = dlg.Root();
        started = dlg.Path();
    });
    EXPECT_EQ(rootSeen, rfNetwork);
    EXPECT_EQ(started, share);
    EXPECT_TRUE(FMessages.empty());
}

TEST_F(ShellDirTest, HiddenFoldersOnlyWhenAsked)
{
    const QString base = FTree.MakeDir(QStringLiteral("Basis"));
    FTree.MakeDir(QStringLiteral("Basis/sichtbar"));
    FTree.MakeDir(QStringLiteral("Basis/.versteckt"));
    for (const bool hidden : {false, true, false}) {
        QString dir = base;
        QStringList shown;
        Run(dir, FDocuments, [&](TShellDirDialog& dlg) { shown = ShownChildren(dlg); }, true, hidden);
        const QStringList expected = hidden ? QStringList{".versteckt", "sichtbar"} : QStringList{"sichtbar"};
        EXPECT_EQ(shown, expected) << "hidden " << hidden;
    }
}

// ---- Keys ------------------------------------------------------------------------------------

TEST_F(ShellDirTest, EnterConfirmsAndOnlyThePlainOneOnAnEnabledOkExtendsTheHistory)
{
    const QString daten = FTree.MakeDir(QStringLiteral("Daten"));
    struct Case {
        const char* what;
        Qt::KeyboardModifiers modifiers;
        QString typed;  // null: keep the selected folder
        QString expected;
        bool extendsHistory;
    };
    const QString typed = FTree.Path(QStringLiteral("gibt es nicht"));
    for (const Case& c : {Case{"Shift+Enter", Qt::ShiftModifier, QString(), daten + "/", false},
                          Case{"Enter on a disabled OK", Qt::NoModifier, typed, typed + "/", false},
                          Case{"Enter", Qt::NoModifier, QString(), daten + "/", true}}) {
        const QStringList before = Dialog().History();
        QString dir = daten;
        bool okEnabled = true;
        EXPECT_TRUE(Run(dir, FDocuments, [&](TShellDirDialog& dlg) {
            if (!c.typed.isNull()) {
                dlg.cbxSelectedDir->lineEdit()->selectAll();
                QTest::keyClicks(dlg.cbxSelectedDir->lineEdit(), c.typed);
            }
            okEnabled = dlg.btbOK->isEnabled();
            QTest::keyClick(dlg.ShellTreeView, Qt::Key_Return, c.modifiers);
        })) << c.what;
        EXPECT_EQ(okEnabled, c.typed.isNull()) << c.what;
        EXPECT_EQ(dir, c.expected) << c.what;
        EXPECT_EQ(Dialog().History().size(), before.size() + (c.extendsHistory ? 1 : 0)) << c.what;
    }
    QString dir = daten;
    EXPECT_FALSE(Run(dir, FDocuments, [](TShellDirDialog& dlg) { QTest::keyClick(dlg.ShellTreeView, Qt::Key_Escape); }));
}

TEST_F(ShellDirTest, AnOpenEditorKeepsEnterAndEscapeToItself)
{
    const QString daten = FTree.MakeDir(QStringLiteral("Daten"));
    QString dir = daten;
    std::vector<bool> openAfter;
    EXPECT_FALSE(Run(dir, FDocuments, [&](TShellDirDialog& dlg) {
        const QModelIndex node = dlg.ShellTreeView->currentIndex();
        dlg.ShellTreeView->openPersistentEditor(node);
        QWidget* editor = dlg.ShellTreeView->indexWidget(node);
        ASSERT_NE(editor, nullptr);
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            editor->setFocus();
            QTest::keyClick(editor, key);
            QCoreApplication::processEvents();
            openAfter.push_back(dlg.isVisible());
        }
        dlg.ShellTreeView->closePersistentEditor(node);
    }));
    EXPECT_EQ(openAfter, (std::vector<bool>{true, true, true}));
    EXPECT_TRUE(Dialog().History().isEmpty());
}

TEST_F(ShellDirTest, OnlyPlainF5RefreshesTheSelectedFolder)
{
    const QString base = FTree.MakeDir(QStringLiteral("Basis/alt"));
    TShellDirDialog& dlg = ShownIn(QFileInfo(base).path());
    EXPECT_EQ(ShownChildren(dlg), QStringList{"alt"});
    FTree.MakeDir(QStringLiteral("Basis/neu"));
    QTest::keyClick(dlg.ShellTreeView, Qt::Key_F5, Qt::ControlModifier);
    EXPECT_EQ(ShownChildren(dlg), QStringList{"alt"});  // the tree does not follow the disk
    QTest::keyClick(dlg.ShellTreeView, Qt::Key_F5);
    EXPECT_EQ(ShownChildren(dlg), (QStringList{"alt", "neu"}));
}

// ---- History ---------------------------------------------------------------------------------

TEST_F(ShellDirTest, HistoryComparesDirectoriesByThePlatformsRule)
{
    TShellDirDialog& dlg = Dialog();
    dlg.AddToHistory(QStringLiteral("/x/Daten"));
    dlg.AddToHistory(QStringLiteral("/x/Daten"));   // equal: nothing
    dlg.AddToHistory(QStringLiteral("/x/daten"));   // another directory on this system
    dlg.AddToHistory(QStringLiteral("/x/Daten/"));  // another text
    EXPECT_EQ(dlg.History(), (QStringList{"/x/Daten", "/x/daten", "/x/Daten/"}));

    dlg.cbxSelectedDir->setEditText(QStringLiteral("/y"));
    dlg.RemoveFromHistory(QStringLiteral("/x/daten"));
    EXPECT_EQ(dlg.History(), (QStringList{"/x/Daten", "/x/Daten/"}));
    EXPECT_EQ(dlg.cbxSelectedDir->currentText(), QStringLiteral("/x/Daten"));  // the first entry is selected
    dlg.RemoveFromHistory(QStringLiteral("/x/Daten"));
    dlg.RemoveFromHistory(QStringLiteral("/x/Daten/"));
    EXPECT_TRUE(dlg.History().isEmpty());
}

TEST_F(ShellDirTest, DropDownOnlyOnceThereIsHistory)
{
    const QString daten = FTree.MakeDir(QStringLiteral("Daten"));
    QString dir = daten;
    bool first = true, second = false;
    int firstRoom = 0, secondRoom = 0;  // how much of the field the text leaves to the arrow
    Run(dir, FDocuments, [&](TShellDirDialog& dlg) {
        first = dlg.cbxSelectedDir->HasDropDown();
        firstRoom = dlg.cbxSelectedDir->width() - dlg.cbxSelectedDir->lineEdit()->geometry().right();
        dlg.btbOK->click();
    });
    Run(dir, FDocuments, [&](TShellDirDialog& dlg) {
        second = dlg.cbxSelectedDir->HasDropDown();
        secondRoom = dlg.cbxSelectedDir->width() - dlg.cbxSelectedDir->lineEdit()->geometry().right();
    });
    EXPECT_FALSE(first);
    EXPECT_TRUE(second);
    EXPECT_LE(firstRoom, 6);    // a plain edit field
    EXPECT_GE(secondRoom, 12);  // room for the arrow again

    // Picking an entry from the list goes there once the list has closed.
    const QString other = FTree.MakeDir(QStringLiteral("Anderes"));
    Dialog().AddToHistory(other);
    QString reached;
    Run(dir, FDocuments, [&](TShellDirDialog& dlg) {
        dlg.cbxSelectedDir->showPopup();
        dlg.cbxSelectedDir->setCurrentIndex(1);
        dlg.cbxSelectedDir->hidePopup();
        EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.Path() == other; }, 2000));
        reached = dlg.Path();
    });
    EXPECT_EQ(reached, other);
}

// ---- File list ---------------------------------------------------------------------------------

TEST_F(ShellDirTest, FileViewSwitchesTheListAndTheWindowWidth)
{
    const QString daten = FTree.MakeDir(QStringLiteral("Daten"));
    FTree.WriteFile(QStringLiteral("Daten/Jazz-Album.db"));
    QString dir = daten;
    Dialog().cbxFiles->setChecked(true);

    // FileView off hides the switch and the list even when the switch is ticked.
    int leftWidth = 0, width = 0;
    bool boxHidden = false, listHidden = false;
    Run(dir, FDocuments, [&](TShellDirDialog& dlg) {
        boxHidden = dlg.cbxFiles->isHidden();
        listHidden = dlg.PanelRight->isHidden();
        leftWidth = dlg.PanelLeft->width();
        width = dlg.width();
    }, false);
    EXPECT_TRUE(boxHidden);
    EXPECT_TRUE(listHidden);
    EXPECT_EQ(width, leftWidth);

    // In the open window the switch widens the window to the list's right edge and back.
    int shownWidth = 0, listRight = 0, hiddenWidth = 0, nameColumn = 0, sizeColumn = 0, xWidth = 0;
    Run(dir, FDocuments, [&](TShellDirDialog& dlg) {
        dlg.cbxFiles->setChecked(false);
        const int narrow = dlg.width();
        dlg.cbxFiles->setChecked(true);
        shownWidth = dlg.width();
        listRight = dlg.PanelRight->geometry().right() + 1;
        EXPECT_EQ(shownWidth, narrow + 3 + dlg.PanelRight->width());
        EXPECT_TRUE(dlg.ShellListView->rootIndex().isValid());
        EXPECT_EQ(dlg.ShellListView->rootIndex().data().toString(), QStringLiteral("Daten"));
        xWidth = dlg.fontMetrics().horizontalAdvance(QLatin1Char('X'));
        nameColumn = dlg.ShellListView->columnWidth(0);
        sizeColumn = dlg.ShellListView->columnWidth(1);
        // Dragging the bar 40 pixels to the left widens the list by as much.
        const int listWidth = dlg.PanelRight->width();
        const int barLeft = dlg.Splitter->x();
        QTest::mousePress(dlg.Splitter, Qt::LeftButton, {}, QPoint(1, 100));
        QTest::mouseMove(dlg.Splitter, QPoint(-39, 100));
        // While dragged, a line shows where the border will go; nothing moves yet.
        auto* line = dlg.Splitter->findChild<QRubberBand*>();
        if (line == nullptr)
            line = dlg.findChild<QRubberBand*>();
        ASSERT_NE(line, nullptr);
        EXPECT_TRUE(line->isVisible());
        EXPECT_EQ(line->x(), barLeft - 40);
        EXPECT_EQ(dlg.PanelRight->width(), listWidth);
        QTest::mouseRelease(dlg.Splitter, Qt::LeftButton, {}, QPoint(-39, 100));
        EXPECT_FALSE(line->isVisible());
        EXPECT_EQ(dlg.PanelRight->width(), listWidth + 40);
        EXPECT_EQ(dlg.PanelLeft->width() + 3 + dlg.PanelRight->width(), dlg.width());
        dlg.cbxFiles->setChecked(false);
        hiddenWidth = dlg.width();
        EXPECT_EQ(hiddenWidth, dlg.PanelLeft->width());
    });
    EXPECT_EQ(shownWidth, listRight);
    EXPECT_EQ(hiddenWidth, leftWidth - 40);
    EXPECT_LT(sizeColumn, 12 * xWidth) << "the size column takes what its texts need";
    EXPECT_GT(nameColumn, 0);
}

TEST_F(ShellDirTest, TheFileListShowsFilesOnlyReadOnlyAndInGerman)
{
    const QString unter = FTree.MakeDir(QStringLiteral("Daten/Unter"));
    FTree.WriteFile(QStringLiteral("Daten/Unter/x.txt"));
    const QString album = FTree.WriteFile(QStringLiteral("Daten/Jazz-Album.db"), QByteArray(1500, 'a'));
    FTree.WriteFile(QStringLiteral("Daten/Liesmich"), QByteArray());
    {
        QFile file(album);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime(QDate(2024, 3, 5), QTime(14, 7)), QFileDevice::FileModificationTime));
    }
    Dialog().cbxFiles->setChecked(true);
    QString dir = unter;  // the list has been in "Unter": the model keeps that folder
    Run(dir, FDocuments, [&](TShellDirDialog& dlg) {
        ASSERT_TRUE(dlg.SetPath(FTree.Path(QStringLiteral("Daten"))));
        const QStringList files{QStringLiteral("Jazz-Album.db"), QStringLiteral("Liesmich")};
        EXPECT_TRUE(QTest::qWaitFor([&] { return ListColumn(dlg, 0) == files; }, kLoadMs)) << ListColumn(dlg, 0).join(',').toStdString();

        QAbstractItemModel* model = dlg.ShellListView->model();
        QStringList headings;
        for (int c = 0; c < 4; ++c)
            headings << model->headerData(c, Qt::Horizontal).toString();
        EXPECT_EQ(headings, (QStringList{"Name", "Größe", "Typ", "Änderungsdatum"}));
        EXPECT_EQ(ListColumn(dlg, 1), (QStringList{"2 KB", "0 KB"}));
        EXPECT_EQ(ListColumn(dlg, 2), (QStringList{"DB-Datei", "Datei"}));
        EXPECT_EQ(ListColumn(dlg, 3).value(0), QStringLiteral("05.03.2024 14:07"));

        // Sorted by what the columns show.
        dlg.ShellListView->sortByColumn(2, Qt::AscendingOrder);
        EXPECT_EQ(ListColumn(dlg, 0), (QStringList{"Liesmich", "Jazz-Album.db"}));
        dlg.ShellListView->sortByColumn(0, Qt::AscendingOrder);

        // Nothing can be renamed.
        const QModelIndex first = model->index(0, 0, dlg.ShellListView->rootIndex());
        EXPECT_FALSE(model->flags(first) & Qt::ItemIsEditable);
        dlg.ShellListView->setCurrentIndex(first);
        dlg.ShellListView->edit(first);
        QTest::keyClick(dlg.ShellListView, Qt::Key_F2);
        EXPECT_EQ(dlg.ShellListView->viewport()->findChild<QLineEdit*>(), nullptr);

        // In the list's width at design, size, type and date are never cut and all four
        // columns fit.
        QHeaderView* header = dlg.ShellListView->header();
        const QFontMetrics metrics = dlg.ShellListView->fontMetrics();
        int total = 0;
        for (int c = 0; c < 4; ++c) {
            // The sorted column's heading has room for the sort mark, the others for their text.
            if (c > 0) {
                const int heading = header->sortIndicatorSection() == c
                                        ? header->sectionSizeHint(c)
                                        : header->fontMetrics().horizontalAdvance(
                                              model->headerData(c, Qt::Horizontal).toString());
                EXPECT_GE(header->sectionSize(c), heading) << "column " << c;
            }
            total += header->sectionSize(c);
        }
        EXPECT_GT(header->sectionSize(3), metrics.horizontalAdvance(QStringLiteral("05.03.2024 14:07")));
        EXPECT_LE(total, dlg.ShellListView->viewport()->width());
    });
}

// ---- Folder shortcuts ----------------------------------------------------------------------------

TEST_F(ShellDirTest, AFolderShortcutShowsItsTarget)
{
    const QString shortcut = FTree.MakeDir(QStringLiteral("Verknüpfung"));
    ASSERT_TRUE(LinkFixture::Write(shortcut + QStringLiteral("/target.lnk"), {QStringLiteral("/srv/musik"), {}, {}, {}, false}));
    const QString broken = FTree.MakeDir(QStringLiteral("Kaputt"));
    FTree.WriteFile(QStringLiteral("Kaputt/target.lnk"), "kein Link");
    const QString plain = FTree.MakeDir(QStringLiteral("Normal"));
    TShellDirDialog& dlg = ShownIn(plain);
    EXPECT_EQ(dlg.cbxSelectedDir->currentText(), plain);
    ASSERT_TRUE(dlg.SetPath(shortcut));
    EXPECT_EQ(dlg.cbxSelectedDir->currentText(), QStringLiteral("/srv/musik"));
    ASSERT_TRUE(dlg.SetPath(broken));
    EXPECT_EQ(dlg.cbxSelectedDir->currentText(), QString());
}

// ---- Up -------------------------------------------------------------------------------------------

TEST_F(ShellDirTest, UpAtEachLevel)
{
    const QString b = FTree.MakeDir(QStringLiteral("a/b"));
    const QString a = FTree.Path(QStringLiteral("a"));
    TShellDirDialog& dlg = ShownIn(b);
    dlg.spbUpClick();  // two or more levels below the top: the parent
    EXPECT_EQ(dlg.Path(), a);
    EXPECT_EQ(dlg.Root(), rfMyComputer);

    // A folder directly below the top node stays; the top node itself leaves a directory
    // root for the computer.
    dlg.SetRoot(FTree.Root());
    dlg.SetPath(a);
    EXPECT_EQ(dlg.SelectedLevel(), 1);
    dlg.spbUpClick();
    EXPECT_EQ(dlg.Path(), a);
    dlg.SetPath(FTree.Root());
    EXPECT_EQ(dlg.SelectedLevel(), 0);
    dlg.spbUpClick();
    EXPECT_EQ(dlg.Root(), rfMyComputer);
    EXPECT_EQ(dlg.Path(), QStringLiteral("/"));
    dlg.spbUpClick();  // the computer's top node: nothing changes
    EXPECT_EQ(dlg.Root(), rfMyComputer);
    EXPECT_EQ(dlg.Path(), QStringLiteral("/"));
}

// ---- Home -------------------------------------------------------------------------------------------

TEST_F(ShellDirTest, HomeOnAnOrdinaryAndADriveRootLikeDefault)
{
    const QString home = FTree.MakeDir(QStringLiteral("Heim/Daten"));
    const QString start = FTree.MakeDir(QStringLiteral("Start"));
    FRuntime.MakeDir(QStringLiteral("gvfs"));
    struct Case {
        const char* what;
        QString defaultDir, rootBefore, rootAfter, pathAfter;
    };
    for (const Case& c : {Case{"ordinary, under the desktop", home, rfDesktop, rfMyComputer, home},
                          Case{"ordinary, under the network", home, rfNetwork, home, home},
                          Case{"the file-system root", QStringLiteral("/"), rfMyComputer, QStringLiteral("/"),
                               QStringLiteral("/")}}) {
        QDir::setCurrent(FCwd);
        QString dir = start;
        QString root, path;
        Run(dir, c.defaultDir, [&](TShellDirDialog& dlg) {
            EXPECT_FALSE(dlg.spbHome->isHidden());
            EXPECT_EQ(dlg.spbHome->toolTip(), QStringLiteral("Standard: ") + c.defaultDir);
            dlg.SetRoot(c.rootBefore);
            dlg.spbHomeClick();
            root = dlg.Root();
            path = dlg.Path();
        });
        EXPECT_EQ(root, c.rootAfter) << c.what;
        EXPECT_EQ(path, c.pathAfter) << c.what;
        EXPECT_EQ(QDir::currentPath(), c.defaultDir) << c.what;
    }
    EXPECT_TRUE(FMessages.empty());

    QString dir = start;
    bool homeHidden = false;
    Run(dir, QString(), [&](TShellDirDialog& dlg) { homeHidden = dlg.spbHome->isHidden(); });
    EXPECT_TRUE(homeHidden);
}

TEST_F(ShellDirTest, HomeShowsTheDefaultFolderOnceItsSiblingsAreRead)
{
    // The default folder's parent is read only when Home selects it: the siblings that arrive
    // then push the folder out of view unless the tree scrolls again.
    for (int i = 0; i < 60; ++i)
        FTree.MakeDir(QStringLiteral("Heim/Ordner%1").arg(i, 2, 10, QLatin1Char('0')));
    const QString home = FTree.Path(QStringLiteral("Heim/Ordner55"));
    QString dir = FTree.MakeDir(QStringLiteral("Start"));
    QString path;
    bool inView = false;
    Run(dir, home, [&](TShellDirDialog& dlg) {
        dlg.spbHomeClick();
        EXPECT_TRUE(dlg.WaitUntilLoaded(kLoadMs));
        QTest::qWait(50);
        path = dlg.Path();
        inView = SelectedNodeInView(dlg);
    });
    EXPECT_EQ(path, home);
    EXPECT_TRUE(inView);
}

TEST_F(ShellDirTest, HomeOnARemovedDefaultReportsAndForgetsIt)
{
    const QString gone = FTree.MakeDir(QStringLiteral("Weg"));
    const QString other = FTree.MakeDir(QStringLiteral("Anderes"));
    TShellDirDialog& dlg = Dialog();
    dlg.AddToHistory(other);
    dlg.AddToHistory(gone);
    QString dir = other;
    QString pathBefore, pathAfter;
    Run(dir, gone, [&](TShellDirDialog& d) {
        QDir(gone).removeRecursively();
        pathBefore = d.Path();
        d.spbHomeClick();
        pathAfter = d.Path();
    });
    EXPECT_EQ(MessageTexts(), QStringList{QStringLiteral("Verzeichnis nicht gefunden:\r\n") + gone + "!"});
    EXPECT_EQ(FMessages[0].kind, DialogKind::Error);
    EXPECT_EQ(dlg.History(), QStringList{other});
    EXPECT_EQ(pathAfter, pathBefore);
}

// ---- New folder -------------------------------------------------------------------------------------

TEST_F(ShellDirTest, NewFolderCreatesEveryLevelAndSelectsIt)
{
    const QString daten = FTree.MakeDir(QStringLiteral("Daten"));
    TShellDirDialog& dlg = ShownIn(daten);
    dlg.SetRoot(rfDesktop);
    dlg.SetRoot(FTree.Root());
    dlg.SetPath(daten);
    QStringList asked;
    std::optional<QString> answer = QStringLiteral("a/b");
    SetInputHook([&](const QString& caption, const QString& prompt, const QString& text) {
        asked << caption << prompt << text;
        return answer;
    });
    dlg.spbNewClick();
    EXPECT_EQ(asked, (QStringList{daten, QStringLiteral("Neues Unterverzeichnis:"), QString()}));
    EXPECT_TRUE(QFileInfo(daten + QStringLiteral("/a/b")).isDir());
    EXPECT_EQ(dlg.Root(), rfMyComputer);
    EXPECT_EQ(dlg.Path(), daten + QStringLiteral("/a/b"));

    answer = QString();  // an empty text names the selected folder itself
    dlg.spbNewClick();
    EXPECT_EQ(dlg.Path(), daten + QStringLiteral("/a/b"));

    answer = std::nullopt;  // cancelled
    dlg.SetPath(daten);
    dlg.spbNewClick();
    EXPECT_EQ(dlg.Path(), daten);
    EXPECT_TRUE(FMessages.empty());

    FTree.WriteFile(QStringLiteral("Daten/datei"));
    answer = QStringLiteral("datei/x");
    dlg.spbNewClick();
    EXPECT_EQ(MessageTexts(), QStringList{QStringLiteral("Verzeichnis:\r\n") + daten +
                                          QStringLiteral("/datei/x\r\nkonnte nicht erstellt werden!")});
    EXPECT_EQ(dlg.Path(), daten);
}

TEST_F(ShellDirTest, TheNewFolderBoxShowsTheWholeParentPath)
{
    // A long path fits the box on this 1280-pixel screen; a far longer one is shortened in
    // the middle, keeping both ends.
    const QString longName(60, QLatin1Char('l'));
    const QString fits = FTree.MakeDir(QStringLiteral("Sammlungen/Klassik und Jazz aus aller Welt/") + longName);
    const QString tooLong = FTree.MakeDir(QStringLiteral("Sammlungen/") + QString(200, QLatin1Char('a')) + QLatin1Char('/')
                                          + QString(200, QLatin1Char('b')) + QStringLiteral("/Musik"));
    for (const QString& parent : {fits, tooLong}) {
        TShellDirDialog& dlg = ShownIn(parent);
        QString title, shown;
        DialogTest::WhenShown(QStringLiteral("ShellDirNewFolder"), [&](QDialog* box) {
            title = box->windowTitle();
            if (auto* path = box->findChild<TPathLabel*>())
                shown = path->ShownText();
            auto* edit = box->findChild<QLineEdit*>();
            ASSERT_NE(edit, nullptr);
            QTest::keyClicks(edit, QStringLiteral("Neu"));
            QTest::keyClick(edit, Qt::Key_Return);
        });
        dlg.spbNewClick();
        EXPECT_EQ(title, parent);
        if (parent == fits) {
            EXPECT_EQ(shown, parent);
        } else {
            EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
            EXPECT_TRUE(shown.startsWith(FTree.Root())) << shown.toStdString();
            EXPECT_TRUE(shown.endsWith(QStringLiteral("/Musik"))) << shown.toStdString();
        }
        EXPECT_EQ(dlg.Path(), parent + QStringLiteral("/Neu"));
        EXPECT_TRUE(dlg.isVisible());
    }
}

// ---- Delete -----------------------------------------------------------------------------------------

TEST_F(ShellDirTest, DeleteCancelledChangesNothing)
{
    const QString alt = FTree.MakeDir(QStringLiteral("Daten/Alt"));
    TShellDirDialog& dlg = ShownIn(alt);
    EXPECT_TRUE(ShownChildren(dlg).isEmpty());
    FTree.MakeDir(QStringLiteral("Daten/Alt/spaeter"));  // would show after a refresh
    FSelectAnswer = -1;
    dlg.itmDeleteClick();
    ASSERT_EQ(FSelectRequests.size(), 1u);
    const SelectDlg::SelectRequest& r = FSelectRequests[0];
    EXPECT_EQ(r.title, QStringLiteral("Verzeichnis löschen"));
    EXPECT_EQ(r.caption, QStringLiteral("Lösche \"") + alt + QStringLiteral("\""));
    EXPECT_EQ(r.kind, DialogKind::Confirmation);
    EXPECT_EQ(r.captionFormat, SelectDlg::Bold);
    EXPECT_EQ(r.buttons, (QStringList{QStringLiteral("&Endgültig"), QStringLiteral("In &Papierkorb")}));
    EXPECT_TRUE(r.option.isEmpty());
    EXPECT_EQ(r.buttonWidth, 0);
    EXPECT_EQ(r.preSelection, -1);
    EXPECT_TRUE(r.defaultButton.isEmpty());

    EXPECT_TRUE(QFileInfo(alt).isDir());
    EXPECT_EQ(dlg.Path(), alt);
    EXPECT_TRUE(ShownChildren(dlg).isEmpty());  // not refreshed
    EXPECT_TRUE(FMessages.empty());
}

TEST_F(ShellDirTest, DeleteForGoodCountsWhatWent)
{
    FTree.WriteFile(QStringLiteral("Daten/Alt/eins.txt"));
    FTree.WriteFile(QStringLiteral("Daten/Alt/zwei.txt"));
    FTree.WriteFile(QStringLiteral("Daten/Alt/Unter/drei.txt"));
    FTree.MakeDir(QStringLiteral("Daten/Bleibt"));
    const QString alt = FTree.Path(QStringLiteral("Daten/Alt"));
    TShellDirDialog& dlg = ShownIn(alt);
    FSelectAnswer = 0;
    dlg.itmDeleteClick();
    EXPECT_EQ(MessageTexts(), QStringList{QStringLiteral("2 Verzeichnisse mit 3 Dateien gelöscht!")});
    EXPECT_EQ(FMessages[0].kind, DialogKind::Information);
    EXPECT_FALSE(EntryExists(alt));
    EXPECT_EQ(dlg.Path(), FTree.Path(QStringLiteral("Daten")));
    EXPECT_EQ(ShownChildrenOnceSettled(dlg, {"Bleibt"}), QStringList{"Bleibt"});  // refreshed

    // A folder that is gone already: nothing to count.
    FMessages.clear();
    const QString bleibt = FTree.Path(QStringLiteral("Daten/Bleibt"));
    dlg.SetPath(bleibt);
    QDir(bleibt).removeRecursively();
    dlg.itmDeleteClick();
    EXPECT_EQ(MessageTexts(), QStringList{QStringLiteral("0 Verzeichnisse mit 0 Dateien gelöscht!")});
}

TEST_F(ShellDirTest, DeletedFoldersLeaveTheTree)
{
    // Directly below the top node the deleted folder stays selected by Up: its parent takes
    // the selection and is read again, either way of deleting.
    FTree.MakeDir(QStringLiteral("Bleibt"));
    for (const int answer : {0, 1}) {
        const QString gone = FTree.MakeDir(QStringLiteral("Weg%1").arg(answer));
        TShellDirDialog& dlg = ShownIn(gone);
        dlg.SetRoot(FTree.Root());
        ASSERT_TRUE(dlg.SetPath(gone));
        ASSERT_EQ(dlg.SelectedLevel(), 1);
        FSelectAnswer = answer;
        dlg.itmDeleteClick();
        EXPECT_FALSE(EntryExists(gone)) << answer;
        EXPECT_EQ(dlg.Path(), FTree.Root()) << answer;
        EXPECT_EQ(dlg.cbxSelectedDir->currentText(), FTree.Root()) << answer;
        EXPECT_EQ(ShownChildrenOnceSettled(dlg, {"Bleibt"}), QStringList{"Bleibt"}) << answer;
    }

    // The top node itself: the tree goes to the computer, and the folder's parent, read
    // before, is read again.
    const QString top = FTree.MakeDir(QStringLiteral("Oben"));
    TShellDirDialog& dlg = ShownIn(top);
    dlg.SetRoot(top);
    FSelectAnswer = 0;
    dlg.itmDeleteClick();
    EXPECT_EQ(dlg.Root(), rfMyComputer);
    ASSERT_TRUE(dlg.SetPath(FTree.Root()));
    EXPECT_EQ(ShownChildrenOnceSettled(dlg, {"Bleibt"}), QStringList{"Bleibt"});
}

TEST_F(ShellDirTest, DeleteForGoodRemovesALinkedFolderAsALink)
{
    const QString kept = FTree.WriteFile(QStringLiteral("Ziel/eins.txt"), "eins");
    FTree.MakeDir(QStringLiteral("Daten"));
    const QString link = FTree.Link(QStringLiteral("Daten/Verweis"), FTree.Path(QStringLiteral("Ziel")));
    TShellDirDialog& dlg = ShownIn(link);
    ASSERT_EQ(dlg.Path(), link);
    FSelectAnswer = 0;
    dlg.itmDeleteClick();
    EXPECT_EQ(MessageTexts(), QStringList{QStringLiteral("0 Verzeichnisse mit 1 Dateien gelöscht!")});
    EXPECT_FALSE(EntryExists(link));
    EXPECT_EQ(ReadAll(kept).toStdString(), "eins");
}

TEST_F(ShellDirTest, DeleteToTheTrash)
{
    FTree.WriteFile(QStringLiteral("Daten/Alt/eins.txt"));
    const QString alt = FTree.Path(QStringLiteral("Daten/Alt"));
    TShellDirDialog& dlg = ShownIn(alt);
    FSelectAnswer = 1;
    dlg.itmDeleteClick();
    EXPECT_EQ(MessageTexts(), QStringList{alt + QStringLiteral(" wurde in den Papierkorb verschoben!")});
    EXPECT_FALSE(EntryExists(alt));
    EXPECT_TRUE(QFileInfo::exists(FHome.Path(QStringLiteral(".local/share/Trash/files/Alt/eins.txt"))));
    EXPECT_TRUE(ShownChildrenOnceSettled(dlg, {}).isEmpty());

    // A failure of either way is reported with the folder's path.
    FMessages.clear();
    const QString vanished = FTree.MakeDir(QStringLiteral("Daten/Fluechtig"));
    dlg.SetPath(vanished);
    QDir(vanished).removeRecursively();
    dlg.itmDeleteClick();
    EXPECT_EQ(MessageTexts(), QStringList{QStringLiteral("Fehler beim Löschen des Verzeichnisses:\r\n") + vanished + "!"});
    EXPECT_EQ(FMessages[0].kind, DialogKind::Error);
}

// ---- Refresh, context menu and root buttons -----------------------------------------------------

TEST_F(ShellDirTest, OpeningTheContextMenuRefreshesFirst)
{
    const QString daten = FTree.MakeDir(QStringLiteral("Daten"));
    TShellDirDialog& dlg = ShownIn(daten);
    EXPECT_TRUE(ShownChildren(dlg).isEmpty());
    FTree.MakeDir(QStringLiteral("Daten/Neu"));
    QStringList during;
    QObject::connect(dlg.PopupMenu, &QMenu::aboutToShow, &dlg, [&] { during = ShownChildren(dlg); },
                     Qt::DirectConnection);
    dlg.PopupMenu->popup(dlg.mapToGlobal(QPoint(150, 100)));
    dlg.PopupMenu->close();
    EXPECT_EQ(ShownChildrenOnceSettled(dlg, {"Neu"}), QStringList{"Neu"});
}

TEST_F(ShellDirTest, RootButtons)
{
    const QString daten = FTree.MakeDir(QStringLiteral("Daten"));
    FHome.MakeDir(QStringLiteral("Desktop"));
    TShellDirDialog& dlg = ShownIn(daten);
    dlg.spbComputer->click();  // the current root: nothing changes
    EXPECT_EQ(dlg.Path(), daten);
    dlg.spbMyFiles->click();
    EXPECT_EQ(dlg.Root(), rfPersonal);
    EXPECT_EQ(dlg.Path(), FDocuments);
    EXPECT_EQ(dlg.SelectedLevel(), 0);
    dlg.spbDesktop->click();
    EXPECT_EQ(dlg.Path(), FHome.Path(QStringLiteral("Desktop")));
    dlg.spbComputer->click();
    EXPECT_EQ(dlg.Path(), QStringLiteral("/"));
}

}  // namespace
