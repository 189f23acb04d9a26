// Catches the window failing on Windows: not shown through Qt's windows platform plugin or
// without its style, an operation's panel texts wrong, the print text not in the code page
// asked for, Chinese captions drawn as boxes.
// win_window_check: the real window built for Windows (TfrmModule, started by the program's own
// start-up on Qt's windows platform plugin), driven under Wine against telmax-sim on a COM port.
// In each of the three languages it presses Scan Module, Get Status, Print Text, Set Module ID
// and Set Module Baud Rate, reads the panels, checks the bytes the module printed, that the
// Chinese captions are drawn with glyphs rather than boxes, and saves what the screen shows.
// run_app_under_wine.sh runs it and then checks the registry and telmax-cmd.exe.
//
//   win_window_check --port N --serial S --version V --id NN --status-text T --paper FILE --shots DIR
//
// The module starts at line setting 5; PrintCodePage is 936 (GBK). One line per check, then
// "N passed, N failed, N skipped"; exit 0 only when none failed.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "app/frm_module.h"
#include "app/startup.h"
#include "app/widgets.h"
#include "win_check.h"
#include "win_window.h"

namespace {

using namespace wincheck;
using namespace winwindow;

// What one language shows, written out; and what is set in it.
struct LanguageCase {
    const char *button, *name, *shot;
    const char *scanCaption, *serialLabel, *versionLabel;
    const char *infoOk, *statusOk, *printOk, *setIdOk, *setLineOk;
    const char *printText;
    QByteArray printBytes;   // the text in GBK, as the module receives it
    int id, line;
};

const LanguageCase kCases[] = {
    {"btnEng", "English", "window-wine-en.png", "Scan Module", "S/N", "VER", "Get Module Info Ok. (COM",
     "Get Module Status Ok", "Print Text Ok", "Set Module ID Ok", "Set Module BaudRate Ok", "WINE PRINT EN",
     QByteArray("WINE PRINT EN"), 21, 9},
    {"btnGB", "simplified", "window-wine-gb.png", "扫描模组", "序号", "版本", "读取模组资讯完成. (串口",
     "读取模组状态完成", "列印文字完成", "设定模组编号完成", "设定模组通讯速度完成", "列印测试",
     QByteArray("\xC1\xD0\xD3\xA1\xB2\xE2\xCA\xD4"), 22, 3},
    {"btnBIG5", "traditional", "window-wine-big5.png", "掃描模組", "序號", "版本", "讀取模組資訊完成. (串口",
     "讀取模組狀態完成", "列印文字完成", "設定模組編號完成", "設定模組通訊速度完成", "列印測試",
     QByteArray("\xC1\xD0\xD3\xA1\x9C\x79\xD4\x87"), 23, 11},
};

std::string text(const QString &s) { return s.toStdString(); }

void expectText(const std::string &what, const QString &got, const QString &want)
{
    check(got == want, what, text(got) + (got == want ? "" : " != " + text(want)));
}

QString panel(const TfrmModule &w, const char *name) { return part<Panel>(w, name)->text(); }

void startState(TfrmModule &w)
{
    check(QGuiApplication::platformName() == QLatin1String("windows"), "the window runs on the windows platform plugin",
          text(QGuiApplication::platformName()));
    check(QApplication::style()->name() == QLatin1String("windowsvista"), "the Windows style, from styles\\",
          text(QApplication::style()->name()));
    check(w.isVisible() && w.winId() != 0, "the window is shown, a native window of its own");
    expectText("nothing stored: the English title", w.windowTitle(),
               QStringLiteral("VOREX TELMAX-3Q Module Config V3.20-01"));
}

void chooseLanguage(TfrmModule &w, const LanguageCase &c)
{
    part<QPushButton>(w, c.button)->click();
    auto &scan = *part<QPushButton>(w, "btnScan");
    expectText(std::string(c.name) + ": Scan Module's caption", scan.text(), QString::fromUtf8(c.scanCaption));
    if (std::strcmp(c.button, "btnEng") == 0)
        return;
    QString detail;
    check(glyphsDrawn(scan, detail), std::string(c.name) + ": every character of the caption has its glyph",
          text(detail));
    check(captionNotBoxesOnScreen(w, scan, detail), std::string(c.name) + ": the caption on the screen is not boxes",
          text(detail));
}

void scan(TfrmModule &w, const LanguageCase &c, const Module &m, const QString &id, bool throughSystem)
{
    auto &button = *part<QPushButton>(w, "btnScan");
    if (throughSystem) {
        const bool sent = clickThroughSystem(button);
        check(sent, std::string(c.name) + ": a mouse click on Scan Module through the system's input queue");
        if (!sent)
            button.click();
    } else {
        button.click();
    }
    const std::string lang = std::string(c.name) + ": scan: ";
    expectText(lang + "message", panel(w, "pnMsg"),
               QString::fromUtf8(c.infoOk) + QStringLiteral(" : #") + QString::number(m.port) + QStringLiteral(")"));
    expectText(lang + "S/N", panel(w, "pnSerial"), QString::fromUtf8(c.serialLabel) + QStringLiteral(" : ") + m.serial);
    expectText(lang + "version", panel(w, "pnVersion"),
               QString::fromUtf8(c.versionLabel) + QStringLiteral(" : ") + m.version);
    expectText(lang + "ID", panel(w, "pnID"), id);
}

void statusAndPrint(TfrmModule &w, const LanguageCase &c, const Module &m)
{
    const std::string lang = std::string(c.name) + ": ";
    part<QPushButton>(w, "btnStatus")->click();
    expectText(lang + "status: message", panel(w, "pnMsg"), QString::fromUtf8(c.statusOk));
    expectText(lang + "status: the printer's", panel(w, "pnStatus"), m.statusText);

    QFile paper(m.paper);
    const qint64 before = paper.size();
    part<QLineEdit>(w, "edText")->setText(QString::fromUtf8(c.printText));
    part<QPushButton>(w, "btnPrint")->click();
    expectText(lang + "print: message", panel(w, "pnMsg"), QString::fromUtf8(c.printOk));
    QByteArray printed;
    if (paper.open(QIODevice::ReadOnly) && paper.seek(before))
        printed = paper.readAll();
    check(printed.contains(c.printBytes), lang + "print: the module printed the text in GBK",
          text(QString::fromLatin1(printed.toHex(' '))));
}

void setIdAndLine(TfrmModule &w, const LanguageCase &c)
{
    const std::string lang = std::string(c.name) + ": ";
    part<QScrollBar>(w, "sbID")->setValue(c.id);
    expectText(lang + "the scroll bar's ID", panel(w, "pnID"), QString::number(c.id));
    part<QPushButton>(w, "btnID")->click();
    expectText(lang + "set ID: message", panel(w, "pnMsg"), QString::fromUtf8(c.setIdOk));

    part<QComboBox>(w, "cmbBaudRate")->setCurrentIndex(c.line);
    part<QPushButton>(w, "btnBaudRate")->click();
    expectText(lang + "set line setting: message", panel(w, "pnMsg"), QString::fromUtf8(c.setLineOk));
}

void drive(TfrmModule &w, const Module &m)
{
    startState(w);
    QString id = m.id;
    bool first = true;
    for (const LanguageCase &c : kCases) {
        chooseLanguage(w, c);
        scan(w, c, m, id, first);
        first = false;
        statusAndPrint(w, c, m);
        check(saveScreenshot(w, m.shots, QString::fromLatin1(c.shot)),
              std::string(c.name) + ": the screen's picture saved as " + c.shot);
        setIdAndLine(w, c);
        id = QString::number(c.id);
    }
    // The module now answers at the last line setting, with the last ID.
    scan(w, kCases[std::size(kCases) - 1], m, id, false);
}

bool parse(int argc, char **argv, Module &m)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const QString value = QString::fromLocal8Bit(argv[i + 1]);
        if (key == "--port") m.port = value.toInt();
        else if (key == "--serial") m.serial = value;
        else if (key == "--version") m.version = value;
        else if (key == "--id") m.id = value;
        else if (key == "--status-text") m.statusText = value;
        else if (key == "--paper") m.paper = value;
        else if (key == "--shots") m.shots = value;
        else return false;
    }
    return argc % 2 == 1 && m.port > 0 && !m.serial.isEmpty() && !m.version.isEmpty() && m.id.size() == 2
        && !m.statusText.isEmpty() && !m.paper.isEmpty() && !m.shots.isEmpty();
}

} // namespace

int main(int argc, char **argv)
{
    Module module;
    if (!parse(argc, argv, module)) {
        std::fprintf(stderr, "usage: win_window_check --port N --serial S --version V --id NN --status-text T "
                             "--paper FILE --shots DIR\n");
        return 2;
    }
    // The program's own start-up; the checks run once the window is shown, then Exit closes it.
    int qtArgc = 1;
    app::runMain(qtArgc, argv, [&module](TfrmModule &window) {
        QTimer::singleShot(0, &window, [&module, &window] {
            drive(window, module);
            part<QPushButton>(window, "btnExit")->click();
        });
    });
    return summary();
}
