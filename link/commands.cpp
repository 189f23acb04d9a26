#include "commands.h"

const std::array<const char *, kBaudRateCount> BaudRateList = {
    "4800,n,8,1",  "4800,e,8,1",  "9600,n,8,1",   "9600,e,8,1",   "19200,n,8,1",  "19200,e,8,1",
    "38400,n,8,1", "38400,e,8,1", "57600,n,8,1",  "57600,e,8,1",  "115200,n,8,1", "115200,e,8,1",
};

int baudRateIndex(const std::string &settings)
{
    for (int i = 0; i < kBaudRateCount; ++i)
        if (settings == BaudRateList[static_cast<std::size_t>(i)])
            return i;
    return -1;
}

namespace cmd {

std::string moduleInfo() { return "E00B"; }
std::string firmwareVersion() { return "E00V"; }
std::string setModuleId(const std::string &serial, const std::string &id) { return "E00C" + serial + id; }

std::string setLineSettings(int index)
{
    if (index < 0 || index >= kBaudRateCount)
        return {};
    return std::string("E00E") + "0123456789AB"[index];
}

std::string printerStatus() { return "E00F"; }
std::string printText(const std::string &text) { return "E00G" + trimControl(text); }
std::string printTestLine() { return "E00GVOREX PRINT TEST."; }
std::string lineEnd() { return "E00H0D0A"; }

std::string trimControl(const std::string &text)
{
    std::size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32)
        --e;
    return text.substr(b, e - b);
}

std::string replyField(const std::string &reply, int start, int count)
{
    if (start < 1 || count <= 0 || static_cast<std::size_t>(start) > reply.size())
        return {};
    return reply.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count));
}

std::string infoSerial(const std::string &reply) { return replyField(reply, 6, 8); }
std::string infoId(const std::string &reply) { return replyField(reply, 3, 2); }
std::string versionText(const std::string &reply) { return replyField(reply, 6, 8); }
std::string statusChar(const std::string &reply) { return replyField(reply, 6, 1); }

} // namespace cmd
