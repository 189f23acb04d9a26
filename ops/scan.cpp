// btnScanClick: the quick check at the remembered port, the search over COM1-COM16 and the
// twelve line settings, then the version read that opens the gate.

#include "link/comm.h"
#include "link/commands.h"
#include "link/frame.h"
#include "link/seams.h"
#include "ops/frame.h"
#include "ops/operations.h"
#include "ops/port_messages.h"
#include "ops/side_by_side.h"
#include "ops/state.h"
#include "ops/visible_text.h"
#include "platform/hooks.h"
#include "settings/settings.h"

#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace ops {

namespace {

constexpr int kQuickCheckTries = 3;

// The remembered index, kept inside BaudRateList whatever the store held.
int rememberedBaudRateNo()
{
    return (ScanBaudRateNo >= 0 && ScanBaudRateNo < kBaudRateCount) ? ScanBaudRateNo : kDefaultBaudRateNo;
}

// The info reply of the first of tries presence tests that is answered.
std::optional<std::string> askInfo(int tries)
{
    for (int t = 0; t < tries; ++t)
        if (std::optional<std::string> info = presenceTest())
            return info;
    return std::nullopt;
}

// "#" stands for a number; a port named by its device path shows the path alone.
QString portSuffix(int port)
{
    return (port == serial::kDevicePathPort ? QStringLiteral(" : ") : QStringLiteral(" : #")) + portAfterCom(port);
}

// Ports the scan could not open for a reason a technician can act on (busy, no permission), and
// ports that went away while the scan used them; a missing device is the normal case of a
// search and not told.
class UnopenedPorts {
public:
    void note(int port, const serial::OpenResult &r)
    {
        if (r.failure == serial::OpenFailure::None || r.failure == serial::OpenFailure::Missing
            || r.failure == serial::OpenFailure::NoDevice || m_reasons.count(port))
            return;
        m_reasons[port] = QStringLiteral(" not searched: ") + openFailureText(serial::portLabel(port), r);
    }
    // After the port's exchanges, once it is closed again.
    void noteIfGone(int port, const std::string &device)
    {
        if (serial::defaultLink.wentAway())
            m_reasons[port] = QStringLiteral(": ") + wentAwayText(device);
    }
    // One stderr line each, for a scan that did not end with the module's version.
    void tell() const
    {
        for (const auto &[port, reason] : m_reasons) {
            const QString line = QStringLiteral("Scan Module: ") + visibleBytes(serial::portLabel(port)) + reason;
            std::fprintf(stderr, "%s\n", localBytes(line).c_str());
        }
    }

private:
    std::map<int, QString> m_reasons;
};

bool isTwoDigits(const std::string &id)
{
    return id.size() == 2 && id[0] >= '0' && id[0] <= '9' && id[1] >= '0' && id[1] <= '9';
}

// Each way of finding the module gives the info reply that found it.
std::optional<std::string> quickCheck(ModuleView &view, UnopenedPorts &unopened)
{
    view.selectBaudRate(rememberedBaudRateNo());
    const serial::OpenResult opened = serial::defaultLink.open(ScanCommNo, ScanBaudRate);
    if (!opened.opened()) {
        unopened.note(ScanCommNo, opened);
        return std::nullopt;
    }
    notePort(view, opened, ScanBaudRate);
    view.setPanelText(Field::Msg, view.uiText(Text::ScanCom) + portSuffix(ScanCommNo));
    std::optional<std::string> info = askInfo(kQuickCheckTries);
    CloseComm();
    unopened.noteIfGone(ScanCommNo, opened.device);
    return info;
}

std::optional<std::string> search(ModuleView &view, UnopenedPorts &unopened)
{
    for (int port = kFirstSearchPort; port <= kLastSearchPort; ++port) {
        for (int index = 0; index < kBaudRateCount; ++index) {
            // The lock box is read at every step: the user sees the search as it goes.
            const bool locked = view.lockChecked();
            if (locked)
                index = rememberedBaudRateNo();
            const std::string settings = BaudRateList[static_cast<std::size_t>(index)];
            view.selectBaudRate(index);
            const serial::OpenResult opened = serial::defaultLink.open(port, settings);
            if (!opened.opened()) {
                unopened.note(port, opened);
                break;   // missing or busy: the next port
            }
            notePort(view, opened, settings);
            view.setPanelText(Field::Msg, view.uiText(Text::ScanCom) + portSuffix(port));
            std::optional<std::string> info = askInfo(kSearchTries);
            if (info) {
                ScanCommNo = port;
                ScanBaudRate = settings;
                ScanBaudRateNo = index;
                SaveScanSettings();
            }
            CloseComm();
            unopened.noteIfGone(port, opened.device);
            if (info)
                return info;
            if (locked)
                break;
        }
    }
    return std::nullopt;
}

// Shows S/N and ID from the info reply that found the module, then reads the version.
bool readModuleInfo(ModuleView &view, const std::string &infoReply, UnopenedPorts &unopened)
{
    view.selectBaudRate(rememberedBaudRateNo());
    view.showReading(Reading::Serial, QString::fromLatin1(cmd::infoSerial(infoReply)));
    const std::string id = cmd::infoId(infoReply);
    view.showReading(Reading::Id, QString::fromLatin1(id));
    // Anything but two digits stays shown as received; the scroll bar is left where it is.
    if (isTwoDigits(id))
        view.setIdPosition((id[0] - '0') * 10 + (id[1] - '0'));

    bool versionRead = false;
    const serial::OpenResult opened = serial::defaultLink.open(ScanCommNo, ScanBaudRate);
    if (opened.opened()) {
        for (int t = 0; t < kVersionTries && !versionRead; ++t) {
            platform::SleepMs(kPacingMs);
            const serial::Reply version = serial::exchange(cmd::firmwareVersion());
            if (!version.verified)
                continue;
            view.showReading(Reading::Version, QString::fromLatin1(cmd::versionText(version.text)));
            versionRead = true;
            view.setPanelText(Field::Msg, view.uiText(Text::InfoOk) + portSuffix(ScanCommNo) + QStringLiteral(")"));
            ModuleFound = true;
        }
        CloseComm();
        unopened.noteIfGone(ScanCommNo, opened.device);
    }
    return versionRead;
}


void runScan(ModuleView &view, const std::function<std::optional<std::string>(UnopenedPorts &)> &searchPorts)
{
    view.setBusyCursor(true);
    platform::PumpMessages();
    view.SetBusy(true);

    view.setPanelText(Field::Msg, view.uiText(Text::ScanModule) + QStringLiteral(" ...."));
    view.clearReadings();
    platform::PumpMessages();

    ModuleFound = false;
    std::optional<std::string> info;
    UnopenedPorts unopened;
    if (ScanCommNo > 0)
        info = quickCheck(view, unopened);
    if (!info)
        info = searchPorts(unopened);

    if (info) {
        if (readModuleInfo(view, *info, unopened)) {
            view.SetBusy(false);
            view.setLamp(LampColour::Yellow);
            platform::Tone(kGoodToneHz, kToneMs);
        } else {
            view.setPanelText(Field::Msg, view.uiText(Text::InfoError) + portSuffix(ScanCommNo) + QStringLiteral(")"));
            unopened.tell();
            view.SetBusy(false);
            view.setLamp(LampColour::Red);
            platform::Tone(kBadToneHz, kToneMs);
        }
    } else {
        view.SetBusy(false);
        view.setLamp(LampColour::Red);
        view.selectBaudRate(kDefaultBaudRateNo);
        view.setPanelText(Field::Msg, view.uiText(Text::NotFound));
        unopened.tell();
        platform::Tone(kBadToneHz, kToneMs);
    }

    view.setBusyCursor(false);
}

// The side-by-side search's answer, taken as the one-at-a-time search takes its own.
std::optional<std::string> sideBySideAnswer(ModuleView &view, const std::function<void(const PortSearch &)> &finished)
{
    std::vector<int> indexes;
    if (view.lockChecked())
        indexes.push_back(rememberedBaudRateNo());
    else
        for (int index = 0; index < kBaudRateCount; ++index)
            indexes.push_back(index);
    const std::optional<PortSearch> answer = ops::searchSideBySide(kFirstSearchPort, kLastSearchPort, indexes, finished);
    if (!answer)
        return std::nullopt;
    ScanCommNo = answer->port;
    ScanBaudRateNo = answer->index;
    ScanBaudRate = BaudRateList[static_cast<std::size_t>(answer->index)];
    SaveScanSettings();
    return answer->infoReply;
}

} // namespace

void scanModule(ModuleView &view)
{
    runScan(view, [&view](UnopenedPorts &unopened) { return search(view, unopened); });
}

void scanModuleSideBySide(ModuleView &view, const std::function<void(const PortSearch &)> &finished)
{
    runScan(view, [&view, &finished](UnopenedPorts &) { return sideBySideAnswer(view, finished); });
}

} // namespace ops
