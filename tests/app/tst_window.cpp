// The main window as laid out: components, geometry, fonts, colours, tab order, window flags,
// the default button, closing, and what the operations drive through ops::ModuleView.

#include <QAbstractItemView>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include "app/widgets.h"
#include "ops/state.h"
#include "settings/settings.h"
#include "tests/app/window_test.h"

using testsupport::processStore;
using windowtest::part;

namespace {

QString textOf(QWidget *w)
{
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        return b->text();
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *g = qobject_cast<QGroupBox *>(w))
        return g->title();
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->text();
    if (auto *c = qobject_cast<QComboBox *>(w))
        return c->currentText();
    if (w->objectName() == QLatin1String("tsDefault")) {
        auto *tabs = w->window()->findChild<QTabWidget *>(QStringLiteral("pcDefault"));
        return tabs->tabText(tabs->indexOf(w));
    }
    return {};
}

QColor textColourOf(QWidget *w)
{
    if (auto *p = qobject_cast<Panel *>(w))
        return p->foreground();
    if (qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w))
        return w->palette().color(QPalette::ButtonText);
    if (qobject_cast<QLineEdit *>(w))
        return w->palette().color(QPalette::Text);
    return w->palette().color(QPalette::WindowText);
}

QColor backgroundOf(QWidget *w)
{
    if (auto *p = qobject_cast<Panel *>(w))
        return p->background();
    if (qobject_cast<QComboBox *>(w))
        return w->palette().color(QPalette::Button);
    return w->palette().color(QPalette::Window);
}

// The name the focus answers to; the page control takes the focus on its own tab bar.
QString focusName()
{
    QWidget *focus = QApplication::focusWidget();
    if (!focus)
        return QStringLiteral("<none>");
    if (focus->objectName().startsWith(QLatin1String("qt_")) && focus->parentWidget())
        return focus->parentWidget()->objectName();
    return focus->objectName();
}

// The 27 components that are widgets (the 28th, tmrBusy, is a timer), as laid out. Text is
// what the window holds before it is first shown; the combo box has had FormCreate's selection
// of the default line settings.
struct Component {
    const char *name;
    const char *parent;
    QRect geometry;
    QString text;
    int pixelSize;
    bool bold;
    QColor textColour;   // not looked at where invalid
    QColor background;
};

