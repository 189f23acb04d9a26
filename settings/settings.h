#pragma once
// The four remembered settings, held in memory for the whole run, and the moments the
// store is read and written. The store is the key "VOREX\PRINTConfig" (settings_key.h): the
// user's own (HKCU, ~/.config/VOREX/PRINTConfig.conf, moved with XDG_CONFIG_HOME) read over the
// machine-wide one (HKLM, VOREX/PRINTConfig.conf in every folder of XDG_CONFIG_DIRS, by default
// /etc/xdg).

#include <QString>
#include <string>

#include "settings/save_result.h"

extern int ScanCommNo;              // "ScanCommNo", default 0 (no port known)
extern std::string ScanBaudRate;    // "ScanBaudRate", default "19200,e,8,1"
extern int ScanBaudRateNo;          // "ScanBaudRateNo", default 5, always 0..11 after loading
extern QString LanguageFlag;        // "LanguageFlag", default "English"
// "PrintCodePage": the code page the printer's firmware reads ("GBK", "BIG5", ...), set by hand in
// the store and never written by the program; empty for the system code page, which is also
// what an unusable name gives.
extern std::string PrintCodePage;

// Sets the four defaults and the system code page.
void SetDefaultSettings();
// Reads the Ports group of VOREX/ports.conf (user's over machine-wide, earlier folders of
// XDG_CONFIG_DIRS over later ones, per entry) into the link's port map, replacing it, and its
// Exclude= entries (both files') into the link's exclusions.
void LoadPortMap();
// Loads the port map, the print code page (a name the system cannot print in is told on
// stderr) and the four values. Returns true when
// "LanguageFlag" was read from the store, so the caller derives the language from it.
bool LoadSettings();
// Writes "ScanCommNo", "ScanBaudRateNo" and "ScanBaudRate" together, in one replace of the
// store: machine-wide where allowed, else to the user's store. A save that went nowhere is told
// on stderr and in the result.
SaveResult SaveScanSettings();
// Writes "ScanBaudRateNo" and "ScanBaudRate" the same way: the module's line setting after it was
// changed, where a scan would store it.
SaveResult SaveLineSetting();
// Writes "LanguageFlag" the same way.
SaveResult SaveLanguage();
