// The operations end to end: the real window offscreen, telmax-sim on pseudo-terminals
// reached through chosen COM numbers, a temporary settings store and a tone recorder.

#include <QtTest>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include <functional>
#include <map>
#include <utility>
#include <memory>
#include <vector>

#include "app/frm_module.h"
#include "app/widgets.h"
#include "ops/state.h"
#include "settings/settings.h"
#include "platform/hooks.h"
#include "support/sim_fixture.h"
#include "support/temporary_store.h"

using testsupport::SimPorts;
using testsupport::SimProcess;
using testsupport::processStore;

namespace {

QStringList textsOf(const QList<QJsonObject> &frames)
{
    QStringList out;
    for (const QJsonObject &o : frames)
        out << o.value("text").toString();
    return out;
}

QStringList receivedTexts(const SimProcess &sim) { return textsOf(sim.received()); }

// Runs act once, at the first handling of events at which the condition holds (looked at every
// few milliseconds), or after 10 s at the latest: a fault then fails the test, not hangs it.
class OnceWhen {
public:
    OnceWhen(std::function<bool()> condition, std::function<void()> act)
        : m_condition(std::move(condition)), m_act(std::move(act))
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (m_since.hasExpired(10000) || m_condition()) {
                m_timer.stop();
                m_act();
            }
        });
        m_since.start();
        m_timer.start();
    }

private:
    std::function<bool()> m_condition;
    std::function<void()> m_act;
    QTimer m_timer;
    QElapsedTimer m_since;
};

// The continuous test is running once the module has printed its first line.
bool printedALine(const SimProcess &sim) { return sim.paper().contains("VOREX PRINT TEST.\r\n"); }

// One window with its tone recorder and message pump, for one test.
struct Session {
    std::vector<int> tones;
    std::function<void()> onTone;   // runs inside the tone, when no messages are handled
    platform::HooksGuard hooks{platform::Hooks{{}, {}, [] { QCoreApplication::processEvents(); }, [this](int hz, int) {
                                                   tones.push_back(hz);
                                                   if (onTone)
                                                       std::exchange(onTone, nullptr)();
                                               }}};
    std::unique_ptr<TfrmModule> window;

    Session()
    {
        window = std::make_unique<TfrmModule>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    template <typename T = QWidget> T *w(const char *name) const
    {
        T *found = window->findChild<T *>(QLatin1String(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    QString text(const char *panel) const { return w<QLabel>(panel)->text(); }
    QString lamp() const
    {
        const QColor c = w<Shape>("shComm")->fill();
        return c == QColor(255, 255, 0) ? "yellow" : c == QColor(255, 0, 0) ? "red" : c.name();
    }
    void click(const char *name) { QTest::mouseClick(w<QWidget>(name), Qt::LeftButton); }

    QStringList lockedControls() const
    {
        return {"btnExit", "btnScan", "btnFactory", "btnID", "btnBaudRate", "btnStatus",
                "btnPrint", "gbDefault", "btnEng", "btnGB", "btnBIG5"};
    }
    // Names of the eleven controls that are enabled.
    QStringList enabledOf(const QStringList &names) const
    {
        QStringList out;
        for (const QString &n : names)
            if (w<QWidget>(qPrintable(n))->isEnabled())
                out << n;
        return out;
    }
};

// A click the window system has queued and not yet delivered.
void queueClick(QWidget *widget)
{
    const QPointF at = QRectF(widget->rect()).center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(widget, new QMouseEvent(type, at, widget->mapToGlobal(at), Qt::LeftButton,
                                                            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                            Qt::NoModifier));
}

// Descriptors of this process open on a device.
int descriptorsOn(const std::string &device)
{
    int count = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot))
        if (fd.symLinkTarget() == QString::fromStdString(device))
            ++count;
    return count;
}

} // namespace

class TestOpsE2e : public QObject {
    Q_OBJECT

private:
    static void remember(int port, int index, const QString &settings)
    {
        processStore().setValue("ScanCommNo", port);
        processStore().setValue("ScanBaudRateNo", index);
        if (!settings.isEmpty())
            processStore().setValue("ScanBaudRate", settings);
    }

