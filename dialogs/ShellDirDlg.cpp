#include "ShellDirDlg.h"

#include "FileUtils.h"
#include "GgtDummy.h"
#include "MsgDialogs.h"
#include "SelectDlg.h"
#include "WinShell.h"
#include "WmiUtils.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileSystemModel>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QStorageInfo>
#include <QStyle>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <utility>
#include <vector>

using FileUtils::DirectoryExists;
using FileUtils::EnsureTrailingDelimiter;
using FileUtils::SafeFormat;

namespace ShellDirDlg {

namespace {

const QString kDomain = QStringLiteral("dialogs");
const QString kLinkFile = QStringLiteral("target.lnk");
constexpr int kHandleWidth = 3;
constexpr int kRootLoadWaitMs = 500;

QString Tr(const QString& text)
{
    return GgtDummy::TranslateText(kDomain, text);
}

// Not empty and an existing directory (a link to one counts).
bool Exists(const QString& dir)
{
    return !dir.isEmpty() && DirectoryExists(dir);
}

// A directory that is the root of a mounted file system: what a drive root is on Windows.
bool IsDriveRootLike(const QString& dir)
{
    if (!Exists(dir))
        return false;
    const QString cleaned = QDir::cleanPath(QDir(dir).absolutePath());
    return QStorageInfo(cleaned).rootPath() == cleaned;
}

// Whether path is top or lies below it.
bool IsInside(const QString& path, const QString& top)
{
    return top == QDir::rootPath() || path == top || path.startsWith(top + QLatin1Char('/'));
}

InputHook& InputHookRef()
{
    static InputHook hook;
    return hook;
}

}  // namespace

QString RootFolder(const QString& root)
{
    QString dir;
    if (root == rfDesktop)
        dir = WinShell::GetSpecialFolderPath(WinShell::CSIDL_DESKTOP);
    else if (root == rfPersonal)
        dir = WinShell::GetPersonalFolderPath();
    else if (root == rfMyComputer)
        dir = QDir::rootPath();
    else if (root == rfNetwork)
        dir = WinShell::NetworkFolderPath();
    else
        dir = root;
    if (!Exists(dir))
        return QDir::rootPath();
    return QDir::cleanPath(QDir(dir).absolutePath());
}

QList<int> ListColumnWidths(int listWidthChars)
{
    // A list narrower than 48 characters keeps the name column's default width.
    return {listWidthChars > 48 ? listWidthChars - 48 : 0, 12, 15, 17};
}

InputHook SetInputHook(InputHook hook)
{
    return std::exchange(InputHookRef(), std::move(hook));
}

// ---- Controls of the window ---------------------------------------------------

THistoryCombo::THistoryCombo(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
}

void THistoryCombo::SetDropDown(bool on)
{
    FDropDown = on;
    setStyleSheet(on ? QString()
                     : QStringLiteral("QComboBox { padding-right: 0px; }"
                                      "QComboBox::drop-down { width: 0px; border-width: 0px; }"
                                      "QComboBox::down-arrow { image: none; width: 0px; }"));
}

void THistoryCombo::showPopup()
{
    if (!FDropDown)
        return;
    FPopupOpen = true;
    QComboBox::showPopup();
}

void THistoryCombo::hidePopup()
{
    QComboBox::hidePopup();
    if (!std::exchange(FPopupOpen, false))
        return;  // the combo box hides its list on many occasions; only a shown list closes up
    // The picked entry becomes current only after the list is hidden.
    if (OnCloseUp)
        QTimer::singleShot(0, this, [this] { OnCloseUp(); });
}

// A flat root button: a 48 x 48 picture with its caption right below, wrapped when it is
// wider than the button.
class TRootButton : public QToolButton {
public:
    using QToolButton::QToolButton;

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QStylePainter painter(this);
        QStyleOptionToolButton option;
        initStyleOption(&option);
        option.text.clear();
        option.icon = QIcon();
        painter.drawComplexControl(QStyle::CC_ToolButton, option);
        const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
        const int flags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;
        // A caption of two lines takes its room from the picture.
        const int textHeight = fontMetrics().boundingRect(QRect(0, 0, width() - 2, height()), flags, text()).height();
        const int side = qBound(16, height() - textHeight - 2, 48);
        const QRect picture((width() - side) / 2, 1, side, side);
        icon().paint(&painter, picture, Qt::AlignCenter, mode);
        painter.drawText(QRect(1, picture.bottom() + 1, width() - 2, textHeight), flags, text());
    }
};

