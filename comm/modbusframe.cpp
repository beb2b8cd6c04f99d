#include "comm/modbusframe.h"

#include "comm/comerror.h"

#include <QStringList>

#include <cstring>

// Generated from the reflected polynomial 0xA001; entry i is the CRC of the
// single byte i. The "Hi" table holds the byte that ends up low in the CRC
// value (the historic Modicon naming, kept so the tables can be compared
// with published ones).
const uint8_t kCrcHiTable[256] = {
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40,
};

const uint8_t kCrcLoTable[256] = {
    0x00, 0xC0, 0xC1, 0x01, 0xC3, 0x03, 0x02, 0xC2, 0xC6, 0x06, 0x07, 0xC7,
    0x05, 0xC5, 0xC4, 0x04, 0xCC, 0x0C, 0x0D, 0xCD, 0x0F, 0xCF, 0xCE, 0x0E,
    0x0A, 0xCA, 0xCB, 0x0B, 0xC9, 0x09, 0x08, 0xC8, 0xD8, 0x18, 0x19, 0xD9,
    0x1B, 0xDB, 0xDA, 0x1A, 0x1E, 0xDE, 0xDF, 0x1F, 0xDD, 0x1D, 0x1C, 0xDC,
    0x14, 0xD4, 0xD5, 0x15, 0xD7, 0x17, 0x16, 0xD6, 0xD2, 0x12, 0x13, 0xD3,
    0x11, 0xD1, 0xD0, 0x10, 0xF0, 0x30, 0x31, 0xF1, 0x33, 0xF3, 0xF2, 0x32,
    0x36, 0xF6, 0xF7, 0x37, 0xF5, 0x35, 0x34, 0xF4, 0x3C, 0xFC, 0xFD, 0x3D,
    0xFF, 0x3F, 0x3E, 0xFE, 0xFA, 0x3A, 0x3B, 0xFB, 0x39, 0xF9, 0xF8, 0x38,
    0x28, 0xE8, 0xE9, 0x29, 0xEB, 0x2B, 0x2A, 0xEA, 0xEE, 0x2E, 0x2F, 0xEF,
    0x2D, 0xED, 0xEC, 0x2C, 0xE4, 0x24, 0x25, 0xE5, 0x27, 0xE7, 0xE6, 0x26,
    0x22, 0xE2, 0xE3, 0x23, 0xE1, 0x21, 0x20, 0xE0, 0xA0, 0x60, 0x61, 0xA1,
    0x63, 0xA3, 0xA2, 0x62, 0x66, 0xA6, 0xA7, 0x67, 0xA5, 0x65, 0x64, 0xA4,
    0x6C, 0xAC, 0xAD, 0x6D, 0xAF, 0x6F, 0x6E, 0xAE, 0xAA, 0x6A, 0x6B, 0xAB,
    0x69, 0xA9, 0xA8, 0x68, 0x78, 0xB8, 0xB9, 0x79, 0xBB, 0x7B, 0x7A, 0xBA,
    0xBE, 0x7E, 0x7F, 0xBF, 0x7D, 0xBD, 0xBC, 0x7C, 0xB4, 0x74, 0x75, 0xB5,
    0x77, 0xB7, 0xB6, 0x76, 0x72, 0xB2, 0xB3, 0x73, 0xB1, 0x71, 0x70, 0xB0,
    0x50, 0x90, 0x91, 0x51, 0x93, 0x53, 0x52, 0x92, 0x96, 0x56, 0x57, 0x97,
    0x55, 0x95, 0x94, 0x54, 0x9C, 0x5C, 0x5D, 0x9D, 0x5F, 0x9F, 0x9E, 0x5E,
    0x5A, 0x9A, 0x9B, 0x5B, 0x99, 0x59, 0x58, 0x98, 0x88, 0x48, 0x49, 0x89,
    0x4B, 0x8B, 0x8A, 0x4A, 0x4E, 0x8E, 0x8F, 0x4F, 0x8D, 0x4D, 0x4C, 0x8C,
    0x44, 0x84, 0x85, 0x45, 0x87, 0x47, 0x46, 0x86, 0x82, 0x42, 0x43, 0x83,
    0x41, 0x81, 0x80, 0x40,
};