    // A module on COM3 found by the quick check.
    static void scanAtCom3(Session &s)
    {
        remember(3, 5, "19200,e,8,1");
        s.window = std::make_unique<TfrmModule>();
        s.window->show();
        s.click("btnScan");
        QCOMPARE(s.text("pnMsg"), QString("Get Module Info Ok. (COM : #3)"));
        s.tones.clear();
    }

private slots:
    void init() { processStore().clear(); }

    void gateBeforeAnyScan()
    {
        TELMAX_START_SIM(sim, 3);
        remember(3, 5, "19200,e,8,1");
        Session s;
        for (const char *b : {"btnID", "btnBaudRate", "btnFactory", "btnStatus", "btnPrint"}) {
            s.click(b);
            QCOMPARE(s.text("pnMsg"), QString("Start Scan Module!"));
            QCOMPARE(s.lamp(), QString("red"));
            QVERIFY(s.window->isEnabled());
        }
        QCOMPARE(s.tones, std::vector<int>({300, 300, 300, 300, 300}));
        const auto frames = sim.receivedUntilNow();
        QVERIFY(frames);
        QVERIFY(frames->isEmpty());
    }

    void quickCheckFound()
    {
        TELMAX_START_SIM(sim, 3, {"--id", "07", "--serial", "AB123456", "--firmware", "03.20-01"});
        remember(3, 5, {});   // no "ScanBaudRate" value: a write would show
        Session s;
        s.click("btnScan");

        QCOMPARE(s.text("pnMsg"), QString("Get Module Info Ok. (COM : #3)"));
        QCOMPARE(s.text("pnSerial"), QString("S/N : AB123456"));
        QCOMPARE(s.text("pnID"), QString("07"));
        QCOMPARE(s.w<QScrollBar>("sbID")->value(), 7);
        QCOMPARE(s.text("pnVersion"), QString("VER : 03.20-01"));
        QCOMPARE(s.lamp(), QString("yellow"));
        QCOMPARE(s.tones, std::vector<int>({1000}));
        QVERIFY(s.window->isEnabled());
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(receivedTexts(sim), QStringList({"E00B", "E00V"}));
        QVERIFY(!processStore().value("ScanBaudRate").isValid());
    }

    // An S/N and a version holding control bytes went into the panels as they came.
    void textFromTheLineShownVisible()
    {
        TELMAX_START_SIM(sim, 3, {"--serial", "TQ\x1b[2J45", "--firmware", "\x1b]2;pwn\a"});
        remember(3, 5, "19200,e,8,1");
        Session s;
        s.click("btnScan");
        QCOMPARE(s.text("pnSerial"), QString("S/N : TQ\\x1b[2J45"));
        QCOMPARE(s.text("pnVersion"), QString("VER : \\x1b]2;pwn\\x07"));
    }

    void searchWithLockBox_data()
    {
        QTest::addColumn<bool>("lock");
        QTest::addColumn<bool>("found");
        QTest::newRow("lock off: found") << false << true;
        QTest::newRow("lock on: remembered setting only") << true << false;
    }

