/* The binding header is valid C: this file only has to compile. */
#include <KXx0EVALOComm.h>

typedef KXx0ComError (*CheckConnectionFn)(KXx0HANDLE);

CheckConnectionFn boardHeaderInC(void);
CheckConnectionFn boardHeaderInC(void) {
    FelicaPollEntry entry = {{0}};
    Iso15693InventoryEntry tag = {{0}, {0}};
    (void)entry;
    (void)tag;
    return (CheckConnectionFn)0;
}