namespace {

constexpr uint8_t kReadInputRegisters = 4;

// Block A holds more than the program reads: the three per-phase floats in
// front of each of TP, TQ, TS and COS are skipped.
constexpr int kBlockAOffsets[17] = {0, 4, 8, 12, 16, 20, 24, 28, 32, 36, 40, 44, 60, 76, 92, 108, 112};
constexpr int kBlockAFirstColumn = 1;
constexpr int kBlockBFirstColumn = 18;
constexpr int kBlockBColumns = 14;

} // namespace

MeterBlockInfo meterBlockInfo(MeterBlock block)
{
    if (block == MeterBlock::A)
        return {30001, 58, 116};
    return {35401, 28, 56};
}

int rtuReplyLength(MeterBlock block)
{
    return 3 + meterBlockInfo(block).byteCount + 2;
}

int tcpReplyLength(MeterBlock block)
{
    return kMbapHeaderLength + tcpReplyLengthField(block);
}

int tcpReplyLengthField(MeterBlock block)
{
    return 3 + meterBlockInfo(block).byteCount;
}

uint16_t modbusCrc(const uint8_t *data, int length)
{
    uint8_t low = 0xFF;
    uint8_t high = 0xFF;
    for (int i = 0; i < length; ++i) {
        const uint8_t index = low ^ data[i];
        low = high ^ kCrcHiTable[index];
        high = kCrcLoTable[index];
    }
    return static_cast<uint16_t>(high << 8 | low);
}

namespace {

// Unit/address, function, start address, register count: the part both
// links send alike.
void buildPdu(uint8_t *out, int address, MeterBlock block)
{
    const MeterBlockInfo info = meterBlockInfo(block);
    out[0] = static_cast<uint8_t>(address & 0xFF);
    out[1] = kReadInputRegisters;
    out[2] = static_cast<uint8_t>(info.start >> 8);
    out[3] = static_cast<uint8_t>(info.start & 0xFF);
    out[4] = static_cast<uint8_t>(info.count >> 8);
    out[5] = static_cast<uint8_t>(info.count & 0xFF);
}

} // namespace

int buildRtuRequest(uint8_t *out, int address, MeterBlock block)
{
    buildPdu(out, address, block);
    const uint16_t crc = modbusCrc(out, 6);
    out[6] = static_cast<uint8_t>(crc & 0xFF);
    out[7] = static_cast<uint8_t>(crc >> 8);
    return kRtuRequestLength;
}

int buildTcpRequest(uint8_t *out, int unit, MeterBlock block, uint16_t transaction)
{
    const uint8_t header[kMbapHeaderLength] = {uint8_t(transaction >> 8), uint8_t(transaction & 0xFF), 0, 0, 0, 6};
    memcpy(out, header, sizeof header);
    buildPdu(out + kMbapHeaderLength, unit, block);
    return kTcpRequestLength;
}

int foreignFrameLength(const uint8_t *bytes, int n, uint16_t transaction, int unit)
{
    // The unit identifier is the byte after the header.
    if (n < kMbapHeaderLength + 1)
        return 0;
    const int protocol = bytes[2] << 8 | bytes[3];
    const int lengthField = bytes[4] << 8 | bytes[5];
    // Unit, function and at least one byte more; a PDU is at most 253.
    if (protocol != 0 || lengthField < 3 || lengthField > 254 || n < kMbapHeaderLength + lengthField)
        return 0;
    const int id = bytes[0] << 8 | bytes[1];
    if (id == transaction && bytes[kMbapHeaderLength] == uint8_t(unit & 0xFF))
        return 0;
    return kMbapHeaderLength + lengthField;
}

