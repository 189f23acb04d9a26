#include "ops/frame.h"

#include "link/comm.h"
#include "link/commands.h"
#include "link/frame.h"
#include "link/seams.h"
#include "ops/port_messages.h"
#include "ops/state.h"
#include "platform/hooks.h"
#include "settings/settings.h"

namespace ops {

namespace {

// Puts the window and the cursor back whatever way the frame is left.
class FrameRestore {
public:
    explicit FrameRestore(ModuleView &view) : m_view(view) {}
    ~FrameRestore()
    {
        m_view.setWindowEnabled(true);
        m_view.setBusyCursor(false);
    }
    FrameRestore(const FrameRestore &) = delete;
    FrameRestore &operator=(const FrameRestore &) = delete;

private:
    ModuleView &m_view;
};

} // namespace

std::optional<std::string> presenceTest(serial::Link &link)
{
    serial::Reply reply = link.exchange(cmd::moduleInfo());
    if (!reply.verified || reply.received.size() != std::size_t(cmd::kInfoReplyLength))
        return std::nullopt;
    return std::move(reply.text);
}

QString portAfterCom(int port)
{
    return port == serial::kDevicePathPort ? QString::fromStdString(serial::portLabel(port)) : QString::number(port);
}

void notePort(ModuleView &view, const serial::OpenResult &opened, const std::string &line)
{
    if (const int ms = slowLatencyMs(opened, line))
        view.portNote(slowLatencyText(opened.device, ms));
}

void signalResult(ModuleView &view, bool good, const QString &message)
{
    view.setLamp(good ? LampColour::Yellow : LampColour::Red);
    view.setPanelText(Field::Msg, message);
    platform::Tone(good ? kGoodToneHz : kBadToneHz, kToneMs);
}

void runFramed(ModuleView &view, const FramedOperation &op)
{
    view.setBusyCursor(true);
    FrameRestore restore(view);
    view.setWindowEnabled(false);
    platform::PumpMessages();

    if (!ModuleFound) {
        signalResult(view, false, view.uiText(Text::StartScan));
        return;
    }

    const bool proceed = op.progress ? op.progress() : true;

    bool success = false;
    if (proceed) {
        const serial::OpenResult port = serial::defaultLink.open(ScanCommNo, ScanBaudRate);
        if (port.opened()) {
            notePort(view, port, ScanBaudRate);
            for (int attempt = 0; attempt < kFrameTries && !success; ++attempt) {
                platform::SleepMs(kPacingMs);
                const std::optional<std::string> info = presenceTest();
                if (!info)
                    continue;
                platform::SleepMs(kPacingMs);
                success = op.body(*info);
            }
            CloseComm();
        } else {
            view.portNotOpened(openFailureText(serial::portLabel(ScanCommNo), port));
        }
    }

    signalResult(view, success, view.uiText(success ? op.okEntry : op.errorEntry));
}

} // namespace ops
