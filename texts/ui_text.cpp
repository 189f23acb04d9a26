#include "texts/ui_text.h"

#include <array>

namespace {

// UiText[entry][language], UTF-8, one column for each row of kLanguages, in its order. A row
// missing is a build error (below); a cell missing or empty fails tst_ui_text.
// Built at static initialisation, before the application object exists, and never changed.
// The Chinese columns keep ASCII spaces, digits and punctuation where the texts have them.
// clang-format off
const std::array<const char *, kLanguageCount> UiText[] = {
    {{"VOREX Technology Corp.   www.vorex.example", "VOREX股份有限公司   www.vorex.example", "VOREX股份有限公司   www.vorex.example"}}, // 0
    {{"VOREX TELMAX-3Q Module Config V3.20-01", "VOREX TELMAX-3Q 印表机模组设定程式 V3.20-01", "VOREX TELMAX-3Q 印表機模組設定程式 V3.20-01"}}, // 1
    {{"Start Scan Module!", "请先扫描模组!", "請先掃描模組!"}}, // 2
    {{"Cancel Process Module(Space Key)", "取消连线(空白键)", "取消連線(空白鍵)"}}, // 3
    {{"ID", "编号", "編號"}}, // 4
    {{"BaudRate", "通讯速度", "通訊速度"}}, // 5
    {{"Set Module Baud Rate (Reset)", "设定通讯速度(重置)", "設定通訊速度(重置)"}}, // 6
    {{"Process Print", "列印连线", "列印連線"}}, // 7
    {{"Factory Default", "出厂预设", "出廠預設"}}, // 8
    {{"Quick Setting", "快速设定", "快速設定"}}, // 9
    {{"Default", "预设", "預設"}}, // 10
    {{"Other", "其他", "其他"}}, // 11
    {{"Exit", "结束", "結束"}}, // 12
    {{"Open COM", "开启串口", "開啟串口"}}, // 13
    {{"Error", "错误", "錯誤"}}, // 14
    {{"Scan Module", "扫描模组", "掃描模組"}}, // 15
    {{"S/N", "序号", "序號"}}, // 16
    {{"VER", "版本", "版本"}}, // 17
    {{"Scan COM", "扫描串口", "掃描串口"}}, // 18
    {{"Get Module Info Ok. (COM", "读取模组资讯完成. (串口", "讀取模組資訊完成. (串口"}}, // 19
    {{"Get Module Info Error. (COM", "读取模组资讯错误. (串口", "讀取模組資訊錯誤. (串口"}}, // 20
    {{"Module Not Find", "模组没有连线", "模組沒有連線"}}, // 21
    {{"Set Module ID", "设定模组编号", "設定模組編號"}}, // 22
    {{"Set Module ID Ok", "设定模组编号完成", "設定模組編號完成"}}, // 23
    {{"Set Module ID Error", "设定模组编号错误", "設定模組編號錯誤"}}, // 24
    {{"Set Module BaudRate", "设定模组通讯速度", "設定模組通訊速度"}}, // 25
    {{"Set Module BaudRate Ok", "设定模组通讯速度完成", "設定模組通訊速度完成"}}, // 26
    {{"Set Module BaudRate Error", "设定模组通讯速度错误", "設定模組通訊速度錯誤"}}, // 27
    {{"Set Factory Default", "设定出厂预设值", "設定出廠預設值"}}, // 28
    {{"Set Factory Default Ok", "设定出厂预设值完成", "設定出廠預設值完成"}}, // 29
    {{"Set Factory Default Error", "设定出厂预设值错误", "設定出廠預設值錯誤"}}, // 30
    {{"Get Status", "读取状态", "讀取狀態"}}, // 31
    {{"Get Module Status Ok", "读取模组状态完成", "讀取模組狀態完成"}}, // 32
    {{"Get Module Status Error", "读取模组状态错误", "讀取模組狀態錯誤"}}, // 33
    {{"Print Text", "列印文字", "列印文字"}}, // 34
    {{"Print Text Ok", "列印文字完成", "列印文字完成"}}, // 35
    {{"Print Text Error", "列印文字错误", "列印文字錯誤"}}, // 36
};
// clang-format on
static_assert(std::size(UiText) == std::size_t(Text::Count), "UiText needs exactly one row for each Text entry");

bool isLanguage(int index)
{
    return index >= 0 && index < kLanguageCount;
}

} // namespace

int LanguageIndex = 0;

int languageIndexFor(const QString &flag)
{
    for (int index = 0; index < kLanguageCount; ++index)
        if (flag == QLatin1String(kLanguages[index].flag))
            return index;
    return 0;
}

QString languageFlagFor(int index)
{
    return QLatin1String(kLanguages[isLanguage(index) ? index : 0].flag);
}

std::optional<int> languageForCode(const std::string &code)
{
    for (int index = 0; index < kLanguageCount; ++index)
        if (code == kLanguages[index].code)
            return index;
    return std::nullopt;
}

std::string languageCodes(const std::string &separator, const std::string &last)
{
    std::string codes;
    for (int index = 0; index < kLanguageCount; ++index)
        codes += (index == 0 ? "" : index + 1 == kLanguageCount ? last : separator) + kLanguages[index].code;
    return codes;
}

QString textIn(Text entry, int language)
{
    const auto row = static_cast<std::size_t>(entry);
    if (row >= std::size(UiText))
        return {};
    return QString::fromUtf8(UiText[row][std::size_t(isLanguage(language) ? language : 0)]);
}

QString uiTextFor(Text entry)
{
    return textIn(entry, LanguageIndex);
}
