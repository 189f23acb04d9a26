#pragma once
// Running telmax-sim from a test.
//
//   TELMAX_START_SIM(sim, 3, {"--id", "07", "--drop-first", "1"});   // COM3 is this simulator
//   QVERIFY(OpenComm(3, "19200,e,8,1"));                           // in this process, or
//   child.setProcessEnvironment(sim.environment());                // in a child, through ports.conf
//   ...
//   sim.received()  // the "rx" entries of its log: {"t","dir","hex","text","baud","ok","reason"}
//   sim.paper()     // what it printed
//
// The executable comes from $TELMAX_SIM, which CTest sets for every test. Each SimProcess
// has its own temporary folder holding the log (--log) and the paper (--paper); the
// destructor ends the simulator with SIGTERM (a kill after 3 s if it will not go).

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "link/seams.h"
#include "support/temporary_store.h"

namespace testsupport {

class SimProcess {
public:
    // Starts the simulator with these options (plus --log and --paper) and waits for its device.
    explicit SimProcess(const QStringList &options = {});
    ~SimProcess();
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // $TELMAX_SIM, or empty when the test was not started by CTest.
    static QString executable();

    // True once the simulator has printed its device; errorString() says why not.
    bool started() const { return !m_device.empty(); }
    QString errorString() const { return m_error; }
    // The pty slave the program opens.
    const std::string &device() const { return m_device; }

    QString logPath() const;
    QString paperPath() const;
    // Every complete log line so far, parsed.
    QList<QJsonObject> log() const;
    // Log entries of one direction: "rx" (frames received) or "tx" (replies sent).
    QList<QJsonObject> entries(const QString &dir) const;
    QList<QJsonObject> received() const { return entries(QStringLiteral("rx")); }
    QList<QJsonObject> sent() const { return entries(QStringLiteral("tx")); }
    // Polls the log until the condition holds or ms have passed; the result of the last test.
    bool waitForLog(const std::function<bool(const QList<QJsonObject> &)> &condition, int ms = 2000) const;
    // Every frame that has reached the line up to now, none still on its way: a mark frame
    // ("E00Z", which the simulator logs and never answers) goes out on the line after them and is
    // waited for, and the "rx" entries before it come back. Nothing when the mark was not logged
    // within ms. For a test that something was NOT sent, without a fixed wait.
    std::optional<QList<QJsonObject>> receivedUntilNow(int ms = 2000) const;
    // Everything printed so far.
    QByteArray paper() const;

    bool isRunning() const;
    // The simulator's process id, for signals of a test's own; 0 when not running.
    qint64 pid() const;
    // Waits for the simulator to end by itself (e.g. after --hangup-after).
    bool waitForExit(int ms = 3000);
    // SIGTERM and wait; the exit code, or -1 when it had to be killed or crashed.
    int stop();

protected:
    // A start that failed after the simulator gave its device.
    void setFailed(const QString &why);

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
    std::string m_device;
    QString m_error;
};

// Makes COM numbers name simulators (or other devices) for OpenComm, for the guard's life.
// Every number not given names no device, so a test can never reach a real serial port.
class SimPorts {
public:
    SimPorts(int number, const SimProcess &sim);
    explicit SimPorts(const std::map<int, std::string> &devices);

private:
    serial::SeamsGuard m_guard;
};

// A simulator named by one COM number for the fixture's life: in this process through the port
// resolver (SimPorts), and in a child started with environment() through the ports.conf of a
// store of the fixture's own. No other number names a device in either.
class SimAtCom : public SimProcess {
public:
    explicit SimAtCom(int number, const QStringList &options = {});

    // The child's store: ports.conf as above, PRINTConfig.conf for the test to fill.
    const TemporaryStore &store() const { return m_store; }
    QProcessEnvironment environment() const { return m_store.environment(); }

private:
    SimPorts m_ports;
    TemporaryStore m_store;
};

} // namespace testsupport

// Starts a SimAtCom called name (arguments: the COM number, then the simulator's options) and
// ends the test when the simulator did not start.
#define TELMAX_START_SIM(name, ...)                                                                \
    testsupport::SimAtCom name{__VA_ARGS__};                                                       \
    QVERIFY2(name.started(), qPrintable(name.errorString()))
