#include "data/datafile.h"

#include "data/localtimecache.h"

#include <QBuffer>
#include <QDateTime>
#include <QFileInfo>
#include <QStringList>
#include <QtEndian>
#include <QtAlgorithms>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

// The scan of a piece uses SSE2 where the processor has it, unless the build
// asks for the portable loop (CI builds it that way once, so that the loop
// other processors run is tested too).
#if defined(__SSE2__) && !defined(ZEP_DATAFILE_SCALAR)
#define ZEP_DATAFILE_SSE2 1
#include <emmintrin.h>
#endif

DataFile::DataFile(const QString &path, quint32 n)
    : fileName(path)
    , records(n ? static_cast<SampleRecord *>(calloc(n, sizeof(SampleRecord))) : nullptr)
    , count(records ? n : 0)
{
}

DataFile::~DataFile()
{
    free(records);
}

bool DataFile::timesAscending() const
{
    if (m_ascending < 0)
        m_ascending = ::timesAscending(records, int(count)) ? 1 : 0;
    return m_ascending == 1;
}

uint32_t DataFile::firstTime() const
{
    return firstRecordTime(records, int(count));
}

uint32_t DataFile::lastTime() const
{
    return lastRecordTime(records, int(count));
}

uint32_t firstRecordTime(const SampleRecord *records, int count)
{
    for (int i = 0; i < count; ++i) {
        if (records[i].hasTime())
            return records[i].time;
    }
    return SampleRecord::kInvalidTime;
}

uint32_t lastRecordTime(const SampleRecord *records, int count)
{
    for (int i = count - 1; i >= 0; --i) {
        if (records[i].hasTime())
            return records[i].time;
    }
    return SampleRecord::kInvalidTime;
}

bool timesAscending(const SampleRecord *records, int count)
{
    for (int i = 1; i < count; ++i) {
        if (records[i].time < records[i - 1].time)
            return false;
    }
    return true;
}

void writeRecord(QIODevice &file, uint32_t time, const double values[kValueCount])
{
    QByteArray out = QDateTime::fromTime_t(time).toString(QStringLiteral("yyyy/MM/dd hh:mm:ss\n")).toLocal8Bit();
    const QString entry = QStringLiteral("%1= %2 %3");
    for (int k = 1; k <= kValueCount; ++k) {
        const ParamEntry &p = ParamTable[k];
        const double value = std::isnan(values[k - 1]) ? 0.0 : values[k - 1];
        out += entry.arg(QLatin1String(p.name))
                   .arg(value, 6, 'f', columnDecimals(k), QLatin1Char('0'))
                   .arg(QLatin1String(p.unit))
                   .toLocal8Bit();
        if (k % 4 == 0 && k <= 24)
            out += '\n';
    }
    out += '\n';
    file.write(out);
}

namespace {

// The reader sees the file as readLine(200) would deliver it: pieces of at
// most 199 bytes, each ending after a '\n' or at the limit.
constexpr int kMaxChunk = 199;

// Reads the file in large blocks into one fixed buffer and hands out the
// pieces from there, so no piece costs a system call or an allocation.
class ChunkSource
{
public:
    explicit ChunkSource(QIODevice &file)
        : m_file(file)
        , m_buffer(new char[kCapacity + kSlack])
    {
        // The scanners below may look up to 15 bytes past a piece.
        memset(m_buffer.get(), 0, kCapacity + kSlack);
    }

    // The unread bytes from p on: at least kMaxChunk of them unless the
    // file ends sooner; 0 at the end of the file (or on a read error, which
    // ends the file as readLine would).
    qint64 window(const char *&p)
    {
        if (m_end - m_begin < kMaxChunk && !m_atEnd)
            refill();
        p = m_buffer.get() + m_begin;
        return m_end - m_begin;
    }

    void consume(int length) { m_begin += length; }

    // The piece that starts at p, of the available bytes there.
    static int pieceLength(const char *p, qint64 available)
    {
        const int limit = int(qMin<qint64>(kMaxChunk, available));
        const void *newline = memchr(p, '\n', size_t(limit));
        return newline ? int(static_cast<const char *>(newline) - p) + 1 : limit;
    }

    // The next piece; false at the end of the file.
    bool next(const char *&chunk, int &length)
    {
        const qint64 available = window(chunk);
        if (available == 0)
            return false;
        length = pieceLength(chunk, available);
        consume(length);
        return true;
    }

private:
    static constexpr qint64 kCapacity = 256 * 1024;
    static constexpr qint64 kSlack = 16;

    void refill()
    {
        const qint64 rest = m_end - m_begin;
        memmove(m_buffer.get(), m_buffer.get() + m_begin, size_t(rest));
        m_begin = 0;
        m_end = rest;
        while (m_end < kCapacity) {
            const qint64 got = m_file.read(m_buffer.get() + m_end, kCapacity - m_end);
            if (got <= 0) {
                m_atEnd = true;
                break;
            }
            m_end += got;
        }
    }

    QIODevice &m_file;
    std::unique_ptr<char[]> m_buffer;
    qint64 m_begin = 0;
    qint64 m_end = 0;
    bool m_atEnd = false;
};

// What the time-line test and the fast paths need to know about a piece.
// Everything after a NUL byte is ignored, as the UTF-8 decoding stops there.
struct ChunkFacts {
    int length;         // bytes before the first NUL
    int slashes;
    int colons;
    bool ascii;         // no byte >= 0x80 before the first NUL
    uint64_t equals[4]; // bit i: byte i is '=' (filled on request only)

