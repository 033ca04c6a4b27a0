// Loading a plug-in library and creating its plug-in.
#ifndef VKKRN_PLUGIN_LIBRARY_H
#define VKKRN_PLUGIN_LIBRARY_H

#include "reader/library_services.h"

class VKKRN_PlugIn;

namespace vkkrn {

// VKKRN_PI_Get: -4002 for a null argument and -4051 for a path of 256 characters
// or more (both stored as `services`'s last error), before anything is opened; -4068 when
// the library cannot be opened; -4067 when it has no "CreatePlugIn" or that fails
// or makes no object, and the library is closed again. On success the path is
// copied into the plug-in and the library stays loaded.
int loadPlugInLibrary(const char* path, VKKRN_PlugIn** plugIn, LibraryServices& services);

} // namespace vkkrn

#endif
