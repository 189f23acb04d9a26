// The POSIX port on real pseudo-terminals: exclusive open, saved and restored state, the
// 1 ms read, line settings as termios.
#include <QtTest>

#include <csignal>
#include <thread>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <pty.h>
#include <termios.h>
#include <pwd.h>
#include <unistd.h>

#include "link/comm.h"
#include "link/device_access.h"
#include "link/frame.h"
#include "link/line_settings.h"
#include "link/seams.h"
#include "link/termios_line.h"
#include "ops/port_messages.h"
#include "platform/hooks.h"
#include "support/fake_port.h"
#include "support/pty_util.h"

namespace {

// A pty pair whose slave stays open, as the simulator keeps it.
struct Pty {
    int master = -1;
    int slave = -1;
    QString path;
    Pty()
    {
        char name[128] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0)
            path = QString::fromLocal8Bit(name);
    }
    ~Pty()
    {
        if (master >= 0) ::close(master);
        if (slave >= 0) ::close(slave);
    }
};

bool sameTermios(const termios &a, const termios &b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag
        && a.c_cc[VMIN] == b.c_cc[VMIN] && a.c_cc[VTIME] == b.c_cc[VTIME];
}

int g_go[2] = {-1, -1};       // the handler to the opening thread: open now
int g_opened[2] = {-1, -1};   // the opening thread to the handler: its open has returned

// The handler that was there before the link's: another thread opens a port only now, after the
// link's handler has put back the ports it held, and the process ends once that open returned.
extern "C" void letTheOtherThreadOpen(int)
{
    char c = 0;
    (void)!::write(g_go[1], &c, 1);
    (void)!::read(g_opened[0], &c, 1);
    ::_exit(0);
}

// Bytes the port has received and the program not yet read.
int bytesWaiting(CommHandleType handle)
{
    int count = 0;
    return ::ioctl(int(handle), FIONREAD, &count) == 0 ? count : -1;
}

} // namespace

class TestPortPosix : public QObject {
    Q_OBJECT

private slots:
    // A test that fails with the port open must not leave it to the next one.
    void cleanup()
    {
        CloseComm();
        serial::setPortMap({});
    }

