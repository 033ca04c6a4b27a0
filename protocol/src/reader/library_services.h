// What a reader asks of the library that made it, and what the plug-ins, texts
// and TCP fan-out it uses ask alike: the language, the library's last error,
// the bound port functions, the plug-in claims. The registry implements it and
// hands itself to every reader it makes: the registry knows its readers, a
// reader knows only this.
#ifndef VKKRN_LIBRARY_SERVICES_H
#define VKKRN_LIBRARY_SERVICES_H

class VKKRN_PlugIn;

namespace vkkrn {

class LibraryServices {
  public:
    // The library's language for texts (7 German, 9 English, or what was set).
    virtual int GetLanguage() const = 0;
    // Stores the library's last error.
    virtual void SetLastError(int code) = 0;
    // The port-library function bound under `id`, or null. The first call for a
    // port library opens it.
    virtual void* BoundPortFunction(int id) = 0;
    // Marks a plug-in installed on some reader; false when it already is, so that
    // one object never serves (and is released by) two readers.
    virtual bool ClaimPlugIn(const VKKRN_PlugIn* plugIn) = 0;
    virtual void ReleasePlugInClaim(const VKKRN_PlugIn* plugIn) = 0;
    // Called once a cipher library has been opened and keyed.
    virtual void CipherLibraryOpened() = 0;

    // The bound function `id` as type Fn, or null.
    template <typename Fn> Fn PortFunction(int id) { return reinterpret_cast<Fn>(BoundPortFunction(id)); }

  protected:
    LibraryServices() = default;
    virtual ~LibraryServices() = default;
    LibraryServices(const LibraryServices&) = delete;
    LibraryServices& operator=(const LibraryServices&) = delete;
};

} // namespace vkkrn

#endif
