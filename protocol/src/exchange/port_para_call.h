// Reading and setting a port parameter through the port library's own function.
#ifndef VKKRN_PORT_PARA_CALL_H
#define VKKRN_PORT_PARA_CALL_H

namespace vkkrn {

class LibraryServices;

// Calls the parameter function `id` of port type `portType` (0 serial, 1 USB,
// 2 TCP) through a pointer of that library's own type (the TCP library takes
// its key, and its value to set, as const): get (`set` false) or set `key` on
// port `port`. kErrNullPointer when the function is not bound or the type has
// no parameters.
int callPortPara(LibraryServices& library, int portType, int id, int port, char* key, char* value, bool set);

} // namespace vkkrn

#endif
