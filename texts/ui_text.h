#pragma once
// The interface texts in three languages, every entry by name, and the language in force.

#include <QString>
#include <array>

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
};

inline constexpr int kUiTextEntries = 37;
inline constexpr int kLanguages = 3;

// UiText[entry][LanguageIndex], UTF-8: column 0 English, 1 simplified, 2 traditional Chinese.
extern const std::array<std::array<const char *, kLanguages>, kUiTextEntries> UiText;

// 0 English, 1 simplified Chinese, 2 traditional Chinese.
extern int LanguageIndex;

// The column a stored "LanguageFlag" selects: exact, case-sensitive matches only.
int languageIndexFor(const QString &flag);

// The flag each language button stores.
QString languageFlagFor(int index);

// An entry in a language (0 to 2; any other number reads as English).
QString textIn(Text entry, int language);

// An entry in the current language, taken at the moment it is shown.
QString uiTextFor(Text entry);
