// The folder chooser's window: its controls and layout, Execute, the window's events and
// keys, the file-list switch and the history. The folder tree and the file list are in
// ShellDirTree.cpp, the commands in ShellDirCommands.cpp.
#include "ShellDirDlg.h"

#include "FileUtils.h"
#include "GgtDummy.h"
#include "MsgDialogs.h"
#include "ShellDirCommon.h"
#include "ShellDirTree.h"
#include "ShellDirWidgets.h"
#include "WinShell.h"
#include "WmiUtils.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileSystemModel>
#include <QFont>
#include <QHeaderView>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSizeGrip>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

using FileUtils::EnsureTrailingDelimiter;

namespace ShellDirDlg {

namespace {

const QString kLinkFile = QStringLiteral("target.lnk");
constexpr int kHandleWidth = 3;

// The width a heading needs: with room for the sort mark only where it is shown.
int HeadingWidth(const QHeaderView* header, int section)
{
    if (header->isSortIndicatorShown() && header->sortIndicatorSection() == section)
        return header->sectionSizeHint(section);
    QStyleOptionHeader option;
    option.initFrom(header);
    option.section = section;
    option.orientation = Qt::Horizontal;
    option.text = header->model()->headerData(section, Qt::Horizontal).toString();
    option.sortIndicator = QStyleOptionHeader::None;
    return header->style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), header).width() + 2;
}

// Widths of the file list's columns in pixels: for size, type and date what their heading and
// their longest entry in the listed folder need; 0 for the names, which take the rest.
QList<int> ListColumnWidths(const QTreeView* list)
{
    const QHeaderView* header = list->header();
    const QFontMetrics metrics = list->fontMetrics();
    const int margins = 2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1) + 4;
    QList<int> widths(header->count(), 0);
    for (int c = 1; c < widths.size(); ++c)
        widths[c] = HeadingWidth(header, c);
    const QAbstractItemModel* model = list->model();
    const QModelIndex folder = list->rootIndex();
    const int rows = model != nullptr && folder.isValid() ? model->rowCount(folder) : 0;
    for (int r = 0; r < rows; ++r) {
        for (int c = 1; c < widths.size(); ++c)
            widths[c] =
                qMax(widths[c], metrics.horizontalAdvance(model->index(r, c, folder).data().toString()) + margins);
    }
    return widths;
}

}  // namespace

}  // namespace ShellDirDlg

using namespace ShellDirDlg;

// ---- Construction ---------------------------------------------------------------