    bool timeLine() const { return slashes == 2 && colons == 2; }
};

static_assert(kMaxChunk <= 256, "ChunkFacts::equals holds 256 positions");

// Set bits of a mask that is almost always empty (a loop beats a library
// call where the processor's population count is not assumed).
inline int bits(unsigned mask)
{
    int n = 0;
    for (; mask; mask &= mask - 1)
        ++n;
    return n;
}

template <bool withEquals>
ChunkFacts examine(const char *chunk, int length)
{
    ChunkFacts f{length, 0, 0, true, {0, 0, 0, 0}};
    int i = 0;
#ifdef ZEP_DATAFILE_SSE2
    const __m128i slash = _mm_set1_epi8('/');
    const __m128i colon = _mm_set1_epi8(':');
    const __m128i equals = _mm_set1_epi8('=');
    const __m128i zero = _mm_setzero_si128();
    unsigned high = 0;
    for (; i < length; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(chunk + i));
        unsigned valid = length - i >= 16 ? 0xFFFFu : (1u << (length - i)) - 1;
        const unsigned nul = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero))) & valid;
        if (nul) {
            const int at = int(qCountTrailingZeroBits(nul));
            valid &= (1u << at) - 1;
            f.length = i + at;
        }
        const unsigned s = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, slash))) & valid;
        const unsigned c = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, colon))) & valid;
        if (s | c) {
            f.slashes += bits(s);
            f.colons += bits(c);
        }
        if (withEquals) {
            const unsigned e = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, equals))) & valid;
            f.equals[i >> 6] |= uint64_t(e) << (i & 63);
        }
        high |= unsigned(_mm_movemask_epi8(v)) & valid;
        if (nul)
            break;
    }
    f.ascii = high == 0;
#else
    for (; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(chunk[i]);
        if (c == 0) {
            f.length = i;
            break;
        }
        f.slashes += c == '/';
        f.colons += c == ':';
        if (withEquals && c == '=')
            f.equals[i >> 6] |= uint64_t(1) << (i & 63);
        if (c >= 0x80)
            f.ascii = false;
    }
#endif
    return f;
}

QString decode(const char *chunk, const ChunkFacts &f)
{
    return QString::fromUtf8(chunk, f.length);
}

bool isTimeLine(const QString &text)
{
    return text.count(QLatin1Char('/')) == 2 && text.count(QLatin1Char(':')) == 2;
}

// Simplified names of columns 1..31, packed for quick comparison: the bytes
// of a name in a 64-bit word, the rest zero. No name is longer than 5.
struct NameTable {
    static constexpr int kLongest = 5;
    uint64_t packed[kValueCount];
    uint64_t keep[kLongest + 1]; // keep[n]: the first n bytes of a word
    QString text[kValueCount];

    NameTable()
    {
        for (int n = 0; n <= kLongest; ++n) {
            unsigned char bytes[8] = {};
            memset(bytes, 0xFF, size_t(n));
            memcpy(&keep[n], bytes, 8);
        }
        for (int k = 1; k <= kValueCount; ++k) {
            text[k - 1] = QString::fromLatin1(ParamTable[k].name).simplified();
            const QByteArray latin = text[k - 1].toLatin1();
            char bytes[8] = {};
            memcpy(bytes, latin.constData(), size_t(latin.size()));
            memcpy(&packed[k - 1], bytes, 8);
        }
    }

    // Column 1..31 whose name equals the token, or 0. Entries usually come in
    // column order, so the column after the previous match is tried first.
    // Reads 8 bytes from p whatever n is: the piece buffer has room after it.
    int find(const char *p, int n, int hint) const
    {
        if (n > kLongest || n == 0)
            return 0;
        uint64_t v;
        memcpy(&v, p, sizeof v);
        v &= keep[n];
        if (hint >= 1 && hint <= kValueCount && packed[hint - 1] == v)
            return hint;
        for (int k = 0; k < kValueCount; ++k) {
            if (packed[k] == v)
                return k + 1;
        }
        return 0;
    }

    int find(const QString &name) const
    {
        for (int k = 0; k < kValueCount; ++k) {
            if (text[k] == name)
                return k + 1;
        }
        return 0;
    }
};

const NameTable &names()
{
    static const NameTable table;
    return table;
}

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr double kInversePow10[] = {1e0,   1e-1,  1e-2,  1e-3,  1e-4,  1e-5,  1e-6,  1e-7,
                                    1e-8,  1e-9,  1e-10, 1e-11, 1e-12, 1e-13, 1e-14, 1e-15,
                                    1e-16, 1e-17, 1e-18, 1e-19, 1e-20, 1e-21, 1e-22};

// A value that does not convert is missing. Qt's toFloat gives +-inf for
// one beyond the float range ("1e39", "3.4028235e38"), but says so with
// ok = false: that is no conversion either.
float textToFloat(const QString &text)
{
    bool ok = false;
    const float value = text.toFloat(&ok);
    return ok ? value : SampleRecord::kMissingValue;
}

