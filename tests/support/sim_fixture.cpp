#include "sim_fixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QThread>

#include <algorithm>
#include <unistd.h>

#include "support/fake_port.h"
#include "support/pty_util.h"

namespace testsupport {

namespace {

serial::Seams resolverFor(std::map<int, std::string> devices)
{
    serial::Seams s;
    s.resolver = [devices = std::move(devices)](int number) -> std::string {
        const auto it = devices.find(number);
        return it == devices.end() ? std::string() : it->second;
    };
    return s;
}

} // namespace

QString SimProcess::executable()
{
    return qEnvironmentVariable("TELMAX_SIM");
}

SimProcess::SimProcess(const QStringList &options)
{
    const QString program = executable();
    if (program.isEmpty()) {
        m_error = QStringLiteral("TELMAX_SIM is not set (run the test through ctest)");
        return;
    }
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder: ") + m_dir.errorString();
        return;
    }
    m_process = std::make_unique<QProcess>();
    m_process->setProgram(program);
    m_process->setArguments(options + QStringList{QStringLiteral("--log"), logPath(), QStringLiteral("--paper"), paperPath()});
    m_process->start(QIODevice::ReadOnly);
    if (!m_process->waitForStarted(5000)) {
        m_error = m_process->errorString();
        return;
    }
    // The first line is the device; anything else (an exit, a silence) is a failed start.
    QElapsedTimer timer;
    timer.start();
    while (!m_process->canReadLine() && m_process->state() == QProcess::Running && timer.elapsed() < 5000)
        m_process->waitForReadyRead(100);
    if (!m_process->canReadLine()) {
        m_process->waitForFinished(1000);
        m_error = QStringLiteral("telmax-sim gave no device: ") + QString::fromLocal8Bit(m_process->readAllStandardError()).trimmed();
        return;
    }
    m_device = m_process->readLine().trimmed().toStdString();
}

SimProcess::~SimProcess()
{
    stop();
}

QString SimProcess::logPath() const { return m_dir.filePath(QStringLiteral("sim.jsonl")); }
QString SimProcess::paperPath() const { return m_dir.filePath(QStringLiteral("paper.bin")); }

QList<QJsonObject> SimProcess::log() const
{
    QList<QJsonObject> out;
    QFile f(logPath());
    if (!f.open(QIODevice::ReadOnly))
        return out;
    const QByteArray all = f.readAll();
    // A line still being written has no newline yet; it is left for the next read.
    const qsizetype complete = all.lastIndexOf('\n');
    if (complete < 0)
        return out;
    for (const QByteArray &line : all.left(complete).split('\n')) {
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        if (doc.isObject())
            out.append(doc.object());
    }
    return out;
}

QList<QJsonObject> SimProcess::entries(const QString &dir) const
{
    QList<QJsonObject> out;
    for (const QJsonObject &o : log())
        if (o.value(QStringLiteral("dir")).toString() == dir)
            out.append(o);
    return out;
}

bool SimProcess::waitForLog(const std::function<bool(const QList<QJsonObject> &)> &condition, int ms) const
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (condition(log()))
            return true;
        if (timer.elapsed() >= ms)
            return false;
        QThread::msleep(5);
    }
}

std::optional<QList<QJsonObject>> SimProcess::receivedUntilNow(int ms) const
{
    const QString mark = QStringLiteral("E00Z");
    const int fd = openRaw(m_device, 19200);
    if (fd < 0)
        return std::nullopt;
    const bool written = writeAll(fd, hexBytes("09 45 30 30 5A 31 36 0D"));
    ::close(fd);
    const auto isMark = [&mark](const QJsonObject &o) {
        return o.value(QStringLiteral("dir")).toString() == QStringLiteral("rx")
            && o.value(QStringLiteral("text")).toString() == mark;
    };
    if (!written || !waitForLog([&](const QList<QJsonObject> &log) { return std::any_of(log.begin(), log.end(), isMark); }, ms))
        return std::nullopt;
    QList<QJsonObject> frames;
    for (const QJsonObject &o : log()) {
        if (isMark(o))
            break;
        if (o.value(QStringLiteral("dir")).toString() == QStringLiteral("rx"))
            frames.append(o);
    }
    return frames;
}

QByteArray SimProcess::paper() const
{
    QFile f(paperPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool SimProcess::isRunning() const
{
    return m_process && m_process->state() != QProcess::NotRunning;
}

qint64 SimProcess::pid() const
{
    return m_process ? m_process->processId() : 0;
}

bool SimProcess::waitForExit(int ms)
{
    return !m_process || m_process->state() == QProcess::NotRunning || m_process->waitForFinished(ms);
}

int SimProcess::stop()
{
    if (!m_process)
        return -1;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();   // SIGTERM
        if (!m_process->waitForFinished(3000)) {
            m_process->kill();
            m_process->waitForFinished(3000);
            return -1;
        }
    }
    return m_process->exitStatus() == QProcess::NormalExit ? m_process->exitCode() : -1;
}

void SimProcess::setFailed(const QString &why)
{
    m_device.clear();
    m_error = why;
}

SimPorts::SimPorts(int number, const SimProcess &sim)
    : m_guard(resolverFor({{number, sim.device()}}))
{
}

SimPorts::SimPorts(const std::map<int, std::string> &devices)
    : m_guard(resolverFor(devices))
{
}

SimAtCom::SimAtCom(int number, const QStringList &options)
    : SimProcess(options), m_ports(number, *this)
{
    if (!started())
        return;
    // Every number a search tries; the others name a device that does not exist.
    QByteArray ports("[Ports]\n");
    for (int n = 1; n <= std::max(16, number); ++n) {
        const QByteArray path =
            n == number ? QByteArray::fromStdString(device()) : "/nonexistent/tty" + QByteArray::number(n);
        ports += "COM" + QByteArray::number(n) + "=" + path + "\n";
    }
    if (!m_store.writePorts(ports))
        setFailed(QStringLiteral("cannot write ") + m_store.portsFile());
}

} // namespace testsupport
