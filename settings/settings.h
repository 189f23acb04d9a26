#pragma once
// The four remembered settings, held in memory for the whole run, and the moments the
// store is read and written. The store is QSettings(NativeFormat, SystemScope, "VOREX",
// "PRINTConfig"): HKLM\Software\VOREX\PRINTConfig on Windows, /etc/xdg/VOREX/PRINTConfig.conf
// on Linux (moved with XDG_CONFIG_DIRS).

#include <QString>
#include <string>

extern int ScanCommNo;              // "ScanCommNo", default 0 (no port known)
extern std::string ScanBaudRate;    // "ScanBaudRate", default "19200,e,8,1"
extern int ScanBaudRateNo;          // "ScanBaudRateNo", default 5, always 0..11 after loading
extern QString LanguageFlag;        // "LanguageFlag", default "English"

// Sets the four defaults.
void SetDefaultSettings();
// Loads the four values (and the Ports group into the link's port map). Returns true when
// "LanguageFlag" was read from the store, so the caller derives the language from it.
bool LoadSettings();
// Writes "ScanCommNo", "ScanBaudRateNo", "ScanBaudRate" in that order; errors are silent.
void SaveScanSettings();
// Writes "LanguageFlag"; errors are silent.
void SaveLanguage();
