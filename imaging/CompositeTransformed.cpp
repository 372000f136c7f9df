// Composite's transformed path: rotation, scaling, mirroring and drift.

#include "imaging/CompositeCall.h"

// Not built yet: a call that asks for rotation, scaling, mirroring, drift,
// a pivot or a negative Clamp draws nothing for now.
void CompositeTransformed(TWin &, TWin &, const CompositeCall &)
{
}
