// The LZX compressor read back by the readers help file viewers use:
// libmspack, chmlib and 7-Zip must each return every byte, for the sizes
// around frame and reset boundaries, for data that does not shrink, and for
// real HTML. Every frame must stay within chmlib's limit, and compressing on
// several threads must give the very bytes one thread gives.

#include "support/LzxReaders.h"

#include "chm/lzx/LzxEncoder.h"
#include "chm/lzx/LzxHuffman.h"
#include "chm/lzx/LzxSectionCompressor.h"
#include "chm/prepared/AdoptedIntervals.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <thread>

using namespace quorlix::chm;
using namespace quorlix::chm::test;
using Bytes = std::vector<std::uint8_t>;

Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(std::vector<std::uint32_t>)

namespace {

Bytes randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes bytes(size);
    for (auto &b : bytes)
        b = static_cast<std::uint8_t>(rng());
    return bytes;
}

Bytes pattern(std::size_t size, std::string_view unit)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(unit[i % unit.size()]);
    return bytes;
}

// A few MB of real HTML: Python's documentation when it is installed,
// otherwise pages built from a vocabulary with markup around it.
Bytes realHtml(std::size_t want)
{
    Bytes bytes;
    const QString docs = "/usr/share/doc/python3.11/html/library";
    QStringList names = QDir(docs).entryList({"*.html"}, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        QFile file(docs + "/" + name);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray page = file.readAll();
        bytes.insert(bytes.end(), page.begin(), page.end());
        if (bytes.size() >= want)
            break;
    }
    std::mt19937 rng(7);
    const char *words[] = {"help", "file", "window", "section", "the", "compiler", "index", "of", "page", "and",
                           "reset", "interval", "frame", "reader", "a", "<b>bold</b>", "<code>x = 1</code>"};
    while (bytes.size() < want) {
        std::string page = "<html><head><title>Page " + std::to_string(rng() % 1000) +
                           "</title></head><body><div class=\"body\" role=\"main\"><p>";
        for (int w = 0; w < 400; ++w)
            page += std::string(words[rng() % std::size(words)]) + (w % 13 == 12 ? "</p>\n<p>" : " ");
        page += "</p></div></body></html>\n";
        bytes.insert(bytes.end(), page.begin(), page.end());
    }
    bytes.resize(want);
    return bytes;
}

// 7-Zip's reading of the help file, when 7z is installed.
std::optional<Bytes> readWith7Zip(const std::filesystem::path &file, const QString &outDir)
{
    QProcess sevenZip;
    sevenZip.start(QStandardPaths::findExecutable("7z"),
                   {"x", "-y", "-o" + outDir, QString::fromStdString(file.string()), "data"});
    if (!sevenZip.waitForFinished(120000) || sevenZip.exitCode() != 0)
        return std::nullopt;
    QFile out(outDir + "/data");
    if (!out.open(QIODevice::ReadOnly))
        return Bytes{};
    const QByteArray all = out.readAll();
    return Bytes(all.begin(), all.end());
}

} // namespace

class TestLzx : public QObject {
    Q_OBJECT

private slots:
    void roundTripThroughReaders_data();
    void roundTripThroughReaders();
    void threadsGiveTheSameBytes();
    void intervalsStartFresh();
    void codesAreCompleteAndShort_data();
    void codesAreCompleteAndShort();
    void preparedIntervalsTaken_data();
    void preparedIntervalsTaken();
};

void TestLzx::roundTripThroughReaders_data()
{
    QTest::addColumn<Bytes>("input");
    QTest::addColumn<double>("maxRatio"); // compressed / uncompressed, at most

    const Bytes html = realHtml(3 << 20);
    QTest::newRow("empty") << Bytes{} << 0.0;
    QTest::newRow("1 byte") << Bytes{'x'} << 200.0;
    for (const std::size_t size : {0x7FFFu, 0x8000u, 0x8001u, 0xFFFFu, 0x10000u, 0x10001u, 0x17FFFu, 0x18000u}) {
        const QByteArray name = QByteArray::number(size) + " bytes of HTML";
        QTest::newRow(name.constData()) << Bytes(html.begin(), html.begin() + size) << 0.3;
    }
    // Incompressible: uncompressed blocks, each frame just over 32 KiB.
    QTest::newRow("random 200001") << randomBytes(200001, 1) << 1.01;
    QTest::newRow("random odd tail") << randomBytes(0x8000 + 77, 2) << 1.01;
    // Half text, half noise: the two frames of an interval take different blocks.
    Bytes mixed(html.begin(), html.begin() + 0x8000);
    const Bytes noise = randomBytes(0x8000, 3);
    mixed.insert(mixed.end(), noise.begin(), noise.end());
    mixed.insert(mixed.end(), html.begin(), html.begin() + 0x8000);
    QTest::newRow("text, noise, text") << mixed << 0.7;
    // Long runs: matches of the longest length, offset 1 from the start.
    QTest::newRow("zeros 300000") << Bytes(300000, 0) << 0.01;
    QTest::newRow("run after text") << [&] {
        Bytes b(html.begin(), html.begin() + 1000);
        b.insert(b.end(), 100000, 'a');
        return b;
    }() << 0.05;
    QTest::newRow("abc repeated") << pattern(200000, "abc") << 0.01;
    QTest::newRow("two-byte pattern") << pattern(70001, "\x01\xFE") << 0.01;
    QTest::newRow("html 3 MB") << html << 0.25;
}

