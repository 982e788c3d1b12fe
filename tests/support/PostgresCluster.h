#pragma once

#include <QString>

// A throw-away PostgreSQL cluster for the tests of this process: made with
// initdb in a temporary folder, listening only on a Unix socket there, run as
// an unprivileged user when the tests run as root, and removed when the
// process ends. Each database it hands out is new and empty.
namespace PostgresCluster {

// True when the tests of this run are asked to use PostgreSQL
// (TELLWAVE_TEST_ENGINE=postgres).
bool wanted();

// Starts the cluster on first use. Gives the reason when it cannot.
QString start();

// Creates a new empty database and gives its address
// ("postgresql://tellwave@%2F...:port/name"). Aborts the test program with the
// reason when the cluster cannot be started: a run asked to test PostgreSQL
// never passes without it.
QString newDatabase();

} // namespace PostgresCluster
