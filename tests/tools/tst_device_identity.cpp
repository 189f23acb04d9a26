// Catches --ports naming the wrong thing behind a port: the USB identity looked for on the tty's
// own device (an interface, which has no idVendor) instead of the USB device above it, a by-id
// link credited to a device it does not point at, a driver given by its sysfs name ("port",
// "serial", "ch341-uart") instead of the one a technician knows, UART addresses with no UART
// behind them listed as devices, and an FTDI lead's latency timer not shown. Also catches a USB
// serial lead that another program (brltty) claimed before its driver, or that no driver took,
// going unmentioned, or blamed on the wrong program. The tree is laid out as kernels 6.1 and
// 6.5+ lay out sysfs.
#include <QtTest>

#include <filesystem>
#include <fstream>

#include "link/exclusion.h"
#include "ops/port_messages.h"
#include "tools/device_identity.h"
#include "tools/usb_without_tty.h"

namespace fs = std::filesystem;

namespace {

class FakeTree {
public:
    explicit FakeTree(const fs::path &root) : m_root(root) {}

    void file(const std::string &path, const std::string &text = {})
    {
        fs::create_directories((m_root / path).parent_path());
        std::ofstream(m_root / path) << text << "\n";
    }
    void link(const std::string &path, const std::string &target)
    {
        fs::create_directories((m_root / path).parent_path());
        if (!fs::is_symlink(m_root / path))   // a driver's link, made for its first lead
            fs::create_symlink(target, m_root / path);
    }
    void dir(const std::string &path) { fs::create_directories(m_root / path); }

private:
    fs::path m_root;
};

// Two USB serial leads without a tty: a CH340 whose interface brltty (pid 612) claimed through
// its USB device node, and a CP2102 no driver took; beside them a keyboard, which is no lead.
void layOutLeadsWithoutTty(FakeTree &t, const fs::path &root)
{
    struct Usb {
        const char *name, *vid, *pid, *product, *cls, *driver, *devnum;
    };
    const Usb devices[] = {
        {"1-4", "1a86", "7523", "USB Serial", "ff", "usbfs", "4"},
        {"1-5", "10c4", "ea60", "CP2102 USB to UART Bridge Controller", "ff", "", "5"},
        {"1-6", "046d", "c31c", "USB Keyboard", "03", "usbhid", "6"},
    };
    for (const Usb &u : devices) {
        const std::string dev = std::string("sys/devices/pci0000:00/0000:00:14.0/usb1/") + u.name;
        t.file(dev + "/idVendor", u.vid);
        t.file(dev + "/idProduct", u.pid);
        t.file(dev + "/product", u.product);
        t.file(dev + "/busnum", "1");
        t.file(dev + "/devnum", u.devnum);
        const std::string intf = dev + "/" + u.name + ":1.0";
        t.file(intf + "/bInterfaceClass", u.cls);
        if (*u.driver)
            t.link(intf + "/driver", std::string("../../../../../../bus/usb/drivers/") + u.driver);
        t.link(std::string("sys/bus/usb/devices/") + u.name + ":1.0",
               std::string("../../../devices/pci0000:00/0000:00:14.0/usb1/") + u.name + "/" + u.name + ":1.0");
        t.file(std::string("dev/bus/usb/001/00") + u.devnum);
    }
    t.file("proc/612/comm", "brltty");
    t.link("proc/612/fd/7", (root / "dev/bus/usb/001/004").string());
    t.file("proc/700/comm", "bash");
    t.link("proc/700/fd/0", (root / "dev/pts/0").string());
}

// sys/ and dev/ of a machine with: a UART behind the serial-base layers of kernel 6.5+ (ttyS0),
// a UART address without a UART (ttyS3), an FTDI lead with a by-id link (ttyUSB0), a CH340 lead
// without one (ttyUSB1), each with a by-path link, and a virtual terminal (tty1); with twin, a
// second CH340 lead just like the first (ttyUSB2) and a second FTDI lead with a serial number of
// its own (ttyUSB3).
void layOut(const fs::path &root, bool twin = false)
{
    FakeTree t(root);
    const std::string pnp = "sys/devices/pnp0/00:01";
    t.link(pnp + "/driver", "../../../bus/pnp/drivers/serial");
    t.link(pnp + "/00:01:0/subsystem", "../../../../bus/serial-base");
    t.link(pnp + "/00:01:0/00:01:0.0/subsystem", "../../../../../bus/serial-base");
    t.link(pnp + "/00:01:0/00:01:0.0/driver", "../../../../../bus/serial-base/drivers/port");
    t.file(pnp + "/00:01:0/00:01:0.0/tty/ttyS0/type", "4");
    t.link(pnp + "/00:01:0/00:01:0.0/tty/ttyS0/device", "../../../00:01:0.0");
    t.link("sys/class/tty/ttyS0", "../../devices/pnp0/00:01/00:01:0/00:01:0.0/tty/ttyS0");

    t.link("sys/devices/platform/serial8250/driver", "../../../bus/platform/drivers/serial8250");
    t.file("sys/devices/platform/serial8250/tty/ttyS3/type", "0");
    t.link("sys/devices/platform/serial8250/tty/ttyS3/device", "../../../serial8250");
    t.link("sys/class/tty/ttyS3", "../../devices/platform/serial8250/tty/ttyS3");

    struct Lead {
        const char *usb, *tty, *vid, *pid, *maker, *product, *serial, *portDriver, *module;
    };
    const Lead leads[] = {
        {"1-2", "ttyUSB0", "0403", "6001", "FTDI", "FT232R USB UART", "A10K3X7B", "ftdi_sio", "ftdi_sio"},
        {"1-3", "ttyUSB1", "1a86", "7523", "", "USB Serial", "", "ch341-uart", "ch341"},
        {"1-4", "ttyUSB2", "1a86", "7523", "", "USB Serial", "", "ch341-uart", "ch341"},
        {"1-5", "ttyUSB3", "0403", "6001", "FTDI", "FT232R USB UART", "B20X9Y1Z", "ftdi_sio", "ftdi_sio"},
    };
    for (const Lead &l : leads) {
        if (!twin && (std::string(l.tty) == "ttyUSB2" || std::string(l.tty) == "ttyUSB3"))
            continue;
        const std::string dev = std::string("sys/devices/pci0000:00/0000:00:14.0/usb1/") + l.usb;
        t.link(std::string("sys/bus/usb/devices/") + l.usb + ":1.0",
               std::string("../../../devices/pci0000:00/0000:00:14.0/usb1/") + l.usb + "/" + l.usb + ":1.0");
        t.file(dev + "/idVendor", l.vid);
        t.file(dev + "/idProduct", l.pid);
        if (*l.maker)
            t.file(dev + "/manufacturer", l.maker);
        t.file(dev + "/product", l.product);
        if (*l.serial)
            t.file(dev + "/serial", l.serial);
        const std::string intf = dev + "/" + l.usb + ":1.0";
        t.file(intf + "/bInterfaceNumber", "00");
        t.file(intf + "/bInterfaceClass", "ff");
        // As the kernel has it: the interface's driver belongs to the module usbserial.
        t.link(intf + "/driver", "../../../../../../bus/usb/drivers/" + std::string(l.module));
        const std::string port = intf + "/" + l.tty;
        t.link(port + "/driver", "../../../../../../../bus/usb-serial/drivers/" + std::string(l.portDriver));
        t.link(port + "/tty/" + l.tty + "/device", "../../../" + std::string(l.tty));
        if (std::string(l.module) == "ftdi_sio")
            t.file(port + "/latency_timer", "16");
        t.link(std::string("sys/class/tty/") + l.tty, "../../" + port.substr(4) + "/tty/" + l.tty);
        t.link(std::string("sys/bus/usb-serial/drivers/") + l.portDriver + "/module",
               std::string("../../../../module/") + l.module);
        t.link(std::string("sys/bus/usb/drivers/") + l.module + "/module", "../../../../module/usbserial");
        t.file(std::string("dev/") + l.tty);
    }
    layOutLeadsWithoutTty(t, root);
    t.dir("sys/devices/virtual/tty/tty1");
    t.link("sys/class/tty/tty1", "../../devices/virtual/tty/tty1");
    t.file("dev/ttyS0");
    t.file("dev/ttyS3");
    t.link("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3X7B-if00-port0", "../../ttyUSB0");
    t.link("dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0", "../../ttyUSB0");
    t.link("dev/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0-port0", "../../ttyUSB1");
}

serial::FileRoots rootsIn(const QTemporaryDir &root)
{
    const fs::path base = root.path().toStdString();
    return {(base / "sys").string(), (base / "dev").string(), (base / "proc").string()};
}

} // namespace

