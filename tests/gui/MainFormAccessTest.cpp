// The windows beyond mouse and sight: what assistive technology (a screen reader) finds when it
// walks the accessible trees of the main window, the folder chooser and a message dialog; the
// status read out when a conversion ends; F4 and Alt+Down in the two fields; the button images
// on a scaled screen.
#include "ButtonGlyphs.h"
#include "CatalogFixture.h"
#include "ConvertMain.h"
#include "DialogTestSupport.h"
#include "GuiTestSupport.h"
#include "ImageCompare.h"
#include "SelectDlg.h"
#include "ShellDirDlg.h"
#include "ShellDirWidgets.h"
#include "StatusBox.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

#include <map>
#include <vector>

using GuiTest::DialogRecorder;
using GuiTest::UserEnvironment;
using ImageCompare::Doubled;
using ImageCompare::MeanDifference;

namespace {

struct Node {
    QString path;  // the roles and names from the top, for failure messages
    QAccessible::Role role;
    QString name;
    QString description;
    QObject* object;
};

// The roles of what a user acts on: these must have a name to be told apart.
bool ActedOn(const QAccessibleInterface* node)
{
    switch (node->role()) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::SpinBox:
    case QAccessible::Slider:
    case QAccessible::ProgressBar:
    case QAccessible::Tree:
    case QAccessible::List:
    case QAccessible::Table:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::PageTab:
    case QAccessible::MenuItem:
    case QAccessible::Grip:
        return true;
    default:
        return node->state().focusable;
    }
}

// Every node below TOP, TOP included, as a screen reader walks them. The rows of trees, lists
// and tables are the folders and files shown, not the window's own controls: they are left out.
void Walk(QAccessibleInterface* node, const QString& above, std::vector<Node>& nodes)
{
    ASSERT_NE(node, nullptr);
    ASSERT_TRUE(node->isValid());
    const QString path = above + QStringLiteral(" / ") + QString::number(int(node->role()), 16) + QLatin1Char(' ')
                         + node->text(QAccessible::Name);
    nodes.push_back({path, node->role(), node->text(QAccessible::Name), node->text(QAccessible::Description),
                     node->object()});
    const QAccessible::Role role = node->role();
    if (role == QAccessible::Tree || role == QAccessible::List || role == QAccessible::Table)
        return;
    for (int i = 0; i < node->childCount(); ++i)
        Walk(node->child(i), path, nodes);
}

std::vector<Node> Tree(QObject* top)
{
    std::vector<Node> nodes;
    Walk(QAccessible::queryAccessibleInterface(top), QString(), nodes);
    return nodes;
}

// Every node a user acts on has a name; there are at least LEAST of them. A control kept hidden
// (an option check box of a question without an option) is not there to act on.
void ExpectEveryActedOnNamed(QObject* top, int least)
{
    std::vector<Node> nodes;
    Walk(QAccessible::queryAccessibleInterface(top), QString(), nodes);
    int actedOn = 0;
    for (const Node& node : nodes) {
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(node.object);
        if (iface == nullptr || !ActedOn(iface))
            continue;
        if (const auto* widget = qobject_cast<const QWidget*>(node.object); widget != nullptr && widget->isHidden())
            continue;
        ++actedOn;
        EXPECT_FALSE(node.name.trimmed().isEmpty()) << "no name: " << node.path.toStdString();
    }
    EXPECT_GE(actedOn, least) << "the walk missed controls";
}

const Node* Find(const std::vector<Node>& nodes, const QObject* object)
{
    for (const Node& node : nodes) {
        if (node.object == object)
            return &node;
    }
    return nullptr;
}

// Each object is in the tree with that name, and its description holds keyText (when given).
void ExpectNames(const std::vector<Node>& nodes, const std::map<QObject*, QString>& names, const QString& keyText)
{
    for (const auto& [object, name] : names) {
        const Node* node = Find(nodes, object);
        ASSERT_NE(node, nullptr) << name.toStdString() << " is not in the tree";
        EXPECT_EQ(node->name, name);
        if (!keyText.isEmpty()) {
            EXPECT_TRUE(node->description.contains(keyText)) << name.toStdString() << ": "
                                                              << node->description.toStdString();
        }
    }
}

