// A station's records process for the tests: stores the sample records FIRST .. FIRST+COUNT-1
// into the database at URL, one transaction each, and prints "stored N" after each. With
// AGAIN, it then stores the records AGAIN .. AGAIN+COUNT-1 once more (another process's,
// stored at the same moment).
//
//   records-writer URL FIRST COUNT [AGAIN]

#include "samplerecords.h"
#include "store/recordsstore.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

bool storeRange(RecordsStore &store, int first, int count)
{
    for (int n = first; n < first + count; ++n) {
        if (store.store(sampleRecord(n)) == RecordsStore::Stored::Failed) {
            std::fprintf(stderr, "%s\n", qPrintable(store.errorText()));
            return false;
        }
        std::printf("stored %d\n", n);
        std::fflush(stdout);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 4)
        return 2;
    QString error;
    const std::optional<RecordsLocation> location = RecordsLocation::parse(arguments.at(1), &error);
    if (!location)
        return 2;
    RecordsStore store(*location);
    if (!store.open()) {
        std::fprintf(stderr, "%s\n", qPrintable(store.errorText()));
        return 3;
    }
    const int count = arguments.at(3).toInt();
    if (!storeRange(store, arguments.at(2).toInt(), count))
        return 1;
    if (arguments.size() > 4 && !storeRange(store, arguments.at(4).toInt(), count))
        return 1;
    return 0;
}