int checkRtuReply(const uint8_t *reply, int n, int address, MeterBlock block)
{
    const int length = rtuReplyLength(block);
    if (n != length)
        return ComLengthError;
    if (reply[0] != static_cast<uint8_t>(address & 0xFF) || reply[1] != kReadInputRegisters
        || reply[2] != meterBlockInfo(block).byteCount)
        return ComReceiveError;
    const uint16_t crc = modbusCrc(reply, length - 2);
    if (reply[length - 2] != (crc & 0xFF) || reply[length - 1] != (crc >> 8))
        return ComCrcError;
    return ComOk;
}

int checkTcpReply(const uint8_t *reply, int n, MeterBlock block)
{
    if (n != tcpReplyLength(block))
        return ComLengthError;
    const int protocol = reply[2] << 8 | reply[3];
    const int lengthField = reply[4] << 8 | reply[5];
    if (lengthField != tcpReplyLengthField(block) || protocol != 0)
        return ComReceiveError;
    return ComOk;
}

float decodeFloat(const uint8_t *bytes)
{
    const uint32_t bits = static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16
        | static_cast<uint32_t>(bytes[2]) << 8 | static_cast<uint32_t>(bytes[3]);
    float value;
    memcpy(&value, &bits, sizeof value);
    return value;
}

void encodeFloat(float value, uint8_t *bytes)
{
    uint32_t bits;
    memcpy(&bits, &value, sizeof bits);
    bytes[0] = static_cast<uint8_t>(bits >> 24);
    bytes[1] = static_cast<uint8_t>(bits >> 16);
    bytes[2] = static_cast<uint8_t>(bits >> 8);
    bytes[3] = static_cast<uint8_t>(bits);
}

int columnDataOffset(MeterBlock block, int column)
{
    if (block == MeterBlock::A) {
        const int i = column - kBlockAFirstColumn;
        return i >= 0 && i < 17 ? kBlockAOffsets[i] : -1;
    }
    const int j = column - kBlockBFirstColumn;
    return j >= 0 && j < kBlockBColumns ? 4 * j : -1;
}

void decodeBlock(const uint8_t *data, MeterBlock block, float *pollBuffer)
{
    const int first = block == MeterBlock::A ? kBlockAFirstColumn : kBlockBFirstColumn;
    const int count = block == MeterBlock::A ? 17 : kBlockBColumns;
    for (int column = first; column < first + count; ++column)
        pollBuffer[column] = decodeFloat(data + columnDataOffset(block, column));
}

QString hexReport(const uint8_t *bytes, int n)
{
    static const char digits[] = "0123456789abcdef";
    QString text;
    if (n <= 0)
        return text;
    text.reserve(3 * n);
    for (int i = 0; i < n; ++i) {
        text += QLatin1Char(digits[bytes[i] >> 4]);
        text += QLatin1Char(digits[bytes[i] & 0x0F]);
        text += QLatin1Char(' ');
    }
    return text;
}

bool parseHostPort(const QString &text, QString *host, quint16 *port, quint16 defaultPort)
{
    QString h = text.trimmed();
    QString portText;
    bool hasPort = false;
    if (h.startsWith(QLatin1Char('['))) {
        const int close = h.indexOf(QLatin1Char(']'));
        if (close < 0)
            return false;
        const QString rest = h.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return false;
            portText = rest.mid(1);
            hasPort = true;
        }
        h = h.mid(1, close - 1);
    } else if (h.count(QLatin1Char(':')) == 1) {
        const int colon = h.indexOf(QLatin1Char(':'));
        portText = h.mid(colon + 1);
        hasPort = true;
        h = h.left(colon);
    }
    if (h.isEmpty())
        return false;
    int p = defaultPort;
    if (hasPort) {
        bool ok = false;
        p = portText.toInt(&ok, 10);
        if (!ok || p < 1 || p > 65535)
            return false;
    }
    *host = h;
    *port = static_cast<quint16>(p);
    return true;
}

QString hostPortText(const QString &text)
{
    QString host;
    quint16 port = 0;
    if (!parseHostPort(text, &host, &port))
        return text.trimmed();
    if (host.contains(QLatin1Char(':')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    return host + QLatin1Char(':') + QString::number(port);
}
