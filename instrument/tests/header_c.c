/* The public header compiles as C and its names link from a C program. */
#include <Zorbel.h>

int main(void) {
    return ZRB_Errno == 0 ? 0 : 1;
}
