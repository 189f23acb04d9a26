#include "app/startup.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <exception>
#include <optional>

#include "app/frm_module.h"
#include "link/port_backend.h"
#include "platform/hooks.h"

namespace app {

namespace {

void showStartupError(const std::optional<QApplication> &application, const QString &message)
{
    if (application)
        QMessageBox::critical(nullptr, QString::fromLatin1(kApplicationTitle), message);
    else
        std::fprintf(stderr, "%s: %s\n", kApplicationTitle, message.toLocal8Bit().constData());
}

} // namespace

int runMain(int &argc, char **argv, const std::function<void(TfrmModule &)> &afterShow)
{
    // The link's 1 ms polls and pauses, and the clock its reply window is measured on.
    const platform::TimerResolution timer;
    std::optional<QApplication> application;
    try {
        // Ended by a signal (a kill, Ctrl+C, the terminal closing), the program still puts the
        // serial port back as it found it.
        serial::restorePortOnSignals();
        application.emplace(argc, argv);
        QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
        QGuiApplication::setDesktopFileName(QStringLiteral("telmax-config"));

        // Waiting exchanges keep the window alive through the real message loop; clock,
        // sleep and tone stay the platform's own.
        platform::Hooks real;
        real.pump = [] { QCoreApplication::processEvents(QEventLoop::AllEvents); };
        platform::HooksGuard hooks(real);

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
