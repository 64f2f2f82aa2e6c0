// What one reminder's look-up of the chosen script costs with a large scripts folder: the listing
// reads names and types only, so scripts of 1 MiB cost what scripts of a few bytes do. The
// Settings window's listing with the actions counted is measured beside it.
#include "PrivateFolders.h"
#include "platform/desktop/ShortcutsFolder.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

// `count` executable scripts of `size` bytes each (sparse beyond their first line).
class ScriptsFolder {
public:
    ScriptsFolder(int count, std::uintmax_t size)
    {
        for (int index = 0; index < count; ++index) {
            const auto path = root() / ("script " + std::to_string(index) + ".sh");
            std::ofstream(path) << "#!/bin/sh\necho hi\n";
            std::filesystem::resize_file(path, std::max<std::uintmax_t>(size, 18));
            std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        }
    }
    std::filesystem::path root() const { return std::filesystem::path(m_folder.path().toStdString()); }

private:
    QTemporaryDir m_folder;
};

void listing(benchmark::State& state, bool countingActions)
{
    const ScriptsFolder folder(static_cast<int>(state.range(0)), static_cast<std::uintmax_t>(state.range(1)));
    const platform::ShortcutsFolder scripts(folder.root());
    for (auto _ : state) {
        benchmark::DoNotOptimize(scripts.list(countingActions).entries.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ListingForAReminder(benchmark::State& state)
{
    listing(state, false);
}
void BM_ListingForSettingsWithActionsCounted(benchmark::State& state)
{
    listing(state, true);
}

} // namespace

// Scripts of 20 bytes and of 1 MiB.
BENCHMARK(BM_ListingForAReminder)->Args({ 3000, 20 })->Args({ 3000, 1 << 20 })->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListingForSettingsWithActionsCounted)
    ->Args({ 3000, 20 })
    ->Args({ 3000, 1 << 20 })
    ->Unit(benchmark::kMillisecond);

KIRUVO_BENCHMARK_MAIN()
