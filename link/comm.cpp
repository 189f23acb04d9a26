#include "comm.h"

#include "platform/hooks.h"
#include "seams.h"

CommHandleType CommHandle = INVALID_COMM_HANDLE;

namespace {
serial::OpenResult g_lastOpen;
std::string g_lastDevice;
} // namespace

bool OpenComm(int number, const std::string &settings)
{
    g_lastDevice = serial::deviceForPort(number);
    if (g_lastDevice.empty()) {
        g_lastOpen = {INVALID_COMM_HANDLE, serial::OpenFailure::NoDevice, 0};
        CommHandle = INVALID_COMM_HANDLE;
        return false;
    }
    serial::PortBackend &b = serial::backend();
    g_lastOpen = b.open(g_lastDevice);
    CommHandle = g_lastOpen.handle;
    if (CommHandle == INVALID_COMM_HANDLE)
        return false;
    // Once the port is open the result stands, whatever the platform made of the settings.
    b.applyLineSettings(CommHandle, settings);
    return true;
}

void CloseComm()
{
    serial::backend().close(CommHandle);
}

void SendByte(int value)
{
    const unsigned char byte = static_cast<unsigned char>(value & 0xFF);
    serial::backend().write(CommHandle, &byte, 1);
    platform::SleepMs(1);
}

void SendBlock(const unsigned char *data, int count)
{
    serial::backend().write(CommHandle, data, count > 0 ? static_cast<std::size_t>(count) : 0u);
    platform::SleepMs(5);
}

namespace serial {
OpenResult lastOpenResult() { return g_lastOpen; }
std::string lastOpenDevice() { return g_lastDevice; }
} // namespace serial
