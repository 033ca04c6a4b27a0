/* A program outside the tree, built against an installed kit with pkg-config. */
#include <stdio.h>
#include <vkkrn.h>
#include <vktcp.h>

int main(void) {
    char version[16] = {0}, text[256] = {0};
    VKKRN_GetDLLVersion(version);
    printf("libvkkrn %s\n", version);
    VKTCP_GetDLLVersion(version);
    printf("libvktcp %s\n", version);
    /* libvkkrn opens libvktcp.so by name for the texts of its codes. */
    VKKRN_GetErrorText(-1201, text);
    printf("%s\n", text);
    return text[0] == '\0';
}