    void searchWithLockBox()
    {
        QFETCH(bool, lock);
        QFETCH(bool, found);
        // The module sits at 9600 on COM4; the remembered COM2 names no device.
        TELMAX_START_SIM(sim, 4, {"--line", "2", "--serial", "SN000004"});
        remember(2, 5, "19200,e,8,1");
        Session s;
        s.w<QCheckBox>("chkLock")->setChecked(lock);
        s.click("btnScan");

        if (found) {
            QCOMPARE(s.text("pnMsg"), QString("Get Module Info Ok. (COM : #4)"));
            QCOMPARE(s.text("pnSerial"), QString("S/N : SN000004"));
            QCOMPARE(s.w<QComboBox>("cmbBaudRate")->currentIndex(), 2);
            QCOMPARE(processStore().value("ScanCommNo").toInt(), 4);
            QCOMPARE(processStore().value("ScanBaudRateNo").toInt(), 2);
            QCOMPARE(processStore().value("ScanBaudRate").toString(), QString("9600,n,8,1"));
            // Tried in list order: two probes at each 4800 setting, then 9600.
            QList<int> bauds;
            for (const QJsonObject &o : sim.received())
                bauds << o.value("baud").toInt();
            QCOMPARE(bauds, QList<int>({4800, 4800, 4800, 4800, 9600, 9600}));
            QCOMPARE(s.lamp(), QString("yellow"));
        } else {
            QCOMPARE(s.text("pnMsg"), QString("Module Not Find"));
            QCOMPARE(s.w<QComboBox>("cmbBaudRate")->currentIndex(), 5);
            QCOMPARE(processStore().value("ScanCommNo").toInt(), 2);
            QVERIFY(sim.waitForLog([](const QList<QJsonObject> &l) { return l.size() >= 2; }));
            for (const QJsonObject &o : sim.received())
                QCOMPARE(o.value("baud").toInt(), 19200);
            QCOMPARE(s.tones, std::vector<int>({300}));
        }
    }

    void infoWithoutVersion()
    {
        TELMAX_START_SIM(sim, 4, {"--no-version", "--serial", "NOVER123", "--id", "12"});
        Session s;   // nothing remembered: straight to the search, lock box on at 19200,e
        s.click("btnScan");

        QCOMPARE(s.text("pnMsg"), QString("Get Module Info Error. (COM : #4)"));
        QCOMPARE(s.text("pnSerial"), QString("S/N : NOVER123"));
        QCOMPARE(s.text("pnID"), QString("12"));
        QCOMPARE(s.text("pnVersion"), QString("VER : __.__-__"));
        QCOMPARE(s.lamp(), QString("red"));
        QCOMPARE(s.tones, std::vector<int>({300}));
        QCOMPARE(processStore().value("ScanCommNo").toInt(), 4);
        s.click("btnStatus");
        QCOMPARE(s.text("pnMsg"), QString("Start Scan Module!"));
    }

    void notFound()
    {
        SimPorts ports(std::map<int, std::string>{});
        remember(0, 2, "9600,n,8,1");
        Session s;
        QCOMPARE(s.w<QComboBox>("cmbBaudRate")->currentIndex(), 2);
        s.w<QCheckBox>("chkLock")->setChecked(false);
        s.click("btnScan");
        QCOMPARE(s.text("pnMsg"), QString("Module Not Find"));
        QCOMPARE(s.w<QComboBox>("cmbBaudRate")->currentIndex(), 5);
        QCOMPARE(s.text("pnSerial"), QString("S/N : ________"));
        QCOMPARE(s.lamp(), QString("red"));
        QCOMPARE(s.tones, std::vector<int>({300}));
        QVERIFY(s.window->isEnabled());
        QVERIFY(!QApplication::overrideCursor());
    }

    void blinkPhaseCarriesOver()
    {
        TELMAX_START_SIM(sim, 3, {"--silent"});
        remember(3, 5, "19200,e,8,1");
        Session s;
        auto *timer = s.w<QTimer>("tmrBusy");
        QStringList colours;
        connect(timer, &QTimer::timeout, s.window.get(), [&] { colours << s.lamp(); });

        s.click("btnScan");   // 3 + 2 silent probes, over half a second
        const int firstRun = int(colours.size());
        QVERIFY(firstRun >= 1);
        for (int i = 0; i < firstRun; ++i)
            QCOMPARE(colours[i], QString(i % 2 == 0 ? "red" : "yellow"));
        QVERIFY(!timer->isActive());
        QCOMPARE(s.lamp(), QString("red"));   // the result, whatever the last tick painted

        s.click("btnScan");
        QVERIFY(colours.size() > firstRun);
        QCOMPARE(colours[firstRun], QString(firstRun % 2 == 0 ? "red" : "yellow"));
        QCOMPARE(timer->property("Tag").toInt(), int(colours.size() % 2));
    }

