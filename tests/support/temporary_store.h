#pragma once
// Temporary settings stores: the machine-wide folder (XDG_CONFIG_DIRS) and the user's
// (XDG_CONFIG_HOME) in temporary folders, for this process or for a child.
//
//   testsupport::processStore();   // first, before the process's first QSettings
//   testsupport::processStore().write("[General]\nScanCommNo=3\n");
//   ... the code under test saves ...
//   QCOMPARE(testsupport::processStore().value("ScanCommNo").toString(), QString("3"));
//
//   testsupport::TemporaryStore child;                    // a store of its own for a child process
//   child.writePorts("[Ports]\nCOM3=/dev/pts/7\n");
//   process.setProcessEnvironment(child.environment());
//
// Values are read back with a reader of the store's own, never through the code under test.

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>

namespace testsupport {

class TemporaryStore {
public:
    enum Scope { Machine, User };

    bool isValid() const;
    // The folder the environment names (XDG_CONFIG_DIRS or XDG_CONFIG_HOME).
    QString root(Scope scope = Machine) const;
    // The program's folder in it, and its two files.
    QString folder(Scope scope = Machine) const;
    QString file(Scope scope = Machine) const;        // PRINTConfig.conf
    QString portsFile(Scope scope = Machine) const;   // ports.conf

    // This process's environment with the stores moved here, for a child.
    QProcessEnvironment environment(QProcessEnvironment base = QProcessEnvironment::systemEnvironment()) const;

    // PRINTConfig.conf (or ports.conf) holding exactly these bytes; false when it could not be written.
    bool write(const QByteArray &content, Scope scope = Machine) const;
    bool writePorts(const QByteArray &content, Scope scope = Machine) const;
    // One value set in PRINTConfig.conf, the others kept.
    void setValue(const QString &name, const QVariant &value, Scope scope = Machine) const;

    QByteArray bytes(Scope scope = Machine) const;
    // A value of PRINTConfig.conf; invalid when it holds none.
    QVariant value(const QString &name, Scope scope = Machine) const;
    // The same as text, "<none>" when there is no value.
    QString valueText(const QString &name, Scope scope = Machine) const;

    // Both stores empty again, as before the first write.
    void clear() const;

private:
    QTemporaryDir m_machine;
    QTemporaryDir m_user;
};

// The store this process reads and writes, made and pointed to on the first call. Qt fixes the
// folders at the process's first QSettings, so the first call has to come before it.
TemporaryStore &processStore();

} // namespace testsupport

// main() for a suite with the window: the process's temporary store is in place before the
// application object, and so before anything reads a setting.
#define TELMAX_TEST_MAIN_IN_TEMPORARY_STORE(TestClass)                                                 \
    int main(int argc, char **argv)                                                                    \
    {                                                                                                  \
        testsupport::processStore();                                                                  \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                            \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                                   \
        QApplication application(argc, argv);                                                          \
        TestClass test;                                                                                \
        QTEST_SET_MAIN_SOURCE_PATH                                                                     \
        return QTest::qExec(&test, argc, argv);                                                        \
    }
