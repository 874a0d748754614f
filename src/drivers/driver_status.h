#pragma once

namespace mioutil {

/// For -Status: what -UninstallDriver would remove, step by step, one line an item
/// (see the README for the words). Reads only: opens every key and file for reading,
/// loads no DLL, runs nothing, and calls neither DIFx nor DPInst.exe.
void ReportDriverPackages();

}  // namespace mioutil
