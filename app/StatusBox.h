#pragma once
// The main window's status box: a sunken frame showing a few lines of text. Long file names
// wrap, preferably after a path delimiter; a text that still does not fit is cut with "…" and
// shown whole in the box's tooltip. The box never changes its size.
//
// To assistive technology (screen readers) it is a notification whose accessible name is its
// whole text, whatever part of it the box shows; Announce() has a new result read out.

#include <QLabel>
#include <QString>
#include <QStringList>

class TStatusBox : public QLabel {
    Q_OBJECT
public:
    explicit TStatusBox(QWidget* parent = nullptr);

    // The text exactly as set ("\r\n" breaks a line).
    QString text() const { return FText; }
    void setText(const QString& text);

    // Tells assistive technology that the text is news to be read out now (the end of a
    // conversion), not only a change it may read when asked (the counts while one runs).
    void Announce();

    // The lines as shown, and whether they hold the whole text.
    QStringList shownLines() const { return FLines; }
    bool showsAll() const { return FComplete; }

signals:
    // Announce() has told assistive technology (which hears it only where such is running).
    void announced();

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
