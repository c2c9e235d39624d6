// The start-up word about ROMs that could not be loaded: a machine whose ROM
// file is missing, empty or short boots into random bytes, and this says
// which ROM, which file and bank, why, and where the file was looked for.
#pragma once

class QWidget;
class TMemory;

// One warning box listing the memory's ROM report; nothing when every ROM
// loaded. Shown after the memory is built (at start-up).
void ReportRomProblems(QWidget* parent, const TMemory& memory);
