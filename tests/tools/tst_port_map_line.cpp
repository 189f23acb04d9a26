// Catches a ports.conf line suggested by --ports that the port map reads back as another device:
// a path with ";" lost its end to a comment, one with "," became a list, a backslash or a quote
// began an escape.
#include <QtTest>

#include <map>
#include <string>

#include "link/seams.h"
#include "settings/settings.h"
#include "support/temporary_store.h"
#include "tools/port_map_line.h"

class TestPortMapLine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testsupport::processStore(); }   // before the process's first QSettings

    void readsBackAsTheDevice()
    {
        const std::map<int, std::string> devices = {
            {17, "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3X7B-if00-port0"},
            {18, "/dev/serial/by-path/odd;name"},
            {19, "/dev/serial/by-path/a,b"},
            {20, "/dev/serial/by-id/usb-Maker\\x20Name-if00"},
            {21, "/dev/serial/by-id/usb-\"quoted\"-if00"},
        };
        QByteArray ports("[Ports]\n");
        for (const auto &[number, device] : devices)
            ports += QByteArray::fromStdString(tools::portMapLine(number, device)) + "\n";
        QVERIFY(testsupport::processStore().writePorts(ports));
        LoadPortMap();
        QCOMPARE(serial::portMap(), devices);
        QCOMPARE(tools::portMapLine(17, devices.at(17)), "COM17=" + devices.at(17));   // quoted only where needed
    }
};

QTEST_GUILESS_MAIN(TestPortMapLine)
#include "tst_port_map_line.moc"