class MainFormAccessTest : public ::testing::Test {
protected:
    MainFormAccessTest()
    {
        fixture_.MakeTemplate();
        fixture_.WriteAlbums({AlbumRow(1, "Miles Davis"), AlbumRow(2, "Bill Evans"), AlbumRow(3, "Coltrane")});
        fixture_.WriteTitles({TitleRow(1, "So What"), TitleRow(2, "Peace Piece"), TitleRow(3, "Naima")});
    }

    void PointAtCatalog(TMainForm& form) const
    {
        form.PrgPath = fixture_.ProgramDir();
        form.edRootDir->setText(fixture_.Root());
        form.edKatalog->setText("Jazz");
    }

    UserEnvironment user_;
    CatalogFixture fixture_;
};

TEST_F(MainFormAccessTest, MainWindowIsAWindowAndEveryControlHasAGermanName)
{
    TMainForm form;
    const std::vector<Node> nodes = Tree(&form);
    ASSERT_FALSE(nodes.empty());
    EXPECT_EQ(nodes[0].role, QAccessible::Window) << "a plain widget would be a filler";
    EXPECT_EQ(nodes[0].name, QStringLiteral("Musik-Katalog von Paradox nach SQLite konvertieren "));
    ExpectEveryActedOnNamed(&form, 5);

    // The names and what the descriptions say about the keys; the image buttons have names but
    // still no visible tool-tip.
    ExpectNames(nodes,
                {{form.edRootDir, "Stammverzeichnis der Kataloge"},
                 {form.sbRootDir, QString::fromUtf8("Stammverzeichnis auswählen")},
                 {form.edKatalog, "Name des Katalogs"},
                 {form.sbKatalog, QString::fromUtf8("Katalog auswählen")}},
                "F4 oder Alt+Pfeil nach unten");
    ExpectNames(nodes,
                {{form.bbConvert, "Konvertieren"},
                 {form.pbProgress, "Fortschritt der Konvertierung"},
                 {form.bbCancel, "Abbrechen"}},
                QString());
    EXPECT_TRUE(form.sbRootDir->toolTip().isEmpty());
    EXPECT_TRUE(form.sbKatalog->toolTip().isEmpty());
}

TEST_F(MainFormAccessTest, TheStatusIsReadWholeAndAnnouncedWhenAConversionEnds)
{
    TMainForm form;
    PointAtCatalog(form);
    // A small box: the result wraps and is cut, but a screen reader gets it whole.
    form.stStatus->resize(120, 30);
    QSignalSpy announced(form.stStatus, &TStatusBox::announced);
    QSignalSpy ended(&form, &TMainForm::conversionEnded);
    form.bbConvert->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.count() == 1; }, 90000)) << "the conversion does not end";

    ASSERT_FALSE(form.stStatus->showsAll());
    const Node* status = Find(Tree(&form), form.stStatus);
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->role, QAccessible::Notification);
    EXPECT_EQ(status->name, QStringLiteral("3 Alben und 3 Titel nach\n\"%1\" konvertiert!").arg(fixture_.Target()));
    EXPECT_EQ(announced.count(), 1) << "the result is read out once";

    // A refused conversion tells its reason in a dialog and announces no status.
    form.edRootDir->setText(fixture_.Root() + "fehlt");
    DialogRecorder dialogs;
    form.bbConvert->click();
    EXPECT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(announced.count(), 1);
}

