// The COM port re-map, and what the other switches do with a plan it left.
#pragma once

#include <cstdint>

namespace mioutil {

/// Hands the COM numbers the present port nodes hold out again in card order,
/// writing each port's "PortName" and friendly name and restarting the node;
/// no port is restarted while another still holds the name it is to take
/// (RemapPorts in remap_walk.h). A plan an earlier run left is taken up first.
void RemapComPorts(const wchar_t* enumeratorFilter, const wchar_t* namePrefix);

/// -Status's report of the ports in card order, each with what a plain run would
/// do to it, and of a plan an earlier run left; changes nothing. Returns the exit
/// code that tells a script whether a plain run has work to do.
uint32_t ReportPortStatus(const wchar_t* enumeratorFilter, const wchar_t* namePrefix);

/// After the card's port nodes are removed: a plan the re-map left names ports
/// that are gone, so its spare is released where nothing else holds it and the
/// plan is dropped.
void DropPlanOfRemovedPorts(const wchar_t* enumeratorFilter);

/// Deletes the tool's own key unless a re-map plan is pending in it.
void RemoveToolKeyUnlessPlanPending();

}  // namespace mioutil
