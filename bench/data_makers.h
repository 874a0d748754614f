// The data the benchmark runs the tool on, made with the e2e helpers: INF files
// in the INF folder (copied from a stash written once) and uninstall entries in
// both registry views. Making and restoring the data is never timed.
// Benchmark code: never shipped.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "bench_data.h"

namespace bench {

inline constexpr wchar_t kWorkFolder[] = L"C:\\mioutil-bench";
inline constexpr int kMaxFiles = 4000;
inline constexpr int kCardEntryEvery = 200;  // 5 of 1,000 entries per view are the card's

/// Ends the benchmark (exit code 2) where a helper could not make its data.
void Must(const testing::AssertionResult& done);

/// Writes INF files 0 .. kMaxFiles-1, each of about 31 KiB, and their PNF twins into the stash.
void MakeStash();
/// Files 0 .. n-1 (and their PNF twins) in the INF folder, none after them;
/// `onlyProviders`: puts back only those that name a provider string.
void ArrangeInfs(int n, bool onlyProviders = false);
/// How many of files 0 .. n-1 that name a provider are in the INF folder.
int ProviderFilesPresent(int n);

/// Uninstall entries 0 .. present-1, in both registry views.
struct UninstallEntries {
    int present = 0;
    void Arrange(int perView);
    /// Puts back the card's entries and the vendor's key, which a run of the tool deletes.
    void RestoreCard() const;
    int CardPresent() const;
};

}  // namespace bench