TShellDirDialog::TShellDirDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ShellDirDialog"));
    setWindowTitle(QStringLiteral("Verzeichnis auswählen"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    setFont(QFont(QStringLiteral("Tahoma"), 8));  // where Tahoma is missing, its nearest match
    resize(801, 406);
    BuildControls();
    FormCreate();
}

TShellDirDialog::~TShellDirDialog()
{
    // The models read folders in threads of their own that use the icon provider.
    delete FListModel;
    delete FTreeModel;
    delete FIcons;
}

void TShellDirDialog::BuildControls()
{
    QStyle* st = style();

    // Left: the root column, the tree, and the strip with the directory field.
    auto* left = new TAnchorPanel(this, QSize(408, 406));
    PanelLeft = left;
    auto* roots = new TAnchorPanel(nullptr, QSize(96, 315));
    roots->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    roots->setAutoFillBackground(true);
    roots->setBackgroundRole(QPalette::Base);
    panRoot = left->Place(static_cast<QFrame*>(roots), QRect(0, 0, 96, 315),
                          TAnchorPanel::Left | TAnchorPanel::Top | TAnchorPanel::Bottom);
    const auto rootButton = [&](const QString& caption, RootPicture picture, int top) {
        auto* b = new TRootButton;
        b->setText(caption);
        b->setIcon(RootIcon(picture));
        b->setIconSize(QSize(48, 48));
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        // 94 wide at design; two pixels less here keep the sunken frame visible.
        return roots->Place(b, QRect(2, top, 92, 71), TAnchorPanel::Left | TAnchorPanel::Top | TAnchorPanel::Right);
    };
    // Access keys, unique in the window: D, E, C, N here; V and A in the strip below.
    spbDesktop = rootButton(QStringLiteral("&Desktop"), RootPicture::Desktop, 2);
    spbMyFiles = rootButton(QStringLiteral("&Eigene Dokumente"), RootPicture::Documents, 77);
    spbComputer = rootButton(QStringLiteral("&Computer"), RootPicture::Computer, 152);
    spbNetwork = rootButton(QStringLiteral("&Netzwerk"), RootPicture::Network, 227);

    ShellTreeView = left->Place(new QTreeView, QRect(96, 0, 312, 315),
                                TAnchorPanel::Left | TAnchorPanel::Top | TAnchorPanel::Right | TAnchorPanel::Bottom);
    ShellTreeView->setHeaderHidden(true);
    ShellTreeView->setIndentation(19);
    ShellTreeView->setRootIsDecorated(false);
    ShellTreeView->setUniformRowHeights(true);
    ShellTreeView->setSelectionMode(QAbstractItemView::SingleSelection);
    ShellTreeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ShellTreeView->setContextMenuPolicy(Qt::CustomContextMenu);

    auto* strip = new TAnchorPanel(nullptr, QSize(408, 91));
    Panel1 = left->Place(static_cast<QWidget*>(strip), QRect(0, 315, 408, 91),
                         TAnchorPanel::Left | TAnchorPanel::Right | TAnchorPanel::Bottom);
    Label1 = strip->Place(new QLabel(QStringLiteral("&Verzeichnis:")), QRect(5, 13, 85, 13),
                          TAnchorPanel::Left | TAnchorPanel::Top);
    cbxFiles = strip->Place(new QCheckBox(QStringLiteral("Dateien &anzeigen")), QRect(95, 4, 225, 17),
                            TAnchorPanel::Left | TAnchorPanel::Top | TAnchorPanel::Right);
    // Their commands are in the context menu as well, and Up and Home have keys of their own.
    const auto smallButton = [&](const QString& hint, const QString& keys, ButtonPicture picture, int x) {
        auto* b = new QToolButton;
        b->setToolTip(hint);
        b->setAccessibleName(hint);
        b->setAccessibleDescription(keys);
        b->setIcon(ButtonIcon(picture));
        b->setIconSize(QSize(16, 16));
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        return strip->Place(b, QRect(x, 3, 21, 21), TAnchorPanel::Top | TAnchorPanel::Right);
    };
    spbHome = smallButton(QStringLiteral("Standardverzeichnis"), QStringLiteral("Tastatur: Alt+Pos1"),
                          ButtonPicture::Home, 327);
    spbUp = smallButton(QStringLiteral("Eine Ebene nach oben"), QStringLiteral("Tastatur: Alt+Pfeil nach oben"),
                        ButtonPicture::Up, 352);
    spbNew = smallButton(QStringLiteral("Neues Verzeichnis erstellen"),
                         QStringLiteral("Tastatur: Kontextmenü des Verzeichnisbaums (Umschalt+F10), "
                                        "„Verzeichnis erstellen“"),
                         ButtonPicture::NewFolder, 377);
    cbxSelectedDir = strip->Place(new THistoryCombo(nullptr), QRect(5, 30, 393, 21),
                                  TAnchorPanel::Left | TAnchorPanel::Top | TAnchorPanel::Right);
    Label1->setBuddy(cbxSelectedDir);
    cbxSelectedDir->setAccessibleName(QStringLiteral("Verzeichnis"));
    cbxSelectedDir->lineEdit()->setAccessibleName(QStringLiteral("Verzeichnis"));
    cbxSelectedDir->view()->setAccessibleName(QStringLiteral("Zuletzt gewählte Verzeichnisse"));
    if (auto* grip = findChild<QSizeGrip*>())
        grip->setAccessibleName(QStringLiteral("Fenstergröße ändern"));
    // OK and Abbrechen have Enter and Escape, as usual, and no access keys.
    btbOK = strip->Place(new QPushButton(st->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK")),
                         QRect(222, 55, 71, 31), TAnchorPanel::Top | TAnchorPanel::Right);
    btbCancel = strip->Place(
        new QPushButton(st->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Abbrechen")),
        QRect(297, 55, 101, 31), TAnchorPanel::Top | TAnchorPanel::Right);
    for (QPushButton* b : {btbOK, btbCancel}) {
        b->setAutoDefault(false);  // Enter and Escape are routed by FormKeyDown
        b->setIconSize(QSize(16, 16));
    }

    ShellTreeView->setAccessibleName(QStringLiteral("Verzeichnisse"));
    ShellTreeView->setAccessibleDescription(
        QStringLiteral("Tastatur: Kontextmenü mit Umschalt+F10 oder der Menütaste, Aktualisieren mit F5, "
                       "eine Ebene nach oben mit Alt+Pfeil nach oben, Standardverzeichnis mit Alt+Pos1"));
    auto* handle = new TSplitterHandle(this);
    handle->setAccessibleName(QStringLiteral("Trennlinie zwischen Verzeichnissen und Dateien"));
    handle->OnMoved = [this](int delta) { SplitterMoved(delta); };
    Splitter = handle;
    PanelRight = new QWidget(this);
    ShellListView = new QTreeView(PanelRight);
    ShellListView->setAccessibleName(QStringLiteral("Dateien"));
    ShellListView->setRootIsDecorated(false);
    ShellListView->setItemsExpandable(false);
    ShellListView->setUniformRowHeights(true);
    ShellListView->setSortingEnabled(true);
    // Only a list: renaming would be a file manager's job, and its editor would compete with
    // the window for Enter.
    ShellListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ShellListView->header()->setSectionsMovable(false);

    // Both views keep their selection highlighted when they lose the focus.
    for (QTreeView* view : {ShellTreeView, ShellListView}) {
        QPalette palette = view->palette();
        palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
        palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                         palette.color(QPalette::Active, QPalette::HighlightedText));
        view->setPalette(palette);
    }

    PopupMenu = new QMenu(this);
    itmCreate = PopupMenu->addAction(QStringLiteral("Verzeichnis &erstellen"));
    itmDelete = PopupMenu->addAction(QStringLiteral("Verzeichnis &löschen"));
    PopupMenu->addSeparator();
    // The keys beside the entries work while the menu is closed (FormKeyDown).
    itmUp = PopupMenu->addAction(QStringLiteral("Eine Ebene nach &oben"));
    itmUp->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Up));
    itmHome = PopupMenu->addAction(QStringLiteral("&Standardverzeichnis"));
    itmHome->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Home));
    PopupMenu->addSeparator();
    itmUpdate = PopupMenu->addAction(QStringLiteral("A&ktualisieren"));
    itmUpdate->setShortcut(QKeySequence(Qt::Key_F5));
    for (QAction* entry : {itmUp, itmHome, itmUpdate})
        entry->setShortcutContext(Qt::WidgetShortcut);
    cancel1 = PopupMenu->addAction(QStringLiteral("&Abbrechen"));

    // The models: the tree reads folders only when asked; the list follows the disk.
    FIcons = new TFileIcons;
    FTreeFilter = new TTreeFilter(this);
    FTreeFilter->setSortCaseSensitivity(Qt::CaseInsensitive);
    FTreeFilter->setSortLocaleAware(true);
    ShellTreeView->setModel(FTreeFilter);
    NewTreeModel();
    FTreeFilter->sort(0);
    FListModel = new QFileSystemModel(this);
    FListModel->setReadOnly(true);
    FListModel->setIconProvider(FIcons);
    FListFilter = new TFileListModel(this);
    FListFilter->setSourceModel(FListModel);
    ShellListView->setModel(FListFilter);
    ShellListView->sortByColumn(0, Qt::AscendingOrder);
    // The names take whatever room the other columns leave (FormResize sizes those).
    ShellListView->header()->setStretchLastSection(false);
    ShellListView->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(FListFilter, signal, this, &TShellDirDialog::ListRowsChanged);
    connect(FListFilter, &QAbstractItemModel::modelReset, this, &TShellDirDialog::ListRowsChanged);
    connect(FListFilter, &QAbstractItemModel::layoutChanged, this, &TShellDirDialog::ListRowsChanged);
    connect(FListFilter, &QAbstractItemModel::dataChanged, this, &TShellDirDialog::ListRowsChanged);
    // The sorted column's heading shows the sort mark.
    connect(ShellListView->header(), &QHeaderView::sortIndicatorChanged, this, &TShellDirDialog::ListRowsChanged);

    // Wiring.
    FTreeFilter->OnFetch = [this](const QString& dir) { FPending.insert(dir); };
    connect(ShellTreeView->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (FLinked)
            ShowListFolder(Path());
        ShellTreeViewChange();
    });
    connect(ShellTreeView, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const QModelIndex node = ShellTreeView->indexAt(pos);
        if (node.isValid())
            ShellTreeView->setCurrentIndex(node);
        PopupMenu->popup(ShellTreeView->viewport()->mapToGlobal(pos));
    });
    // The file list offers the same menu, for the folder it shows.
    ShellListView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ShellListView, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PopupMenu->popup(ShellListView->viewport()->mapToGlobal(pos));
    });
    connect(PopupMenu, &QMenu::aboutToShow, this, &TShellDirDialog::PopupMenuPopup);
    connect(itmCreate, &QAction::triggered, this, &TShellDirDialog::spbNewClick);
    connect(itmDelete, &QAction::triggered, this, &TShellDirDialog::itmDeleteClick);
    connect(itmUpdate, &QAction::triggered, this, &TShellDirDialog::itmUpdateClick);
    connect(itmUp, &QAction::triggered, this, &TShellDirDialog::spbUpClick);
    connect(itmHome, &QAction::triggered, this, &TShellDirDialog::spbHomeClick);
    connect(spbUp, &QToolButton::clicked, this, &TShellDirDialog::spbUpClick);
    connect(spbHome, &QToolButton::clicked, this, &TShellDirDialog::spbHomeClick);
    connect(spbNew, &QToolButton::clicked, this, &TShellDirDialog::spbNewClick);
    connect(spbDesktop, &QToolButton::clicked, this, &TShellDirDialog::spbDesktopClick);
    connect(spbMyFiles, &QToolButton::clicked, this, &TShellDirDialog::spbMyFilesClick);
    connect(spbComputer, &QToolButton::clicked, this, &TShellDirDialog::spbComputerClick);
    connect(spbNetwork, &QToolButton::clicked, this, &TShellDirDialog::spbNetworkClick);
    connect(btbOK, &QPushButton::clicked, this, [this] {
        btbOKClick();
        accept();
    });
    connect(btbCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cbxFiles, &QCheckBox::toggled, this, &TShellDirDialog::cbxFilesClick);
    connect(cbxSelectedDir->lineEdit(), &QLineEdit::textEdited, this, &TShellDirDialog::cbxSelectedDirChange);
    connect(cbxSelectedDir, &QComboBox::activated, this, &TShellDirDialog::cbxSelectedDirChange);
    cbxSelectedDir->OnCloseUp = [this] { cbxSelectedDirCloseUp(); };

    // The window sees every key before the focused control.
    for (QWidget* w : std::initializer_list<QWidget*>{ShellTreeView, ShellListView, cbxSelectedDir,
                                                      cbxSelectedDir->lineEdit(), cbxFiles, btbOK, btbCancel})
        w->installEventFilter(this);

    setTabOrder(ShellTreeView, cbxFiles);
    setTabOrder(cbxFiles, cbxSelectedDir);
    setTabOrder(cbxSelectedDir, btbOK);
    setTabOrder(btbOK, btbCancel);
    setTabOrder(btbCancel, ShellListView);
    LayoutPanels();
}

