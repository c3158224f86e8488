// Planned failures of the GL device's resource calls (tundra_testing's fault
// plan): every CreateTexture, CreateVertexBuffer, Lock and LockRect asks here
// first whether it is the call planned to fail.
#pragma once

#include "../testing.h"
#include "options.h"

namespace gl_d3d8 {

// Counts one call of `kind`; true when the plan makes this call fail.
bool FaultDue(tundra_testing::FaultCall kind);

// Starts the plan the options name (TUNDRA_FAULT and TUNDRA_FAULT_COUNTS,
// see testing.h); LoadOptions calls it once per process.
void StartFaultPlan(const Options& options);

}  // namespace gl_d3d8