// textToFloat of the token that starts at p: a lone '=', or the bytes
// up to the first of class 1 or 2 (see CharClasses) or to limit. Plain decimals
// ("-05.10", "220.50", "7") whose digits fit in 53 bits are converted here:
// an exact integer divided by an exact power of ten is the correctly rounded
// double, which is what Qt computes before narrowing to float. Everything
// else goes to Qt.
float toFloat(const char *p, const char *limit, const unsigned char *classOf)
{
    const char *s = p;
    const bool negative = s < limit && *s == '-';
    s += negative;
    uint64_t mantissa = 0;
    int digitCount = 0;
    int fraction = 0;
    int point = 0;
    for (; s < limit && digitCount < 19; ++s) {
        const unsigned digit = unsigned(static_cast<unsigned char>(*s)) - '0';
        if (digit < 10) {
            mantissa = mantissa * 10 + digit;
            ++digitCount;
            fraction += point;
        } else if (*s == '.' && !point) {
            point = 1;
        } else {
            break;
        }
    }
    const bool tokenEnds = s == limit || classOf[static_cast<unsigned char>(*s)] != 0;
    if (!tokenEnds || digitCount == 0 || fraction > 22 || mantissa > (uint64_t(1) << 53)) {
        const char *e = p;
        if (e < limit && classOf[static_cast<unsigned char>(*e)] == 2)
            ++e;
        while (e < limit && classOf[static_cast<unsigned char>(*e)] == 0)
            ++e;
        return textToFloat(QString::fromLatin1(p, int(e - p)));
    }
    // Multiplying by the reciprocal is several times cheaper than dividing
    // but may miss the correctly rounded double by a unit or two. That only
    // matters for the float when the double lies next to the midpoint
    // between two floats (the 29 bits that narrowing drops are close to
    // 1000...0); then divide.
    double d = double(mantissa) * kInversePow10[fraction];
    uint64_t bits;
    memcpy(&bits, &d, sizeof bits);
    const uint64_t dropped = bits & ((uint64_t(1) << 29) - 1);
    if (dropped - ((uint64_t(1) << 28) - 4) <= 8)
        d = double(mantissa) / kPow10[fraction];
    if (negative)
        d = -d;
    return float(d);
}

// 0: part of a token, 1: white space as QString::simplified sees it in
// ASCII, 2: '=', which always stands alone.
struct CharClasses {
    unsigned char of[256];
    CharClasses()
    {
        memset(of, 0, sizeof of);
        for (int c = 9; c <= 13; ++c)
            of[c] = 1;
        of[' '] = 1;
        of['='] = 2;
    }
};

const CharClasses &classes()
{
    static const CharClasses table;
    return table;
}

// The seven value lines exactly as writeRecord writes them, apart from the
// digits: a line of a written file whose values fit their six characters
// matches one of these byte for byte outside the digits (the '.' of each
// value stands where the column's decimals put it), and its values are then
// read from fixed places with no search for names or '='. Such a line holds
// no '/', ':', NUL or byte above 0x7F, and its tokens are the names, the
// '=' signs, the values and the units, so what it gives is what the general
// path would give.
struct WrittenLine {
    static constexpr int kEntry = 19;      // "NAME = VVVVVV UNIT "
    static constexpr int kValueAt = 7;     // the value field within an entry
    static constexpr int kMaxWords = 18;   // 7 entries, in 16-byte pairs of 8-byte words
    static constexpr int kMaxColumns = 7;

    int length = 0;                        // bytes before the line break
    int words = 0;                         // of bytes and care that count
    int firstColumn = 0;
    int columns = 0;
    uint32_t named = 0;                    // the columns, as bits 0..30
    alignas(16) uint64_t bytes[kMaxWords] = {};
    alignas(16) uint64_t care[kMaxWords] = {}; // 0xFF where bytes must match

    // Where the digits of value field i are, in the 8 bytes from its start
    // (byte b of the field in bits 8b..8b+7 of a word):
    uint64_t digitPlaces[kMaxColumns] = {}; // 0xFF where a digit must be
    uint64_t beforePoint[kMaxColumns] = {}; // 0xFF at digit places before the '.'
    uint64_t afterPoint[kMaxColumns] = {};  // 0xFF at those after it
    double scale[kMaxColumns] = {};         // 10^-decimals

    // Reads whole 16-byte blocks: up to 15 bytes past the line.
    bool matches(const char *p) const
    {
#ifdef ZEP_DATAFILE_SSE2
        __m128i differ = _mm_setzero_si128();
        for (int w = 0; w < words; w += 2) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 8 * w));
            const __m128i b = _mm_load_si128(reinterpret_cast<const __m128i *>(bytes + w));
            const __m128i c = _mm_load_si128(reinterpret_cast<const __m128i *>(care + w));
            differ = _mm_or_si128(differ, _mm_and_si128(_mm_xor_si128(v, b), c));
        }
        return _mm_movemask_epi8(_mm_cmpeq_epi8(differ, _mm_setzero_si128())) == 0xFFFF;
#else
        uint64_t differ = 0;
        for (int w = 0; w < words; ++w) {
            uint64_t v;
            memcpy(&v, p + 8 * w, sizeof v);
            differ |= (v ^ bytes[w]) & care[w];
        }
        return differ == 0;
#endif
    }

    // The name and '=' of the first entry.
    bool startsLike(const char *p) const
    {
        uint64_t v;
        memcpy(&v, p, sizeof v);
        return ((v ^ bytes[0]) & care[0]) == 0;
    }
};

struct WrittenLines {
    static constexpr int kLines = 7;
    WrittenLine line[kLines];

