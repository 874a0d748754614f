// The COM-port database release and the removal of the card's device nodes.
#pragma once

#include <windows.h>
#include <setupapi.h>

namespace mioutil {

/// Releases, in the COM-port database, the COM number of every node (present or not) the filter selects.
void ReleaseComNumbers(const wchar_t* enumeratorFilter);

/// Releases each selected node's COM number, then removes the node with its hardware
/// and software keys; then lets go of a re-map plan that named those ports.
void ReleaseAndRemovePortNodes(const wchar_t* enumeratorFilter);

/// Removes every node (present or not) under the enumerator, whatever its device ID.
void RemoveEnumeratorNodes(const wchar_t* enumerator);

}  // namespace mioutil