QList<Component> components()
{
    const QColor highlight = QApplication::palette().color(QPalette::Highlight);
    const QColor windowText = QApplication::palette().color(QPalette::WindowText);
    const QColor yellow(255, 255, 0), white(255, 255, 255), red(255, 0, 0), purple(128, 0, 128);
    const QColor activeCaption(10, 36, 106);
    const QColor none;
    return {
        {"lblID", "frmModule", QRect(8, 125, 49, 22), "ID :", 13, false, windowText, none},
        {"lblBaudRate", "frmModule", QRect(8, 197, 153, 22), "Baud Rate :", 13, false, windowText, none},
        {"btnScan", "frmModule", QRect(8, 78, 345, 33), "&Scan Module", 16, true, none, none},
        {"pnSerial", "frmModule", QRect(8, 48, 169, 28), "S/N : ________", 16, true, yellow, highlight},
        {"sbID", "frmModule", QRect(104, 123, 249, 23), "", 16, true, none, none},
        {"btnID", "frmModule", QRect(8, 150, 345, 33), "Set Module &ID", 16, true, none, none},
        {"cmbBaudRate", "frmModule", QRect(168, 192, 161, 28), "19200,e,8,1", 16, true, yellow, highlight},
        {"btnBaudRate", "frmModule", QRect(8, 222, 345, 33), "Set Module &Baud Rate (Reset)", 16, true, none, none},
        {"pnVersion", "frmModule", QRect(184, 48, 169, 28), "VER : __.__-__", 16, true, yellow, highlight},
        {"btnProcess", "frmModule", QRect(8, 336, 345, 33), "&Process DIDO", 16, true, none, none},
        {"pnID", "frmModule", QRect(64, 122, 33, 25), "__", 16, true, yellow, highlight},
        {"pnMsg", "frmModule", QRect(8, 4, 345, 40), "Start Scan Module", 16, true, white, activeCaption},
        // 310, 8 inside pnMsg's 1 px border.
        {"shComm", "pnMsg", QRect(311, 9, 23, 20), "", 16, true, none, none},
        {"gbDefault", "frmModule", QRect(360, 4, 193, 293), "Factory Setting", 16, true, none, none},
        {"pcDefault", "gbDefault", QRect(6, 27, 182, 255), "", 16, false, windowText, none},
        {"tsDefault", "pcDefault", QRect(), "Default", 16, false, windowText, none},
        {"btnFactory", "tsDefault", QRect(4, 6, 165, 211), "(Factory &Default)", 16, true, windowText, none},
        {"btnExit", "frmModule", QRect(360, 336, 193, 33), "&Exit", 16, true, none, none},
        {"btnEng", "frmModule", QRect(359, 304, 62, 24), "English", 13, false, red, none},
        {"btnGB", "frmModule", QRect(426, 304, 62, 24), "", 11, false, windowText, none},
        {"btnBIG5", "frmModule", QRect(492, 304, 62, 24), "", 11, false, windowText, none},
        {"pnVOREX", "frmModule", QRect(0, 373, 561, 21), "VOREX Technology Corp.   www.vorex.example", 11, false, white,
         purple},
        {"pnStatus", "frmModule", QRect(8, 264, 169, 28), "", 16, true, yellow, highlight},
        {"edText", "frmModule", QRect(184, 264, 169, 28), "VOREX PRINT TEST.", 16, true, none, none},
        {"btnPrint", "frmModule", QRect(184, 298, 169, 33), "Print Text", 16, true, none, none},
        {"btnStatus", "frmModule", QRect(8, 298, 169, 33), "Get Print Status", 16, true, none, none},
        {"chkLock", "frmModule", QRect(336, 196, 17, 17), "chkLock", 16, true, none, none},
    };
}