    WrittenLines()
    {
        int column = 1;
        for (int j = 0; j < kLines; ++j) {
            WrittenLine &t = line[j];
            t.firstColumn = column;
            t.columns = j + 1 < kLines ? 4 : kValueCount - column + 1;
            t.length = t.columns * WrittenLine::kEntry;
            t.words = (t.length + 15) / 16 * 2;
            unsigned char text[WrittenLine::kMaxWords * 8] = {};
            unsigned char care[WrittenLine::kMaxWords * 8] = {};
            for (int i = 0; i < t.columns; ++i, ++column) {
                const ParamEntry &e = ParamTable[column];
                const int decimals = columnDecimals(column);
                const int point = 5 - decimals;
                unsigned char *p = text + i * WrittenLine::kEntry;
                memcpy(p, e.name, 5);
                p[5] = '=';
                p[6] = ' ';
                p[WrittenLine::kValueAt + point] = '.';
                p[13] = ' ';
                memcpy(p + 14, e.unit, 5);
                unsigned char *c = care + i * WrittenLine::kEntry;
                memset(c, 0xFF, WrittenLine::kEntry);
                memset(c + WrittenLine::kValueAt, 0, 6);
                c[WrittenLine::kValueAt + point] = 0xFF;
                t.named |= uint32_t(1) << (column - 1);

                for (int b = 0; b < 6; ++b) {
                    if (b == point)
                        continue;
                    t.digitPlaces[i] |= uint64_t(0xFF) << (8 * b);
                    (b < point ? t.beforePoint : t.afterPoint)[i] |= uint64_t(0xFF) << (8 * b);
                }
                t.scale[i] = 1.0 / std::pow(10.0, decimals);
            }
            memcpy(t.bytes, text, sizeof text);
            memcpy(t.care, care, sizeof care);
        }
    }
};

// A record as written with values of six characters: the time line, six
// lines of four entries and one of seven, each with its '\n'.
constexpr qint64 kWrittenRecordBytes = 20 + 6 * (4 * WrittenLine::kEntry + 1) + 7 * WrittenLine::kEntry + 1;

const WrittenLines &writtenLines()
{
    static const WrittenLines lines;
    return lines;
}

// Stores the values of a line's fields when every one has its '.' in place
// and digits in the five other places, the first possibly a '-' instead.
// Otherwise stores nothing and returns false: the general path reads such a
// line, which might even be a time line. The result is Qt's: the correctly
// rounded double, narrowed. Multiplying by the reciprocal may miss that
// double by a unit, but a quotient of at most five digits by 10, 100 or
// 1000 never lies that close to the midpoint between two floats (checked
// for every such field), so the float is the same.
//
// The digits of a field, the sign's place as a leading zero, are closed up
// over the point and moved to the top of a word, most significant first;
// then pairs, fours and all eight places are combined into one number.
#ifdef ZEP_DATAFILE_SSE2
// Fields first..first+3, two to a register.
inline bool fourValues(const char *line, const WrittenLine &t, int first, __m128 &out)
{
    const char *p = line + first * WrittenLine::kEntry + WrittenLine::kValueAt;
    __m128i fours[2];
    __m128i signs[2];
    for (int h = 0; h < 2; ++h) {
        const int i = first + 2 * h;
        const __m128i x = _mm_unpacklo_epi64(
            _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p + 2 * h * WrittenLine::kEntry)),
            _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p + (2 * h + 1) * WrittenLine::kEntry)));
        const __m128i places = _mm_loadu_si128(reinterpret_cast<const __m128i *>(t.digitPlaces + i));
        const __m128i v = _mm_xor_si128(x, _mm_set1_epi8('0')); // a digit byte becomes its value
        const __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(9)), v);
        const __m128i minus = _mm_and_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('-')), _mm_set1_epi64x(0xFF));
        if (_mm_movemask_epi8(_mm_andnot_si128(_mm_or_si128(digit, minus), places)))
            return false;
        const __m128i digits = _mm_andnot_si128(minus, _mm_and_si128(v, places));
        const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i *>(t.beforePoint + i));
        const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i *>(t.afterPoint + i));
        const __m128i top = _mm_slli_epi64(
            _mm_or_si128(_mm_and_si128(digits, before), _mm_srli_epi64(_mm_and_si128(digits, after), 8)), 24);
        const __m128i pairs = _mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(top, _mm_set1_epi16(0xFF)), _mm_set1_epi16(10)),
                                            _mm_srli_epi16(top, 8));
        fours[h] = _mm_madd_epi16(pairs, _mm_set1_epi32(100 | 1 << 16));
        signs[h] = _mm_slli_epi64(_mm_and_si128(minus, _mm_set1_epi64x(0x80)), 56);
    }
    const __m128i whole = _mm_madd_epi16(_mm_packs_epi32(fours[0], fours[1]), _mm_set1_epi32(10000 | 1 << 16));
    const __m128d low = _mm_xor_pd(_mm_mul_pd(_mm_cvtepi32_pd(whole), _mm_loadu_pd(t.scale + first)),
                                   _mm_castsi128_pd(signs[0]));
    const __m128d high = _mm_xor_pd(_mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(whole, _MM_SHUFFLE(3, 2, 3, 2))),
                                               _mm_loadu_pd(t.scale + first + 2)),
                                    _mm_castsi128_pd(signs[1]));
    out = _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high));
    return true;
}

