// btnStatusClick, btnPrintClick and btnProcessClick: the printer status, one printed line,
// and the continuous print test that runs until it is stopped or a command fails.

#include <array>

#include "link/comm.h"
#include "link/commands.h"
#include "link/frame.h"
#include "link/seams.h"
#include "ops/frame.h"
#include "ops/operations.h"
#include "ops/port_messages.h"
#include "ops/state.h"
#include "platform/code_page.h"
#include "platform/hooks.h"
#include "settings/settings.h"

namespace ops {

namespace {

constexpr int kResponsiveSteps = 30;
constexpr int kResponsiveSleepMs = 1;

constexpr std::array<Control, 8> kTestLockedControls = {
    Control::btnExit,     Control::btnScan,   Control::btnFactory, Control::btnID,
    Control::btnBaudRate, Control::btnStatus, Control::btnPrint,   Control::gbDefault,
};

void setTestControlsEnabled(ModuleView &view, bool enabled)
{
    for (Control c : kTestLockedControls)
        view.setControlEnabled(c, enabled);
    for (int language = 0; language < kLanguageCount; ++language)
        view.setLanguageButtonEnabled(language, enabled);
}

// One pass of the continuous test; false when one of its commands failed.
bool printTestPass()
{
    for (int i = 0; i < kResponsiveSteps; ++i) {
        platform::PumpMessages();
        platform::SleepMs(kResponsiveSleepMs);
    }
    platform::SleepMs(kPacingMs);
    if (!SendCommand(cmd::printTestLine()))
        return false;
    platform::SleepMs(kPacingMs);
    return SendCommand(cmd::lineEnd());
}

} // namespace

QString printableText(const QString &text)
{
    QString out = text;
    for (QChar &c : out)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u' ';
    return out;
}

std::string printTextBytes(const QString &text, int *replaced)
{
    return platform::toCodePage(printableText(text).toStdString(), PrintCodePage, replaced);
}

PrintTextSent printTextSent(const QString &typed)
{
    // Trimmed in UTF-8, whose bytes of 32 and below are exactly those characters; a code page
    // the printer can use keeps them so (platform::codePageUsable).
    const std::string utf8 = cmd::trimControl(printableText(typed).toStdString());
    PrintTextSent sent;
    sent.text = QString::fromStdString(utf8);
    sent.bytes = platform::toCodePage(utf8, PrintCodePage, &sent.replaced);
    return sent;
}

std::string statusText(const std::string &c)
{
    if (c == "O") return "Print ok.";
    if (c == "P") return "Print paper out!";
    if (c == "E") return "Print error!";
    if (c == "N") return "Print no select!";
    if (c == "B") return "Print busy!";
    if (c == "F") return "Buffer full!";
    return {};
}

std::string printCodePageName()
{
    return PrintCodePage.empty() ? platform::systemCodePage() : PrintCodePage;
}

void getPrintStatus(ModuleView &view)
{
    FramedOperation op;
    op.body = [&view](const std::string &) {
        const serial::Reply status = serial::exchange(cmd::printerStatus());
        if (!status.verified)
            return false;
        const std::string text = statusText(cmd::statusChar(status.text));
        if (!text.empty())
            view.showReading(Reading::Status, QString::fromLatin1(text));
        return true;
    };
    op.okEntry = Text::StatusOk;
    op.errorEntry = Text::StatusError;
    runFramed(view, op);
}

void printText(ModuleView &view)
{
    // Once the module has acknowledged the text it holds it: a try after a lost line-end reply
    // sends only the line end, or the paper would carry the text twice.
    bool textHeld = false;
    FramedOperation op;
    op.body = [&view, &textHeld](const std::string &) {
        if (!textHeld) {
            if (!SendCommand(cmd::printText(printTextSent(view.printText()).bytes)))
                return false;
            textHeld = true;
            platform::SleepMs(kPacingMs);
        }
        // Without the line end the text waits in the printer unprinted: not a success.
        return SendCommand(cmd::lineEnd());
    };
    op.okEntry = Text::PrintOk;
    op.errorEntry = Text::PrintError;
    runFramed(view, op);
}

void processTest(ModuleView &view)
{
    if (!ModuleFound) {
        view.setPanelText(Field::Msg, view.uiText(Text::StartScan));
        platform::Tone(kBadToneHz, kToneMs);
        return;
    }
    // Further activations arrive here nested inside the running test's message handling. The
    // first asks the test to stop; later ones find it stopping and leave it so. None may start
    // a test of its own: it would open the port the running test holds.
    if (runState.testHoldsControls) {
        ProcessRunning = false;
        return;
    }

    runState.testHoldsControls = true;
    ProcessRunning = true;
    const QString caption = view.processCaption();
    view.setProcessCaption(view.uiText(Text::CancelProcess));
    setTestControlsEnabled(view, false);

    const serial::OpenResult port = serial::defaultLink.open(ScanCommNo, ScanBaudRate);
    if (port.opened()) {
        view.SetBusy(true);
        view.setWindowEnabled(true);   // the test's own button has to stay usable
        bool failed = false;
        while (ProcessRunning && !failed) {
            failed = !printTestPass();
            if (!failed)
                view.processLinePrinted();
        }
        view.SetBusy(false);
        // A failed command decides the outcome even when a stop came in the same pass. The
        // message goes with the lamp: left as it was, it would tell of an earlier operation.
        signalResult(view, !failed, view.uiText(failed ? Text::PrintError : Text::PrintOk));
        CloseComm();
    } else {
        view.setLamp(LampColour::Red);
        view.setPanelText(Field::Msg, view.uiText(Text::OpenCom) + QStringLiteral(" : ")
                                          + portAfterCom(ScanCommNo)
                                          + QStringLiteral(" ") + view.uiText(Text::Error));
        platform::Tone(kBadToneHz, kToneMs);
        view.portNotOpened(openFailureText(serial::portLabel(ScanCommNo), port));
    }

    // Activations made while the test was ending are handled now, while it still counts as
    // running, so none of them starts a new test once the controls are back.
    platform::PumpMessages();
    ProcessRunning = false;
    setTestControlsEnabled(view, true);
    view.setProcessCaption(caption);
    runState.testHoldsControls = false;
}

} // namespace ops
