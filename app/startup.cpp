#include "app/startup.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>

#include "app/frm_module.h"
#include "ops/start_up.h"

namespace app {

namespace {

void showStartupError(const std::optional<QApplication> &application, const QString &message)
{
    if (application)
        QMessageBox::critical(nullptr, QString::fromLatin1(kApplicationTitle), message);
    else
        std::fprintf(stderr, "%s: %s\n", kApplicationTitle, message.toLocal8Bit().constData());
}

// Qt's own handler, which prints as QT_MESSAGE_PATTERN says.
QtMessageHandler qtHandler = nullptr;

// Without XDG_RUNTIME_DIR (root on a console or after su, a service) Qt says at every start that
// it uses a folder of its own under /tmp instead; the window keeps nothing there.
bool isRuntimeDirNotice(QtMsgType type, const QString &message)
{
    return type == QtWarningMsg
           && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to "));
}

// Every message as Qt prints it, but for that notice.
void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!isRuntimeDirNotice(type, message) && qtHandler)
        qtHandler(type, context, message);
}

// Qt ends the program when it finds no display (no DISPLAY or WAYLAND_DISPLAY, or one it cannot
// reach) with a fatal message about reinstalling the application. The technician is told instead
// what is missing and what works without a display.
void noDisplayHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // The platform plugin's own account of the failure comes before its fatal message.
    if (type != QtFatalMsg && context.category && QByteArray(context.category).startsWith("qt.qpa"))
        return;
    const bool platformFailed = message.contains(QLatin1String("platform plugin"))
                                || message.contains(QLatin1String("connect to display"));
    if (type == QtFatalMsg && platformFailed) {
        const QByteArray display = qgetenv("DISPLAY").isEmpty() ? qgetenv("WAYLAND_DISPLAY") : qgetenv("DISPLAY");
        std::fprintf(stderr,
                     "telmax-config: no display found (%s); telmax-cmd runs the same operations without one\n",
                     display.isEmpty() ? "DISPLAY and WAYLAND_DISPLAY are not set"
                                       : ("cannot connect to " + display).constData());
        std::_Exit(1);
    }
    // Everything else as Qt would print it.
    if (isRuntimeDirNotice(type, message))
        return;
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

int runMain(int &argc, char **argv, const std::function<void(TfrmModule &)> &afterShow)
{
    // Waiting exchanges keep the window alive through the real message loop; clock, sleep and
    // tone stay the platform's own.
    const ops::ProgramRun program([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
    std::optional<QApplication> application;
    try {
        qtHandler = qInstallMessageHandler(noDisplayHandler);
        application.emplace(argc, argv);
        qInstallMessageHandler(quietHandler);
        QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
        QGuiApplication::setDesktopFileName(QStringLiteral("telmax-config"));

        TfrmModule frmModule;
        frmModule.show();
        if (afterShow)
            afterShow(frmModule);
        QApplication::exec();
    } catch (const std::exception &error) {
        showStartupError(application, QString::fromLocal8Bit(error.what()));
    } catch (...) {
        showStartupError(application, QStringLiteral("Unknown error"));
    }
    return 0;
}

} // namespace app
