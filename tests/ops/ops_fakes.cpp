#include "ops_fakes.h"

#include <algorithm>

#include "ops/state.h"
#include "settings/settings.h"

namespace opstest {

namespace {

const char *panelName(ops::Field p)
{
    switch (p) {
    case ops::Field::Msg: return "msg";
    case ops::Field::Serial: return "serial";
    case ops::Field::Version: return "version";
    case ops::Field::Id: return "id";
    case ops::Field::Status: return "status";
    }
    return "?";
}

const char *controlName(ops::Control c)
{
    switch (c) {
    case ops::Control::btnExit: return "btnExit";
    case ops::Control::btnScan: return "btnScan";
    case ops::Control::btnFactory: return "btnFactory";
    case ops::Control::btnID: return "btnID";
    case ops::Control::btnBaudRate: return "btnBaudRate";
    case ops::Control::btnStatus: return "btnStatus";
    case ops::Control::btnPrint: return "btnPrint";
    case ops::Control::gbDefault: return "gbDefault";
    }
    return "?";
}

} // namespace

FakeView::FakeView()
{
    panels[ops::Field::Msg] = "Start Scan Module!";
    panels[ops::Field::Serial] = "S/N : ________";
    panels[ops::Field::Version] = "VER : __.__-__";
    panels[ops::Field::Id] = "__";
    panels[ops::Field::Status] = "";
}

void FakeView::setPanelText(ops::Field panel, const QString &t)
{
    panels[panel] = t;
    log << QString("%1:%2").arg(panelName(panel), t);
}

QString FakeView::panelText(ops::Field panel) const { return panels.at(panel); }

void FakeView::showReading(ops::Reading reading, const QString &value)
{
    switch (reading) {
    case ops::Reading::Serial: setPanelText(ops::Field::Serial, uiText(Text::SerialNumber) + " : " + value); break;
    case ops::Reading::Version: setPanelText(ops::Field::Version, uiText(Text::Version) + " : " + value); break;
    case ops::Reading::Id: setPanelText(ops::Field::Id, value); break;
    case ops::Reading::Status: setPanelText(ops::Field::Status, value); break;
    }
}

void FakeView::clearReadings()
{
    setPanelText(ops::Field::Serial, uiText(Text::SerialNumber) + " : ________");
    setPanelText(ops::Field::Version, uiText(Text::Version) + " : __.__-__");
    setPanelText(ops::Field::Id, "__");
}

void FakeView::setLamp(ops::LampColour colour)
{
    lamp = colour == ops::LampColour::Red ? "red" : "yellow";
    log << "lamp:" + lamp;
}

void FakeView::setWindowEnabled(bool enabled)
{
    windowEnabled = enabled;
    log << (enabled ? "window:on" : "window:off");
}

void FakeView::setBusyCursor(bool b)
{
    busyCursor = b;
    log << (b ? "cursor:busy" : "cursor:default");
}

void FakeView::SetBusy(bool b)
{
    busy = b;
    windowEnabled = !b;
    log << (b ? "busy:on" : "busy:off");
}

void FakeView::selectBaudRate(int index)
{
    selected = index;
    log << QString("combo:%1").arg(index);
}

void FakeView::setIdPosition(int position)
{
    const int clamped = std::clamp(position, 1, 99);
    log << QString("sbID:%1").arg(clamped);
    if (clamped != idPosition) {
        idPosition = clamped;
        setPanelText(ops::Field::Id, QString::asprintf("%02d", clamped));
    }
}

QString FakeView::printText() const { return textSource ? textSource() : text; }

QString FakeView::uiText(Text entry) const
{
    return textIn(entry, 0);
}

void FakeView::setControlEnabled(ops::Control control, bool enabled)
{
    log << QString("%1:%2").arg(controlName(control), enabled ? "on" : "off");
}

void FakeView::setLanguageButtonEnabled(int language, bool enabled)
{
    log << QString("%1:%2").arg(QLatin1String(kLanguages[language].button), enabled ? "on" : "off");
}

void FakeView::setProcessCaption(const QString &t)
{
    caption = t;
    log << "caption:" + t;
}

QStringList FakeView::events(const QStringList &kinds) const
{
    QStringList out;
    for (const QString &e : log)
        for (const QString &k : kinds)
            if (e.startsWith(k + ":")) {
                out << e;
                break;
            }
    return out;
}

FakeModule::FakeModule(testsupport::FakePort &port) : m_port(port)
{
    m_port.onFrame = [this](const std::vector<unsigned char> &frame) { answer(frame); };
}

std::vector<std::string> FakeModule::commands() const
{
    std::vector<std::string> out;
    for (const auto &r : received)
        out.push_back(r.command);
    return out;
}

std::vector<unsigned char> FakeModule::replyFrame(const std::string &characters)
{
    std::vector<unsigned char> out{0x0A};
    unsigned char sum = 0x0A;
    for (unsigned char c : characters) {
        out.push_back(c);
        sum ^= c;
    }
    const char *digits = "0123456789ABCDEF";
    out.push_back(static_cast<unsigned char>(digits[sum >> 4]));
    out.push_back(static_cast<unsigned char>(digits[sum & 0x0F]));
    out.push_back(0x0D);
    return out;
}

void FakeModule::answer(const std::vector<unsigned char> &frame)
{
    // 09, command, two digits, 0D.
    if (frame.size() < 4)
        return;
    const std::string command(frame.begin() + 1, frame.end() - 3);
    const std::string dev = m_port.opened.empty() ? std::string() : m_port.opened.back();
    const std::string set = m_port.settings.empty() ? std::string() : m_port.settings.back();
    received.push_back({dev, set, command});
    if (onCommand)
        onCommand(command);
    if (!plugged || dev != device || set != settings)
        return;

    for (auto &[prefix, count] : silentNext)
        if (count > 0 && command.rfind(prefix, 0) == 0) {
            --count;
            return;
        }
    for (auto &[prefix, replies] : replyNext)
        if (!replies.empty() && command.rfind(prefix, 0) == 0) {
            const std::string r = replies.front();
            replies.erase(replies.begin());
            m_port.queue(replyFrame(r));
            return;
        }

    std::string chars;
    if (command == "E00B")
        chars = "B" + id + "-" + serial;
    else if (command == "E00V") {
        if (!answerVersion)
            return;
        chars = "V00-" + version;
    } else if (command == "E00F")
        chars = "F00-" + status;
    else
        chars = "K00";
    m_port.queue(replyFrame(chars));
}

Fixture::Fixture(std::set<int> p) : ports(std::move(p))
{
    m_hooks = std::make_unique<platform::HooksGuard>(platform::Hooks{
        {},
        {},
        [this] {
            ++pumps;
            if (onPump)
                onPump();
        },
        [this](int hz, int ms) {
            tones.emplace_back(hz, ms);
            view.log << QString("tone:%1").arg(hz);
        },
    });
    m_seams = std::make_unique<serial::SeamsGuard>(serial::Seams{
        nullptr, [this](int n) { return ports.count(n) ? "COM" + std::to_string(n) : std::string(); }});
    ops::runState.reset();
}

Fixture::~Fixture()
{
    m_seams.reset();
    m_hooks.reset();
    ops::runState.reset();
}

std::vector<std::uint32_t> Fixture::sleeps() const
{
    std::vector<std::uint32_t> out;
    for (const auto &t : link.port.trace)
        if (t.kind == testsupport::TraceEntry::Sleep)
            out.push_back(t.ms);
    return out;
}

void moduleKnown()
{
    ModuleFound = true;
    ScanCommNo = 3;
    ScanBaudRate = "19200,e,8,1";
    ScanBaudRateNo = 5;
}

} // namespace opstest
