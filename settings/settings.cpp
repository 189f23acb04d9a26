#include "settings/settings.h"

#include <cstdio>
#include <map>

#include "link/commands.h"
#include "link/seams.h"
#include "platform/code_page.h"
#include "settings/port_exclusions.h"
#include "settings/settings_key.h"

int ScanCommNo = 0;
std::string ScanBaudRate = BaudRateList[kDefaultBaudRateNo];
int ScanBaudRateNo = kDefaultBaudRateNo;
QString LanguageFlag = QStringLiteral("English");
std::string PrintCodePage;

namespace {

const QString kScanCommNo = QStringLiteral("ScanCommNo");
const QString kScanBaudRate = QStringLiteral("ScanBaudRate");
const QString kScanBaudRateNo = QStringLiteral("ScanBaudRateNo");
const QString kLanguageFlag = QStringLiteral("LanguageFlag");
const QString kPrintCodePage = QStringLiteral("PrintCodePage");
const QString kPorts = QStringLiteral("Ports");

// "COMn" = device path, from the user's ports.conf over the machine-wide one, entry by entry.
// Entries that name no positive port number, or no device, are skipped; the file is only ever
// read, it is the administrator's.
void loadPortMap(const SettingsKey &key, StoreScope scope, std::map<int, std::string> &map)
{
    for (const QString &name : key.valueNames(scope, kPorts)) {
        if (!name.startsWith(QStringLiteral("COM"), Qt::CaseInsensitive))
            continue;
        bool ok = false;
        const int number = name.mid(3).toInt(&ok, 10);
        if (!ok || number <= 0 || name.mid(3).startsWith(u'+'))
            continue;
        QByteArray device;
        if (!key.readGroupBytes(scope, kPorts, name, device) || device.trimmed().isEmpty())
            continue;
        device = device.trimmed();
        map[number] = device.toStdString();
    }
}

// Read apart from the four: their load ends at the first unreadable value, and this one neither
// ends it nor waits on it.
void loadPrintCodePage(const SettingsKey &key)
{
    PrintCodePage.clear();
    QString name;
    if (!key.valueExists(kPrintCodePage) || !key.readString(kPrintCodePage, name))
        return;
    const std::string wanted = name.trimmed().toStdString();
    if (wanted.empty())
        return;
    if (!platform::codePageUsable(wanted)) {
        std::fprintf(stderr,
                     "settings: PrintCodePage \"%s\" is not a code page text can be printed in here;"
                     " printing in the system code page (%s)\n",
                     wanted.c_str(), platform::systemCodePage().c_str());
        return;
    }
    PrintCodePage = wanted;
}

} // namespace

void LoadPortMap()
{
    std::map<int, std::string> map;
    SettingsKey key(QStringLiteral("ports"));
    if (key.open()) {
        loadPortMap(key, StoreScope::Machine, map);
        loadPortMap(key, StoreScope::User, map);
    }
    serial::setPortMap(map);
    loadPortExclusions(key);
}

void SetDefaultSettings()
{
    ScanCommNo = 0;
    ScanBaudRate = BaudRateList[kDefaultBaudRateNo];
    ScanBaudRateNo = kDefaultBaudRateNo;
    LanguageFlag = QStringLiteral("English");
    PrintCodePage.clear();
}

namespace {

// Each step either reads its value, falls back to its default when the value is absent,
// or ends the load when the value is there but unreadable. True when "LanguageFlag" was read.
bool loadValues(const SettingsKey &key)
{
    if (key.valueExists(kScanCommNo)) {
        if (!key.readInteger(kScanCommNo, ScanCommNo))
            return false;
    } else {
        ScanCommNo = 0;
    }

    if (key.valueExists(kScanBaudRate)) {
        QString text;
        if (!key.readString(kScanBaudRate, text))
            return false;
        ScanBaudRate = text.toStdString();
    } else {
        ScanBaudRate = BaudRateList[kDefaultBaudRateNo];
    }

    if (key.valueExists(kScanBaudRateNo)) {
        int number = 0;
        if (!key.readInteger(kScanBaudRateNo, number))
            return false;
        // The number selects an entry of the line-settings list; one outside it is taken
        // from the remembered line settings instead, or the default when they are not listed.
        if (number < 0 || number >= kBaudRateCount) {
            const int index = baudRateIndex(ScanBaudRate);
            number = index >= 0 ? index : kDefaultBaudRateNo;
        }
        ScanBaudRateNo = number;
    } else {
        ScanBaudRateNo = kDefaultBaudRateNo;
    }

    if (!key.valueExists(kLanguageFlag)) {
        LanguageFlag = QStringLiteral("English");
        return false;
    }
    QString flag;
    if (!key.readString(kLanguageFlag, flag))
        return false;
    LanguageFlag = flag;
    return true;
}

// A line setting the module does not have would open the port with nothing applied: the one the
// stored number selects stands in for it.
void keepLineSettingUsable()
{
    if (baudRateIndex(ScanBaudRate) >= 0)
        return;
    std::fprintf(stderr, "settings: ScanBaudRate \"%s\" is not one of the module's line settings; using %s\n",
                 ScanBaudRate.c_str(), BaudRateList[std::size_t(ScanBaudRateNo)]);
    ScanBaudRate = BaudRateList[std::size_t(ScanBaudRateNo)];
}

} // namespace

bool LoadSettings()
{
    LoadPortMap();
    SettingsKey key;
    const bool open = key.open();
    loadPrintCodePage(key);
    const bool flagRead = open && loadValues(key);
    keepLineSettingUsable();
    return flagRead;
}


namespace {

SaveResult save(const SettingsValues &values)
{
    SettingsKey key;
    return key.openOrCreate() ? key.write(values) : key.refused();
}

} // namespace

SaveResult SaveScanSettings()
{
    return save({{kScanCommNo, ScanCommNo},
                 {kScanBaudRateNo, ScanBaudRateNo},
                 {kScanBaudRate, QString::fromStdString(ScanBaudRate)}});
}

SaveResult SaveLineSetting()
{
    return save({{kScanBaudRateNo, ScanBaudRateNo}, {kScanBaudRate, QString::fromStdString(ScanBaudRate)}});
}

SaveResult SaveLanguage()
{
    return save({{kLanguageFlag, LanguageFlag}});
}