    void setIdSendsSerialAndPosition()
    {
        TELMAX_START_SIM(sim, 3, {"--serial", "AB123456", "--id", "07"});
        Session s;
        scanAtCom3(s);
        s.w<QScrollBar>("sbID")->setValue(42);
        QCOMPARE(s.text("pnID"), QString("42"));
        s.click("btnID");
        QCOMPARE(s.text("pnMsg"), QString("Set Module ID Ok"));
        QCOMPARE(s.lamp(), QString("yellow"));
        QCOMPARE(s.tones, std::vector<int>({1000}));
        QCOMPARE(receivedTexts(sim).mid(2), QStringList({"E00B", "E00CAB12345642"}));
    }

    void baudChangeThenNextOperation()
    {
        TELMAX_START_SIM(sim, 3);
        Session s;
        scanAtCom3(s);
        s.w<QComboBox>("cmbBaudRate")->setCurrentIndex(8);
        s.click("btnBaudRate");
        QCOMPARE(s.text("pnMsg"), QString("Set Module BaudRate Ok"));
        s.click("btnStatus");
        QCOMPARE(s.text("pnMsg"), QString("Get Module Status Ok"));
        const QList<QJsonObject> rx = sim.received();
        QCOMPARE(rx.last().value("text").toString(), QString("E00F"));
        QCOMPARE(rx.last().value("baud").toInt(), 57600);
        // Only a scan stores.
        QCOMPARE(processStore().value("ScanBaudRateNo").toInt(), 5);
    }

    void factoryDefaultThenNextOperation()
    {
        // After Factory Default the window opened the port at the module's old line setting, so
        // every following operation failed until a new search.
        TELMAX_START_SIM(sim, 3, {"--line", "9"});
        remember(3, 9, "57600,e,8,1");
        Session s;
        s.click("btnScan");
        QCOMPARE(s.text("pnMsg"), QString("Get Module Info Ok. (COM : #3)"));
        s.click("btnFactory");
        QCOMPARE(s.text("pnMsg"), QString("Set Factory Default Ok"));
        s.click("btnStatus");
        QCOMPARE(s.text("pnMsg"), QString("Get Module Status Ok"));
        const QList<QJsonObject> rx = sim.received();
        QCOMPARE(rx.last().value("text").toString(), QString("E00F"));
        QCOMPARE(rx.last().value("baud").toInt(), 19200);
        // Only a scan stores.
        QCOMPARE(processStore().value("ScanBaudRateNo").toInt(), 9);
    }

    void factoryDefaultUnplugged()
    {
        TELMAX_START_SIM(sim, 3);
        Session s;
        scanAtCom3(s);
        s.w<QScrollBar>("sbID")->setValue(42);
        s.w<QComboBox>("cmbBaudRate")->setCurrentIndex(0);
        sim.stop();   // unplugged
        s.click("btnFactory");
        QCOMPARE(s.w<QScrollBar>("sbID")->value(), 1);
        QCOMPARE(s.text("pnID"), QString("01"));
        QCOMPARE(s.w<QComboBox>("cmbBaudRate")->currentIndex(), 5);
        QCOMPARE(s.text("pnMsg"), QString("Set Factory Default Error"));
        QCOMPARE(s.lamp(), QString("red"));
        QCOMPARE(s.tones, std::vector<int>({300}));
    }

    void firstPresenceTestLost()
    {
        // Replies 3, 6, ... are swallowed: the scan's two pass, the status query's first "E00B" is lost.
        TELMAX_START_SIM(sim, 3, {"--drop-every", "3", "--status", "B"});
        Session s;
        scanAtCom3(s);
        s.click("btnStatus");
        QCOMPARE(s.text("pnMsg"), QString("Get Module Status Ok"));
        QCOMPARE(s.text("pnStatus"), QString("Print busy!"));
        QCOMPARE(receivedTexts(sim).mid(2), QStringList({"E00B", "E00B", "E00F"}));
    }

    void statusTexts_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("shown");
        QTest::newRow("P") << "P" << "Print paper out!";
        QTest::newRow("F") << "F" << "Buffer full!";
        QTest::newRow("lower case o") << "o" << "";
        QTest::newRow("unknown") << "Z" << "";
    }