inline bool lineValues(const char *line, const WrittenLine &t, float *out)
{
    // Seven fields are read as 0..3 and 3..6.
    const int second = t.columns - 4;
    __m128 first4, last4 = _mm_setzero_ps();
    if (!fourValues(line, t, 0, first4) || (second > 0 && !fourValues(line, t, second, last4)))
        return false;
    _mm_storeu_ps(out, first4);
    if (second > 0)
        _mm_storeu_ps(out + second, last4);
    return true;
}
#else
inline bool lineValues(const char *line, const WrittenLine &t, float *out)
{
    constexpr uint64_t kOnes = 0x0101010101010101u;
    float values[WrittenLine::kMaxColumns];
    const char *p = line + WrittenLine::kValueAt;
    for (int i = 0; i < t.columns; ++i, p += WrittenLine::kEntry) {
        const uint64_t x = qFromLittleEndian<quint64>(p);
        const uint64_t v = x ^ (kOnes * '0'); // a digit byte becomes its value
        // 0x80 in each byte that holds no digit (the low seven bits are
        // added apart so that no carry crosses into the next byte).
        const uint64_t other = (((v & (kOnes * 0x7F)) + kOnes * 0x76) | v) & t.digitPlaces[i] & (kOnes * 0x80);
        const uint64_t negative = (x & 0xFF) == '-';
        if (other & ~(negative << 7))
            return false;
        const uint64_t digits = v & t.digitPlaces[i] & ~(negative * 0xFF);
        uint64_t n = ((digits & t.beforePoint[i]) | ((digits & t.afterPoint[i]) >> 8)) << 24;
        n = (n * 10 + (n >> 8)) & 0x00FF00FF00FF00FFu;
        n = (n * 100 + (n >> 16)) & 0x0000FFFF0000FFFFu;
        n = (n * 10000 + (n >> 32)) & 0xFFFFFFFFu;
        const double value = double(n) * t.scale[i];
        values[i] = float(negative ? -value : value);
    }
    std::copy(values, values + t.columns, out);
    return true;
}
#endif

// Where the records go: the array the caller allocated (readRecords), or
// one that grows as the file is read (loadDataFile), so that the file is
// read once. A grown array is handed over trimmed to the records read.
class RecordStore
{
public:
    RecordStore(SampleRecord *records, quint32 capacity)
        : m_records(records)
        , m_capacity(capacity)
        , m_growable(false)
    {
    }

    // Starts with room for the expected number of records, if it can be
    // had; untouched room costs no memory.
    explicit RecordStore(qint64 expected)
        : m_growable(true)
    {
        grow(quint32(qBound<qint64>(16, expected, kMostRecords)));
    }

    ~RecordStore()
    {
        if (m_growable)
            free(m_records);
    }

    RecordStore(const RecordStore &) = delete;
    RecordStore &operator=(const RecordStore &) = delete;

    // Record i, or null when there is no room for it.
    SampleRecord *slot(quint32 i)
    {
        if (i < m_capacity)
            return m_records + i;
        if (!m_growable || i >= kMostRecords)
            return nullptr;
        if (!grow(qMin<quint32>(kMostRecords, i + i / 2 + 16)) && !grow(i + 1)) {
            m_outOfMemory = true;
            return nullptr;
        }
        return m_records + i;
    }

    // Whether a record was left out because no memory could be had for it.
    bool outOfMemory() const { return m_outOfMemory; }

    // The grown array, trimmed to count records, for the caller to free.
    SampleRecord *release(quint32 count)
    {
        SampleRecord *records = m_records;
        if (count < m_capacity) {
            void *trimmed = realloc(records, size_t(count) * sizeof(SampleRecord));
            if (trimmed)
                records = static_cast<SampleRecord *>(trimmed);
        }
        m_records = nullptr;
        m_capacity = 0;
        return records;
    }

private:
    // The record index is an int.
    static constexpr quint32 kMostRecords = INT_MAX;

    bool grow(quint32 capacity)
    {
        // Records are zeroed one by one as they are started, so pages that
        // are never written stay untouched.
        void *more = realloc(m_records, size_t(capacity) * sizeof(SampleRecord));
        if (!more)
            return false;
        m_records = static_cast<SampleRecord *>(more);
        m_capacity = capacity;
        return true;
    }

    SampleRecord *m_records = nullptr;
    quint32 m_capacity = 0;
    bool m_growable;
    bool m_outOfMemory = false;
};

class RecordParser
{
public:
    // The records go to the store from index base on.
    explicit RecordParser(RecordStore &store, quint32 base = 0)
        : m_store(store)
        , m_base(base)
    {
    }

    // Takes the piece that starts at p, of the available bytes there, and
    // returns its length.
    int feed(const char *p, qint64 available)
    {
        int length;
        if (m_index >= 0 && (length = writtenValueLine(p, available, m_nextLine)))
            return length;
        if ((length = writtenTimeLine(p, available))) {
            startRecord(m_times.convert(p));
            return length;
        }
        if (m_index >= 0) {
            for (int j = 0; j < WrittenLines::kLines; ++j) {
                if (j != m_nextLine && (length = writtenValueLine(p, available, j)))
                    return length;
            }
        }
        length = ChunkSource::pieceLength(p, available);
        // A piece without a line break that is shorter than a piece can be
        // is the end of a file cut off inside a line.
        feedPiece(p, length, length == available && length < kMaxChunk && p[length - 1] != '\n');
        return length;
    }

    // Whether a further time line found no room for its record.
    bool full() const { return m_full; }

