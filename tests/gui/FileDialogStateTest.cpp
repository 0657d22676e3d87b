// Qt's file dialog and the settings all Qt programs of a user share ("QtProject", group
// "FileDialog"): the program's dialog takes nothing from them and leaves them as they were.
#include "FileDialogState.h"

#include <QFileDialog>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QUrl>
#include <QVariantMap>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

// Readable settings in test failures: each key with its value as text.
inline void PrintTo(const QVariantMap& values, std::ostream* out)
{
    *out << '{';
    for (auto it = values.constBegin(); it != values.constEnd(); ++it)
        *out << ' ' << it.key().toStdString() << '=' << it.value().toString().toStdString();
    *out << " }";
}

namespace {

QVariantMap SharedValues()
{
    QSettings settings(QSettings::UserScope, QStringLiteral("QtProject"));
    settings.setFallbacksEnabled(false);
    QVariantMap values;
    for (const QString& key : settings.allKeys())
        values.insert(key, settings.value(key));
    return values;
}

void SetSharedValues(const QVariantMap& values)
{
    QSettings settings(QSettings::UserScope, QStringLiteral("QtProject"));
    settings.setFallbacksEnabled(false);
    settings.clear();
    for (auto it = values.constBegin(); it != values.constEnd(); ++it)
        settings.setValue(it.key(), it.value());
}

// Whether the registry key or the file that holds the shared settings is there at all.
bool StoreExists()
{
#ifdef _WIN32
    return QSettings(QStringLiteral("HKEY_CURRENT_USER\\Software"), QSettings::NativeFormat)
        .childGroups()
        .contains(QStringLiteral("QtProject"));
#else
    return QFileInfo::exists(QSettings(QSettings::UserScope, QStringLiteral("QtProject")).fileName());
#endif
}

// The user's own shared settings (on Windows the test prefix's registry) go back as they were.
class FileDialogStateTest : public ::testing::Test {
protected:
    void SetUp() override { saved_ = SharedValues(); }
    void TearDown() override
    {
        SetSharedValues(saved_);
        if (saved_.isEmpty()) {
            QSettings settings(QSettings::UserScope, QStringLiteral("QtProject"));
            FileDialogState::RemoveEmptyStore(settings);
        }
    }

    static std::unique_ptr<QFileDialog> MakeDialog()
    {
        auto dialog = std::make_unique<QFileDialog>();
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        FileDialogState::KeepNone(*dialog);
        return dialog;
    }

    QVariantMap saved_;
};

TEST_F(FileDialogStateTest, NothingIsLeftWhereNothingWas)
{
    SetSharedValues({});
    {
        QSettings settings(QSettings::UserScope, QStringLiteral("QtProject"));
        FileDialogState::RemoveEmptyStore(settings);
    }
    ASSERT_FALSE(StoreExists());
    auto dialog = MakeDialog();
    dialog->setDirectory(QDir::tempPath());
    dialog.reset();
    // (Reading the registry makes its keys: the store is looked at first.)
    EXPECT_FALSE(StoreExists());
    EXPECT_EQ(SharedValues(), QVariantMap());
}

TEST_F(FileDialogStateTest, WhatOtherProgramsKeptStaysAsItWasAndIsNotUsed)
{
    const QString elsewhere = QDir::cleanPath(QDir::tempPath() + QStringLiteral("/anderes-Programm"));
    const QVariantMap before{
        {QStringLiteral("FileDialog/history"), QStringList{QUrl::fromLocalFile(elsewhere).toString()}},
        {QStringLiteral("FileDialog/lastVisited"), QUrl::fromLocalFile(elsewhere).toString()},
        {QStringLiteral("FileDialog/viewMode"), QStringLiteral("List")},
        {QStringLiteral("Anderes/Wert"), 7},
    };
    SetSharedValues(before);
    const QVariantMap stored = SharedValues();  // as the store gives the values back
    auto dialog = MakeDialog();
    // (history() also names the folder shown)
    EXPECT_FALSE(dialog->history().contains(QDir::toNativeSeparators(elsewhere))) << dialog->history().join(u' ').toStdString();
    EXPECT_EQ(dialog->viewMode(), QFileDialog::Detail);
    dialog->setDirectory(QDir::tempPath());
    dialog.reset();
    EXPECT_EQ(SharedValues(), stored);
    EXPECT_TRUE(StoreExists());
}

}  // namespace
