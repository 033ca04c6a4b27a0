/* The public header compiles as C and its names link from a C program. */
#include <Zorbel.h>

#include <string.h>

int main(void) {
    const char* message = ZRB_ErrorMessage();
    if (ZRB_Errno != 0 || message == NULL || strcmp(message, "") != 0) return 1;
    if (ZRB_Disconnect() != 0) return 2;
    if (ZRB_Connect(1, NULL) != 3) return 3;
    return 0;
}
