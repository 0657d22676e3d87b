// Helpers to drive modal dialogs from tests: an action is queued that runs
// as soon as a matching dialog window is visible.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace DialogTest {

inline QDialog* VisibleDialog(const QString& objectName)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(w);
        if (dialog != nullptr && dialog->isVisible() && dialog->objectName() == objectName)
            return dialog;
    }
    return nullptr;
}

// Runs action(dialog) once a visible dialog with this object name exists;
// gives up with a test failure after a minute, a generous bound for a busy machine.
inline void WhenShown(const QString& objectName, std::function<void(QDialog*)> action)
{
    auto* timer = new QTimer;
    auto waited = std::make_shared<QElapsedTimer>();
    waited->start();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, waited, objectName, action] {
        if (QDialog* dialog = VisibleDialog(objectName)) {
            timer->stop();
            timer->deleteLater();
            action(dialog);
        } else if (waited->elapsed() > 60000) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no dialog " << objectName.toStdString() << " was shown";
        }
    });
    timer->start();
}

}  // namespace DialogTest