// A panel that places its children as a form designer does: each child keeps its design
// distances to the edges it is anchored to and stretches between two opposite ones.
class TAnchorPanel : public QFrame {
public:
    enum Anchor { Left = 1, Top = 2, Right = 4, Bottom = 8 };

    TAnchorPanel(QWidget* parent, QSize design) : QFrame(parent), FDesign(design) { resize(design); }

    template <typename W>
    W* Place(W* child, QRect rect, int anchors)
    {
        child->setParent(this);
        child->setGeometry(rect);
        FItems.push_back({child, rect, anchors});
        return child;
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QFrame::resizeEvent(event);
        const int dw = width() - FDesign.width();
        const int dh = height() - FDesign.height();
        for (const Item& item : FItems) {
            QRect r = item.rect;
            if ((item.anchors & Right) != 0) {
                if ((item.anchors & Left) != 0)
                    r.setWidth(r.width() + dw);
                else
                    r.moveLeft(r.left() + dw);
            }
            if ((item.anchors & Bottom) != 0) {
                if ((item.anchors & Top) != 0)
                    r.setHeight(r.height() + dh);
                else
                    r.moveTop(r.top() + dh);
            }
            item.widget->setGeometry(r);
        }
    }

private:
    struct Item {
        QWidget* widget;
        QRect rect;
        int anchors;
    };
    QSize FDesign;
    std::vector<Item> FItems;
};

// The vertical bar between the folder tree and the file list. Dragging it moves the border
// when the mouse is released.
class TSplitterHandle : public QWidget {
public:
    explicit TSplitterHandle(QWidget* parent) : QWidget(parent) { setCursor(Qt::SplitHCursor); }
    std::function<void(int)> OnMoved;  // the distance dragged, positive to the right

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton)
            FStart = event->globalPosition().toPoint().x();
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && OnMoved)
            OnMoved(event->globalPosition().toPoint().x() - FStart);
    }

private:
    int FStart = 0;
};

// Shows only the top node's branch of the file-system model: the top folder, what lies
// below it, and its ancestors (so that it has a parent to hang from).
class TTreeFilter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void SetTop(const QString& top)
    {
        FTop = top;
        invalidateFilter();
    }

    // Told of every folder the view asks to read, so that the window can wait for it.
    std::function<void(const QString&)> OnFetch;

    void fetchMore(const QModelIndex& parent) override
    {
        const QModelIndex source = mapToSource(parent);
        if (OnFetch && source.isValid() && sourceModel()->canFetchMore(source))
            OnFetch(static_cast<const QFileSystemModel*>(sourceModel())->filePath(source));
        QSortFilterProxyModel::fetchMore(parent);
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        const auto* model = static_cast<const QFileSystemModel*>(sourceModel());
        const QString path = model->filePath(model->index(row, 0, parent));
        if (FTop.isEmpty() || IsInside(path, FTop))
            return true;
        return path == QDir::rootPath() || FTop.startsWith(path + QLatin1Char('/'));
    }