TEST_F(MainFormAccessTest, F4AndAltDownInTheFieldsOpenTheirPickers)
{
    int chooserCalls = 0;
    TMainFormHooks hooks;
    hooks.executeFolderChooser = [&](const QString&, bool, bool, bool, const QString&, QString&) {
        ++chooserCalls;
        return false;
    };
    TMainForm form(hooks);
    int fileDialogs = 0;
    const auto expectFileDialog = [&] {
        DialogTest::WhenShown(QStringLiteral("OpenDialog"), [&](QDialog* dialog) {
            ++fileDialogs;
            EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("Katalog auswählen"));
            dialog->reject();
        });
    };

    struct Key {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    };
    for (const Key k : {Key{Qt::Key_F4, Qt::NoModifier}, Key{Qt::Key_Down, Qt::AltModifier}}) {
        const int chooserBefore = chooserCalls, filesBefore = fileDialogs;
        QTest::keyClick(form.edRootDir, k.key, k.modifiers);
        EXPECT_EQ(chooserCalls, chooserBefore + 1);
        expectFileDialog();
        QTest::keyClick(form.edKatalog, k.key, k.modifiers);
        EXPECT_EQ(fileDialogs, filesBefore + 1);
    }

    // Other keys, other modifiers and other controls open nothing; the tab order is as it was.
    QTest::keyClick(form.edRootDir, Qt::Key_F4, Qt::ShiftModifier);
    QTest::keyClick(form.edRootDir, Qt::Key_Down);
    QTest::keyClick(form.edKatalog, Qt::Key_F4, Qt::ControlModifier);
    QTest::keyClick(form.bbConvert, Qt::Key_F4);
    EXPECT_EQ(chooserCalls, 2);
    EXPECT_EQ(fileDialogs, 2);
    EXPECT_EQ(form.bbConvert->nextInFocusChain(), form.edKatalog);
    EXPECT_EQ(form.sbRootDir->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(form.sbKatalog->focusPolicy(), Qt::NoFocus);
}

TEST_F(MainFormAccessTest, ChooserControlsAndMenuEntriesHaveNames)
{
    TShellDirDialog chooser;
    chooser.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chooser));
    const std::vector<Node> nodes = Tree(&chooser);
    EXPECT_EQ(nodes[0].role, QAccessible::Dialog);
    ExpectEveryActedOnNamed(&chooser, 12);
    ExpectNames(nodes,
                {{chooser.ShellTreeView, "Verzeichnisse"},
                 {chooser.spbHome, "Standardverzeichnis"},
                 {chooser.spbUp, "Eine Ebene nach oben"},
                 {chooser.spbNew, "Neues Verzeichnis erstellen"}},
                "Tastatur: ");
    chooser.cbxFiles->setChecked(true);
    ExpectEveryActedOnNamed(&chooser, 13);
    EXPECT_EQ(Find(Tree(&chooser), chooser.ShellListView)->name, "Dateien");

    // The context menu's entries, the commands of the three small buttons among them.
    ExpectEveryActedOnNamed(chooser.PopupMenu, 6);
    const QList<QAction*> entries = chooser.PopupMenu->actions();
    for (QAction* command : {chooser.itmCreate, chooser.itmUp, chooser.itmHome})
        EXPECT_TRUE(entries.contains(command)) << command->text().toStdString();
    chooser.hide();
}

TEST_F(MainFormAccessTest, MessageDialogReadsItsTextItsIconAndItsButtons)
{
    const QString question =
        QString::fromUtf8("Die Datei \"%1\" gibt es bereits!\r\nSoll sie überschrieben werden?").arg(fixture_.Target());
    std::vector<Node> nodes;
    DialogTest::WhenShown(QStringLiteral("MessageForm"), [&](QDialog* dialog) {
        nodes = Tree(dialog);
        ExpectEveryActedOnNamed(dialog, 2);
        dialog->reject();
    });
    EXPECT_FALSE(MsgDialogs::ConfirmDialogAt(MsgDialogs::DefaultDialogPos, question));

    ASSERT_FALSE(nodes.empty());
    EXPECT_EQ(nodes[0].role, QAccessible::Dialog);
    EXPECT_EQ(nodes[0].name, QString::fromUtf8("Bestätigen"));
    std::vector<std::pair<QAccessible::Role, QString>> children;
    for (const Node& node : nodes)
        children.emplace_back(node.role, node.name);
    const std::vector<std::pair<QAccessible::Role, QString>> expected{
        {QAccessible::Dialog, QString::fromUtf8("Bestätigen")},
        {QAccessible::Graphic, "Frage"},
        {QAccessible::StaticText, QString(question).replace("\r\n", "\n")},
        {QAccessible::PushButton, "Ja"},
        {QAccessible::PushButton, "Nein"},
    };
    EXPECT_EQ(children, expected);
}