    int index() const { return m_index; }

    // Call once after the last piece.
    void finish() { closeRecord(); }
    quint32 unreadableTimes() const { return m_unreadableTimes; }
    quint32 incompleteRecords() const { return m_incompleteRecords; }

private:
    static constexpr uint32_t kAllNamed = (uint32_t(1) << kValueCount) - 1;

    // cut: the file ends inside the piece's line, so a value at its very
    // end may have lost digits; it is missing.
    void feedPiece(const char *chunk, int length, bool cut)
    {
        const ChunkFacts f = examine<true>(chunk, length);
        const bool cutAtEnd = cut && f.length == length;
        if (!f.ascii)
            feedText(decode(chunk, f), cutAtEnd);
        else if (f.timeLine())
            startRecord(timeOf(chunk, f.length));
        else if (m_index >= 0)
            entries(chunk, f, cutAtEnd);
    }

    // The length of the piece at p when it is value line j as written, with
    // its values stored; 0 when it is not, and nothing is stored then.
    int writtenValueLine(const char *p, qint64 available, int j)
    {
        const WrittenLine &t = m_written.line[j];
        if (!t.startsLike(p) || available <= t.length || !t.matches(p))
            return 0;
        int length;
        if (p[t.length] == '\n')
            length = t.length + 1;
        else if (p[t.length] == '\r' && available > t.length + 1 && p[t.length + 1] == '\n')
            length = t.length + 2;
        else
            return 0;
        if (!lineValues(p, t, &m_record->values[t.firstColumn - 1]))
            return 0;
        m_named |= t.named;
        m_nextLine = j + 1 < WrittenLines::kLines ? j + 1 : 0;
        return length;
    }

    // The length of the piece at p when it is a time line as written, else 0.
    static int writtenTimeLine(const char *p, qint64 available)
    {
        if (available < 20 || !canonicalDate(p) || p[10] != ' ' || !canonicalTime(p + 11))
            return 0;
        if (p[19] == '\n')
            return 20;
        if (p[19] == '\r' && available > 20 && p[20] == '\n')
            return 21;
        return 0;
    }

    void startRecord(uint32_t time)
    {
        // Before the store may move the records.
        closeRecord();
        SampleRecord *record = m_store.slot(m_base + quint32(m_index + 1));
        if (!record) {
            m_full = true;
            return;
        }
        ++m_index;
        m_record = record;
        memset(record, 0, sizeof *record);
        record->time = time;
        m_unreadableTimes += time == SampleRecord::kInvalidTime;
        m_named = 0;
        m_hint = 1;
        m_nextLine = 0;
    }

    // The values the record's lines did not name are missing.
    void closeRecord()
    {
        if (m_index >= 0 && (m_named != kAllNamed || m_missing)) {
            bool missing = false;
            for (int k = 1; k <= kValueCount; ++k) {
                if (!(m_named & uint32_t(1) << (k - 1)))
                    m_record->setValue(k, SampleRecord::kMissingValue);
                missing = missing || SampleRecord::isMissing(m_record->value(k));
            }
            m_incompleteRecords += missing;
        }
        m_named = kAllNamed;
        m_missing = false;
    }

    void setValue(int k, float value)
    {
        m_record->setValue(k, value);
        m_named |= uint32_t(1) << (k - 1);
        m_missing = m_missing || SampleRecord::isMissing(value);
    }

    uint32_t timeOf(const char *chunk, int length)
    {
        const CharClasses &cls = m_classes;
        int b = 0;
        int e = length;
        while (b < e && cls.of[static_cast<unsigned char>(chunk[b])] == 1)
            ++b;
        while (e > b && cls.of[static_cast<unsigned char>(chunk[e - 1])] == 1)
            --e;
        // The usual "yyyy/MM/dd hh:mm:ss", possibly with a longer gap of
        // white space in the middle, which simplification would collapse.
        if (e - b >= 19) {
            const char *p = chunk + b;
            int gap = 10;
            while (gap < e - b && cls.of[static_cast<unsigned char>(p[gap])] == 1)
                ++gap;
            if (gap > 10 && e - b - gap == 8 && canonicalDate(p) && canonicalTime(p + gap)) {
                char text[19];
                memcpy(text, p, 10);
                text[10] = ' ';
                memcpy(text + 11, p + gap, 8);
                return m_times.convert(text);
            }
        }
        return otherTime(chunk + b, e - b);
    }

    // A time line of another shape, left to QDateTime, which is slow. Each
    // of the six fields needs a digit, so a line with fewer holds no time;
    // and a line that repeats the one before gets the same answer. Without
    // these a file of such lines would take a hundred times longer to read
    // than a file of good ones.
    uint32_t otherTime(const char *text, int length)
    {
        int digits = 0;
        for (int i = 0; i < length; ++i)
            digits += unsigned(text[i] - '0') < 10u;
        if (digits < kTimeFields)
            return SampleRecord::kInvalidTime;
        if (m_otherText.size() == length && memcmp(m_otherText.constData(), text, size_t(length)) == 0)
            return m_otherTime;
        m_otherText = QByteArray(text, length);
        m_otherTime = LocalTimeCache::convertWithQt(QString::fromLatin1(text, length).simplified());
        return m_otherTime;
    }