private:
    QString FTop;
};

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
    const auto rootButton = [&](const QString& caption, QStyle::StandardPixmap icon, int top) {
        auto* b = new TRootButton;
        b->setText(caption);
        b->setIcon(st->standardIcon(icon));
        b->setIconSize(QSize(48, 48));
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        // 94 wide at design; two pixels less here keep the sunken frame visible.
        return roots->Place(b, QRect(2, top, 92, 71), TAnchorPanel::Left | TAnchorPanel::Top | TAnchorPanel::Right);
    };
    spbDesktop = rootButton(QStringLiteral("Desktop"), QStyle::SP_DesktopIcon, 2);
    spbMyFiles = rootButton(QStringLiteral("Eigene Dokumente"), QStyle::SP_DirHomeIcon, 77);
    spbComputer = rootButton(QStringLiteral("Computer"), QStyle::SP_ComputerIcon, 152);
    spbNetwork = rootButton(QStringLiteral("Netzwerk"), QStyle::SP_DriveNetIcon, 227);

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
    Label1 = strip->Place(new QLabel(QStringLiteral("Verzeichnis:")), QRect(5, 13, 85, 13),
                          TAnchorPanel::Left | TAnchorPanel::Top);
    cbxFiles = strip->Place(new QCheckBox(QStringLiteral("Dateien anzeigen")), QRect(95, 4, 225, 17),
                            TAnchorPanel::Left | TAnchorPanel::Top | TAnchorPanel::Right);
    const auto smallButton = [&](const QString& hint, QStyle::StandardPixmap icon, int x) {
        auto* b = new QToolButton;
        b->setToolTip(hint);
        b->setIcon(st->standardIcon(icon));
        b->setIconSize(QSize(16, 16));
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        return strip->Place(b, QRect(x, 3, 21, 21), TAnchorPanel::Top | TAnchorPanel::Right);
    };
    spbHome = smallButton(QStringLiteral("Standardverzeichnis"), QStyle::SP_DirHomeIcon, 327);
    spbUp = smallButton(QStringLiteral("Eine Ebene nach oben"), QStyle::SP_FileDialogToParent, 352);
    spbNew = smallButton(QStringLiteral("Neues Verzeichnis erstellen"), QStyle::SP_FileDialogNewFolder, 377);
    cbxSelectedDir = strip->Place(new THistoryCombo(nullptr), QRect(5, 30, 393, 21),
                                  TAnchorPanel::Left | TAnchorPanel::Top | TAnchorPanel::Right);
    btbOK = strip->Place(new QPushButton(st->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK")),
                         QRect(222, 55, 71, 31), TAnchorPanel::Top | TAnchorPanel::Right);
    btbCancel = strip->Place(
        new QPushButton(st->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Abbrechen")),
        QRect(297, 55, 101, 31), TAnchorPanel::Top | TAnchorPanel::Right);
    for (QPushButton* b : {btbOK, btbCancel}) {
        b->setAutoDefault(false);  // Enter and Escape are routed by FormKeyDown
        b->setIconSize(QSize(16, 16));
    }

    auto* handle = new TSplitterHandle(this);
    handle->OnMoved = [this](int delta) { SplitterMoved(delta); };
    Splitter = handle;
    PanelRight = new QWidget(this);
    ShellListView = new QTreeView(PanelRight);
    ShellListView->setRootIsDecorated(false);
    ShellListView->setItemsExpandable(false);
    ShellListView->setUniformRowHeights(true);
    ShellListView->setSortingEnabled(true);
    ShellListView->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);

    // Both views keep their selection highlighted when they lose the focus.
    for (QTreeView* view : {ShellTreeView, ShellListView}) {
        QPalette palette = view->palette();
        palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
        palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                         palette.color(QPalette::Active, QPalette::HighlightedText));
        view->setPalette(palette);
    }

    PopupMenu = new QMenu(this);
    itmCreate = PopupMenu->addAction(QStringLiteral("Verzeichnis erstellen"));
    itmDelete = PopupMenu->addAction(QStringLiteral("Verzeichnis löschen"));
    PopupMenu->addSeparator();
    itmUpdate = PopupMenu->addAction(QStringLiteral("Aktualisieren"));
    cancel1 = PopupMenu->addAction(QStringLiteral("Abbrechen"));

    // The models: the tree reads folders only when asked; the list follows the disk.
    FTreeModel = new QFileSystemModel(this);
    FTreeModel->setOption(QFileSystemModel::DontWatchForChanges, true);
    FTreeModel->setReadOnly(true);
    FTreeFilter = new TTreeFilter(this);
    FTreeFilter->setSourceModel(FTreeModel);
    FTreeFilter->setSortCaseSensitivity(Qt::CaseInsensitive);
    FTreeFilter->setSortLocaleAware(true);
    FTreeFilter->sort(0);
    SetTreeFilters(false);
    // The model reads folders only once it has been given a root path.
    FPending.insert(QDir::rootPath());
    FTreeModel->setRootPath(QDir::rootPath());
    ShellTreeView->setModel(FTreeFilter);
    for (int c = 1; c < FTreeModel->columnCount(); ++c)
        ShellTreeView->hideColumn(c);
    FListModel = new QFileSystemModel(this);
    FListModel->setReadOnly(false);  // names may be edited in place
    ShellListView->setModel(FListModel);
    ShellListView->sortByColumn(0, Qt::AscendingOrder);

    // Wiring.
    FTreeFilter->OnFetch = [this](const QString& dir) { FPending.insert(dir); };
    connect(FTreeModel, &QFileSystemModel::directoryLoaded, this, [this](const QString& dir) { FPending.remove(dir); });
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
    connect(PopupMenu, &QMenu::aboutToShow, this, &TShellDirDialog::PopupMenuPopup);
    connect(itmCreate, &QAction::triggered, this, &TShellDirDialog::spbNewClick);
    connect(itmDelete, &QAction::triggered, this, &TShellDirDialog::itmDeleteClick);
    connect(itmUpdate, &QAction::triggered, this, &TShellDirDialog::itmUpdateClick);
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
    const int x = fontMetrics().horizontalAdvance(QLatin1Char('X'));
    if (x <= 0)
        return;
    const QList<int> widths = ListColumnWidths(ShellListView->width() / x);
    for (int i = 0; i < widths.size(); ++i) {
        if (widths[i] > 0)
            ShellListView->setColumnWidth(i, widths[i] * x);
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
    cbxSelectedDir->setEditText(Path());
    btbOK->setEnabled(Exists(cbxSelectedDir->currentText()));
}