void TShellDirDialog::FormCreate()
{
    GgtDummy::TranslateForm(this, kDomain);
    FDefaultDir.clear();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        move(s.x() + (s.width() - width()) / 2, s.y() + (s.height() - height()) / 2);
    }
    spbNetwork->setVisible(WmiUtils::IsSmb1ClientInstalled());
}

// ---- Layout -----------------------------------------------------------------------

void TShellDirDialog::LayoutPanels()
{
    const int w = width();
    const int h = height();
    if (PanelRight->isHidden()) {
        PanelLeft->setGeometry(0, 0, w, h);
    } else {
        const int leftWidth = qMax(1, w - FRightWidth - kHandleWidth);
        PanelLeft->setGeometry(0, 0, leftWidth, h);
        Splitter->setGeometry(leftWidth, 0, kHandleWidth, h);
        PanelRight->setGeometry(leftWidth + kHandleWidth, 0, qMax(1, w - leftWidth - kHandleWidth), h);
        ShellListView->setGeometry(0, 0, PanelRight->width(), h);
    }
}

void TShellDirDialog::SplitterMoved(int delta)
{
    // Both panels keep at least one pixel.
    FRightWidth = qBound(1, FRightWidth - delta, width() - kHandleWidth - 1);
    LayoutPanels();
    FormResize();
}

void TShellDirDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    if (!PanelRight->isHidden() && width() - kHandleWidth - 1 < FRightWidth)
        FRightWidth = qMax(1, width() - kHandleWidth - 1);
    LayoutPanels();
    FormResize();
}

void TShellDirDialog::FormResize()
{
    // Size, type and date take what their heading (with the sort mark) and their longest entry
    // in the listed folder need; the names stretch over the rest of the room, whenever it changes.
    QHeaderView* header = ShellListView->header();
    const QList<int> widths = ListColumnWidths(ShellListView);
    for (int c = 1; c < widths.size(); ++c)
        header->resizeSection(c, widths[c]);
}

void TShellDirDialog::ListRowsChanged()
{
    // Once for all the rows a folder's reading brings.
    if (!FColumnsDue) {
        FColumnsDue = true;
        QTimer::singleShot(0, this, [this] {
            FColumnsDue = false;
            FormResize();
        });
    }
}

void TShellDirDialog::ShowFileView(bool Show)
{
    int w = 0;
    if (Show) {
        // The right edge of the list where it will be laid out next to the tree.
        w = PanelRight->isHidden() ? PanelLeft->width() + kHandleWidth + FRightWidth : width();
        PanelRight->show();
        Splitter->show();
        FLinked = true;
        ShowListFolder(Path());
        if (Exists(cbxSelectedDir->currentText()))
            SetPath(cbxSelectedDir->currentText());
    } else {
        w = PanelLeft->width();
        PanelRight->hide();
        Splitter->hide();
        FLinked = false;
    }
    resize(w, height());
    LayoutPanels();
    FormResize();
    cbxSelectedDir->setEditText(QDir::toNativeSeparators(Path()));
    btbOK->setEnabled(Exists(cbxSelectedDir->currentText()));
}

