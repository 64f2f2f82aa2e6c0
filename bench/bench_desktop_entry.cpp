// What reading an autostart entry costs as it grows: anyone may write that file, so reading it must
// take time in proportion to its text however many keys it holds (a reader that looks each key up
// among the earlier ones grows with their square). The complexity Google Benchmark fits should be
// O(N).
#include "PrivateFolders.h"
#include "platform/linux/DesktopEntry.h"

#include <QString>

#include <benchmark/benchmark.h>

namespace {

QString entryWithKeys(int count)
{
    QString text = QStringLiteral("[Desktop Entry]\n");
    for (int index = 0; index < count; ++index) {
        text += QStringLiteral("Key%1=value %1\n").arg(index);
    }
    return text;
}

void readingManyKeys(benchmark::State& state)
{
    const QString text = entryWithKeys(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(platform::xdg::DesktopEntry::parse(text));
    }
    state.SetComplexityN(state.range(0));
}

} // namespace

BENCHMARK(readingManyKeys)->RangeMultiplier(4)->Range(625, 40000)->Complexity();

KIRUVO_BENCHMARK_MAIN()