    static bool digit(char c) { return c >= '0' && c <= '9'; }
    static bool canonicalDate(const char *p)
    {
        return digit(p[0]) && digit(p[1]) && digit(p[2]) && digit(p[3]) && p[4] == '/' && digit(p[5])
            && digit(p[6]) && p[7] == '/' && digit(p[8]) && digit(p[9]);
    }
    static bool canonicalTime(const char *p)
    {
        return digit(p[0]) && digit(p[1]) && p[2] == ':' && digit(p[3]) && digit(p[4]) && p[5] == ':'
            && digit(p[6]) && digit(p[7]);
    }

    // Each '=' pairs the token before it (a name) with the token after it (a
    // value). Tokens are runs of anything but white space and '='; each '='
    // is a token of its own. An '=' at either end of the line has no partner
    // and is skipped.
    void entries(const char *chunk, const ChunkFacts &f, bool cutAtEnd)
    {
        const unsigned char *cls = m_classes.of;
        auto at = [chunk, cls](int i) { return cls[static_cast<unsigned char>(chunk[i])]; };
        for (int w = 0; w < 4; ++w) {
            for (uint64_t set = f.equals[w]; set; set &= set - 1) {
                const int pos = w * 64 + int(qCountTrailingZeroBits(set));
                int j = pos - 1;
                while (j >= 0 && at(j) == 1)
                    --j;
                // No name, or the name is another '=': nothing can match.
                if (j < 0 || at(j) == 2)
                    continue;
                const int nameEnd = j + 1;
                while (j >= 0 && at(j) == 0)
                    --j;
                const int k = m_names.find(chunk + j + 1, nameEnd - j - 1, m_hint);
                if (!k)
                    continue;
                int v = pos + 1;
                while (v < f.length && at(v) == 1)
                    ++v;
                if (v == f.length)
                    continue;
                int end = v;
                while (end < f.length && at(end) == 0)
                    ++end;
                setValue(k, cutAtEnd && end == f.length ? SampleRecord::kMissingValue
                                                        : toFloat(chunk + v, chunk + f.length, cls));
                m_hint = k + 1;
            }
        }
    }

    // The chunk as text, for the rare piece that holds other than ASCII.
    void feedText(const QString &text, bool cutAtEnd)
    {
        if (isTimeLine(text)) {
            const auto digits = std::count_if(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
            startRecord(digits < kTimeFields ? SampleRecord::kInvalidTime
                                             : LocalTimeCache::convertWithQt(text.simplified()));
            return;
        }
        if (m_index < 0)
            return;
        QString s = text.simplified();
        if (!s.contains(QLatin1Char('=')))
            return;
        s.replace(QLatin1Char('='), QLatin1String(" = "));
        const QStringList tokens = s.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const QString equals = QStringLiteral("=");
        const bool lastCut = cutAtEnd && !text.isEmpty() && !text.back().isSpace();
        for (int j = 1; j + 1 < tokens.size(); ++j) {
            if (tokens[j] != equals)
                continue;
            const int k = m_names.find(tokens[j - 1]);
            if (k)
                setValue(k, lastCut && j + 2 == tokens.size() ? SampleRecord::kMissingValue : textToFloat(tokens[j + 1]));
        }
    }

    static constexpr int kTimeFields = 6;

    RecordStore &m_store;
    const quint32 m_base;
    SampleRecord *m_record = nullptr;
    QByteArray m_otherText;
    uint32_t m_otherTime = 0;
    int m_index = -1;
    int m_hint = 1;
    int m_nextLine = 0;
    bool m_full = false;
    uint32_t m_named = kAllNamed;
    bool m_missing = false;
    quint32 m_unreadableTimes = 0;
    quint32 m_incompleteRecords = 0;
    LocalTimeCache m_times;
    const NameTable &m_names = names();
    const CharClasses &m_classes = classes();
    const WrittenLines &m_written = writtenLines();
};

// Reports the share of the file read, 0..100, each time it changes, and
// works out where the next change lies, so that a piece costs a comparison.
class ProgressReport
{
public:
    ProgressReport(const std::function<void(int percent)> &report, qint64 size)
        : m_report(report)
        , m_size(size)
        , m_next(report ? 0 : LLONG_MAX)
    {
    }

    void advance(int length)
    {
        m_done += length;
        if (m_done >= m_next)
            reportNow();
    }

private:
    void reportNow()
    {
        // The file may have changed size since it was opened.
        const int percent = m_size > 0 ? int(qMin<qint64>(100, m_done * 100 / m_size)) : 100;
        if (percent != m_shown) {
            m_shown = percent;
            m_report(percent);
        }
        m_next = percent < 100 ? ((percent + 1) * m_size + 99) / 100 : LLONG_MAX;
    }

    const std::function<void(int percent)> &m_report;
    qint64 m_size;
    qint64 m_next;
    qint64 m_done = 0;
    int m_shown = -1;
};

// Feeds the pieces of an open file to the parser until the file ends or a
// record finds no room.
void parse(QIODevice &in, RecordParser &parser, const std::function<void(int percent)> &progress)
{
    ProgressReport report(progress, in.size());
    ChunkSource source(in);
    const char *p;
    for (qint64 available; (available = source.window(p)) > 0;) {
        const int length = parser.feed(p, available);
        source.consume(length);
        report.advance(length);
        if (parser.full())
            break;
    }
    parser.finish();
}

} // namespace

