// TDraggedF is complete in its header; this unit keeps the moc output of
// the class in the shell library.
#include "shell/Dragged_frame.h"