void TestLzx::roundTripThroughReaders()
{
    QFETCH(Bytes, input);
    QFETCH(double, maxRatio);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::filesystem::path file = dir.filePath("lzx.chm").toStdString();

    const LzxStream stream = compressStream(input, 2, 10007);
    writeLzxHelpFile(file, stream);

    QCOMPARE(stream.uncompressedSize, input.size());
    QCOMPARE(stream.frameOffsets.size(), (input.size() + 0x8001) / 0x8000);
    QCOMPARE(stream.frameOffsets.front(), 0u);
    for (std::size_t i = 0; i < stream.frameOffsets.size(); ++i) {
        const std::uint64_t end = i + 1 < stream.frameOffsets.size() ? stream.frameOffsets[i + 1] : stream.bytes.size();
        QVERIFY2(end >= stream.frameOffsets[i] && end - stream.frameOffsets[i] <= 32768 + 6144,
                 qPrintable(QString("frame %1 is %2 bytes").arg(i).arg(end - stream.frameOffsets[i])));
    }
    QVERIFY2(static_cast<double>(stream.bytes.size()) <= maxRatio * static_cast<double>(input.size()) + 16,
             qPrintable(QString("%1 bytes from %2").arg(stream.bytes.size()).arg(input.size())));

    std::string error;
    const auto mspack = readWithLibmspack(file, &error);
    QVERIFY2(mspack.has_value(), error.c_str());
    QVERIFY(*mspack == input);
    const auto chmlib = readWithChmlib(file, &error);
    QVERIFY2(chmlib.has_value(), error.c_str());
    QVERIFY(*chmlib == input);
    if (QStandardPaths::findExecutable("7z").isEmpty())
        QSKIP("7z is not installed");
    const auto sevenZip = readWith7Zip(file, dir.filePath("7z"));
    QVERIFY2(sevenZip.has_value(), "7z refused the file");
    QVERIFY(*sevenZip == input);
}

void TestLzx::threadsGiveTheSameBytes()
{
    Bytes input = realHtml(1 << 20);
    const Bytes noise = randomBytes(100000, 4);
    input.insert(input.begin() + 200000, noise.begin(), noise.end());
    const LzxStream one = compressStream(input, 1, 65536);
    for (const unsigned threads : {2u, 4u, 0u}) {
        const LzxStream many = compressStream(input, threads, 999);
        QVERIFY(many.bytes == one.bytes);
        QVERIFY(many.frameOffsets == one.frameOffsets);
    }
    // Background workers, joined by full-priority ones from another thread
    // at the start, in the middle or never (as when the download ends).
    for (const std::size_t hurryAt : {std::size_t(0), input.size() / 2, input.size()}) {
        Bytes out;
        quorlix::chm::LzxSectionCompressor compressor(
            [&](std::span<const std::uint8_t> bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }, 2, true);
        std::thread hurrying;
        for (std::size_t at = 0; at < input.size(); at += 999) {
            if (at <= hurryAt && hurryAt < at + 999)
                hurrying = std::thread([&] { compressor.hurry(); });
            compressor.write(std::span(input).subspan(at, std::min<std::size_t>(999, input.size() - at)));
        }
        const auto result = compressor.finish();
        if (hurrying.joinable())
            hurrying.join();
        QVERIFY(out == one.bytes);
        QVERIFY(result.frameOffsets == one.frameOffsets);
    }
}

// An interval compresses the same wherever it sits in the stream: nothing
// is carried over from the one before.
void TestLzx::intervalsStartFresh()
{
    const Bytes html = realHtml(3 * 0x10000);
    const LzxStream stream = compressStream(html, 2, 4096);
    for (std::size_t interval = 0; interval < 3; ++interval) {
        const auto alone = compressLzxInterval(std::span(html).subspan(interval * 0x10000, 0x10000));
        const std::size_t start = stream.frameOffsets[2 * interval];
        QCOMPARE(alone.frameStarts.size(), 2u);
        QCOMPARE(std::size_t(stream.frameOffsets[2 * interval + 1] - start), std::size_t(alone.frameStarts[1]));
        QVERIFY(std::equal(alone.bytes.begin(), alone.bytes.end(), stream.bytes.begin() + start));
    }
}

