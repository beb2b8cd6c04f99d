#pragma once

#include <QByteArray>
#include <QString>

#include "data/paramtable.h"

#include <cstring>

// Communication settings. Copied and compared as one block by the
// communication dialog, so keep it trivially copyable.
struct ComConfig {
    int comtype;          // 0 = Modbus RTU on a serial port, otherwise Modbus TCP
    // Linux device names (/dev/serial/by-id/...) are far longer than "COM32",
    // so the port name gets room for 63 characters.
    char com[64];
    // Room for 115200, 230400, 1000000.
    char baud[8];
    char parity[6];       // "No", "Odd", "Even"
    char stopbit[6];      // "1", "1.5", "2"
    int addr;             // slave address (RTU) or unit identifier (TCP)
    // host, or host:port: "192.168.100.200:1502" needs 20 characters, a
    // host name more; widened like com.
    char IP[64];
    char interval[8];     // number + unit letter: "5s", "10m", "2h"
    int metertype;        // kept and written back; nothing depends on it
};

// Field by field: text fields compare as texts, padding never counts.
bool operator==(const ComConfig &a, const ComConfig &b);
inline bool operator!=(const ComConfig &a, const ComConfig &b) { return !(a == b); }

struct DisplayConfig {
    int timeformat;
    int yAxis_scale;      // non-zero: automatic, 0: fixed yLow..yHigh
    double yLow;
    double yHigh;
    int gridlinetype;     // a Qt::PenStyle number
    int xMaxMajor;
    int xMaxMinor;
    int yMaxMajor;
    int yMaxMinor;
    int grid_red, grid_green, grid_blue;
    int back_red, back_green, back_blue;
    int para_red[kValueCount];     // index k: column k + 1
    int para_green[kValueCount];
    int para_blue[kValueCount];
    bool para_on[kValueCount];
};

// Field by field, so that padding never counts.
bool operator==(const DisplayConfig &a, const DisplayConfig &b);
inline bool operator!=(const DisplayConfig &a, const DisplayConfig &b) { return !(a == b); }

struct AppConfigRecord {
    ComConfig comm;
    DisplayConfig disp;
};

// The one settings record of the process, zero at program start.
extern AppConfigRecord AppConfig;

// "config/config.ini" relative to the working directory.
QString configFilePath();

enum class ConfigOrigin {
    File,     // read from the settings file
    Created,  // there was none: defaults, written anew
    Replaced, // the file lacked a section line: defaults, written over it
};

// Fills AppConfig from the file; writes a default file when there is none or
// when the one there is not a whole settings file.
ConfigOrigin readConfig();
// Fills AppConfig from the file as readConfig does, but writes nothing: for
// a program that must not change the station's settings. Created (no file
// to read) and Replaced (not a whole settings file) leave the defaults.
ConfigOrigin readConfigWithoutWriting();
// Writes the whole of AppConfig; false when the file could not be written,
// the earlier one then as it was. No one is told: the run goes on with the
// settings in memory.
bool writeConfig();
void defaultDisplayConfig(DisplayConfig &disp);
void defaultComConfig(ComConfig &comm);
// The sampling interval in seconds; at least 1, so that a malformed interval
// can never make the sampling loop or the refresh timer spin.
unsigned int intervalSeconds(const ComConfig &comm);
// The interval of AppConfig, for callers at the edge.
unsigned int intervalSeconds();

// Copies text into a fixed-size field of size bytes, cut to fit and always
// NUL-terminated.
inline void copyToField(char *field, size_t size, const QByteArray &text)
{
    const size_t n = qMin(static_cast<size_t>(text.size()), size - 1);
    memcpy(field, text.constData(), n);
    memset(field + n, 0, size - n);
}

template <size_t N>
void copyToField(char (&field)[N], const QByteArray &text)
{
    copyToField(field, N, text);
}

// The longest text a field of N bytes holds (one byte is the NUL).
template <size_t N>
constexpr int fieldCapacity(const char (&)[N])
{
    return int(N - 1);
}
