// The placeholder views are all inline; this unit carries their meta-object
// code.
#include "views/Placeholder_frames.h"
