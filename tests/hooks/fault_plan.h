// The test build's fault plan: the resource calls of the Direct3D 8 that
// fail on purpose, and the device losses and the allocation failure it plans
// in time. Set from the environment (Direct3DCreate8 starts it):
//
//   TUNDRA_FAULT=LockRect:3[,CreateTexture:1...]   the third LockRect fails
//     (kinds: CreateTexture, CreateVertexBuffer, Lock, LockRect); a create
//     then returns D3DERR_OUTOFVIDEOMEMORY and no object, a lock
//     D3DERR_INVALIDCALL and no memory
//   TUNDRA_FAULT_COUNTS=<file>   at the first present, one line per kind
//     ("CreateTexture 3"): the calls the start-up made
//   TUNDRA_FAULT_SCRIPT=<file>   lines timed as TUNDRA_SCRIPT's, from the
//     first presented frame:
//       <ms> lose <n> <file>   loses the device right after each of the next
//                              n presents (the program resets it each time)
//                              and writes to <file> the FrameHash of each
//                              presented frame from then on, n + 1 in all
//       <ms> badalloc          the next Present throws std::bad_alloc, as an
//                              allocation failing inside a frame would
#pragma once

namespace tundra_hooks {

enum class FaultCall { CreateTexture, CreateVertexBuffer, Lock, LockRect };

// Reads the plan; only the first call in a process does anything.
void StartFaultPlan();

// Counts one call of `kind`; true when the plan makes this call fail.
bool FaultDue(FaultCall kind);

// What a Present does besides presenting: the counts are written before the
// first; after one, the device may be due to be lost or the call to throw.
void BeforePresent();
bool LossDueAfterPresent();
bool AllocationFailureDue();

}  // namespace tundra_hooks
