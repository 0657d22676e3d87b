#pragma once
// The main window's status box: a sunken frame showing a few lines of text. Long file names
// wrap, preferably after a path delimiter; a text that still does not fit is cut with "…" and
// shown whole in the box's tooltip. The box never changes its size.

#include <QFrame>
#include <QString>
#include <QStringList>

class TStatusBox : public QFrame {
    Q_OBJECT
public:
    explicit TStatusBox(QWidget* parent = nullptr);

    // The text exactly as set ("\r\n" breaks a line).
    QString text() const { return FText; }
    void setText(const QString& text);

    // The lines as shown, and whether they hold the whole text.
    QStringList shownLines() const { return FLines; }
    bool showsAll() const { return FComplete; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void LayOut();

    QString FText;
    QStringList FLines;
    bool FComplete = true;
};
