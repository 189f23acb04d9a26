#include "settings/port_exclusions.h"

#include <cstdio>
#include <vector>

#include "link/exclusion.h"
#include "settings/settings_key.h"

void loadPortExclusions(const SettingsKey &key)
{
    std::vector<serial::ExclusionRule> rules;
    for (const StoreScope scope : {StoreScope::Machine, StoreScope::User}) {
        QByteArrayList pieces;
        if (!key.isOpen() || !key.readGroupPieces(scope, QStringLiteral("Ports"), QStringLiteral("Exclude"), pieces))
            continue;
        for (const QByteArray &piece : pieces) {
            const std::string entry = piece.trimmed().toStdString();
            if (entry.empty())
                continue;
            if (const auto rule = serial::parseExclusion(entry)) {
                rules.push_back(*rule);
                continue;
            }
            // Every character as a printable one: the entry is the administrator's text.
            std::string shown;
            for (unsigned char c : entry)
                shown += (c < 0x20 || c == 0x7f) ? '?' : char(c);
            std::fprintf(stderr,
                         "settings: Exclude entry \"%s\" in %s is not a device path, usb:VVVV:PPPP, serial:TEXT or"
                         " by-path:NAME; it excludes nothing\n",
                         shown.c_str(), qPrintable(SettingsKey::location(scope, QStringLiteral("ports"))));
        }
    }
    serial::setExclusions(std::move(rules));
}
