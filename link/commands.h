#pragma once
// The module's command set: command texts with their arguments, and the reply fields.
// Every command is "E", "00", a command letter and its argument; it goes to SendCommand as is.

#include <array>
#include <string>

#include "link/frame.h"

// The twelve line settings, index 0 to 11; index 5 ("19200,e,8,1") is the default.
inline constexpr int kBaudRateCount = 12;
inline constexpr int kDefaultBaudRateNo = 5;
extern const std::array<const char *, kBaudRateCount> BaudRateList;

// Index of a line-settings string in BaudRateList, or -1.
int baudRateIndex(const std::string &settings);

namespace cmd {

inline constexpr int kInfoReplyLength = 16;

std::string moduleInfo();                                      // "E00B"
std::string firmwareVersion();                                 // "E00V"
std::string setModuleId(const std::string &serial, const std::string &id);  // "E00C" + S/N + ID
// "E00E" + the index as one upper-case hexadecimal digit; empty for an index outside 0..11.
std::string setLineSettings(int index);
std::string printerStatus();                                   // "E00F"
// "E00G" + text with every leading and trailing byte of value 32 or less removed.
std::string printText(const std::string &text);
// The most bytes of text one "E00G" command carries.
inline constexpr int kMaxPrintTextLength = kMaxCommandLength - 4;
std::string printTestLine();                                   // "E00GVOREX PRINT TEST."
std::string lineEnd();                                         // "E00H0D0A"

// Bytes 32 and below removed from both ends; bytes inside untouched.
std::string trimControl(const std::string &text);

// A reply field: characters from a 1-based start, count characters; a start beyond the
// end gives an empty text, a count running past the end is cut there.
std::string replyField(const std::string &reply, int start, int count);

// Fields of a reply (serial::Reply::text).
std::string infoSerial(const std::string &reply);      // position 6, 8 characters
std::string infoId(const std::string &reply);          // position 3, 2 characters
std::string versionText(const std::string &reply);     // position 6, up to 8 characters
std::string statusChar(const std::string &reply);      // position 6, 1 character

} // namespace cmd
