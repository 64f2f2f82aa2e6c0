#pragma once

#include <QByteArray>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace bench {

// The XDG folders a benchmark's process sees, in a temporary folder removed at its end: what the
// code under measurement stores, logs or reports (the error reports of a store it holds locked, an
// autostart entry) never reaches the user's own folders.
class PrivateFolders {
public:
    PrivateFolders()
    {
        for (const char* name : { "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME" }) {
            const QByteArray folder = m_root.path().toUtf8() + '/' + QByteArray(name).toLower();
            ::setenv(name, folder.constData(), 1);
        }
    }

private:
    QTemporaryDir m_root;
};

} // namespace bench

// BENCHMARK_MAIN() over private XDG folders.
#define KIRUVO_BENCHMARK_MAIN()                                                                              \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        bench::PrivateFolders folders;                                                                       \
        benchmark::Initialize(&argc, argv);                                                                  \
        if (benchmark::ReportUnrecognizedArguments(argc, argv)) {                                            \
            return 1;                                                                                        \
        }                                                                                                    \
        benchmark::RunSpecifiedBenchmarks();                                                                 \
        benchmark::Shutdown();                                                                               \
        return 0;                                                                                            \
    }
