/* The wire test-mode section compiles as C99 and its names link from a C
 * program. */
#include <Zorbel.h>

#include <stddef.h>

int main(void) {
    static const uint8_t request[] = {0xC5, 0x80};
    Waveform* response = NULL;
    ZRB_WireTMStimuli* stimuli = ZRB_WireTMStimuliAllocate();
    if (stimuli == NULL) return 1;
    /* Not connected: every step that sends gives 8; a stop that fails keeps the stimuli. */
    if (ZRB_WireTMEntry(stimuli, 1, 2, 3, 4, 5, 6, 7, 10, 1) != 8) return 2;
    if (ZRB_WireTMSendRequest(stimuli, 1, 2, 3, 4, 1.5e6, request, 9, 10, 11, 12, 13, 14) != 8) return 3;
    if (ZRB_WireTMGetResponse(stimuli, 1, 2, 3, 4, 0, 11, 12, 13, &response) != 8 || response != NULL)
        return 4;
    if (ZRB_WireTMStop(stimuli, 1, 2, 3, 4, 5, 6, 1) != 8) return 5;
    if (ZRB_WireTMGetResponse(NULL, 1, 2, 3, 4, 0, 11, 12, 13, &response) != 3) return 6;
    ZRB_WireTMStimuliFree(stimuli);
    ZRB_WireTMStimuliFree(NULL);
    return 0;
}
