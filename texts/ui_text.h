#pragma once
// The interface texts in three languages, every entry by name; the languages themselves, and
// the language in force.

#include <QString>
#include <iterator>
#include <optional>
#include <string>

// The entries of UiText, numbered as the table is.
enum class Text {
    Company,            // 0  the banner
    Title,              // 1  the window caption
    StartScan,          // 2
    CancelProcess,      // 3  btnProcess while the continuous test runs
    Id,                 // 4
    BaudRate,           // 5
    SetBaudRateReset,   // 6  btnBaudRate
    ProcessPrint,       // 7  btnProcess
    FactoryDefault,     // 8  btnFactory
    QuickSetting,       // 9  gbDefault
    Default,            // 10 the tab of pcDefault
    Other,              // 11
    Exit,               // 12
    OpenCom,            // 13
    Error,              // 14
    ScanModule,         // 15
    SerialNumber,       // 16
    Version,            // 17
    ScanCom,            // 18
    InfoOk,             // 19
    InfoError,          // 20
    NotFound,           // 21
    SetId,              // 22
    SetIdOk,            // 23
    SetIdError,         // 24
    SetBaudRate,        // 25
    SetBaudRateOk,      // 26
    SetBaudRateError,   // 27
    SetFactory,         // 28
    SetFactoryOk,       // 29
    SetFactoryError,    // 30
    GetStatus,          // 31
    StatusOk,           // 32
    StatusError,        // 33
    PrintText,          // 34
    PrintOk,            // 35
    PrintError,         // 36
    Count               // not an entry: the number of entries, and of rows in UiText
};

// One language as each part of the program names it. Its place in kLanguages is its
// LanguageIndex and its column in UiText (ui_text.cpp); the first is the one anything unknown
// falls back to.
struct Language {
    const char *flag;       // "LanguageFlag" in the store, compared exactly (case and spaces count)
    const char *code;       // telmax-cmd --lang
    const char *button;     // the window's button that chooses it (a component's name)
    const char *codePage;   // a terminal's code page that shows every text of it
};

inline constexpr Language kLanguages[] = {
    {"English", "en", "btnEng", "ASCII"},
    {"ChineseGB", "gb", "btnGB", "GBK"},
    {"ChineseBIG5", "big5", "btnBIG5", "BIG5"},
};
inline constexpr int kLanguageCount = int(std::size(kLanguages));

// The language in force: an index into kLanguages.
extern int LanguageIndex;

// The language a stored "LanguageFlag" selects: exact, case-sensitive matches only; anything
// else is English.
int languageIndexFor(const QString &flag);

// The flag a language's button stores (English for an index that is no language).
QString languageFlagFor(int index);

// The language a --lang code names; nothing for a code that names none.
std::optional<int> languageForCode(const std::string &code);

// Every language's --lang code, joined: "en|gb|big5" with "|", "en, gb or big5" with ", ".
std::string languageCodes(const std::string &separator, const std::string &last);

// An entry in a language (an index into kLanguages; any other number reads as English).
QString textIn(Text entry, int language);

// An entry in the current language, taken at the moment it is shown.
QString uiTextFor(Text entry);
