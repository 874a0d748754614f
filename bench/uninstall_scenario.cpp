// -UninstallDriver against the reference (reads only): the INF steps alone, then
// INF files and uninstall entries growing together.
#include <cstdio>
#include <vector>

#include "data_makers.h"
#include "names.h"
#include "scenarios.h"
#include "timer.h"

namespace bench {
namespace {

constexpr int kMainFiles = 2000;
const int kGrowthFiles[] = {500, 1000, 2000, 4000};

void Restore(UninstallEntries& entries, int files) {
    ArrangeInfs(files, true);
    entries.RestoreCard();
}

// One untimed run of the tool, to show that it did the work measured.
void CheckTheToolWorks(const Programs& programs, UninstallEntries& entries, int files) {
    Restore(entries, files);
    const int entriesBefore = entries.CardPresent();
    DWORD exitCode = 0;
    Run({programs.tool, mioutil::kSwitchUninstallDriver}, &exitCode);
    std::printf("  (an untimed run: exit code %lu, the card's INF files left %d of %d, its entries left %d of %d)\n",
                exitCode, ProviderFilesPresent(files), (files + kProviderEvery - 1) / kProviderEvery,
                entries.CardPresent(), entriesBefore);
}

}  // namespace

void MeasureUninstall(const Programs& programs, int reps) {
    std::printf("\n-UninstallDriver against the reference (reads only), %d repetitions, median [min - max]\n", reps);
    const Command tool = {programs.tool, mioutil::kSwitchUninstallDriver};
    const Command reference = {programs.reference, L""};
    UninstallEntries entries;

    ArrangeInfs(kMainFiles);
    entries.Arrange(0);
    std::printf("INF steps alone: %d INF files of about 31 KiB, %d naming a provider, no uninstall entries\n",
                kMainFiles, kMainFiles / kProviderEvery);
    CheckTheToolWorks(programs, entries, kMainFiles);
    const Comparison alone = Compare(tool, reference, reps, [&] { Restore(entries, kMainFiles); });
    PrintTime("mioutil", alone.a, 1, "s ");
    PrintTime("reference", alone.b, 1, "s ");
    PrintRatio(alone.ratio, "<= 1.1");

    std::vector<double> toolMedians;
    for (int files : kGrowthFiles) {
        const int perView = files / 2;
        ArrangeInfs(files);
        entries.Arrange(perView);
        std::printf("%d INF files (%d naming a provider) and %d uninstall entries per view (%d the card's)\n", files,
                    files / kProviderEvery, perView, perView / kCardEntryEvery);
        if (files == kMainFiles) CheckTheToolWorks(programs, entries, files);
        const Comparison c = Compare(tool, reference, reps, [&] { Restore(entries, files); });
        PrintTime("mioutil", c.a, 1, "s ");
        PrintTime("reference", c.b, 1, "s ");
        PrintRatio(c.ratio, files == kMainFiles ? "<= 1.4" : "-");
        toolMedians.push_back(StatsOf(c.a).median);
    }
    std::printf("Growth of mioutil -UninstallDriver, time ratio per doubling (goal: <= 2.1 each)\n");
    for (size_t i = 1; i < toolMedians.size(); ++i) {
        std::printf("  %4d -> %4d files   x%.2f\n", kGrowthFiles[i - 1], kGrowthFiles[i],
                    toolMedians[i] / toolMedians[i - 1]);
    }
    entries.Arrange(0);
    ArrangeInfs(0);
}

}  // namespace bench
