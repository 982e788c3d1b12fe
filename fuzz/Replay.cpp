// Feeds every file of the corpus folders through the fuzz targets, without libFuzzer:
//   fuzz_replay <corpus folder>     (one sub-folder per target, named as the target)
#include "FuzzTargets.h"

#include <QDirIterator>
#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
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
            if (fuzzTarget(FuzzTargetNames[i], reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())) != 0)
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
    for (const char *target : {"debit-order", "customer-file", "text-routines", "gateway-answers"}) {
        if (fuzzTarget(target, reinterpret_cast<const uint8_t *>(longLine.constData()), size_t(longLine.size())) != 0)
            return 1;
        ++files;
    }
    std::printf("replayed %d inputs\n", files);
    return 0;
}