class TestDeviceIdentity : public QObject {
    Q_OBJECT

private slots:
    void identity_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("identified");
        QTest::addColumn<QString>("described");
        QTest::addColumn<QString>("byId");
        QTest::newRow("UART behind serial-base") << "ttyS0" << true << "8250" << "";
        QTest::newRow("UART address, no UART") << "ttyS3" << true << "8250, no UART at this port" << "";
        QTest::newRow("FTDI lead, by-id link")
            << "ttyUSB0" << true << "ftdi_sio  USB 0403:6001  FTDI / FT232R USB UART  serial A10K3X7B  latency timer 16 ms"
            << "/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3X7B-if00-port0";
        QTest::newRow("CH340 lead, no by-id link") << "ttyUSB1" << true << "ch341  USB 1a86:7523  USB Serial" << "";
        QTest::newRow("virtual terminal") << "tty1" << false << "" << "";
        QTest::newRow("no such tty") << "ttyUSB9" << false << "" << "";
    }

    void identity()
    {
        QFETCH(QString, name);
        QFETCH(bool, identified);
        QFETCH(QString, described);
        QFETCH(QString, byId);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const fs::path base = root.path().toStdString();
        layOut(base);
        const tools::FileRoots roots{(base / "sys").string(), (base / "dev").string()};

        const auto id = tools::identifyTty(name.toStdString(), roots);
        QCOMPARE(id.has_value(), identified);
        if (!id)
            return;
        QCOMPARE(QString::fromStdString(tools::describe(*id)), described);
        QCOMPARE(QString::fromStdString(id->byId), byId.isEmpty() ? QString() : QString::fromStdString(roots.dev) + byId);

        // The listing of what exists: the UART address without a UART and the terminal left out.
        QStringList names;
        for (const auto &d : tools::serialDevices(roots))
            names << QString::fromStdString(d.name);
        QCOMPARE(names, QStringList({"ttyS0", "ttyUSB0", "ttyUSB1"}));
        QCOMPARE(QString::fromStdString(tools::ttyNameOf(QString::fromStdString(roots.dev).toStdString()
                                                         + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3X7B-if00-port0")),
                 QStringLiteral("ttyUSB0"));
    }

    // Catches a by-path name credited to another lead than its own, two leads that udev cannot
    // tell apart (one by-id name for both) not warned of, and leads with serial numbers of their
    // own warned of.
    void byPathAndLookAlikes()
    {
        QTemporaryDir root;
        layOut(root.path().toStdString(), true);
        const tools::FileRoots roots = rootsIn(root);
        QCOMPARE(QString::fromStdString(tools::identifyTty("ttyUSB1", roots)->byPath),
                 QString::fromStdString(roots.dev + "/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0-port0"));
        QCOMPARE(QString::fromStdString(tools::identifyTty("ttyUSB2", roots)->byPath), QString());
        std::vector<QString> warnings;
        for (const std::string &w : tools::lookAlikeWarnings(tools::serialDevices(roots)))
            warnings.push_back(QString::fromStdString(w));
        QCOMPARE(warnings, std::vector<QString>({"ttyUSB1 and ttyUSB2 look alike (USB 1a86:7523, no serial number): "
                                                 "/dev/serial/by-id names only one of them; map them in ports.conf "
                                                 "by their /dev/serial/by-path names"}));
    }

    // Catches Exclude= missing the lead it names, or naming another: an entry by USB identity
    // (hex digits in either case), serial number, by-path name or a device path that is another
    // name of the device, as --ports shows them; and an entry that names nothing taken as a rule.
    void exclusionByWhatPortsShows_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("tty");
        QTest::addColumn<bool>("excluded");
        const QString byPath = "by-path:pci-0000:00:14.0-usb-0:2:1.0-port0";
        QTest::newRow("usb, its lead") << "usb:0403:6001" << "ttyUSB0" << true;
        QTest::newRow("usb, another lead") << "usb:0403:6001" << "ttyUSB1" << false;
        QTest::newRow("usb, upper-case hex") << "usb:1A86:7523" << "ttyUSB1" << true;
        QTest::newRow("serial, its lead") << "serial:A10K3X7B" << "ttyUSB0" << true;
        QTest::newRow("serial, a lead without one") << "serial:A10K3X7B" << "ttyUSB1" << false;
        QTest::newRow("by-path, its lead") << byPath << "ttyUSB0" << true;
        QTest::newRow("by-path, another lead") << byPath << "ttyUSB1" << false;
        QTest::newRow("device by its by-id name") << "<dev>/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3X7B-if00-port0"
                                                  << "ttyUSB0" << true;
        QTest::newRow("another device") << "<dev>/ttyUSB1" << "ttyUSB0" << false;
        for (const char *bad : {"usb:0403", "usb:0403:60011", "usb:04g3:6001", "ttyUSB0", "by-path:../ttyUSB0", "serial:"})
            QTest::newRow(qPrintable(QString("names nothing: ") + bad)) << bad << "ttyUSB0" << false;
    }
    void exclusionByWhatPortsShows()
    {
        QFETCH(QString, entry);
        QFETCH(QString, tty);
        QFETCH(bool, excluded);
        QTemporaryDir root;
        layOut(root.path().toStdString());
        const tools::FileRoots roots = rootsIn(root);
        entry.replace("<dev>", QString::fromStdString(roots.dev));
        const auto rule = serial::parseExclusion(entry.toStdString());
        const auto match = rule ? serial::matchingRule({*rule}, roots.dev + "/" + tty.toStdString(), roots) : std::nullopt;
        QCOMPARE(match.has_value(), excluded);
    }

    void leadsWithoutTty()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const fs::path base = root.path().toStdString();
        layOut(base);
        const tools::FileRoots roots{(base / "sys").string(), (base / "dev").string(), (base / "proc").string()};
        QStringList found;
        for (const tools::LeadWithoutTty &lead : tools::leadsWithoutTty(roots))
            found << QString::fromStdString(tools::describe(lead))
                         + " | " + ops::leadWithoutTtyText(lead.serialDriver, lead.claimedBy, lead.holders, lead.brlttyRunning);
        QCOMPARE(found.size(), 2);
        QVERIFY2(found[0].startsWith("USB 1a86:7523 (USB Serial) at 1-4 | no tty: brltty (pid 612) has claimed it")
                     && found[0].contains("sudo systemctl mask brltty.path brltty-udev.service"),
                 qPrintable(found[0]));
        QVERIFY2(found[1].startsWith("USB 10c4:ea60 (CP2102 USB to UART Bridge Controller) at 1-5 | no tty: no driver"
                                     " has taken it; load one (sudo modprobe cp210x)"),
                 qPrintable(found[1]));
    }
};

QTEST_MAIN(TestDeviceIdentity)
#include "tst_device_identity.moc"