    void lineSettingsStrings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<int>("baud");
        QTest::addColumn<bool>("parity");
        QTest::newRow("4800,n,8,1") << "4800,n,8,1" << true << 4800 << false;
        QTest::newRow("19200,e,8,1") << "19200,e,8,1" << true << 19200 << true;
        QTest::newRow("115200,e,8,1") << "115200,e,8,1" << true << 115200 << true;
        QTest::newRow("upper-case parity") << "9600,E,8,1" << true << 9600 << true;
        QTest::newRow("spaces") << " 57600 , n , 8 , 1 " << true << 57600 << false;
        QTest::newRow("empty") << "" << false << 0 << false;
        QTest::newRow("three fields") << "19200,e,8" << false << 0 << false;
        QTest::newRow("unknown speed") << "12345,n,8,1" << false << 0 << false;
        QTest::newRow("bad parity") << "19200,x,8,1" << false << 0 << false;
        QTest::newRow("nine data bits") << "19200,n,9,1" << false << 0 << false;
        QTest::newRow("text") << "fast please" << false << 0 << false;
    }
    void lineSettingsStrings()
    {
        QFETCH(QString, text);
        QFETCH(bool, readable);
        QFETCH(int, baud);
        QFETCH(bool, parity);
        termios t{};
        t.c_cflag = CS7 | CSTOPB;
        cfsetispeed(&t, B1200);
        cfsetospeed(&t, B1200);
        const termios before = t;
        QCOMPARE(serial::applyLineSettings(text.toStdString(), t), readable);
        if (!readable) {
            QCOMPARE(t.c_cflag, before.c_cflag);
            QCOMPARE(int(cfgetospeed(&t)), int(B1200));
            return;
        }
        QCOMPARE(serial::baudFor(cfgetospeed(&t)), baud);
        QCOMPARE(serial::baudFor(cfgetispeed(&t)), baud);
        QCOMPARE(bool(t.c_cflag & PARENB), parity);
        QVERIFY(!(t.c_cflag & PARODD));
        QCOMPARE(int(t.c_cflag & CSIZE), int(CS8));
        QVERIFY(!(t.c_cflag & CSTOPB));
    }

    void rawModeHasNoFlowControl()
    {
        termios t{};
        t.c_iflag = IXON | IXOFF | ICRNL;
        t.c_cflag = CRTSCTS;
        t.c_lflag = ICANON | ECHO;
        serial::makeRaw(t);
        QVERIFY(!(t.c_iflag & (IXON | IXOFF | ICRNL)));
        QVERIFY(!(t.c_cflag & CRTSCTS));
        QVERIFY(t.c_cflag & CLOCAL);
        QVERIFY(t.c_cflag & CREAD);
        QVERIFY(!(t.c_lflag & (ICANON | ECHO)));
    }

    void defaultPortTable_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("device");
        QTest::newRow("COM1") << 1 << "/dev/ttyS0";
        QTest::newRow("COM4") << 4 << "/dev/ttyS3";
        QTest::newRow("COM5") << 5 << "/dev/ttyUSB0";
        QTest::newRow("COM12") << 12 << "/dev/ttyUSB7";
        QTest::newRow("COM13") << 13 << "/dev/ttyACM0";
        QTest::newRow("COM16") << 16 << "/dev/ttyACM3";
        QTest::newRow("COM17") << 17 << "";
        QTest::newRow("COM0") << 0 << "";
        QTest::newRow("COM-3") << -3 << "";
    }
    void defaultPortTable()
    {
        QFETCH(int, number);
        QFETCH(QString, device);
        QCOMPARE(QString::fromStdString(serial::defaultPortDevice(number)), device);
    }

    void portMapWinsOverTheTable()
    {
        serial::setPortMap({{3, "/dev/serial/by-id/usb-x"}, {40, "/dev/ttyUSB9"}});
        QCOMPARE(serial::resolvePort(3), std::string("/dev/serial/by-id/usb-x"));
        QCOMPARE(serial::resolvePort(40), std::string("/dev/ttyUSB9"));
        QCOMPARE(serial::resolvePort(4), std::string("/dev/ttyS3"));
        serial::setPortMap({});
        QCOMPARE(serial::resolvePort(3), std::string("/dev/ttyS2"));
    }

    void openThroughThePortMapAndRestoreAtClose()
    {
        Pty pty;
        QVERIFY(!pty.path.isEmpty());
        termios before{};
        QCOMPARE(tcgetattr(pty.slave, &before), 0);
        QVERIFY(before.c_lflag & ICANON);   // a fresh pty is cooked

        serial::setPortMap({{3, pty.path.toStdString()}});
        QVERIFY(OpenComm(3, "38400,n,8,1"));
        QVERIFY(CommHandle != INVALID_COMM_HANDLE);
        termios during{};
        QCOMPARE(tcgetattr(pty.slave, &during), 0);
        QVERIFY(!(during.c_lflag & ICANON));
        QCOMPARE(int(cfgetospeed(&during)), int(B38400));

        CloseComm();
        termios after{};
        QCOMPARE(tcgetattr(pty.slave, &after), 0);
        QCOMPARE(after.c_lflag, before.c_lflag);
        QCOMPARE(after.c_iflag, before.c_iflag);
        QCOMPARE(int(cfgetospeed(&after)), int(cfgetospeed(&before)));
        serial::setPortMap({});
    }

    // flock keeps a second opener out even as root, who is not stopped by TIOCEXCL.
    void secondOpenFailsWhileHeld()
    {
        Pty pty;
        serial::setPortMap({{3, pty.path.toStdString()}});
        QVERIFY(OpenComm(3, "19200,e,8,1"));
        const CommHandleType first = CommHandle;
        // A second OpenComm used to overwrite the handle of the open port, which then stayed
        // open and locked until the program ended.
        QVERIFY(!OpenComm(3, "19200,e,8,1"));
        QCOMPARE(CommHandle, first);

        const serial::OpenResult second = serial::nativeBackend().open(pty.path.toStdString());
        QCOMPARE(second.handle, INVALID_COMM_HANDLE);
        QCOMPARE(second.failure, serial::OpenFailure::Busy);

        CloseComm();
        // Released: the next open succeeds, and the exclusive mode did not stay on the tty.
        QVERIFY(OpenComm(3, "19200,e,8,1"));
        CloseComm();
        serial::setPortMap({});
    }

    void missingDeviceFailsAtOnce()
    {
        serial::setPortMap({{3, "/dev/telmax-no-such-port"}});
        QElapsedTimer t;
        t.start();
        const serial::OpenResult missing = serial::defaultLink.open(3, "19200,e,8,1");
        QVERIFY(!missing.opened());
        QCOMPARE(CommHandle, INVALID_COMM_HANDLE);
        QCOMPARE(missing.failure, serial::OpenFailure::Missing);
        const serial::OpenResult unnamed = serial::defaultLink.open(17, "19200,e,8,1");
        QVERIFY(!unnamed.opened());   // no device for COM17 without a map entry
        QCOMPARE(unnamed.failure, serial::OpenFailure::NoDevice);
        serial::setPortMap({});
    }

    void unreadableSettingsStillOpenAndKeepTheLine()
    {
        Pty pty;
        termios t{};
        tcgetattr(pty.slave, &t);
        cfsetospeed(&t, B9600);
        cfsetispeed(&t, B9600);
        tcsetattr(pty.slave, TCSANOW, &t);
        serial::setPortMap({{3, pty.path.toStdString()}});
        QVERIFY(OpenComm(3, "not a setting"));
        termios during{};
        tcgetattr(pty.slave, &during);
        QCOMPARE(int(cfgetospeed(&during)), int(B9600));
        CloseComm();
        serial::setPortMap({});
    }

    void readReturnsWithinAboutAMillisecond()
    {
        Pty pty;
        serial::setPortMap({{3, pty.path.toStdString()}});
        QVERIFY(OpenComm(3, "19200,e,8,1"));
        unsigned char b = 0;
        int got = 0;
        for (int i = 0; i < 20; ++i)
            got += serial::nativeBackend().readByte(CommHandle, &b);
        QCOMPARE(got, 0);
        QCOMPARE(::write(pty.master, "\x0a", 1), ssize_t(1));
        int tries = 0;
        while (serial::nativeBackend().readByte(CommHandle, &b) == 0 && ++tries < 1000) {
        }
        QVERIFY(tries < 1000);
        QCOMPARE(int(b), 0x0A);
        CloseComm();
        serial::setPortMap({});
    }

    // A reply that came after its window had closed must not answer the next command: it
    // made Get Status report the info reply's bytes as the status.
    void lateReplyIsNotTakenForTheNextOne()
    {
        Pty pty;
        serial::setPortMap({{3, pty.path.toStdString()}});
        QVERIFY(OpenComm(3, "19200,e,8,1"));
        LastReply = "previous";
        QCOMPARE(::write(pty.master, "\x0a\x30\x41\x0d", 4), ssize_t(4));
        QTRY_COMPARE_WITH_TIMEOUT(bytesWaiting(CommHandle), 4, 2000);   // the late reply has arrived
        QVERIFY(!SendCommand("E00F"));   // nobody answers this one
        QCOMPARE(int(ReplyLength), 0);
        QCOMPARE(LastReply, std::string("previous"));
        QCOMPARE(testsupport::readFor(pty.master, 50), testsupport::hexBytes("09 45 30 30 46 30 41 0D"));
    }

    // Root is not stopped by TIOCEXCL: a port another program made exclusive was used, and its
    // protection cleared at close.
    void portMadeExclusiveElsewhereIsBusy()
    {
        Pty pty;
        QCOMPARE(::ioctl(pty.slave, TIOCEXCL), 0);   // the other program's descriptor
        serial::setPortMap({{3, pty.path.toStdString()}});
        const serial::OpenResult busy = serial::defaultLink.open(3, "19200,e,8,1");
        QVERIFY(!busy.opened());
        QCOMPARE(busy.failure, serial::OpenFailure::Busy);
        int exclusive = 0;
        QCOMPARE(::ioctl(pty.slave, TIOCGEXCL, &exclusive), 0);
        QCOMPARE(exclusive, 1);
        QVERIFY(testsupport::readFor(pty.master, 20).empty());
    }

    // A pty whose other side never reads must not hang the program.
    void writesDoNotBlockOnAFullLine()
    {
        Pty pty;
        serial::setPortMap({{3, pty.path.toStdString()}});
        QVERIFY(OpenComm(3, "19200,e,8,1"));
        const std::string block(4096, 'x');
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 8; ++i)
            SendBlock(reinterpret_cast<const unsigned char *>(block.data()), int(block.size()));
        QVERIFY2(t.elapsed() < 60000, "writes stalled");   // a hang guard, not a timing claim
        CloseComm();
        serial::setPortMap({});
    }

    // A root-only device advised "usermod -aG root", and a group that may only read it was
    // offered as the cure.
    void permissionAdviceNamesOnlyAGroupThatHelps_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("gid");
        QTest::addColumn<bool>("advised");
        QTest::newRow("group may read and write") << 0660 << 20 << true;
        QTest::newRow("group may only read") << 0640 << 20 << false;
        QTest::newRow("owner only") << 0600 << 20 << false;
        QTest::newRow("root's group") << 0660 << 0 << false;
    }
    void permissionAdviceNamesOnlyAGroupThatHelps()
    {
        QFETCH(int, mode);
        QFETCH(int, gid);
        QFETCH(bool, advised);
        QTemporaryDir dir;
        const QByteArray device = QFile::encodeName(dir.path() + "/ttyX");
        QCOMPARE(::mknod(device.constData(), S_IFCHR | mode_t(mode), makedev(5, 0)), 0);
        if (::chown(device.constData(), 0, gid_t(gid)) != 0)
            QSKIP("the test cannot give the device a group (not root)");
        ::chmod(device.constData(), mode_t(mode));
        const std::string group = serial::groupToJoin(device.toStdString());
        QCOMPARE(!group.empty(), advised);
        serial::OpenResult denied{INVALID_COMM_HANDLE, serial::OpenFailure::Permission, EACCES};
        denied.device = device.toStdString();
        denied.group = group;
        const QString text = ops::openFailureText("COM1", denied);
        QVERIFY2(advised ? text.contains(QString::fromStdString("usermod -aG " + group))
                         : text.contains("ask the administrator"),
                 qPrintable(text));
    }

    // A user added to the device's group since logging in was told to join it again: the group
    // counts only from the next login, which is the advice due.
    void groupGivenSinceLoginToldApart_data()
    {
        QTest::addColumn<QString>("members");
        QTest::addColumn<bool>("inThisProcess");
        QTest::addColumn<bool>("pending");
        const QString me = QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name);
        QTest::newRow("listed, not yet in this process") << "alice," + me + ",bob" << false << true;
        QTest::newRow("listed and in this process") << me << true << false;
        QTest::newRow("not listed") << "alice,bob" << false << false;
        QTest::newRow("a name that only begins like this user's") << me + "x" << false << false;
    }
    void groupGivenSinceLoginToldApart()
    {
        QFETCH(QString, members);
        QFETCH(bool, inThisProcess);
        QFETCH(bool, pending);
        QTemporaryDir dir;
        const QString groupFile = dir.filePath("group");
        QFile f(groupFile);
        QVERIFY(f.open(QIODevice::WriteOnly));
        // A gid this process surely lacks, unless the row wants one it has.
        const unsigned gid = inThisProcess ? unsigned(::getegid()) : 54321u;
        f.write(QStringLiteral("root:x:0:\ntelmaxgrp:x:%1:%2\nother:x:7:\n").arg(gid).arg(members).toLocal8Bit());
        f.close();
        QCOMPARE(serial::groupPending("telmaxgrp", groupFile.toStdString()), pending);
        serial::OpenResult denied{INVALID_COMM_HANDLE, serial::OpenFailure::Permission, EACCES};
        denied.device = "/dev/ttyUSB0";
        denied.group = "telmaxgrp";
        denied.groupPending = pending;
        const QString text = ops::openFailureText("COM5", denied);
        QVERIFY2(text.contains("you were added to group telmaxgrp; log out and in again (or run `newgrp telmaxgrp`)")
                     == pending,
                 qPrintable(text));
    }

    // During a side-by-side search a signal's handler put back the ports it held while other
    // threads went on opening ports: a port opened then stayed raw and exclusive.
    void noPortIsOpenedOnceASignalEndsTheProgram()
    {
        Pty pty;
        termios before{};
        QCOMPARE(::tcgetattr(pty.slave, &before), 0);
        QCOMPARE(::pipe(g_go), 0);
        QCOMPARE(::pipe(g_opened), 0);
        const std::string device = pty.path.toStdString();
        const pid_t child = ::fork();
        if (child == 0) {
            ::signal(SIGTERM, letTheOtherThreadOpen);
            serial::restorePortOnSignals();
            std::thread opener([&device] {
                char c = 0;
                (void)!::read(g_go[0], &c, 1);
                serial::nativeBackend().open(device);
                (void)!::write(g_opened[1], &c, 1);
            });
            ::raise(SIGTERM);
            ::_exit(1);
        }
        int status = -1;
        QCOMPARE(::waitpid(child, &status, 0), child);
        for (int fd : {g_go[0], g_go[1], g_opened[0], g_opened[1]})
            ::close(fd);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        int exclusive = -1;
        QCOMPARE(::ioctl(pty.slave, TIOCGEXCL, &exclusive), 0);
        QCOMPARE(exclusive, 0);
        termios after{};
        QCOMPARE(::tcgetattr(pty.slave, &after), 0);
        QVERIFY2(sameTermios(before, after), "the port was left raw");
    }

    void hungUpPortFailsTheExchangeWithoutHanging()
    {
        auto *pty = new Pty;
        serial::setPortMap({{3, pty->path.toStdString()}});
        QVERIFY(OpenComm(3, "19200,e,8,1"));
        delete pty;   // the other side goes away
        QVERIFY(!SendCommand("E00B"));
        CloseComm();
        serial::setPortMap({});
    }
};

QTEST_GUILESS_MAIN(TestPortPosix)
#include "tst_port_posix.moc"
