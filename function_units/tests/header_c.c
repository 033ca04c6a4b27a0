/* A C99 program on the public header: the names and both variables link from C. */
#include <vkfu.h>

#include <stdio.h>
#include <string.h>

int main(void) {
    char version[16];
    char text[40];
    int code = 1;
    VKFU_GetDLLVersion(version);
    if (strcmp(version, "02.00.00") != 0 || g_iLastError != 0) return 1;
    if (VKFU_DAT_SoftVersion(1, 1, 1, NULL) != -4102 || g_iLastError != -4102) return 2;
    if (VKFU_GetLastError(&code, text) != 0 || code != -4102 || g_ucLastStatus != 0) return 3;
    printf("%s %s\n", version, text);
    return 0;
}