// ---- Execute and the window's events ------------------------------------------------

bool TShellDirDialog::Execute(const QString& ATitle, bool Hidden, bool FileView, bool ZipAsFiles,
                              const QString& HomeDir, QString& Dir)
{
    Q_UNUSED(ZipAsFiles)  // archives are files here: never tree folders, always in the list
    setWindowTitle(ATitle);
    FDefaultDir = HomeDir;
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

    cbxSelectedDir->setEditText(Path());
    cbxFiles->setVisible(FileView);
    ShowFileView(FileView && cbxFiles->isChecked());

    if (exec() != QDialog::Accepted)
        return false;
    Dir = EnsureTrailingDelimiter(cbxSelectedDir->currentText());
    return true;
}

void TShellDirDialog::SetTreeFilters(bool hidden)
{
    // QDir::System would add devices, sockets and broken links, which the system attribute of
    // Windows does not stand for (it is never set here).
    QDir::Filters filter = QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives;
    if (hidden)
        filter |= QDir::Hidden;
    FTreeModel->setFilter(filter);
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
    spbHome->setToolTip(Tr(QStringLiteral("Standard: ")) + FDefaultDir);
    cbxSelectedDir->SetDropDown(cbxSelectedDir->count() > 0);
    SetPath(cbxSelectedDir->currentText());
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
    if (event->type() == QEvent::KeyPress && FormKeyDown(static_cast<QKeyEvent*>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
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
        if (QApplication::focusWidget() == btbCancel) {
            btbCancel->click();  // a focused button takes Enter itself
        } else if (btbOK->isEnabled() && modifiers == Qt::NoModifier) {
            btbOK->click();  // the default button: remembers the choice
        } else {
            done(QDialog::Accepted);  // confirmed, the history stays as it is
        }
        return true;
    case Qt::Key_Escape:
        btbCancel->click();
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
    cbxSelectedDir->setEditText(folder);
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

// ---- Navigation -------------------------------------------------------------------------

void TShellDirDialog::GoToDirectory(const QString& Dir)
{
    QString s = Dir;
    if (!Exists(s))
        s = FDefaultDir;
    QString root;
    if (!Exists(s)) {
        s = WinShell::GetPersonalFolderPath();
        root = rfMyComputer;
        if (!Exists(s))  // the tree can only select an existing folder
            s = QDir::currentPath();
    } else {
        root = WinShell::IsNetworkPath(s) ? rfNetwork : rfMyComputer;
    }
    SetRoot(root);
    WaitUntilLoaded(kRootLoadWaitMs);
    SetPath(s);
    const QModelIndex node = SelectedNode();
    if (node.isValid())
        ShellTreeView->expand(node);
}

void TShellDirDialog::ShowListFolder(const QString& dir)
{
    if (dir.isEmpty()) {
        ShellListView->setRootIndex(FListModel->index(QString()));
        return;
    }
    FListModel->setRootPath(dir);
    ShellListView->setRootIndex(FListModel->index(dir));
}

// ---- The folder tree ---------------------------------------------------------------------

void TShellDirDialog::SetRoot(const QString& root)
{
    if (!FRoot.isEmpty() && FileUtils::SamePathSpelling(root, FRoot))
        return;
    FRoot = root;
    FTop = RootFolder(root);
    FTreeFilter->SetTop(FTop);
    const QModelIndex top = FTreeModel->index(FTop);
    ShellTreeView->setRootIndex(FTreeFilter->mapFromSource(top.parent()));
    FetchFolder(FTop);
    const QModelIndex topNode = FTreeFilter->mapFromSource(top);
    ShellTreeView->setCurrentIndex(topNode);
    ShellTreeView->expand(topNode);
}

void TShellDirDialog::FetchFolder(const QString& dir)
{
    const QModelIndex index = FTreeModel->index(dir);
    if (index.isValid() && FTreeModel->canFetchMore(index)) {
        FPending.insert(dir);
        FTreeModel->fetchMore(index);
    }
}

bool TShellDirDialog::SetPath(const QString& path)
{
    if (!Exists(path))
        return false;
    const QString dir = QDir::cleanPath(QDir(path).absolutePath());
    if (!IsInside(dir, FTop))
        return false;
    const QModelIndex node = FTreeFilter->mapFromSource(FTreeModel->index(dir));
    if (!node.isValid())
        return false;
    for (QModelIndex p = node.parent(); p.isValid() && p != ShellTreeView->rootIndex(); p = p.parent())
        ShellTreeView->expand(p);
    ShellTreeView->setCurrentIndex(node);
    ShellTreeView->scrollTo(node);
    return true;
}

QString TShellDirDialog::Path() const
{
    return NodePath(SelectedNode());
}

QModelIndex TShellDirDialog::SelectedNode() const
{
    return ShellTreeView->currentIndex();
}

QString TShellDirDialog::NodePath(const QModelIndex& node) const
{
    if (!node.isValid())
        return QString();
    return FTreeModel->filePath(FTreeFilter->mapToSource(node));
}

QModelIndex TShellDirDialog::ParentNode(const QModelIndex& node) const
{
    const QModelIndex parent = node.parent();
    return parent == ShellTreeView->rootIndex() ? QModelIndex() : parent;
}

int TShellDirDialog::Level(const QModelIndex& node) const
{
    if (!node.isValid())
        return -1;
    int level = 0;
    for (QModelIndex p = ParentNode(node); p.isValid(); p = ParentNode(p))
        ++level;
    return level;
}

int TShellDirDialog::SelectedLevel() const
{
    return Level(SelectedNode());
}

void TShellDirDialog::MakeSelectedVisible()
{
    const QModelIndex node = SelectedNode();
    if (node.isValid())
        ShellTreeView->scrollTo(node);
}

void TShellDirDialog::Refresh()
{
    const QString dir = Path();
    if (!dir.isEmpty())
        RefreshFolder(dir);
}

void TShellDirDialog::RefreshFolder(const QString& dir)
{
    // The model lists a folder again when it becomes its root path after having been it
    // before: leaving a root path marks that folder as not read.
    const QString elsewhere = dir == QDir::rootPath() ? QDir::tempPath() : QDir::rootPath();
    if (FTreeModel->rootPath() != dir)
        FTreeModel->setRootPath(dir);
    FTreeModel->setRootPath(elsewhere);
    FPending.insert(dir);
    FTreeModel->setRootPath(dir);
}

bool TShellDirDialog::WaitUntilLoaded(int ms)
{
    // Reading one folder may make the view ask for another, so this waits until none is
    // left after the events of each round have been handled.
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (FPending.isEmpty())
            return true;
        const qint64 left = ms - clock.elapsed();
        if (left <= 0)
            return false;
        QEventLoop loop;
        QTimer::singleShot(static_cast<int>(qMin<qint64>(left, 20)), &loop, &QEventLoop::quit);
        connect(FTreeModel, &QFileSystemModel::directoryLoaded, &loop, &QEventLoop::quit, Qt::QueuedConnection);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
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

// ---- Commands ---------------------------------------------------------------------------

void TShellDirDialog::spbUpClick()
{
    const QModelIndex node = SelectedNode();
    if (node.isValid()) {
        const QModelIndex parent = ParentNode(node);
        if (!parent.isValid())
            SetRoot(rfMyComputer);
        else if (Level(parent) > 0)
            SetPath(NodePath(parent));
        MakeSelectedVisible();
    }
    ShellTreeView->setFocus();
}

void TShellDirDialog::spbHomeClick()
{
    if (!QDir::setCurrent(FDefaultDir)) {
        MsgDialogs::ErrorDialog(SafeFormat(Tr(QStringLiteral("Verzeichnis nicht gefunden:\r\n%s!")), {FDefaultDir}));
        RemoveFromHistory(FDefaultDir);
    } else if (FRoot == rfNetwork || IsDriveRootLike(FDefaultDir)) {
        SetRoot(FDefaultDir);
    } else {
        SetRoot(rfMyComputer);
        SetPath(FDefaultDir);
        MakeSelectedVisible();
    }
    ShellTreeView->setFocus();
}

void TShellDirDialog::spbNewClick()
{
    const QString caption = Path();
    if (!caption.isEmpty()) {
        const QString prompt = Tr(QStringLiteral("Neues Unterverzeichnis:"));
        std::optional<QString> text;
        if (InputHookRef()) {
            text = InputHookRef()(caption, prompt, QString());
        } else {
            bool ok = false;
            const QString entered = QInputDialog::getText(this, caption, prompt, QLineEdit::Normal, QString(), &ok);
            if (ok)
                text = entered;
        }
        if (text) {
            const QString full = EnsureTrailingDelimiter(Path()) + *text;
            if (QDir().mkpath(full)) {
                SetRoot(rfMyComputer);
                SetPath(full);
                MakeSelectedVisible();
            } else {
                MsgDialogs::ErrorDialog(
                    SafeFormat(Tr(QStringLiteral("Verzeichnis:\r\n%s\r\nkonnte nicht erstellt werden!")), {full}));
            }
        }
    }
    ShellTreeView->setFocus();
}

void TShellDirDialog::itmDeleteClick()
{
    const QString p = Path();
    if (p.isEmpty())
        return;
    const int r = SelectDlg::SelectOption(
        Tr(QStringLiteral("Verzeichnis löschen")), SafeFormat(Tr(QStringLiteral("Lösche \"%s\"")), {p}),
        MsgDialogs::DialogKind::Confirmation, SelectDlg::Bold,
        {Tr(QStringLiteral("Endgültig")), Tr(QStringLiteral("In Papierkorb"))}, QString(), 0, -1, QString());
    if (r < 0)
        return;
    spbUpClick();

    bool failed = false;
    // The file-system root is never deleted.
    const bool isRoot = QDir::cleanPath(p) == QDir::rootPath();
    if (r == 0) {
        std::uint32_t dirs = 0, files = 0, failures = 0;
        if (!isRoot)
            FileUtils::DeleteDirectoryTree(p, QString(), true, dirs, files, failures);
        failed = isRoot || failures > 0;
        if (!failed)
            MsgDialogs::InfoDialog(
                SafeFormat(Tr(QStringLiteral("%u Verzeichnisse mit %u Dateien gelöscht!")), {dirs, files}));
    } else {
        const WinShell::HRESULT code = WinShell::ShellDeleteItem(nullptr, EnsureTrailingDelimiter(p), true, false);
        failed = code != 0;
        if (!failed)
            MsgDialogs::InfoDialog(SafeFormat(Tr(QStringLiteral("%s wurde in den Papierkorb verschoben!")), {p}));
    }
    if (failed)
        MsgDialogs::ErrorDialog(SafeFormat(Tr(QStringLiteral("Fehler beim Löschen des Verzeichnisses:\r\n%s!")), {p}));
    Refresh();
}

void TShellDirDialog::itmUpdateClick()
{
    Refresh();
}

void TShellDirDialog::PopupMenuPopup()
{
    Refresh();
}

void TShellDirDialog::btbOKClick()
{
    AddToHistory(cbxSelectedDir->currentText());
}

void TShellDirDialog::spbDesktopClick()
{
    SetRoot(rfDesktop);
}

void TShellDirDialog::spbMyFilesClick()
{
    SetRoot(rfPersonal);
}

void TShellDirDialog::spbComputerClick()
{
    SetRoot(rfMyComputer);
}

void TShellDirDialog::spbNetworkClick()
{
    SetRoot(rfNetwork);
}
