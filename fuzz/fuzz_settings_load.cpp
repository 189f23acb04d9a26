// Fuzz target: loading the settings from an arbitrary store file.
//
// The input is written as the machine-wide store (VOREX/PRINTConfig.conf) and as the port map
// file (VOREX/ports.conf) under a temporary XDG_CONFIG_DIRS, with an empty temporary
// XDG_CONFIG_HOME for the user's own store; then SetDefaultSettings() and LoadSettings(), which
// read both files with the program's own line reader (settings/ini_text.h): every value is text,
// so a value in the form of one of Qt's serialized types ("@Variant(...)", which made Qt's reader
// ask for 26 GB) is read as the text it is.
//
// Invariants (a violation traps): ScanBaudRateNo is 0..11 afterwards; every port-map entry
// names a positive port and a device path without surrounding blanks; loading writes nothing
// (both files keep their bytes, the user's folder stays empty).
//
// By hand: build-fuzz/fuzz/fuzz_settings_load corpus-copy/ fuzz/corpus/settings_load/
// The temporary folders go under $TMPDIR (or /tmp) and are removed at exit.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "link/commands.h"
#include "link/seams.h"
#include "settings/settings.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "fuzz_settings_load: %s\n", what);
    std::fflush(stderr);
    __builtin_trap();
}

fs::path g_root;
fs::path g_system;   // XDG_CONFIG_DIRS
fs::path g_user;     // XDG_CONFIG_HOME

fs::path storeFile() { return g_system / "VOREX" / "PRINTConfig.conf"; }
fs::path portsFile() { return g_system / "VOREX" / "ports.conf"; }

void writeFile(const fs::path &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out)
        fail("cannot write the temporary store");
}

std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void removeRoot()
{
    std::error_code ec;
    fs::remove_all(g_root, ec);
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

void loadAndCheck(const std::string &bytes)
{
    writeFile(storeFile(), bytes);
    writeFile(portsFile(), bytes);

    SetDefaultSettings();
    LoadSettings();

    if (ScanBaudRateNo < 0 || ScanBaudRateNo >= kBaudRateCount)
        fail("ScanBaudRateNo outside 0..11 after loading");
    for (const auto &[number, device] : serial::portMap()) {
        if (number <= 0)
            fail("a port-map entry for a port number below 1");
        if (device.empty() || isBlank(device.front()) || isBlank(device.back()))
            fail("a port-map entry with an empty or untrimmed device");
    }
    if (readFile(storeFile()) != bytes || readFile(portsFile()) != bytes)
        fail("loading changed a store file");
    if (!fs::is_empty(g_user) || std::distance(fs::directory_iterator(g_system / "VOREX"), {}) != 2)
        fail("loading wrote a file");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/telmax-fuzz-settings-XXXXXX";
    if (!mkdtemp(pattern.data()))
        fail("cannot make a temporary folder");
    g_root = pattern;
    g_system = g_root / "system";
    g_user = g_root / "user";
    fs::create_directories(g_system / "VOREX");
    fs::create_directories(g_user);
    std::atexit(removeRoot);
    // Before the first read of the stores: the folders come from these two.
    setenv("XDG_CONFIG_DIRS", g_system.c_str(), 1);
    setenv("XDG_CONFIG_HOME", g_user.c_str(), 1);

    // A target that never reaches the store would pass everything.
    loadAndCheck("[General]\nScanCommNo=7\nScanBaudRateNo=3\nScanBaudRate=\"9600,e,8,1\"\n");
    if (ScanCommNo != 7 || ScanBaudRateNo != 3 || ScanBaudRate != "9600,e,8,1") {
        std::fprintf(stderr, "fuzz_settings_load: the settings were not read from %s\n", storeFile().c_str());
        std::exit(2);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    loadAndCheck(std::string(reinterpret_cast<const char *>(data), size));
    return 0;
}
