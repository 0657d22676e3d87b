// Helpers to drive modal dialogs from tests: an action is queued that runs
// as soon as a matching dialog window is visible.
#pragma once

#include <QApplication>
#include <QDialog>
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
// gives up with a test failure after about five seconds.
inline void WhenShown(const QString& objectName, std::function<void(QDialog*)> action)
{
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(500);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, objectName, action] {
        if (QDialog* dialog = VisibleDialog(objectName)) {
            timer->stop();
            timer->deleteLater();
            action(dialog);
        } else if (--*tries == 0) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no dialog " << objectName.toStdString() << " was shown";
        }
    });
    timer->start();
}

}  // namespace DialogTest
