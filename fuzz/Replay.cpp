// Feeds every file of the corpus folders through the fuzz targets, without libFuzzer:
//   fuzz_replay <corpus folder>     (one sub-folder per target, named as the target)
// or feeds a target inputs made up from a fixed seed, a crash or a hang being the finding:
//   fuzz_replay --random <count> <target>
#include "FuzzTargets.h"

#include <QDirIterator>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

// Inputs of up to 600 bytes, mostly of the signs a delimited file is made of,
// so that quotes, delimiters and line ends meet in every order; now and then
// a byte order mark, a UTF-8 sequence or any byte at all.
int randomInputs(long count, const char *target)
{
    static const char pieces[][4] = {",",    ";", "\t",   "\"",       "\"\"",         "\r",  "\n",
                                     "\r\n", "a", "Z",    "1",        "082",          " ",   "@",
                                     ".",    "+", "\xE9", "\xC3\xA9", "\xEF\xBB\xBF", "\xFF"};
    quint64 state = 0x9E3779B97F4A7C15ull;
    const auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    QByteArray input;
    for (long i = 0; i < count; ++i) {
        input.clear();
        const int parts = int(next() % 200);
        for (int p = 0; p < parts; ++p) {
            const quint64 pick = next() % (std::size(pieces) + 2);
            if (pick >= std::size(pieces))
                input.append(char(next() & 0xFF));
            else
                input.append(pieces[pick]);
        }
        if (fuzzTarget(target, reinterpret_cast<const uint8_t *>(input.constData()), size_t(input.size())) != 0)
            return 1;
    }
    std::printf("%s: %ld made-up inputs\n", target, count);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 4 && std::strcmp(argv[1], "--random") == 0)
        return randomInputs(std::strtol(argv[2], nullptr, 10), argv[3]);
    if (argc != 2)
        return 2;
    int files = 0;
    for (int i = 0; FuzzTargetNames[i]; ++i) {
        const QString folder = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/') + QLatin1String(FuzzTargetNames[i]);
        QDirIterator entries(folder, QDir::Files);
        int here = 0;
        while (entries.hasNext()) {
            QFile file(entries.next());
            if (!file.open(QIODevice::ReadOnly))
                return 1;
            const QByteArray bytes = file.readAll();
            if (fuzzTarget(FuzzTargetNames[i], reinterpret_cast<const uint8_t *>(bytes.constData()),
                           size_t(bytes.size()))
                != 0)
                return 1;
            ++here;
        }
        std::printf("%s: %d inputs\n", FuzzTargetNames[i], here);
        if (here == 0)
            return 1; // a target without a corpus replays nothing
        files += here;
    }
    // Inputs too large to keep in the repository: a 10 MB line of each file format and of text.
    const QByteArray longLine = QByteArray("1001,0821234567,02,").repeated((10 << 20) / 19);
    for (const char *target : {"debit-order", "customer-file", "text-routines", "gateway-answers", "csv-file"}) {
        if (fuzzTarget(target, reinterpret_cast<const uint8_t *>(longLine.constData()), size_t(longLine.size())) != 0)
            return 1;
        ++files;
    }
    std::printf("replayed %d inputs\n", files);
    return 0;
}
