// C texts (the core's, the reader libraries', the bridge's messages) as Java
// Strings. NewStringUTF takes modified UTF-8 only; other bytes are undefined
// behaviour (CheckJNI aborts), and libvkkrn's German texts are ISO 8859-1.
#ifndef NUBOKRN4J_JAVA_TEXT_H
#define NUBOKRN4J_JAVA_TEXT_H

#include <jni.h>

#include <string>
#include <string_view>

namespace nubokrn4j {

// Valid modified UTF-8 passes unchanged; standard UTF-8's four-byte sequences
// become surrogate pairs. Any other text is read as ISO 8859-1 as a whole.
std::string toModifiedUtf8(std::string_view text);

// A new Java String of the C text (up to its first NUL); null with the JVM's
// exception pending when it cannot be made. A null text gives null.
jstring newJavaString(JNIEnv* env, const char* text);
jstring newJavaString(JNIEnv* env, std::string_view text);

} // namespace nubokrn4j

#endif
