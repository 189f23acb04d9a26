#pragma once
// Shared by the window suites: temporary settings stores (machine-wide and the user's) fixed
// before the first QSettings of the process, and a way to reach the window's components by name.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "app/frm_module.h"

namespace windowtest {

inline QString &storeRoot()
{
    static QString root;
    return root;
}
inline QString &userStoreRoot()
{
    static QString root;
    return root;
}
inline QString storeDir() { return storeRoot() + QStringLiteral("/VOREX"); }
inline QString storePath() { return storeDir() + QStringLiteral("/PRINTConfig.conf"); }

inline void clearStore()
{
    QDir(storeDir()).removeRecursively();
    QDir(userStoreRoot() + QStringLiteral("/VOREX")).removeRecursively();
}

inline void writeStore(const QByteArray &content)
{
    QDir().mkpath(storeDir());
    QFile file(storePath());
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
}

inline QByteArray storeBytes()
{
    QFile file(storePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A reader of its own, so the check does not go through the code under test.
inline QVariant storedValue(const QString &name)
{
    QSettings reader(storePath(), QSettings::IniFormat);
    return reader.value(name);
}

template <typename T>
T *part(const QWidget &window, const char *name)
{
    return window.findChild<T *>(QLatin1String(name));
}

} // namespace windowtest

#define TELMAX_WINDOW_TEST_MAIN(TestClass)                                                                 \
    int main(int argc, char **argv)                                                                        \
    {                                                                                                      \
        QTemporaryDir store;                                                                               \
        QTemporaryDir userStore;                                                                           \
        windowtest::storeRoot() = store.path();                                                            \
        windowtest::userStoreRoot() = userStore.path();                                                    \
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(store.path()));                                      \
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(userStore.path()));                                  \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                                \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                                       \
        QApplication application(argc, argv);                                                              \
        TestClass test;                                                                                    \
        return QTest::qExec(&test, argc, argv);                                                            \
    }
