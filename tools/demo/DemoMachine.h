// The demonstration machine's worm traces: one table, one row per trace, so
// that a family joins the demonstration by adding its rows.
#pragma once

#include <string>
#include <vector>

#include "TracePlanter.h"

// Plants every trace of the table; returns one printable line per trace.
std::vector<std::string> PlantDemoTraces(CTracePlanter& traces);

// The traces the scan left in place, one printable line each.
std::vector<std::string> RemainingDemoTraces();
