#pragma once
// The folder chooser's own controls: the directory field with the history, the root buttons
// and their pictures, the panels that keep their children's design distances, the bar between
// the folder tree and the file list, and the new-folder input box.

#include <QComboBox>
#include <QFrame>
#include <QIcon>
#include <QToolButton>

#include <functional>
#include <optional>
#include <vector>

class QRubberBand;

namespace ShellDirDlg {

// The directory field with the history as its list. Without history it shows no drop-down
// button and opens no list; when its list closes it calls OnCloseUp.
class THistoryCombo : public QComboBox {
public:
    explicit THistoryCombo(QWidget* parent);

    bool HasDropDown() const { return FDropDown; }
    void SetDropDown(bool on);
    std::function<void()> OnCloseUp;

    void showPopup() override;
    void hidePopup() override;

private:
    bool FDropDown = true;
    bool FPopupOpen = false;
};

// The pictures of the four root buttons: the desktop's icon theme's where it has them,
// otherwise drawn here, sharp from 16 to 96 pixels.
enum class RootPicture { Desktop, Documents, Computer, Network };
QIcon RootIcon(RootPicture picture);

// The pictures of the small buttons beside the directory field (default directory, up one
// level, new folder): the icon theme's where it has them, otherwise drawn here on a 16-pixel
// grid, at 16, 24, 32 and 48 pixels, so that they stay sharp on a scaled screen.
enum class ButtonPicture { Home, Up, NewFolder };
QIcon ButtonIcon(ButtonPicture picture);

// A flat root button: a 48 x 48 picture with its caption right below, wrapped when it is
// wider than the button.
class TRootButton : public QToolButton {
public:
    using QToolButton::QToolButton;

protected:
    void paintEvent(QPaintEvent* event) override;
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
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Item {
        QWidget* widget;
        QRect rect;
        int anchors;
    };
    QSize FDesign;
    std::vector<Item> FItems;
};

// The vertical bar between the folder tree and the file list. While it is dragged a line
// shows where the border will go; the border moves when the mouse is released. Both panels
// keep at least one pixel.
class TSplitterHandle : public QWidget {
public:
    explicit TSplitterHandle(QWidget* parent);
    std::function<void(int)> OnMoved;  // the distance dragged, positive to the right

    // The line that follows the mouse during a drag; hidden otherwise.
    QWidget* DragLine() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int DragTo(int globalX) const;  // the bar's left edge for the mouse at globalX

    int FStart = 0;
    bool FDragging = false;
    QRubberBand* FLine = nullptr;
};

// The input box of the new-folder command: caption as the window title and again in full
// above the prompt (elided in the middle only where the screen is too narrow for it), the
// prompt, an edit field holding text, and OK and Abbrechen. The text, or nullopt when the
// user cancelled.
std::optional<QString> AskNewFolder(QWidget* parent, const QString& caption, const QString& prompt,
                                    const QString& text);

// The line of AskNewFolder's box that shows the caption.
class TPathLabel : public QWidget {
public:
    TPathLabel(const QString& text, QWidget* parent);
    QString ShownText() const;  // the text as it fits the label's width
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString FText;
};

}  // namespace ShellDirDlg
