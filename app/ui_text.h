#pragma once
// The interface texts in three languages and the language in force.

#include <QString>
#include <array>

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

// UiText entry in the current language, taken at the moment it is shown.
QString uiTextFor(int entry);
