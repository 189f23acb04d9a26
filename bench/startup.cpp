// Time from process start to the main window shown, and resident memory at that moment.
// Runs the program's own start-up (app::runMain) and leaves right after the first paint.
//
//   QT_QPA_PLATFORM=offscreen bench-startup

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <unistd.h>

#include "app/frm_module.h"
#include "app/startup.h"

namespace {

double monotonicBootMs()
{
    timespec now {};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

// The process's start, on the same clock, from /proc (resolution: one clock tick).
double processStartMs()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // Fields after the command name, which is in parentheses and may hold spaces.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // starttime is field 22 of the line, the 20th after the command name.
    const double ticks = fields.value(19).toDouble();
    return ticks * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

const double mainEnteredMs = monotonicBootMs();

class FirstPaint : public QObject {
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_done) {
            m_done = true;
            const double shown = monotonicBootMs();
            QTimer::singleShot(0, qApp, [shown] {
                std::printf("start_to_shown_ms %.1f\n", shown - processStartMs());
                std::printf("static_init_to_shown_ms %.1f\n", shown - mainEnteredMs);
                std::printf("vmrss_kb %ld\n", residentKb());
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_done = false;
};

} // namespace

int main(int argc, char **argv)
{
    FirstPaint watcher;
    return app::runMain(argc, argv, [&watcher](TfrmModule &window) { window.installEventFilter(&watcher); });
}
