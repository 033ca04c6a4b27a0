// Version information of the host program and of the library itself, and the
// per-user folder the session trace goes to.
#ifndef BOARD_LINK_KESTO_VERSION_INFO_H
#define BOARD_LINK_KESTO_VERSION_INFO_H

#include <vkplatform/version_info.h>

#include <QString>

namespace board_link {

class KestoVersionInfo {
  public:
    static constexpr int kMainBlock = 1;
    static constexpr int kSecondBlock = 101;

    // The host program's blocks; made on first use (thread-safe), kept until
    // the library unloads.
    static KestoVersionInfo& instance();

    // Blocks as found: without a main block the second one is not read.
    KestoVersionInfo(const vkplatform::version::Block* mainBlock,
                     const vkplatform::version::Block* secondBlock);

    // `key` of block `which` (1 or 101) under its first translation, else
    // "041904b0"; empty for an absent block, another `which` or a missing key.
    QString versionString(const QString& key, int which) const;
    QString internalName() const { return versionString(QStringLiteral("InternalName"), kMainBlock); }
    QString productVersion() const { return versionString(QStringLiteral("ProductVersion"), kMainBlock); }
    QString secondProductVersion() const {
        return versionString(QStringLiteral("ProductVersion"), kSecondBlock);
    }
    // The directory of the host's user settings file (INI format, the names
    // QCoreApplication reports), "/", the internal name, "/"; created.
    QString logFolder() const;

    bool hasMainBlock() const { return main_ != nullptr; }
    bool hasSecondBlock() const { return second_ != nullptr; }

  private:
    const vkplatform::version::Block* main_;
    const vkplatform::version::Block* second_;
};

// ProductName and ProductVersion of `own` under the fixed translation
// "000904b0": each copied into its buffer with at most its size (modulo 256)
// bytes, zero bytes after a shorter text, no terminator after one that fills
// the buffer. False, and nothing written, when either is missing.
bool readOwnVersion(const vkplatform::version::Block& own, char* name, int nameSize, char* version,
                    int versionSize);

} // namespace board_link

#endif
