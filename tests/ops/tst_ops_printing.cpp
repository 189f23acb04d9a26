// Get Print Status, Print Text and the continuous print test.

#include <QtTest>

#include "ops/operations.h"
#include "ops/state.h"
#include "ops_fakes.h"
#include "settings/settings.h"
#include "support/temporary_store.h"

using namespace opstest;
using testsupport::processStore;

class TestOpsPrinting : public QObject {
    Q_OBJECT

private:
    static const QStringList &lockedControls()
    {
        static const QStringList names = {"btnExit", "btnScan", "btnFactory", "btnID", "btnBaudRate", "btnStatus",
                                          "btnPrint", "gbDefault", "btnEng", "btnGB", "btnBIG5"};
        return names;
    }

    static QStringList controlEvents(const QString &state)
    {
        QStringList out;
        for (const QString &n : lockedControls())
            out << n + ":" + state;
        return out;
    }

    static int count(const std::vector<std::string> &commands, const std::string &c)
    {
        return static_cast<int>(std::count(commands.begin(), commands.end(), c));
    }

private slots:
    void initTestCase() { QVERIFY(processStore().isValid()); }

    void status_data()
    {
        QTest::addColumn<QString>("reply");   // reply characters
        QTest::addColumn<QString>("shown");
        QTest::newRow("O") << "F00-O" << "Print ok.";
        QTest::newRow("P") << "F00-P" << "Print paper out!";
        QTest::newRow("E") << "F00-E" << "Print error!";
        QTest::newRow("N") << "F00-N" << "Print no select!";
        QTest::newRow("B") << "F00-B" << "Print busy!";
        QTest::newRow("F") << "F00-F" << "Buffer full!";
        QTest::newRow("lower case") << "F00-p" << "earlier";
        QTest::newRow("other") << "F00-X" << "earlier";
        QTest::newRow("no status character") << "F00" << "earlier";
        QTest::newRow("more after it") << "F00-PX" << "Print paper out!";
    }

    void status()
    {
        QFETCH(QString, reply);
        QFETCH(QString, shown);
        Fixture f;
        moduleKnown();
        f.view.panels[ops::Field::Status] = "earlier";
        f.module.replyNext["E00F"] = {reply.toStdString()};
        ops::getPrintStatus(f.view);
        QCOMPARE(f.view.panels[ops::Field::Status], shown);
        QCOMPARE(f.view.panels[ops::Field::Msg], QString("Get Module Status Ok"));
    }

    void failedStatusKeepsEarlierText()
    {
        Fixture f;
        moduleKnown();
        // One character, not the literal "P": GCC 12 at -O3 wrongly sees an overlapping copy
        // (-Wrestrict) when a one-letter literal replaces a one-letter string.
        f.module.status = 'P';
        ops::getPrintStatus(f.view);
        f.module.plugged = false;
        ops::getPrintStatus(f.view);
        QCOMPARE(f.view.panels[ops::Field::Status], QString("Print paper out!"));
        QCOMPARE(f.view.panels[ops::Field::Msg], QString("Get Module Status Error"));
    }

