// Catches a record that is not whole in the file: a line written in pieces (through stdio's
// buffer, or again after a short write) with no lock held, so that another station's line lands
// in the middle of it, and a record appended onto the half line a crashed writer left, which
// makes both unreadable.
#include <QtTest>

#include <set>
#include <sys/wait.h>
#include <unistd.h>

#include "tools/audit_log.h"

namespace {

// Appends count records of about size bytes each, as one writer of a line.
bool appendRecords(const std::string &path, const std::string &writer, int count, std::size_t size)
{
    std::string error;
    const auto log = tools::AuditLog::open(path, error);
    for (int n = 0; log && n < count; ++n)
        if (!log->append("{\"writer\":\"" + writer + "\",\"n\":" + std::to_string(n) + ",\"pad\":\""
                             + std::string(size, writer[0]) + "\"}",
                         error))
            return false;
    return log != nullptr;
}

} // namespace

class TestAuditLog : public QObject {
    Q_OBJECT

private slots:
    void twoWritersWholeLines()
    {
        QTemporaryDir dir;
        const std::string path = dir.filePath("line.jsonl").toStdString();
        constexpr int kRecords = 300;
        // Two processes, as two stations on a share; records larger than a stdio buffer.
        std::vector<pid_t> writers;
        for (const char *writer : {"a", "b"}) {
            const pid_t pid = ::fork();
            if (pid == 0)
                ::_exit(appendRecords(path, writer, kRecords, 20000) ? 0 : 1);
            writers.push_back(pid);
        }
        for (const pid_t pid : writers) {
            int status = -1;
            ::waitpid(pid, &status, 0);
            QCOMPARE(status, 0);
        }
        QFile file(QString::fromStdString(path));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.size(), 2 * kRecords + 1);
        std::set<QString> seen;
        for (int i = 0; i < 2 * kRecords; ++i) {
            QJsonParseError error;
            const QJsonObject o = QJsonDocument::fromJson(lines[i], &error).object();
            QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(QString("line %1 is not whole").arg(i + 1)));
            seen.insert(o.value("writer").toString() + QString::number(o.value("n").toInt()));
        }
        QCOMPARE(int(seen.size()), 2 * kRecords);
    }

    void halfLineOfACrashLeftAlone()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("line.jsonl");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("{\"whole\":1}\n{\"half\":") > 0);
        file.close();
        QVERIFY(appendRecords(path.toStdString(), "a", 1, 10));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[1], QByteArray("{\"half\":"));
        QVERIFY(!QJsonDocument::fromJson(lines[2]).isNull());
    }
};

QTEST_GUILESS_MAIN(TestAuditLog)
#include "tst_audit_log.moc"