// ---- Execute and the window's events ------------------------------------------------

bool TShellDirDialog::Execute(const QString& ATitle, bool Hidden, bool FileView, bool ZipAsFiles,
                              const QString& HomeDir, QString& Dir)
{
    Q_UNUSED(ZipAsFiles)  // archives are files here: never tree folders, always in the list
    setWindowTitle(ATitle);
    FDefaultDir = HomeDir;
    // The tree shows the folders as they are now: those made since it was last open too.
    if (!FRoot.isEmpty())
        NewTreeModel();
    SetTreeFilters(Hidden);

    if (WinShell::IsNetworkPath(Dir) && spbNetwork->isHidden()) {
        MsgDialogs::ErrorDialog(GgtDummy::TranslateText(
            QStringLiteral("Das Durchsuchen der Netzwerkumgebung wird von diesem System nicht unterstützt!")));
        GoToDirectory(HomeDir);
    } else {
        GoToDirectory(Dir);
    }

    QDir::Filters listFilter = QDir::Files | QDir::NoDotAndDotDot;
    if (Hidden)
        listFilter |= QDir::Hidden;
    FListModel->setFilter(listFilter);

    cbxSelectedDir->setEditText(QDir::toNativeSeparators(Path()));
    cbxFiles->setVisible(FileView);
    ShowFileView(FileView && cbxFiles->isChecked());

    if (exec() != QDialog::Accepted)
        return false;
    Dir = EnsureTrailingDelimiter(cbxSelectedDir->currentText());
    return true;
}

void TShellDirDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TShellDirDialog::FormShow()
{
    MsgDialogs::FitFormToWorkArea(this);
    spbHome->setVisible(!FDefaultDir.isEmpty());
    itmHome->setVisible(!FDefaultDir.isEmpty());
    spbHome->setToolTip(Tr(QStringLiteral("Standard: ")) + FDefaultDir);
    spbHome->setAccessibleDescription(spbHome->toolTip() + QStringLiteral(" (Tastatur: Alt+Pos1)"));
    cbxSelectedDir->SetDropDown(cbxSelectedDir->count() > 0);
    UpdateDesktopHint();
    SetPath(cbxSelectedDir->currentText());
}

void TShellDirDialog::UpdateDesktopHint()
{
    // Where the desktop has no folder of its own, the button says what it shows instead.
    const DesktopFolderInfo desktop = DesktopFolder();
    spbDesktop->setToolTip(
        desktop.fallback ? FileUtils::SafeFormat(Tr(QStringLiteral("Es gibt kein Desktop-Verzeichnis (%s).\n"
                                                                  "Gezeigt wird der persönliche Ordner %s.")),
                                                 {QDir::toNativeSeparators(desktop.desktop),
                                                  QDir::toNativeSeparators(desktop.shown)})
                         : QString());
}

bool TShellDirDialog::event(QEvent* event)
{
    const bool handled = QDialog::event(event);
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return handled;
}

void TShellDirDialog::FormActivate()
{
    MakeSelectedVisible();
    ShellTreeView->setFocus();
}

bool TShellDirDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // The menu key and Shift+F10 open the context menu of the tree and of the file list;
        // other controls keep their own menus (the directory field's edit menu).
        if ((watched == ShellTreeView || watched == ShellListView) && IsContextMenuKey(key)) {
            PopupMenuByKeyboard(static_cast<QTreeView*>(watched));
            return true;
        }
        if (FormKeyDown(key))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool TShellDirDialog::IsContextMenuKey(const QKeyEvent* key)
{
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    return (key->key() == Qt::Key_Menu && modifiers == Qt::NoModifier)
           || (key->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier);
}

void TShellDirDialog::PopupMenuByKeyboard(QTreeView* view)
{
    // At the current item, as a menu opened by the mouse opens at the pointer; at the top left
    // of the view when no item is current or the current one is out of sight.
    QPoint at(0, 0);
    const QModelIndex current = view->currentIndex();
    if (current.isValid()) {
        view->scrollTo(current);
        const QRect item = view->visualRect(current);
        if (view->viewport()->rect().intersects(item))
            at = QPoint(item.left() + qMin(item.width(), 2 * item.height()), item.bottom());
    }
    PopupMenu->popup(view->viewport()->mapToGlobal(at));
    // Opened by the keyboard, it starts on its first entry: Return triggers that one.
    for (QAction* action : PopupMenu->actions()) {
        if (!action->isSeparator() && action->isVisible() && action->isEnabled()) {
            PopupMenu->setActiveAction(action);
            break;
        }
    }
}

bool TShellDirDialog::EditorOpen() const
{
    const QWidget* focus = QApplication::focusWidget();
    return focus != nullptr
           && (ShellTreeView->viewport()->isAncestorOf(focus) || ShellListView->viewport()->isAncestorOf(focus));
}

