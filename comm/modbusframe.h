#pragma once

// Frame building, checking and decoding shared by the serial and the TCP
// link. Plain functions over byte buffers, so that every rule can be checked
// without a port.

#include <QString>

#include <cstdint>

// The two blocks of input registers read by one poll, block A first.
enum class MeterBlock { A, B };

struct MeterBlockInfo {
    uint16_t start;      // start address as sent (not reduced by one)
    uint16_t count;      // registers
    uint8_t byteCount;   // data bytes in the reply
};

MeterBlockInfo meterBlockInfo(MeterBlock block);

constexpr int kRtuRequestLength = 8;
constexpr int kTcpRequestLength = 12;
constexpr int kMbapHeaderLength = 6;
constexpr int kPollBufferSize = 32;   // floats, SampleRecord layout: slot k = column k
constexpr int kDefaultModbusTcpPort = 502;

// Whole reply frames: address, function, byte count, data, CRC.
int rtuReplyLength(MeterBlock block);
// MBAP header, unit, function, byte count, data.
int tcpReplyLength(MeterBlock block);
// The MBAP length field of a good reply: the bytes after the header.
int tcpReplyLengthField(MeterBlock block);

// CRC-16/MODBUS (reflected 0xA001, initial 0xFFFF, no final XOR), by the
// usual pair of lookup tables. The value's low byte goes first on the wire.
extern const uint8_t kCrcHiTable[256];
extern const uint8_t kCrcLoTable[256];
uint16_t modbusCrc(const uint8_t *data, int length);

// Writes the request of a block; return the number of bytes written.
int buildRtuRequest(uint8_t *out, int address, MeterBlock block);
// A TCP request carries the transaction identifier its reply must echo.
int buildTcpRequest(uint8_t *out, int unit, MeterBlock block, uint16_t transaction = 0);

// Check a received reply of n bytes; ComOk or the code of the failure.
// Serial: length (5), then address, function and byte count (6), then CRC (7).
int checkRtuReply(const uint8_t *reply, int n, int address, MeterBlock block);
// TCP: length (5), then length field and protocol identifier (6). The
// function code and byte count are not compared: gateways differ in what
// they echo there. A reply that is not the request's is told apart before
// (foreignFrameLength).
int checkTcpReply(const uint8_t *reply, int n, MeterBlock block);

// The length of a whole, well-formed MBAP frame at the start of the n bytes
// whose transaction or unit identifier is not the request's: a late answer
// to an earlier request (perhaps another meter's, behind a gateway), to be
// dropped while the right one is waited for. 0 when the bytes start with
// no such frame, or with one too incomplete or malformed to step over,
// which is then checked as the reply.
int foreignFrameLength(const uint8_t *bytes, int n, uint16_t transaction, int unit);

// Decodes the data bytes of a block (the first byte after the byte count)
// into the poll buffer of kPollBufferSize floats. Only the block's own
// columns are written.
void decodeBlock(const uint8_t *data, MeterBlock block, float *pollBuffer);

// The data offset of a column within its block's data bytes, or -1 for a
// column a block does not carry.
int columnDataOffset(MeterBlock block, int column);

// Big-endian float with the high register first, as the meter sends it.
float decodeFloat(const uint8_t *bytes);
void encodeFloat(float value, uint8_t *bytes);

// "%02x " per byte; an empty text for n <= 0.
QString hexReport(const uint8_t *bytes, int n);

// The IP setting: "host" (port 502), "host:port", or "[v6-address]:port".
// A bare IPv6 address (more than one colon) is taken as a host on port 502.
// Returns false for an empty host or a port that is not 1..65535. Other
// services than Modbus give their own default port.
bool parseHostPort(const QString &text, QString *host, quint16 *port, quint16 defaultPort = kDefaultModbusTcpPort);
// The address the IP setting connects to, as "host:port" ("[v6-address]:port"
// for an IPv6 address); a setting that does not parse, as it stands.
QString hostPortText(const QString &text);
