// The main window as laid out: its components as drawn, tab order, window flags, the default
// button, closing, and what the operations drive through ops::ModuleView.

#include <QAbstractItemView>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include "app/components.h"
#include "app/widgets.h"
#include "ops/state.h"
#include "settings/settings.h"
#include "tests/app/window_test.h"

using testsupport::processStore;
using windowtest::part;

namespace {

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

QWidget *widgetOf(const QWidget &window, const app::Component &c)
{
    return window.findChild<QWidget *>(QLatin1String(c.name));
}

QList<QWidget *> componentWidgets(const QWidget &window)
{
    QList<QWidget *> found;
    for (const app::Component &c : app::kComponents)
        found << widgetOf(window, c);
    return found;
}

// The component (or the form) a widget is drawn in: a tab sheet lies in its page control's
// stack of pages, which is no component.
QWidget *holderOf(const QWidget *w)
{
    QWidget *holder = w->parentWidget();
    while (holder->objectName().startsWith(QLatin1String("qt_")))
        holder = holder->parentWidget();
    return holder;
}

// Where a component may draw in what holds it: a panel's client area lies inside its border.
QRect clientArea(const QWidget *holder)
{
    return qobject_cast<const Panel *>(holder) ? holder->rect().adjusted(Panel::kFrame, Panel::kFrame, -Panel::kFrame,
                                                                        -Panel::kFrame)
                                              : holder->rect();
}

QRect placeIn(const QWidget *holder, const QWidget *w)
{
    return QRect(w->mapTo(holder, QPoint(0, 0)), w->size());
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT

private slots:
    void init() { processStore().clear(); }

    // A component placed over another, or reaching out of what holds it, is hidden or cut off: the
    // window as drawn, each component in the holder the table names, inside its client area, and
    // no two in the same holder overlapping.
    void componentsAsDrawn()
    {
        TfrmModule window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QMap<QWidget *, QList<QWidget *>> held;
        for (const app::Component &c : app::kComponents) {
            QWidget *w = widgetOf(window, c);
            QVERIFY2(w && w->isVisible(), c.name);
            QWidget *holder = holderOf(w);
            QCOMPARE(holder->objectName(), QLatin1String(c.parent ? c.parent : "frmModule"));
            const QRect place = placeIn(holder, w);
            // The banner is one pixel wider than the window, which cuts that pixel off.
            const QRect area = clientArea(holder).adjusted(0, 0, c.name == QLatin1String("pnVOREX") ? 1 : 0, 0);
            QVERIFY2(area.contains(place), qPrintable(QStringLiteral("%1 at %2,%3 %4x%5 reaches out of %6")
                                                          .arg(c.name)
                                                          .arg(place.x())
                                                          .arg(place.y())
                                                          .arg(place.width())
                                                          .arg(place.height())
                                                          .arg(holder->objectName())));
            for (QWidget *other : held[holder])
                QVERIFY2(!placeIn(holder, other).intersects(place),
                         qPrintable(QStringLiteral("%1 overlaps %2").arg(c.name, other->objectName())));
            held[holder] << w;
        }
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

    // Tab from the first control reaches the tab stops in the table's order and comes back round;
    // a control that does not take the focus, or a stop missing from the chain, breaks the walk.
    void tabOrder()
    {
        QMap<int, QString> stops;
        for (const app::Component &c : app::kComponents)
            if (c.tabOrder > 0)
                stops[c.tabOrder] = QLatin1String(c.name);
        QStringList expected = stops.values();
        QVERIFY(expected.size() > 1);

        TfrmModule window;
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.findChild<QWidget *>(expected.first())->setFocus();
        QCOMPARE(focusName(), expected.first());

        expected << expected.takeFirst();
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
        window.setLanguageButtonEnabled(0, false);
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
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("name");
        const QList<QPair<ops::Control, QString>> controls = {
            {ops::Control::btnExit, "btnExit"},       {ops::Control::btnScan, "btnScan"},
            {ops::Control::btnFactory, "btnFactory"}, {ops::Control::btnID, "btnID"},
            {ops::Control::btnBaudRate, "btnBaudRate"}, {ops::Control::btnStatus, "btnStatus"},
            {ops::Control::btnPrint, "btnPrint"},     {ops::Control::gbDefault, "gbDefault"}};
        for (const auto &[control, name] : controls)
            QTest::newRow(qPrintable(name)) << int(control) << -1 << name;
        for (int language = 0; language < kLanguageCount; ++language)
            QTest::newRow(kLanguages[language].button) << -1 << language << QString(kLanguages[language].button);
    }

    void controlEnabling()
    {
        QFETCH(int, control);
        QFETCH(int, language);
        QFETCH(QString, name);
        TfrmModule window;
        window.show();
        const auto enable = [&](bool enabled) {
            if (language >= 0)
                window.setLanguageButtonEnabled(language, enabled);
            else
                window.setControlEnabled(ops::Control(control), enabled);
        };
        enable(false);
        QVERIFY(!window.findChild<QWidget *>(name)->isEnabled());
        int disabled = 0;
        for (QWidget *w : componentWidgets(window))
            disabled += !w->isEnabled();
        // Only that control (and, for the group box, what it holds).
        QCOMPARE(disabled, name == QLatin1String("gbDefault") ? 4 : 1);
        enable(true);
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