    void statusTexts()
    {
        QFETCH(QString, status);
        QFETCH(QString, shown);
        TELMAX_START_SIM(sim, 3, {"--status", status});
        Session s;
        scanAtCom3(s);
        s.click("btnStatus");
        QCOMPARE(s.text("pnStatus"), shown);
        QCOMPARE(s.text("pnMsg"), QString("Get Module Status Ok"));
        QCOMPARE(s.tones, std::vector<int>({1000}));
    }

    void printTrimsText()
    {
        TELMAX_START_SIM(sim, 3);
        Session s;
        scanAtCom3(s);
        s.w<QLineEdit>("edText")->setText(" \t abc def \t ");
        s.click("btnPrint");
        QCOMPARE(s.text("pnMsg"), QString("Print Text Ok"));
        QCOMPARE(receivedTexts(sim).mid(2), QStringList({"E00B", "E00Gabc def", "E00H0D0A"}));
        QCOMPARE(sim.paper(), QByteArray("abc def\r\n"));
    }

    // The text went out as UTF-8 whatever the printer reads: "中文" reached a GBK printer as six
    // bytes of other characters.
    void printInThePrintersCodePage()
    {
        TELMAX_START_SIM(sim, 3);
        processStore().setValue("PrintCodePage", "GBK");
        Session s;
        scanAtCom3(s);
        s.w<QLineEdit>("edText")->setText(QString::fromUtf8("中文한"));   // GBK has no Hangul
        s.click("btnPrint");
        QCOMPARE(s.text("pnMsg"), QString("Print Text Ok"));
        QCOMPARE(sim.paper(), QByteArray::fromHex("D6 D0 CE C4 3F 0D 0A"));
    }

    // A stop left the panel with the message of the operation before, even "Print Text Error",
    // under the yellow lamp.
    void processStopped_data()
    {
        QTest::addColumn<bool>("bySpace");
        QTest::newRow("mouse click") << false;
        QTest::newRow("space key") << true;
    }

    void processStopped()
    {
        QFETCH(bool, bySpace);
        TELMAX_START_SIM(sim, 3);
        Session s;
        scanAtCom3(s);
        auto *process = s.w<QPushButton>("btnProcess");
        process->setFocus();

        QStringList enabledDuring;
        QString captionDuring;
        bool windowEnabledDuring = false;
        const OnceWhen running([&] { return printedALine(sim); }, [&] {
            enabledDuring = s.enabledOf(s.lockedControls() + QStringList{"btnProcess", "sbID", "cmbBaudRate",
                                                                          "edText", "chkLock"});
            captionDuring = process->text();
            windowEnabledDuring = s.window->isEnabled();
            if (bySpace)
                QTest::keyClick(process, Qt::Key_Space);
            else
                QTest::mouseClick(process, Qt::LeftButton);
        });
        QTest::mouseClick(process, Qt::LeftButton);

        QCOMPARE(captionDuring, QString("Cancel Process Module(Space Key)"));
        QVERIFY(windowEnabledDuring);
        QCOMPARE(enabledDuring, QStringList({"btnProcess", "sbID", "cmbBaudRate", "edText", "chkLock"}));
        QCOMPARE(process->text(), QString("Process Print"));
        QCOMPARE(s.enabledOf(s.lockedControls()), s.lockedControls());
        QCOMPARE(s.lamp(), QString("yellow"));
        QCOMPARE(s.tones, std::vector<int>({1000}));
        QCOMPARE(s.text("pnMsg"), QString("Print Text Ok"));
        QVERIFY(!ProcessRunning);
        // Every pass printed its whole line, the one the stop arrived in included.
        const QByteArray paper = sim.paper();
        QVERIFY(paper.size() > 0);
        QCOMPARE(paper, QByteArray("VOREX PRINT TEST.\r\n").repeated(paper.count("VOREX PRINT TEST.\r\n")));
    }