QList<QWidget *> componentWidgets(const QWidget &window)
{
    QList<QWidget *> found;
    for (const Component &c : components())
        found << window.findChild<QWidget *>(QLatin1String(c.name));
    return found;
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT

private slots:
    void init() { processStore().clear(); }

    void components_data()
    {
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("pixelSize");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QColor>("textColour");
        QTest::addColumn<QColor>("background");
        for (const Component &c : ::components())
            QTest::newRow(c.name) << QString::fromLatin1(c.parent) << c.geometry << c.text << c.pixelSize << c.bold
                                  << c.textColour << c.background;
    }

    void components()
    {
        QFETCH(QString, parent);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        QFETCH(int, pixelSize);
        QFETCH(bool, bold);
        QFETCH(QColor, textColour);
        QFETCH(QColor, background);

        TfrmModule window;
        auto *w = window.findChild<QWidget *>(QLatin1String(QTest::currentDataTag()));
        QVERIFY(w);
        if (parent == QLatin1String("pcDefault")) {
            auto *tabs = part<QTabWidget>(window, "pcDefault");
            QCOMPARE(tabs->count(), 1);
            QCOMPARE(tabs->widget(0), w);
        } else {
            QCOMPARE(w->parentWidget()->objectName(), parent);
        }
        if (!geometry.isNull())
            QCOMPARE(w->geometry(), geometry);
        QCOMPARE(textOf(w), text);
        QCOMPARE(w->font().pixelSize(), pixelSize);
        QCOMPARE(w->font().bold(), bold);
        if (textColour.isValid())
            QCOMPARE(textColourOf(w), textColour);
        if (background.isValid())
            QCOMPARE(backgroundOf(w), background);
        QVERIFY(w->isEnabled());
    }

    void creationOrderIsStackingOrder()
    {
        TfrmModule window;
        const QStringList expected = {
            "lblID",  "lblBaudRate", "btnScan",  "pnSerial", "sbID",      "btnID",  "cmbBaudRate", "btnBaudRate",
            "pnVersion", "btnProcess", "pnID", "pnMsg",  "gbDefault", "btnExit", "btnEng",      "btnGB",
            "btnBIG5", "pnVOREX",   "pnStatus", "edText",   "btnPrint",  "btnStatus", "chkLock",   "tmrBusy"};
        QStringList actual;
        for (QObject *child : window.children()) {
            if (expected.contains(child->objectName()))
                actual << child->objectName();
        }
        QCOMPARE(actual, expected);
    }

    void windowItself()
    {
        TfrmModule window;
        QCOMPARE(window.objectName(), QStringLiteral("frmModule"));
        QCOMPARE(window.windowTitle(), QStringLiteral("VOREX TELMAX-3Q Module Config V3.20-01"));
        QCOMPARE(window.size(), QSize(560, 396));
        QCOMPARE(window.minimumSize(), QSize(560, 396));
        QCOMPARE(window.maximumSize(), QSize(560, 396));

        const Qt::WindowFlags flags = window.windowFlags();
        QVERIFY(flags & Qt::CustomizeWindowHint);
        QVERIFY(flags & Qt::WindowTitleHint);
        QVERIFY(flags & Qt::WindowSystemMenuHint);
        QVERIFY(flags & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(!(flags & Qt::WindowCloseButtonHint));

        QCOMPARE(window.font().pixelSize(), 16);
        QVERIFY(window.font().bold());
        QCOMPARE(window.font().families().value(0), QStringLiteral("MS Sans Serif"));
        // Where that family does not exist, a real one of the same pixel size stands in.
        const QFontInfo used(window.font());
        QVERIFY2(used.family() == QLatin1String("MS Sans Serif") || used.family() == QLatin1String("Liberation Sans"),
                 qPrintable(used.family()));
        QCOMPARE(used.pixelSize(), 16);
        QVERIFY(!window.windowIcon().isNull());
        QCOMPARE(window.palette().color(QPalette::Window), QApplication::palette().color(QPalette::Button));

        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QRect desktop = window.screen()->availableGeometry();
        QVERIFY(qAbs(window.frameGeometry().center().x() - desktop.center().x()) <= 1);
        QVERIFY(qAbs(window.frameGeometry().center().y() - desktop.center().y()) <= 1);
    }

    void initialState()
    {
        ModuleFound = true;
        ProcessRunning = true;
        TfrmModule window;
        QVERIFY(!ModuleFound);
        QVERIFY(!ProcessRunning);

        auto *combo = part<QComboBox>(window, "cmbBaudRate");
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        QCOMPARE(items, QStringList({"4800,n,8,1", "4800,e,8,1", "9600,n,8,1", "9600,e,8,1", "19200,n,8,1",
                                     "19200,e,8,1", "38400,n,8,1", "38400,e,8,1", "57600,n,8,1", "57600,e,8,1",
                                     "115200,n,8,1", "115200,e,8,1"}));
        QVERIFY(!combo->isEditable());
        QCOMPARE(combo->currentIndex(), 5);
        QCOMPARE(window.selectedBaudRate(), 5);
        QStyleOptionViewItem option;
        QCOMPARE(combo->view()->itemDelegate()->sizeHint(option, combo->model()->index(0, 0)).height(), 20);

        auto *sb = part<QScrollBar>(window, "sbID");
        QCOMPARE(sb->orientation(), Qt::Horizontal);
        QCOMPARE(sb->minimum(), 1);
        QCOMPARE(sb->maximum(), 99);
        QCOMPARE(sb->value(), 1);
        QCOMPARE(sb->singleStep(), 1);
        QCOMPARE(sb->pageStep(), 10);

        QVERIFY(part<QCheckBox>(window, "chkLock")->isChecked());
        QCOMPARE(part<Shape>(window, "shComm")->fill(), QColor(255, 0, 0));
        QCOMPARE(part<QLineEdit>(window, "edText")->maxLength(), std::numeric_limits<int>::max());

        auto *timer = part<QTimer>(window, "tmrBusy");
        QVERIFY(timer);
        QCOMPARE(timer->interval(), 200);
        QVERIFY(!timer->isActive());
        QCOMPARE(timer->property("Tag").toInt(), 0);

        QVERIFY(part<QPushButton>(window, "btnScan")->isDefault());
        QCOMPARE(part<QPushButton>(window, "btnScan")->iconSize(), QSize(16, 16));
        QCOMPARE(part<QPushButton>(window, "btnProcess")->iconSize(), QSize(32, 20));
        QCOMPARE(part<QToolButton>(window, "btnFactory")->iconSize(), QSize(100, 50));
        QCOMPARE(part<QToolButton>(window, "btnFactory")->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        QCOMPARE(part<QPushButton>(window, "btnGB")->iconSize(), QSize(34, 16));
        QCOMPARE(part<QPushButton>(window, "btnBIG5")->iconSize(), QSize(34, 16));

        window.show();
        for (QWidget *w : componentWidgets(window)) {
            QVERIFY(w);
            QVERIFY2(w->isVisible() && w->isEnabled(), qPrintable(w->objectName()));
        }
        // After show the texts come from the language; these keep the layout's.
        QCOMPARE(window.panelText(ops::Field::Id), QStringLiteral("__"));
        QCOMPARE(window.panelText(ops::Field::Status), QString());
        QCOMPARE(part<QLineEdit>(window, "edText")->text(), QStringLiteral("VOREX PRINT TEST."));
    }

    void tabOrder()
    {
        TfrmModule window;
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        part<QPushButton>(window, "btnScan")->setFocus();
        QCOMPARE(focusName(), QStringLiteral("btnScan"));

        const QStringList expected = {"sbID",    "btnID",  "cmbBaudRate", "btnBaudRate", "btnProcess", "btnExit",
                                      "pcDefault", "btnFactory", "btnEng", "btnGB",     "btnBIG5",    "edText",
                                      "btnPrint", "btnStatus",  "chkLock", "btnScan"};
        QStringList visited;
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << focusName();
        }
        QCOMPARE(visited, expected);
    }

    void enterKey_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("activated");
        QTest::newRow("edit box") << "edText" << "btnScan";
        QTest::newRow("combo box") << "cmbBaudRate" << "btnScan";
        QTest::newRow("scroll bar") << "sbID" << "btnScan";
        QTest::newRow("check box") << "chkLock" << "btnScan";
        QTest::newRow("page control") << "pcDefault" << "btnScan";
        QTest::newRow("focused button answers itself") << "btnID" << "btnID";
        QTest::newRow("focused picture button answers itself") << "btnFactory" << "btnFactory";
    }

    void enterKey()
    {
        QFETCH(QString, focus);
        QFETCH(QString, activated);
        TfrmModule window;
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        // Count activations without running the operations behind them.
        auto *scan = part<QAbstractButton>(window, "btnScan");
        auto *target = window.findChild<QAbstractButton *>(activated);
        QObject::disconnect(scan, &QAbstractButton::clicked, nullptr, nullptr);
        QObject::disconnect(target, &QAbstractButton::clicked, nullptr, nullptr);
        QSignalSpy scanSpy(scan, &QAbstractButton::clicked);
        QSignalSpy targetSpy(target, &QAbstractButton::clicked);

        window.findChild<QWidget *>(focus)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(targetSpy.count(), 1);
        if (target != scan)
            QCOMPARE(scanSpy.count(), 0);
    }

    void onlyExitCloses()
    {
        TfrmModule window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QVERIFY(!window.close());
        QVERIFY(window.isVisible());
        // The window manager's close (title bar, Alt+F4) arrives as a close of the native window.
        window.windowHandle()->close();
        QVERIFY(window.isVisible());
        QCloseEvent event;
        QApplication::sendEvent(&window, &event);
        QVERIFY(!event.isAccepted());

        QTest::mouseClick(part<QPushButton>(window, "btnExit"), Qt::LeftButton);
        QVERIFY(!window.isVisible());
    }

    void applicationQuitIsNotBlocked()
    {
        TfrmModule window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // What a logout or shutdown asks of the application.
        QEvent quit(QEvent::Quit);
        QApplication::sendEvent(qApp, &quit);
        QVERIFY(!window.isVisible());
    }

    void idPosition_data()
    {
        QTest::addColumn<QList<int>>("positions");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("changes");
        QTest::newRow("same position changes nothing") << QList<int>{1} << "__" << 0;
        QTest::newRow("below the range clamps to 1") << QList<int>{0, -5} << "__" << 0;
        QTest::newRow("single digit is padded") << QList<int>{7} << "07" << 1;
        QTest::newRow("above the range clamps to 99") << QList<int>{150} << "99" << 1;
        QTest::newRow("repeated position once") << QList<int>{42, 42, 42} << "42" << 1;
        QTest::newRow("back to 1") << QList<int>{12, 0} << "01" << 2;
    }

    void idPosition()
    {
        QFETCH(QList<int>, positions);
        QFETCH(QString, shown);
        QFETCH(int, changes);
        TfrmModule window;
        window.show();
        QSignalSpy spy(part<QScrollBar>(window, "sbID"), &QScrollBar::valueChanged);
        for (int position : positions)
            window.setIdPosition(position);
        QCOMPARE(window.panelText(ops::Field::Id), shown);
        QCOMPARE(spy.count(), changes);
    }

    // Qt 6 turns a scroll bar's Left and Right around along with its inverted Up and Down: Right
    // lowered the ID.
    void idArrowKeys()
    {
        TfrmModule window;
        window.show();
        auto *sb = part<QScrollBar>(window, "sbID");
        sb->setFocus();
        const QList<QPair<Qt::Key, int>> steps = {
            {Qt::Key_Right, 51}, {Qt::Key_Left, 49}, {Qt::Key_Down, 51}, {Qt::Key_Up, 49}};
        for (const auto &[key, expected] : steps) {
            sb->setValue(50);
            QTest::keyClick(sb, key);
            QCOMPARE(sb->value(), expected);
        }
    }

    // A pasted tab went into the print command as a frame start byte, and the box took more than
    // one command carries, to fail later as "Print Text Error" with no reason given.
    void printTextBox()
    {
        QVERIFY(processStore().write("[General]\nPrintCodePage=GBK\n"));
        TfrmModule window;
        window.show();
        auto *box = part<QLineEdit>(window, "edText");
        box->setFocus();

        QGuiApplication::clipboard()->setText(QStringLiteral("a\tb\r\nc"));
        box->selectAll();
        QTest::keySequence(box, QKeySequence::Paste);
        QCOMPARE(box->text(), QStringLiteral("a b  c"));

        // Two bytes each in GBK: 125 of them fit in 251 bytes, then one letter, then nothing.
        const QString chinese(200, QChar(0x4E2D));
        QGuiApplication::clipboard()->setText(chinese);
        box->selectAll();
        QTest::keySequence(box, QKeySequence::Paste);
        QCOMPARE(box->text(), chinese.left(125));
        QTest::keyClicks(box, QStringLiteral("xy"));
        QCOMPARE(box->text(), chinese.left(125) + u'x');
    }

    // btnEng kept its red caption and btnFactory its black one when disabled: while the
    // continuous test ran they looked usable.
    void disabledCaptionsLookDisabled()
    {
        TfrmModule window;
        window.show();
        window.setControlEnabled(ops::Control::gbDefault, false);
        window.setControlEnabled(ops::Control::btnFactory, false);
        window.setControlEnabled(ops::Control::btnEng, false);
        const QColor disabledText = QApplication::palette().color(QPalette::Disabled, QPalette::ButtonText);
        QCOMPARE(part<QPushButton>(window, "btnEng")->palette().color(QPalette::ButtonText), disabledText);
        QCOMPARE(part<QToolButton>(window, "btnFactory")->palette().color(QPalette::ButtonText), disabledText);
    }

    void factoryPictureAndCaptionCentredTogether()
    {
        // Qt's text-under-icon layout put the picture at the top of btnFactory and its caption in
        // the middle of what was left: two things far apart instead of one centred block.
        TfrmModule window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *button = part<QToolButton>(window, "btnFactory");
        const QImage image = button->grab().toImage();
        // A row holds some of the block where it differs from the button's face at its left end
        // (the face may be shaded from top to bottom).
        int first = -1, last = -1;
        for (int y = 8; y < image.height() - 8; ++y)
            for (int x = 12; x < image.width() - 12; ++x)
                if (image.pixel(x, y) != image.pixel(8, y)) {
                    first = first < 0 ? y : first;
                    last = y;
                    break;
                }
        QVERIFY2(first > 0, "nothing drawn on the button");
        const int above = first, below = image.height() - 1 - last;
        QVERIFY2(std::abs(above - below) <= 4, qPrintable(QString("%1 px above the block, %2 below").arg(above).arg(below)));
    }

    void busyModeAndBlink()
    {
        TfrmModule window;
        window.show();
        auto *timer = part<QTimer>(window, "tmrBusy");
        auto *lamp = part<Shape>(window, "shComm");
        const QColor red(255, 0, 0), yellow(255, 255, 0);

        window.SetBusy(true);
        QVERIFY(timer->isActive());
        QVERIFY(!window.isEnabled());
        QVERIFY(!part<QPushButton>(window, "btnScan")->isEnabled());

        window.tmrBusyTimer();
        QCOMPARE(lamp->fill(), red);
        QCOMPARE(timer->property("Tag").toInt(), 1);
        window.tmrBusyTimer();
        QCOMPARE(lamp->fill(), yellow);
        QCOMPARE(timer->property("Tag").toInt(), 0);
        window.tmrBusyTimer();
        QCOMPARE(lamp->fill(), red);

        window.SetBusy(false);
        QVERIFY(!timer->isActive());
        QVERIFY(window.isEnabled());
        QCOMPARE(lamp->fill(), red);   // SetBusy leaves the lamp to its caller

        // The phase carries over: three ticks so far, so the next period starts yellow.
        window.SetBusy(true);
        window.tmrBusyTimer();
        QCOMPARE(lamp->fill(), yellow);
        window.SetBusy(false);

        // The timer really drives the handler.
        window.SetBusy(true);
        QTRY_COMPARE_WITH_TIMEOUT(timer->property("Tag").toInt(), 1, 5000);
        window.SetBusy(false);
    }

    void lampAndPanels()
    {
        TfrmModule window;
        auto *lamp = part<Shape>(window, "shComm");
        window.setLamp(ops::LampColour::Yellow);
        QCOMPARE(lamp->fill(), QColor(0xFF, 0xFF, 0x00));
        window.setLamp(ops::LampColour::Red);
        QCOMPARE(lamp->fill(), QColor(0xFF, 0x00, 0x00));

        const QList<QPair<ops::Field, const char *>> panels = {{ops::Field::Msg, "pnMsg"},
                                                               {ops::Field::Serial, "pnSerial"},
                                                               {ops::Field::Version, "pnVersion"},
                                                               {ops::Field::Id, "pnID"},
                                                               {ops::Field::Status, "pnStatus"}};
        for (const auto &[panel, name] : panels) {
            const QString text = QStringLiteral("text for ") + QLatin1String(name);
            window.setPanelText(panel, text);
            QCOMPARE(part<Panel>(window, name)->text(), text);
            QCOMPARE(window.panelText(panel), text);
        }

        window.setProcessCaption(QStringLiteral("Cancel"));
        QCOMPARE(part<QPushButton>(window, "btnProcess")->text(), QStringLiteral("Cancel"));
        QCOMPARE(window.processCaption(), QStringLiteral("Cancel"));

        window.selectBaudRate(11);
        QCOMPARE(part<QComboBox>(window, "cmbBaudRate")->currentText(), QStringLiteral("115200,e,8,1"));
        QCOMPARE(window.selectedBaudRate(), 11);
        window.selectBaudRate(12);
        QCOMPARE(window.selectedBaudRate(), -1);

        part<QCheckBox>(window, "chkLock")->setChecked(false);
        QVERIFY(!window.lockChecked());

        part<QLineEdit>(window, "edText")->setText(QStringLiteral("  HELLO 123 "));
        QCOMPARE(window.printText(), QString("  HELLO 123 "));
    }

    void controlEnabling_data()
    {
        QTest::addColumn<int>("control");
        QTest::addColumn<QString>("name");
        const QList<QPair<ops::Control, QString>> controls = {
            {ops::Control::btnExit, "btnExit"},       {ops::Control::btnScan, "btnScan"},
            {ops::Control::btnFactory, "btnFactory"}, {ops::Control::btnID, "btnID"},
            {ops::Control::btnBaudRate, "btnBaudRate"}, {ops::Control::btnStatus, "btnStatus"},
            {ops::Control::btnPrint, "btnPrint"},     {ops::Control::gbDefault, "gbDefault"},
            {ops::Control::btnEng, "btnEng"},         {ops::Control::btnGB, "btnGB"},
            {ops::Control::btnBIG5, "btnBIG5"}};
        for (const auto &[control, name] : controls)
            QTest::newRow(qPrintable(name)) << int(control) << name;
    }

    void controlEnabling()
    {
        QFETCH(int, control);
        QFETCH(QString, name);
        TfrmModule window;
        window.show();
        window.setControlEnabled(ops::Control(control), false);
        QVERIFY(!window.findChild<QWidget *>(name)->isEnabled());
        int disabled = 0;
        for (QWidget *w : componentWidgets(window))
            disabled += !w->isEnabled();
        // Only that control (and, for the group box, what it holds).
        QCOMPARE(disabled, name == QLatin1String("gbDefault") ? 4 : 1);
        window.setControlEnabled(ops::Control(control), true);
        QVERIFY(window.findChild<QWidget *>(name)->isEnabled());
    }

    void busyCursorIsBalanced()
    {
        TfrmModule window;
        QVERIFY(!QApplication::overrideCursor());
        window.setBusyCursor(true);
        window.setBusyCursor(true);
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        window.setBusyCursor(false);
        QVERIFY(!QApplication::overrideCursor());
        window.setBusyCursor(false);
        QVERIFY(!QApplication::overrideCursor());
    }

    void windowEnablingKeepsTheFocus()
    {
        TfrmModule window;
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        part<QPushButton>(window, "btnID")->setFocus();

        window.setWindowEnabled(false);
        QVERIFY(!part<QLineEdit>(window, "edText")->isEnabled());
        QVERIFY(!part<QPushButton>(window, "btnExit")->isEnabled());
        window.setWindowEnabled(true);
        QVERIFY(part<QLineEdit>(window, "edText")->isEnabled());
        QCOMPARE(focusName(), QStringLiteral("btnID"));

        window.SetBusy(true);
        window.SetBusy(false);
        QCOMPARE(focusName(), QStringLiteral("btnID"));
    }

    void storedLineSettingsSelectTheComboBox()
    {
        QVERIFY(processStore().write("[General]\nScanCommNo=3\nScanBaudRate=\"57600,n,8,1\"\nScanBaudRateNo=8\n"));
        TfrmModule window;
        QCOMPARE(part<QComboBox>(window, "cmbBaudRate")->currentIndex(), 8);
        QVERIFY(processStore().write("[General]\nScanBaudRate=\"57600,n,8,1\"\nScanBaudRateNo=40\n"));
        TfrmModule second;
        QCOMPARE(part<QComboBox>(second, "cmbBaudRate")->currentIndex(), 8);
    }
};

TELMAX_TEST_MAIN_IN_TEMPORARY_STORE(TestWindow)
#include "tst_window.moc"
