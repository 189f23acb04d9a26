#pragma once
// What the operation tests drive the operations with: a recording ModuleView, a scripted
// module answering on the fake port, and a fixture installing both with a tone recorder.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ops/module_view.h"
#include "support/fake_port.h"

namespace opstest {

// Records every call in order in log, e.g. "cursor:busy", "window:off", "msg:Scan Module ....".
class FakeView final : public ops::ModuleView {
public:
    FakeView();

    void setPanelText(ops::Field panel, const QString &text) override;
    QString panelText(ops::Field panel) const override;
    // Shown as the window shows them, in the panels and the log.
    void showReading(ops::Reading reading, const QString &value) override;
    void clearReadings() override;
    void setLamp(ops::LampColour colour) override;
    void setWindowEnabled(bool enabled) override;
    void setBusyCursor(bool busy) override;
    void SetBusy(bool busy) override;
    void selectBaudRate(int index) override;
    int selectedBaudRate() const override { return selected; }
    void setIdPosition(int position) override;
    bool lockChecked() const override { return lock; }
    QString printText() const override;
    QString uiText(Text entry) const override;
    void setControlEnabled(ops::Control control, bool enabled) override;
    void setLanguageButtonEnabled(int language, bool enabled) override;
    QString processCaption() const override { return caption; }
    void setProcessCaption(const QString &text) override;
    void portNote(const QString &note) override { log << "note:" + note; }

    QStringList log;
    std::map<ops::Field, QString> panels;
    QString lamp = "red";
    bool windowEnabled = true;
    bool busyCursor = false;
    bool busy = false;
    int selected = 5;
    int idPosition = 1;
    bool lock = true;
    QString text = "VOREX PRINT TEST.";
    std::function<QString()> textSource;   // when set, read on every printText()
    QString caption = "Process Print";

    // Only the entries named here (tone, lamp, msg, ...) from the log.
    QStringList events(const QStringList &kinds) const;
};

// One command the module received: where it was open and what it said.
struct Received {
    std::string device;
    std::string settings;
    std::string command;
};

// A module on the fake port at one device and line setting.
class FakeModule {
public:
    explicit FakeModule(testsupport::FakePort &port);

    std::string device = "COM3";
    std::string settings = "19200,e,8,1";
    std::string serial = "A1B2C3D4";
    std::string id = "07";
    std::string version = "03.20-01";
    std::string status = "O";
    bool plugged = true;
    bool answerVersion = true;
    // Commands whose next n frames get no answer (by command text prefix).
    std::map<std::string, int> silentNext;
    // Replies (reply characters only) used instead of the normal ones, for the next frames.
    std::map<std::string, std::vector<std::string>> replyNext;
    // Called when a frame arrives, before it is answered.
    std::function<void(const std::string &command)> onCommand;

    std::vector<Received> received;
    std::vector<std::string> commands() const;   // texts only

    // A reply frame: 0A, the characters, checksum digits, 0D.
    static std::vector<unsigned char> replyFrame(const std::string &characters);

private:
    void answer(const std::vector<unsigned char> &frame);
    testsupport::FakePort &m_port;
};

// The fake link, a resolver reaching only the numbers given, a tone recorder writing into the
// view's log, a pump hook, and the run flags and settings reset to the state after start-up.
class Fixture {
public:
    explicit Fixture(std::set<int> ports = {3});
    ~Fixture();

    testsupport::FakeLink link;
    FakeView view;
    FakeModule module{link.port};
    std::vector<std::pair<int, int>> tones;
    std::function<void()> onPump;
    int pumps = 0;
    std::set<int> ports;

    // Sleeps from the port trace.
    std::vector<std::uint32_t> sleeps() const;

private:
    std::unique_ptr<platform::HooksGuard> m_hooks;
    std::unique_ptr<serial::SeamsGuard> m_seams;
};

// The state a successful scan leaves: the module found on COM3 at 19200,e,8,1.
void moduleKnown();

} // namespace opstest
