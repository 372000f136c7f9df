#pragma once
// The fast one-to-one Composite: vector kernels and two threads for the
// calls the knob panel makes, byte for byte what CompositeUntransformed
// draws. Composite chooses it by itself; everything it does not cover
// stays with the faithful loop.

#include "imaging/CompositeCall.h"

#include <cstddef>
#include <cstdint>

// Draws as CompositeUntransformed would and returns true when the call is
// one the fast path covers exactly; otherwise touches nothing and returns
// false.
bool CompositeUntransformedFast(TWin &dest, TWin &source, const CompositeCall &call);

namespace fastcomposite {

// Off sends every call to the faithful loop (tests compare the two).
void SetEnabled(bool on);
bool Enabled();

// Threads a render may use: 1, or 2 where the result does not depend on the
// split. The default is 2 when the machine has two cores or more.
void SetThreads(int threads);
int Threads();

// Renders writing more bytes than this bypass the cache with streaming
// stores; renders of fewer pixels than this stay on one thread, and their
// trail effects on one chain; the other trail chains guess their start from
// this many pixels of the row above (0: no guess at all). All have defaults
// fit for this machine and are set by tests to reach every branch.
void SetStreamThreshold(size_t bytes);
void SetSplitThreshold(int64_t pixels);
void SetTrailWarmUp(int32_t pixels);
void ResetThresholds();

} // namespace fastcomposite
