// The library-wide last error of libvktcl.
#ifndef VKTCL_TESTS_LAST_ERROR_H
#define VKTCL_TESTS_LAST_ERROR_H

#include <vktcl.h>

inline int lastError() {
    int code = 0;
    char text[VKTCL_TEXT_SIZE];
    VKTCL_GetLastError(&code, text);
    return code;
}

#endif