bool TShellDirDialog::FormKeyDown(QKeyEvent* key)
{
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    switch (key->key()) {
    case Qt::Key_F5:
        if (modifiers == Qt::NoModifier && QGuiApplication::mouseButtons() == Qt::NoButton) {
            Refresh();
            return true;
        }
        return false;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (EditorOpen())
            return false;  // the editor takes its own Enter
        if (QApplication::focusWidget() == btbCancel) {
            btbCancel->click();  // a focused button takes Enter itself
        } else if (btbOK->isEnabled() && modifiers == Qt::NoModifier) {
            btbOK->click();  // the default button: remembers the choice
        } else {
            done(QDialog::Accepted);  // confirmed, the history stays as it is
        }
        return true;
    case Qt::Key_Escape:
        if (EditorOpen())
            return false;
        btbCancel->click();
        return true;
    case Qt::Key_Up:
        // The commands of the small buttons, which take no focus.
        if (modifiers != Qt::AltModifier)
            return false;
        spbUpClick();
        return true;
    case Qt::Key_Home:
        if (modifiers != Qt::AltModifier)
            return false;
        if (!FDefaultDir.isEmpty())
            spbHomeClick();
        return true;
    default:
        return false;
    }
}

void TShellDirDialog::ShellTreeViewChange()
{
    // While the window is hidden, Execute and FormShow set the text themselves.
    if (!isVisible())
        return;
    const QString folder = Path();
    btbOK->setEnabled(!folder.isEmpty());  // every folder of this tree is a file-system folder
    cbxSelectedDir->setEditText(QDir::toNativeSeparators(folder));
    // A folder shortcut (a folder holding its link as "target.lnk") stands for its target.
    const QString link = EnsureTrailingDelimiter(folder) + kLinkFile;
    if (!folder.isEmpty() && FileUtils::FileExists(link)) {
        QString target, arguments, workDir, description;
        WinShell::GetShellLinkInfo(link, target, arguments, workDir, description);
        cbxSelectedDir->setEditText(target);
    }
}

void TShellDirDialog::cbxFilesClick()
{
    if (isVisible())
        ShowFileView(cbxFiles->isChecked());
}

void TShellDirDialog::cbxSelectedDirChange()
{
    btbOK->setEnabled(Exists(cbxSelectedDir->currentText()));
}

void TShellDirDialog::cbxSelectedDirCloseUp()
{
    const int index = cbxSelectedDir->currentIndex();
    GoToDirectory(index >= 0 ? cbxSelectedDir->itemText(index) : QString());
}

// ---- History ---------------------------------------------------------------------------

QStringList TShellDirDialog::History() const
{
    QStringList items;
    for (int i = 0; i < cbxSelectedDir->count(); ++i)
        items << cbxSelectedDir->itemText(i);
    return items;
}

void TShellDirDialog::AddToHistory(const QString& Dir)
{
    for (int i = 0; i < cbxSelectedDir->count(); ++i) {
        if (FileUtils::SamePathSpelling(cbxSelectedDir->itemText(i), Dir))
            return;
    }
    const QString text = cbxSelectedDir->currentText();
    cbxSelectedDir->addItem(Dir);
    cbxSelectedDir->setEditText(text);  // the first entry would otherwise replace the text
}

void TShellDirDialog::RemoveFromHistory(const QString& Dir)
{
    const QString text = cbxSelectedDir->currentText();
    for (int i = 0; i < cbxSelectedDir->count(); ++i) {
        if (FileUtils::SamePathSpelling(cbxSelectedDir->itemText(i), Dir)) {
            cbxSelectedDir->removeItem(i);
            break;
        }
    }
    if (cbxSelectedDir->count() > 0) {
        cbxSelectedDir->setCurrentIndex(0);
        cbxSelectedDir->setEditText(cbxSelectedDir->itemText(0));
    } else {
        cbxSelectedDir->setEditText(text);
    }
}

