/* The I2C sections compile as C99, their records have the layout a C caller
 * reads, and their names link from a C program. */
#include <Zorbel.h>

#include <stddef.h>

int main(void) {
    ZRB_I2cStimuli* stimuli = ZRB_I2cStimuliAllocate(400000);
    ZRB_I2cClockStretch stretch = {8, 1, 1.0};
    double time = 0.0;
    if (sizeof(ZRB_I2cClockStretch) != 16 || offsetof(ZRB_I2cClockStretch, DurationUs) != 8) return 1;
    if (sizeof(ZRB_I2cTransaction) != 48 || offsetof(ZRB_I2cTransaction, NbReadBytes) != 8 ||
        offsetof(ZRB_I2cTransaction, pAcks) != 16 || offsetof(ZRB_I2cTransaction, NbAcks) != 24 ||
        offsetof(ZRB_I2cTransaction, DurationNs) != 32 || offsetof(ZRB_I2cTransaction, pPrivate) != 40) {
        return 2;
    }
    if (stimuli == NULL || ZRB_I2cStimuliAppendReadByte(stimuli, 1, &stretch, 1) != 0) return 3;
    if (ZRB_I2cGetBitTiming(stimuli, 8, &time) != 0 || time != 20625.0) return 4;
    /* Not connected: the schedule fails and the stimuli stays the caller's. */
    if (ZRB_I2cSchedule(stimuli, 1, 2, 1) != NULL) return 5;
    ZRB_I2cStimuliFree(stimuli);
    return ZRB_I2cEnableCaptureFilter(ZRB_TRGID_IMMEDIATE);
}
