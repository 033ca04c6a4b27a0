#include "kesto_version_info.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace board_link {

namespace vv = vkplatform::version;

KestoVersionInfo& KestoVersionInfo::instance() {
    static KestoVersionInfo info(vv::hostVersionBlock(kMainBlock), vv::hostVersionBlock(kSecondBlock));
    return info;
}

KestoVersionInfo::KestoVersionInfo(const vv::Block* mainBlock, const vv::Block* secondBlock)
    : main_(mainBlock), second_(mainBlock != nullptr ? secondBlock : nullptr) {}

QString KestoVersionInfo::versionString(const QString& key, int which) const {
    const vv::Block* block = which == kMainBlock ? main_ : which == kSecondBlock ? second_ : nullptr;
    if (block == nullptr) return QString();
    char language[9] = "041904b0";
    const void* value = nullptr;
    unsigned length = 0;
    if (vv::VerQueryValueA(block, vv::kTranslationPath, &value, &length) &&
        length >= sizeof(vv::Translation)) {
        const auto* first = static_cast<const vv::Translation*>(value);
        std::snprintf(language, sizeof language, "%04x%04x", first->language, first->codePage);
    }
    const QByteArray path =
        QByteArray("\\StringFileInfo\\") + QByteArray(language) + QByteArray("\\") + key.toLatin1();
    if (!vv::VerQueryValueA(block, path.constData(), &value, &length)) return QString();
    return QString::fromLatin1(static_cast<const char*>(value));
}

QString KestoVersionInfo::logFolder() const {
    const QSettings settings(QSettings::IniFormat, QSettings::UserScope, QCoreApplication::organizationName(),
                             QCoreApplication::applicationName());
    const QString folder =
        QFileInfo(settings.fileName()).absolutePath() + QLatin1Char('/') + internalName() + QLatin1Char('/');
    QDir().mkpath(folder);
    return folder;
}

namespace {

void copyPadded(const char* text, char* out, int size) {
    const std::size_t capacity = static_cast<std::size_t>(size) % 256;
    const std::size_t n = std::min(std::strlen(text), capacity);
    std::memcpy(out, text, n);
    std::memset(out + n, 0, capacity - n);
}

} // namespace

bool readOwnVersion(const vv::Block& own, char* name, int nameSize, char* version, int versionSize) {
    const void* productName = nullptr;
    const void* productVersion = nullptr;
    unsigned length = 0;
    if (!vv::VerQueryValueA(&own, "\\StringFileInfo\\000904b0\\ProductName", &productName, &length) ||
        !vv::VerQueryValueA(&own, "\\StringFileInfo\\000904b0\\ProductVersion", &productVersion, &length))
        return false;
    copyPadded(static_cast<const char*>(productName), name, nameSize);
    copyPadded(static_cast<const char*>(productVersion), version, versionSize);
    return true;
}

} // namespace board_link