bool endsWithCompleteRecord(const QByteArray &text)
{
    if (text.isEmpty())
        return true;
    if (!text.endsWith('\n'))
        return false;
    QList<QByteArray> lines = text.split('\n');
    lines.removeLast();
    int valueLines = 0;
    int entries = 0;
    for (int i = lines.size() - 1; i >= 0; --i) {
        if (isTimeLine(QString::fromLatin1(lines.at(i))))
            return valueLines == WrittenLines::kLines && entries == kValueCount;
        ++valueLines;
        entries += lines.at(i).count('=');
    }
    return false;
}

int countRecords(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return -1;
    ChunkSource source(file);
    const char *chunk;
    int length;
    int total = 0;
    while (source.next(chunk, length)) {
        const ChunkFacts f = examine<false>(chunk, length);
        const bool timeLine = f.ascii ? f.timeLine() : isTimeLine(decode(chunk, f));
        if (timeLine && total < INT_MAX)
            ++total;
    }
    return total;
}

int readRecords(DataFile *file, const std::function<void(int percent)> &progress)
{
    QFile in(file->fileName);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return -1;
    RecordStore store(file->records, file->count);
    RecordParser parser(store);
    parse(in, parser, progress);
    const int read = parser.index() + 1;
    if (read == 0)
        return -1;
    file->unreadableTimes = parser.unreadableTimes();
    file->incompleteRecords = parser.incompleteRecords();
    if (quint32(read) < file->count)
        file->count = quint32(read);
    return read;
}

LoadFailure readFirstTime(const QString &path, uint32_t *time)
{
    if (const LoadFailure why = refusalBeforeReading(path); why != LoadFailure::None)
        return why;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return LoadFailure::Unreadable;
    // Whole lines only: a time line cut at the end would read as another.
    QByteArray head = file.read(kFirstRecordWithin);
    if (head.size() == kFirstRecordWithin)
        head.truncate(head.lastIndexOf('\n') + 1);
    QBuffer in(&head);
    in.open(QIODevice::ReadOnly);
    SampleRecord first;
    RecordStore store(&first, 1);
    RecordParser parser(store);
    parse(in, parser, {});
    if (parser.index() < 0)
        return LoadFailure::NotDataFile;
    *time = first.time;
    return LoadFailure::None;
}

LoadFailure refusalBeforeReading(const QString &path)
{
    const QFileInfo info(path);
    // Opening a FIFO waits for a writer, and a device such as /dev/zero
    // never ends: either would hold the caller for good.
    return !info.exists() ? LoadFailure::Missing : !info.isFile() ? LoadFailure::NotDataFile : LoadFailure::None;
}

std::unique_ptr<DataFile> loadDataFile(const QString &path, const std::function<void(int percent)> &progress,
                                       LoadFailure *failure)
{
    std::vector<quint32> counts;
    QList<OpenFailure> refused;
    auto file = loadDataFiles({path}, &counts, &refused, progress);
    if (failure)
        *failure = refused.isEmpty() ? LoadFailure::None : refused.first().failure;
    if (file)
        file->fileName = path;
    return file;
}

std::unique_ptr<DataFile> loadDataFiles(const QStringList &paths, std::vector<quint32> *counts,
                                        QList<OpenFailure> *refused, const std::function<void(int percent)> &progress)
{
    std::vector<LoadFailure> refusals;
    std::vector<qint64> sizes;
    qint64 total = 0;
    for (const QString &path : paths) {
        refusals.push_back(refusalBeforeReading(path));
        sizes.push_back(refusals.back() == LoadFailure::None ? QFileInfo(path).size() : 0);
        total += sizes.back();
    }
    // Room for the records of files as written; other files grow it.
    RecordStore store(total / kWrittenRecordBytes + paths.size());
    quint32 read = 0;
    quint32 unreadableTimes = 0;
    quint32 incompleteRecords = 0;
    qint64 before = 0;
    counts->clear();
    for (int i = 0; i < paths.size(); ++i) {
        const auto fileProgress = [&](int percent) {
            if (progress && total > 0)
                progress(int((before * 100 + percent * sizes[size_t(i)]) / total));
        };
        QFile in(paths.at(i));
        LoadFailure why = refusals[size_t(i)];
        if (why == LoadFailure::None && !in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            why = LoadFailure::Unreadable;
        int part = 0;
        if (why == LoadFailure::None) {
            RecordParser parser(store, read);
            parse(in, parser, fileProgress);
            part = parser.index() + 1;
            // Without memory for all of its records the file is refused, as
            // when the array for its count cannot be had.
            why = part == 0 ? LoadFailure::NotDataFile : store.outOfMemory() ? LoadFailure::TooLarge : LoadFailure::None;
            if (why == LoadFailure::None) {
                unreadableTimes += parser.unreadableTimes();
                incompleteRecords += parser.incompleteRecords();
            }
        }
        before += sizes[size_t(i)];
        if (why != LoadFailure::None) {
            refused->append({paths.at(i), why});
            part = 0;
        }
        counts->push_back(quint32(part));
        read += quint32(part);
        if (store.outOfMemory())
            break;
    }
    if (read == 0 || store.outOfMemory())
        return nullptr;
    auto file = std::make_unique<DataFile>(QString(), 0);
    file->records = store.release(read);
    file->count = read;
    file->unreadableTimes = unreadableTimes;
    file->incompleteRecords = incompleteRecords;
    return file;
}

bool dataFileReaderUsesSse2()
{
#ifdef ZEP_DATAFILE_SSE2
    return true;
#else
    return false;
#endif
}
