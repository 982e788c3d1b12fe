#pragma once

// The benchmarks that compare the engines: the same data on the throw-away
// PostgreSQL cluster and in an SQLite file, measured the same way.

#include "BenchSupport.h"
#include "PostgresCluster.h"

#include "data/AppError.h"
#include "data/Database.h"

#include <QElapsedTimer>

#include <functional>
#include <utility>

namespace Bench {

// A fresh database on the cluster, then a fresh file: `fill` builds the data
// in each (the server's planner statistics are taken afterwards, as an office
// server's autovacuum would), `measure` times it. The database is closed after
// each; a database error fails the benchmark.
inline void onBothEngines(Home &home, const std::function<void()> &fill,
                          const std::function<void(const QString &engine)> &measure)
{
    if (const QString problem = PostgresCluster::start(); !problem.isEmpty())
        fail(problem);
    const std::pair<QString, QString> engines[] = {{QStringLiteral("PostgreSQL"), PostgresCluster::newDatabase()},
                                                   {QStringLiteral("SQLite"), home.freshDatabase()}};
    for (const auto &[name, where] : engines) {
        Home::useDatabase(where);
        try {
            QElapsedTimer clock;
            clock.start();
            fill();
            if (name == QStringLiteral("PostgreSQL"))
                Database::run(QStringLiteral("ANALYZE"));
            note(QStringLiteral("%1 filled in %2 s").arg(name).arg(double(clock.elapsed()) / 1000.0, 0, 'f', 1));
            measure(name);
        } catch (const AppError &error) {
            fail(error.text());
        }
        Database::close();
    }
}

} // namespace Bench