// Readers accept only complete codes within the length limit; skewed
// frequencies that would make a plain Huffman tree too deep must not slip by.
void TestLzx::codesAreCompleteAndShort_data()
{
    QTest::addColumn<std::vector<std::uint32_t>>("frequencies");
    QTest::addColumn<unsigned>("maxLength");
    std::vector<std::uint32_t> fibonacci(512, 0);
    fibonacci[0] = fibonacci[1] = 1;
    for (std::size_t i = 2; i < 40; ++i)
        fibonacci[i] = fibonacci[i - 1] + fibonacci[i - 2];
    QTest::newRow("fibonacci, 16 bits") << fibonacci << 16u;
    QTest::newRow("fibonacci pretree, 15 bits") << std::vector<std::uint32_t>(fibonacci.begin(), fibonacci.begin() + 20)
                                                << 15u;
    std::vector<std::uint32_t> one(249, 0);
    one[248] = 7;
    QTest::newRow("one symbol") << one << 16u;
    std::vector<std::uint32_t> first(20, 0);
    first[0] = 3;
    QTest::newRow("only the first symbol") << first << 15u;
    QTest::newRow("all 512 alike") << std::vector<std::uint32_t>(512, 5) << 16u;
}

void TestLzx::codesAreCompleteAndShort()
{
    QFETCH(std::vector<std::uint32_t>, frequencies);
    QFETCH(unsigned, maxLength);
    std::vector<std::uint8_t> lengths(frequencies.size());
    buildHuffmanLengths(frequencies, maxLength, lengths);
    double kraft = 0;
    for (std::size_t s = 0; s < lengths.size(); ++s) {
        QVERIFY(lengths[s] <= maxLength);
        QVERIFY(frequencies[s] == 0 || lengths[s] != 0);
        if (lengths[s])
            kraft += std::ldexp(1.0, -lengths[s]);
    }
    QCOMPARE(kraft, 1.0);
}

using Spans = std::vector<quorlix::chm::PreparedSpan>;
Q_DECLARE_METATYPE(Spans)
Q_DECLARE_METATYPE(std::vector<std::size_t>)

// Prepared intervals (64 KiB each, K below) a compile takes, given the live
// files in them: where files changed after they were prepared, or were
// prepared twice, their old bytes are dead.
void TestLzx::preparedIntervalsTaken_data()
{
    constexpr std::uint64_t K = quorlix::chm::kLzxResetInterval;
    QTest::addColumn<std::size_t>("intervals");
    QTest::addColumn<std::uint64_t>("streamBytes");
    QTest::addColumn<Spans>("live");
    QTest::addColumn<std::vector<std::size_t>>("taken");
    QTest::newRow("all live, a large page ending in the padded last interval")
        << std::size_t(8) << 7 * K + 100 << Spans{{0, K + 5}, {K + 5, 6 * K + 95}}
        << std::vector<std::size_t>{0, 1, 2, 3, 4, 5, 6, 7};
    QTest::newRow("a large page prepared twice: its first copy's intervals left out")
        << std::size_t(6) << 6 * K << Spans{{0, K}, {5 * K, K}} << std::vector<std::size_t>{0, 5};
    QTest::newRow("a small site's one padded interval is compiled afresh")
        << std::size_t(1) << std::uint64_t(1400) << Spans{{0, 1400}} << std::vector<std::size_t>{};
    QTest::newRow("a small live file in a dead interval is compiled afresh")
        << std::size_t(2) << 2 * K << Spans{{0, K}, {K, 1000}} << std::vector<std::size_t>{0};
    QTest::newRow("a live file across a boundary takes both intervals or neither")
        << std::size_t(3) << 3 * K << Spans{{0, K}, {K + K / 2, K}} << std::vector<std::size_t>{0};
    QTest::newRow("dead bytes past 1.5 % of what is taken: the deadest chain goes")
        << std::size_t(4) << 4 * K << Spans{{0, K}, {K, K}, {2 * K, K - 3000}, {3 * K, K - 1000}}
        << std::vector<std::size_t>{0, 1, 3};
    QTest::newRow("dead bytes up to 1.5 % of what is taken: every chain stays")
        << std::size_t(4) << 4 * K << Spans{{0, K}, {K, K}, {2 * K, K - 2000}, {3 * K, K - 1000}}
        << std::vector<std::size_t>{0, 1, 2, 3};
}

void TestLzx::preparedIntervalsTaken()
{
    QFETCH(std::size_t, intervals);
    QFETCH(std::uint64_t, streamBytes);
    QFETCH(Spans, live);
    QFETCH(std::vector<std::size_t>, taken);
    const quorlix::chm::AdoptedIntervals adopted(intervals, streamBytes, live);
    QCOMPARE(adopted.taken(), taken);
    // A live file lies in the new stream where its interval went, at the
    // same place in it; one whose intervals are not taken nowhere.
    for (const quorlix::chm::PreparedSpan &span : live) {
        const std::size_t first = span.offset / quorlix::chm::kLzxResetInterval;
        const auto at = std::find(taken.begin(), taken.end(), first);
        const std::optional<std::uint64_t> placed = adopted.placed(span);
        if (at == taken.end())
            QVERIFY(!placed);
        else if (placed)
            QCOMPARE(*placed, std::uint64_t(at - taken.begin()) * quorlix::chm::kLzxResetInterval
                                  + span.offset % quorlix::chm::kLzxResetInterval);
    }
}

QTEST_GUILESS_MAIN(TestLzx)
#include "test_lzx.moc"