    void printTrimmed_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("command");
        QTest::newRow("blanks and tabs") << QByteArray(" \t abc\t  ") << "E00Gabc";
        // A tab inside went out as is: a frame start byte inside the frame, and the print failed.
        QTest::newRow("controls inside as spaces") << QByteArray("\ra \tb\n") << "E00Ga  b";
        QTest::newRow("blanks only") << QByteArray("  \t ") << "E00G";
        QTest::newRow("empty") << QByteArray() << "E00G";
    }

    void printTrimmed()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, command);
        Fixture f;
        moduleKnown();
        f.view.text = text;
        f.view.panels[ops::Field::Status] = "Print ok.";
        ops::printText(f.view);
        QCOMPARE(f.module.commands(), std::vector<std::string>({"E00B", command.toStdString(), "E00H0D0A"}));
        QCOMPARE(f.sleeps(), std::vector<std::uint32_t>({100, 1, 5, 1, 1, 1, 100, 1, 5, 1, 1, 1, 100, 1, 5, 1, 1, 1}));
        QCOMPARE(f.view.events({"lamp", "msg", "tone"}),
                 QStringList({"lamp:yellow", "msg:Print Text Ok", "tone:1000"}));
        QCOMPARE(f.view.panels[ops::Field::Status], QString("Print ok."));
    }

    // A lost line-end reply sent the acknowledged text again: the paper held it twice.
    void printLineEndLost()
    {
        Fixture f;
        moduleKnown();
        f.view.text = "abc";
        f.module.silentNext["E00H"] = 1;
        ops::printText(f.view);
        QCOMPARE(f.module.commands(), std::vector<std::string>({"E00B", "E00Gabc", "E00H0D0A", "E00B", "E00H0D0A"}));
        QCOMPARE(f.view.panels[ops::Field::Msg], QString("Print Text Ok"));

        f.module.silentNext["E00H"] = 2;
        ops::printText(f.view);
        QCOMPARE(f.view.events({"lamp", "msg", "tone"}).mid(3),
                 QStringList({"lamp:red", "msg:Print Text Error", "tone:300"}));
    }

    void printTextReadInEachTry()
    {
        Fixture f;
        moduleKnown();
        int reads = 0;
        f.view.textSource = [&reads] { return ++reads == 1 ? QString("first") : QString("second"); };
        f.module.silentNext["E00G"] = 1;
        ops::printText(f.view);
        QCOMPARE(f.module.commands(),
                 std::vector<std::string>({"E00B", "E00Gfirst", "E00B", "E00Gsecond", "E00H0D0A"}));
    }

    void processBeforeScan()
    {
        Fixture f;
        ScanCommNo = 3;
        f.view.lamp = "yellow";
        ops::processTest(f.view);
        QCOMPARE(f.view.log, QStringList({"msg:Start Scan Module!", "tone:300"}));
        QCOMPARE(f.view.caption, QString("Process Print"));
        QVERIFY(f.link.port.opened.empty());
    }

    void processStoppedByUser()
    {
        Fixture f;
        moduleKnown();
        f.view.panels[ops::Field::Msg] = "Get Module Info Ok. (COM : #3)";
        // The second activation arrives in the message handling of the second pass.
        f.onPump = [&f] {
            if (count(f.module.commands(), "E00H0D0A") == 1 && ProcessRunning)
                ops::processTest(f.view);
        };
        ops::processTest(f.view);

        const auto commands = f.module.commands();
        QCOMPARE(commands, std::vector<std::string>({"E00GVOREX PRINT TEST.", "E00H0D0A", "E00GVOREX PRINT TEST.",
                                                     "E00H0D0A"}));
        QStringList expected = {"caption:Cancel Process Module(Space Key)"};
        expected << controlEvents("off") << "busy:on" << "window:on" << "busy:off" << "lamp:yellow"
                 << "msg:Print Text Ok" << "tone:1000" << controlEvents("on") << "caption:Process Print";
        QCOMPARE(f.view.log, expected);
        QCOMPARE(f.link.port.closes, 1);
        QVERIFY(!ProcessRunning);
    }

    void processPacing()
    {
        Fixture f;
        moduleKnown();
        f.onPump = [&f] {
            if (!f.module.commands().empty() && ProcessRunning)
                ops::processTest(f.view);
        };
        ops::processTest(f.view);
        std::vector<std::uint32_t> pass(30, 1);
        for (std::uint32_t ms : {100, 1, 5, 1, 1, 1, 100, 1, 5, 1, 1, 1})
            pass.push_back(ms);
        const auto sleeps = f.sleeps();
        QCOMPARE(std::vector<std::uint32_t>(sleeps.begin(), sleeps.begin() + 42), pass);
        QCOMPARE(count(f.module.commands(), "E00B"), 0);
    }

    void processEndedByFailure_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<bool>("stopInSamePass");
        QTest::newRow("print line, unplugged") << "E00G" << false;
        QTest::newRow("line end") << "E00H" << false;
        QTest::newRow("stop requested in the failing pass") << "E00H" << true;
    }

    void processEndedByFailure()
    {
        QFETCH(QString, failing);
        QFETCH(bool, stopInSamePass);
        Fixture f;
        moduleKnown();
        f.module.onCommand = [&](const std::string &c) {
            if (count(f.module.commands(), "E00H0D0A") == 2 && c.rfind(failing.toStdString(), 0) == 0) {
                f.module.plugged = false;
                if (stopInSamePass)
                    ops::processTest(f.view);
            }
        };
        ops::processTest(f.view);

        QCOMPARE(f.view.events({"busy", "lamp", "msg", "tone"}),
                 QStringList({"busy:on", "busy:off", "lamp:red", "msg:Print Text Error", "tone:300"}));
        QCOMPARE(f.view.log.mid(f.view.log.size() - 12), controlEvents("on") << "caption:Process Print");
        QCOMPARE(f.link.port.closes, 1);
        QVERIFY(!ProcessRunning);
        // No pass after the failing one.
        QCOMPARE(count(f.module.commands(), "E00GVOREX PRINT TEST."), failing == "E00G" ? 3 : 2);
    }

    void processPortDoesNotOpen()
    {
        Fixture f(std::set<int>{});
        moduleKnown();
        ops::processTest(f.view);
        QStringList expected = {"caption:Cancel Process Module(Space Key)"};
        expected << controlEvents("off") << "lamp:red" << "msg:Open COM : 3 Error" << "tone:300"
                 << controlEvents("on") << "caption:Process Print";
        QCOMPARE(f.view.log, expected);
        QVERIFY(!ProcessRunning);
        QCOMPARE(f.link.port.closes, 0);
    }

    void statusTexts_data()
    {
        QTest::addColumn<QString>("character");
        QTest::addColumn<QString>("text");
        QTest::newRow("O") << "O" << "Print ok.";
        QTest::newRow("P") << "P" << "Print paper out!";
        QTest::newRow("E") << "E" << "Print error!";
        QTest::newRow("N") << "N" << "Print no select!";
        QTest::newRow("B") << "B" << "Print busy!";
        QTest::newRow("F") << "F" << "Buffer full!";
        QTest::newRow("lower case") << "p" << "";
        QTest::newRow("other") << "X" << "";
        QTest::newRow("none") << "" << "";
    }
    void statusTexts()
    {
        QFETCH(QString, character);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(ops::statusText(character.toStdString())), text);
    }
};

QTEST_GUILESS_MAIN(TestOpsPrinting)
#include "tst_ops_printing.moc"
