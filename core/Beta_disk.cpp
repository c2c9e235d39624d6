#include "core/Beta_disk.h"

#include "core/Settings.h"

TBetaDisk::TBetaDisk()
{
    Enabled = g_Settings->DiskInterface ? 1 : 0;
}
