#include "data/datafile.h"

#include "data/localtimecache.h"

#include <QDateTime>
#include <QFileInfo>
#include <QStringList>
#include <QtAlgorithms>

#include <algorithm>
#include <climits>
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
        out += entry.arg(QLatin1String(p.name))
                   .arg(values[k - 1], 6, 'f', columnDecimals(k), QLatin1Char('0'))
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
    explicit ChunkSource(QFile &file)
        : m_file(file)
        , m_buffer(new char[kCapacity + kSlack])
    {
        // The scanners below may look up to 15 bytes past a piece.
        memset(m_buffer.get(), 0, kCapacity + kSlack);
    }

    // Returns false at the end of the file (or on a read error, which ends
    // the file as readLine would).
    bool next(const char *&chunk, int &length)
    {
        if (m_end - m_begin < kMaxChunk && !m_atEnd)
            refill();
        if (m_begin == m_end)
            return false;
        const int available = int(qMin<qint64>(kMaxChunk, m_end - m_begin));
        chunk = m_buffer.get() + m_begin;
        const void *newline = memchr(chunk, '\n', size_t(available));
        length = newline ? int(static_cast<const char *>(newline) - chunk) + 1 : available;
        m_begin += length;
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

    QFile &m_file;
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

// A value that does not convert is 0.0. Qt's toFloat gives +-inf for one
// beyond the float range ("1e39", "3.4028235e38"), but says so with ok =
// false: that is no conversion either.
float textToFloat(const QString &text)
{
    bool ok = false;
    const float value = text.toFloat(&ok);
    return ok ? value : 0.0f;
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

class RecordParser
{
public:
    RecordParser(SampleRecord *records, quint32 count)
        : m_records(records)
        , m_count(count)
    {
    }

    // False when a further time line would need a record beyond the array.
    bool feed(const char *chunk, int length)
    {
        const ChunkFacts f = examine<true>(chunk, length);
        if (!f.ascii)
            return feedText(decode(chunk, f));
        if (f.timeLine())
            return startRecord(timeOf(chunk, f.length));
        if (m_index >= 0)
            entries(chunk, f);
        return true;
    }

    int index() const { return m_index; }

    // Call once after the last piece.
    void finish() { closeRecord(); }
    quint32 unreadableTimes() const { return m_unreadableTimes; }
    quint32 incompleteRecords() const { return m_incompleteRecords; }

private:
    static constexpr uint32_t kAllNamed = (uint32_t(1) << kValueCount) - 1;

    bool startRecord(uint32_t time)
    {
        if (quint32(m_index + 1) >= m_count)
            return false;
        closeRecord();
        ++m_index;
        m_records[m_index].time = time;
        m_unreadableTimes += time == SampleRecord::kInvalidTime;
        m_named = 0;
        m_hint = 1;
        return true;
    }

    void closeRecord()
    {
        if (m_index >= 0 && m_named != kAllNamed)
            ++m_incompleteRecords;
        m_named = kAllNamed;
    }

    void setValue(int k, float value)
    {
        m_records[m_index].setValue(k, value);
        m_named |= uint32_t(1) << (k - 1);
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
    void entries(const char *chunk, const ChunkFacts &f)
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
                setValue(k, toFloat(chunk + v, chunk + f.length, cls));
                m_hint = k + 1;
            }
        }
    }

    // The chunk as text, for the rare piece that holds other than ASCII.
    bool feedText(const QString &text)
    {
        if (isTimeLine(text)) {
            const auto digits = std::count_if(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
            return startRecord(digits < kTimeFields ? SampleRecord::kInvalidTime
                                                    : LocalTimeCache::convertWithQt(text.simplified()));
        }
        if (m_index < 0)
            return true;
        QString s = text.simplified();
        if (!s.contains(QLatin1Char('=')))
            return true;
        s.replace(QLatin1Char('='), QLatin1String(" = "));
        const QStringList tokens = s.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const QString equals = QStringLiteral("=");
        for (int j = 1; j + 1 < tokens.size(); ++j) {
            if (tokens[j] != equals)
                continue;
            const int k = m_names.find(tokens[j - 1]);
            if (k)
                setValue(k, textToFloat(tokens[j + 1]));
        }
        return true;
    }

    static constexpr int kTimeFields = 6;

    SampleRecord *m_records;
    quint32 m_count;
    QByteArray m_otherText;
    uint32_t m_otherTime = 0;
    int m_index = -1;
    int m_hint = 1;
    uint32_t m_named = kAllNamed;
    quint32 m_unreadableTimes = 0;
    quint32 m_incompleteRecords = 0;
    LocalTimeCache m_times;
    const NameTable &m_names = names();
    const CharClasses &m_classes = classes();
};

} // namespace

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
    const qint64 size = in.size();
    ChunkSource source(in);
    RecordParser parser(file->records, file->count);
    qint64 done = 0;
    int shown = -1;
    const char *chunk;
    int length;
    while (source.next(chunk, length)) {
        done += length;
        if (progress) {
            // The file may have changed size since it was opened.
            const int percent = size > 0 ? int(qMin<qint64>(100, done * 100 / size)) : 100;
            if (percent != shown) {
                shown = percent;
                progress(percent);
            }
        }
        if (!parser.feed(chunk, length))
            break;
    }
    parser.finish();
    const int read = parser.index() + 1;
    if (read == 0)
        return -1;
    file->unreadableTimes = parser.unreadableTimes();
    file->incompleteRecords = parser.incompleteRecords();
    if (quint32(read) < file->count)
        file->count = quint32(read);
    return read;
}

std::unique_ptr<DataFile> loadDataFile(const QString &path, const std::function<void(int percent)> &progress,
                                       LoadFailure *failure)
{
    LoadFailure ignored;
    LoadFailure &why = failure ? *failure : ignored;
    const QFileInfo info(path);
    // Opening a FIFO waits for a writer, and a device such as /dev/zero
    // never ends: either would hold the caller for good.
    why = !info.exists() ? LoadFailure::Missing : !info.isFile() ? LoadFailure::NotDataFile : LoadFailure::None;
    if (why != LoadFailure::None)
        return nullptr;
    const int count = countRecords(path);
    why = count < 0 ? LoadFailure::Unreadable : count == 0 ? LoadFailure::NotDataFile : LoadFailure::None;
    if (why != LoadFailure::None)
        return nullptr;
    auto file = std::make_unique<DataFile>(path, quint32(count));
    if (!file->records) {
        why = LoadFailure::TooLarge;
        return nullptr;
    }
    // Still possible: the file shrank or went since it was counted.
    if (readRecords(file.get(), progress) < 0) {
        why = LoadFailure::Unreadable;
        return nullptr;
    }
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
