#include "exclusion.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "device_key.h"

namespace serial {

namespace {

std::vector<ExclusionRule> &storage()
{
    static std::vector<ExclusionRule> rules;
    return rules;
}

bool startsWith(const std::string &text, const char *prefix)
{
    return text.rfind(prefix, 0) == 0;
}

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

bool isHex4(const std::string &text)
{
    return text.size() == 4 && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c); });
}

bool matches(const ExclusionRule &rule, const std::string &device, const std::optional<DeviceIdentity> &id,
             const FileRoots &roots)
{
    switch (rule.kind) {
    case ExclusionRule::Kind::Device:
        return deviceKey(rule.value) == deviceKey(device);
    case ExclusionRule::Kind::ByPath:
        return deviceKey((std::filesystem::path(roots.dev) / "serial" / "by-path" / rule.value).string())
            == deviceKey(device);
    case ExclusionRule::Kind::Usb:
        return id && !id->vendorId.empty() && lower(id->vendorId + ":" + id->productId) == rule.value;
    case ExclusionRule::Kind::Serial:
        return id && !id->serial.empty() && id->serial == rule.value;
    }
    return false;
}

} // namespace

std::optional<ExclusionRule> parseExclusion(const std::string &entry)
{
    ExclusionRule rule;
    rule.text = entry;
    if (startsWith(entry, "usb:")) {
        const std::string ids = entry.substr(4);
        if (ids.size() != 9 || ids[4] != ':' || !isHex4(ids.substr(0, 4)) || !isHex4(ids.substr(5)))
            return std::nullopt;
        rule.kind = ExclusionRule::Kind::Usb;
        rule.value = lower(ids);
    } else if (startsWith(entry, "serial:")) {
        rule.kind = ExclusionRule::Kind::Serial;
        rule.value = entry.substr(7);
    } else if (startsWith(entry, "by-path:")) {
        rule.kind = ExclusionRule::Kind::ByPath;
        rule.value = entry.substr(8);
        if (rule.value.find('/') != std::string::npos || rule.value == "." || rule.value == "..")
            return std::nullopt;
    } else if (startsWith(entry, "/") || startsWith(entry, "\\\\.\\")) {
        rule.kind = ExclusionRule::Kind::Device;
        rule.value = entry;
    } else {
        return std::nullopt;
    }
    if (rule.value.empty())
        return std::nullopt;
    return rule;
}

void setExclusions(std::vector<ExclusionRule> rules) { storage() = std::move(rules); }
const std::vector<ExclusionRule> &exclusions() { return storage(); }

std::optional<ExclusionRule> matchingRule(const std::vector<ExclusionRule> &rules, const std::string &device,
                                          const FileRoots &roots)
{
    std::optional<DeviceIdentity> id;
    bool looked = false;
    for (const ExclusionRule &rule : rules) {
        const bool needsIdentity = rule.kind == ExclusionRule::Kind::Usb || rule.kind == ExclusionRule::Kind::Serial;
        if (needsIdentity && !looked) {
            const std::string name = ttyNameOf(device);
            id = name.empty() ? std::nullopt : identifyTty(name, roots);
            looked = true;
        }
        if (matches(rule, device, id, roots))
            return rule;
    }
    return std::nullopt;
}

std::optional<ExclusionRule> exclusionOf(const std::string &device)
{
    const std::vector<ExclusionRule> &rules = exclusions();
    return rules.empty() ? std::nullopt : matchingRule(rules, device);
}

} // namespace serial