TEST_F(MainFormAccessTest, TheDeleteQuestionReadsItsWholeTextEvenWhereItIsShortened)
{
    // A path too long for the dialog: shown shortened, read whole.
    const QString caption = QStringLiteral("Lösche \"/home/anwender/%1\"")
                                .arg(QStringLiteral("Unterverzeichnis/").repeated(40));
    std::vector<Node> nodes;
    QString shown;
    DialogTest::WhenShown(QStringLiteral("SelectDialog"), [&](QDialog* dialog) {
        nodes = Tree(dialog);
        ExpectEveryActedOnNamed(dialog, 3);
        shown = dialog->findChild<QLabel*>(QStringLiteral("lbCaption"))->text();
        dialog->reject();
    });
    EXPECT_EQ(SelectDlg::SelectOption(QString::fromUtf8("Verzeichnis löschen"), caption,
                                      MsgDialogs::DialogKind::Confirmation, SelectDlg::Bold,
                                      {QString::fromUtf8("Endgültig"), "In Papierkorb"}, QString(), 0, -1),
              -1);
    ASSERT_NE(shown, caption) << "the caption was not shortened";
    std::vector<std::pair<QAccessible::Role, QString>> seen;
    for (const Node& node : nodes) {
        if (node.role == QAccessible::StaticText || node.role == QAccessible::Graphic)
            seen.emplace_back(node.role, node.name);
    }
    const std::vector<std::pair<QAccessible::Role, QString>> expected{{QAccessible::StaticText, caption},
                                                                      {QAccessible::Graphic, "Frage"}};
    EXPECT_EQ(seen, expected);
}

TEST(ButtonPicturesTest, SharpOnAScaledScreenAndTheSamePictureAtEverySize)
{
    struct Case {
        const char* what;
        QIcon icon;
    };
    const std::vector<Case> cases{
        {"folder tree", ButtonGlyphs::Icon(ButtonGlyphs::Glyph::FolderTree)},
        {"open folder", ButtonGlyphs::Icon(ButtonGlyphs::Glyph::OpenFolder)},
        {"home", ShellDirDlg::ButtonIcon(ShellDirDlg::ButtonPicture::Home)},
        {"up", ShellDirDlg::ButtonIcon(ShellDirDlg::ButtonPicture::Up)},
        {"new folder", ShellDirDlg::ButtonIcon(ShellDirDlg::ButtonPicture::NewFolder)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QImage one = c.icon.pixmap(QSize(16, 16), 1.0).toImage();
        for (const qreal ratio : {2.0, 3.0}) {
            const QImage scaled = c.icon.pixmap(QSize(16, 16), ratio).toImage();
            ASSERT_EQ(scaled.size(), QSize(16, 16) * ratio) << ratio;
            EXPECT_FALSE(Doubled(scaled)) << ratio << ": enlarged, not drawn at that size";
            // Brought down to 16 pixels it is the same picture, not another one.
            EXPECT_LT(MeanDifference(ImageCompare::Reduced(scaled, 16, 16), one), 24.0) << ratio;
        }
        // The greyed picture is another one at every size.
        for (const qreal ratio : {1.0, 2.0, 3.0})
            EXPECT_GT(MeanDifference(c.icon.pixmap(QSize(16, 16), ratio, QIcon::Disabled).toImage(),
                                     c.icon.pixmap(QSize(16, 16), ratio).toImage()),
                      3.0)
                << ratio;
    }
}

}  // namespace
