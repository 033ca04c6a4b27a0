/* The public header compiles as C and its names link from a C program. */
#include <Zorbel.h>

#include <string.h>

int main(void) {
    const char* message = ZRB_ErrorMessage();
    uint8_t value = 0;
    Waveform* capture = NULL;
    if (ZRB_Errno != 0 || message == NULL || strcmp(message, "") != 0) return 1;
    if (ZRB_Disconnect() != 0) return 2;
    if (ZRB_Connect(1, NULL) != 3) return 3;
    /* Not connected: every command gives 8, the flag commands as a byte. */
    if (ZRB_ResetToIdle() != 8 || ZRB_GpioGetValue(1, &value) != 8 ||
        ZRB_GpioGetCapture(1, 0, &capture) != 8) {
        return 4;
    }
    if (ZRB_TriggerHasTriggered(0) != 8 || capture != NULL) return 5;
    return 0;
}