    // Input made while an operation ran was delivered once the window was enabled again: a
    // click on Set Module ID during Get Status set the ID afterwards, and the second click of
    // a double click on Scan Module ran a second full scan.
    void inputDuringAnOperationIsDropped_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("clickedMeanwhile");
        QTest::addColumn<QStringList>("commands");
        QTest::newRow("Set Module ID during Get Status") << "btnStatus" << "btnID" << QStringList({"E00B", "E00F"});
        QTest::newRow("double click on Scan Module") << "btnScan" << "btnScan" << QStringList({"E00B", "E00V"});
    }
    void inputDuringAnOperationIsDropped()
    {
        QFETCH(QString, operation);
        QFETCH(QString, clickedMeanwhile);
        QFETCH(QStringList, commands);
        TELMAX_START_SIM(sim, 3);
        Session s;
        scanAtCom3(s);
        s.onTone = [&] { queueClick(s.w<QWidget>(qPrintable(clickedMeanwhile))); };
        s.click(qPrintable(operation));
        // A click still queued now would start its operation here.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        const auto frames = sim.receivedUntilNow();
        QVERIFY(frames);
        QCOMPARE(textsOf(*frames).mid(2), commands);
        QCOMPARE(s.tones, std::vector<int>({1000}));
    }

    // Two quick activations after the start (the stop, then one more) started a nested test
    // whose failed open lost the running test's port: it stayed open and locked, and every
    // later operation failed.
    void quickActivationsOfTheContinuousTest()
    {
        TELMAX_START_SIM(sim, 3);
        Session s;
        scanAtCom3(s);
        auto *process = s.w<QPushButton>("btnProcess");
        const OnceWhen running([&] { return printedALine(sim); }, [&] {
            QTest::mouseClick(process, Qt::LeftButton);
            QTest::mouseClick(process, Qt::LeftButton);
        });
        QTest::mouseClick(process, Qt::LeftButton);

        QCOMPARE(s.text("pnMsg"), QString("Print Text Ok"));
        QCOMPARE(s.tones, std::vector<int>({1000}));
        QCOMPARE(process->text(), QString("Process Print"));
        QCOMPARE(descriptorsOn(sim.device()), 0);
        s.click("btnStatus");
        QCOMPARE(s.text("pnMsg"), QString("Get Module Status Ok"));
    }

    // The panel kept the scan's "Get Module Info Ok" under the red lamp: the screen told of
    // success while the lamp and tone told of a failure.
    void processEndsWhenUnplugged()
    {
        // Scan: 2 commands; then two printed lines and one more print command before the hang-up.
        TELMAX_START_SIM(sim, 3, {"--hangup-after", "7"});
        Session s;
        scanAtCom3(s);
        s.click("btnProcess");
        QCOMPARE(s.lamp(), QString("red"));
        QCOMPARE(s.tones, std::vector<int>({300}));
        QCOMPARE(s.w<QPushButton>("btnProcess")->text(), QString("Process Print"));
        QCOMPARE(s.enabledOf(s.lockedControls()), s.lockedControls());
        QCOMPARE(s.text("pnMsg"), QString("Print Text Error"));
        QCOMPARE(sim.paper(), QByteArray("VOREX PRINT TEST.\r\nVOREX PRINT TEST.\r\nVOREX PRINT TEST."));
        QVERIFY(!ProcessRunning);
    }

    void processPortNotOpening()
    {
        TELMAX_START_SIM(sim, 3);
        Session s;
        scanAtCom3(s);
        sim.stop();   // unplugged
        s.click("btnProcess");
        QCOMPARE(s.text("pnMsg"), QString("Open COM : 3 Error"));
        QCOMPARE(s.lamp(), QString("red"));
        QCOMPARE(s.tones, std::vector<int>({300}));
        QCOMPARE(s.w<QPushButton>("btnProcess")->text(), QString("Process Print"));
        QCOMPARE(s.enabledOf(s.lockedControls()), s.lockedControls());
    }
};

TELMAX_TEST_MAIN_IN_TEMPORARY_STORE(TestOpsE2e)

#include "tst_ops_e2e.moc"
