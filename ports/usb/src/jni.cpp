// The natives of the Java class de.varek.VkUsb: thin wrappers around the flat
// interface. Java strings become texts and back; the search object becomes a
// scan filter; a filter text that is too long throws
// de.varek.VkPortDriverException. After every JNI call that can raise an
// exception the native checks for one and returns at once (-1 or null).
#include "drv_hnd.h"
#include "error_text.h"

#include <de_varek_VkUsb.h>
#include <vkusb/vkusb.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

using vkusb::g_VkUsbMan;

namespace {

// The version the exception message names.
constexpr char kNativeVersion[] = "04.02.07";
constexpr std::size_t kMessageSize = 65537;
constexpr std::size_t kValueSize = 256;
constexpr jint kJavaException = -1;

// A Java string converted with GetStringUTFChars and released on every path.
// A null string gives a null text.
class UtfText {
  public:
    UtfText(JNIEnv* env, jstring string) : env_(env), string_(string) {
        if (string_ == nullptr) return;
        text_ = env_->GetStringUTFChars(string_, nullptr);
        if (env_->ExceptionCheck()) {
            text_ = nullptr;
            failed_ = true;
        }
    }
    ~UtfText() {
        if (text_ != nullptr) env_->ReleaseStringUTFChars(string_, text_);
    }
    UtfText(const UtfText&) = delete;
    UtfText& operator=(const UtfText&) = delete;

    bool failed() const { return failed_; }
    // Null for a null string; the library takes `char*` but does not write it.
    char* get() const { return const_cast<char*>(text_); }

  private:
    JNIEnv* env_;
    jstring string_;
    const char* text_ = nullptr;
    bool failed_ = false;
};

jstring newString(JNIEnv* env, const char* text) {
    jstring string = env->NewStringUTF(text);
    if (env->ExceptionCheck()) return nullptr;
    return string;
}

// One filter text: the field's name, its byte limit and the exception's
// function text and line for each native.
struct FilterText {
    int mask;
    const char* field;
    std::size_t limit;
    std::size_t offset; // in _VKUSB_SCANSEARCH
    const char* scanFunction;
    int scanLine;
    const char* scanAndOpenFunction;
    int scanAndOpenLine;
};

constexpr FilterText kFilterTexts[] = {
    {VKUSB_SEARCH_FAMILYNAME, "familyName", 24, offsetof(_VKUSB_SCANSEARCH, familyName),
     "VkUsb_Scan: familyString > 24 chars", 235, "VkUsb_ScanAndOpen: familyString > 24 chars", 365},
    {VKUSB_SEARCH_DEVICENAME, "deviceName", 24, offsetof(_VKUSB_SCANSEARCH, deviceName),
     "VkUsb_Scan: deviceName > 24 chars", 258, "VkUsb_ScanAndOpen: deviceName > 24 chars", 388},
    {VKUSB_SEARCH_DEVICEID, "deviceID", 15, offsetof(_VKUSB_SCANSEARCH, deviceId),
     "VkUsb_Scan: deviceID > 16 chars", 281, "VkUsb_ScanAndOpen: deviceID > 16 chars", 411},
};

// Throws de.varek.VkPortDriverException(message, code). The message is built
// per call, so threads that throw at once do not share a buffer.
void ExecuteException(JNIEnv* env, int code, const char* function, int line) {
    std::vector<char> message(kMessageSize, '\0');
    char text[kValueSize] = {};
    VKUSB_GetErrorText(code, text);
    std::snprintf(message.data(), message.size(),
                  "\nError %d - %s\n(in Function: %s, Line: %d)\nnative VKUSB-Library Version %s", code, text,
                  function, line, kNativeVersion);
    jstring jmessage = env->NewStringUTF(message.data());
    if (env->ExceptionCheck()) return;
    jclass type = env->FindClass("de/varek/VkPortDriverException");
    if (env->ExceptionCheck()) return;
    jmethodID init = env->GetMethodID(type, "<init>", "(Ljava/lang/String;I)V");
    if (env->ExceptionCheck()) return;
    auto exception = static_cast<jthrowable>(env->NewObject(type, init, jmessage, code));
    if (env->ExceptionCheck()) return;
    env->Throw(exception);
}

enum class Filter { Built, JavaException, Refused };

// Fills `record` from the search object. Refused: a text over its limit (the
// exception is thrown) or a null text the mask selects; `result` holds the
// native's result then.
Filter buildFilter(JNIEnv* env, jobject search, bool scanAndOpen, _VKUSB_SCANSEARCH& record, jint& result) {
    jclass type = env->GetObjectClass(search);
    if (env->ExceptionCheck()) return Filter::JavaException;
    jfieldID maskField = env->GetFieldID(type, "mask", "I");
    if (env->ExceptionCheck()) return Filter::JavaException;
    record.mask = env->GetIntField(search, maskField);
    if (env->ExceptionCheck()) return Filter::JavaException;
    for (const FilterText& f : kFilterTexts) {
        if (record.mask != f.mask) continue;
        jfieldID field = env->GetFieldID(type, f.field, "Ljava/lang/String;");
        if (env->ExceptionCheck()) return Filter::JavaException;
        auto string = static_cast<jstring>(env->GetObjectField(search, field));
        if (env->ExceptionCheck()) return Filter::JavaException;
        if (string == nullptr) {
            result = vkusb::kErrNullPointer;
            g_VkUsbMan.SetLastError(result);
            return Filter::Refused;
        }
        // Bytes of modified UTF-8, as GetStringUTFChars gives them.
        const auto length = static_cast<std::size_t>(env->GetStringUTFLength(string));
        if (env->ExceptionCheck()) return Filter::JavaException;
        const UtfText text(env, string);
        if (text.failed()) return Filter::JavaException;
        if (length > f.limit) {
            result = vkusb::kErrOutOfRange;
            ExecuteException(env, result, scanAndOpen ? f.scanAndOpenFunction : f.scanFunction,
                             scanAndOpen ? f.scanAndOpenLine : f.scanLine);
            return Filter::Refused;
        }
        std::memcpy(reinterpret_cast<char*>(&record) + f.offset, text.get(), length);
    }
    return Filter::Built;
}

jint scan(JNIEnv* env, jint option, jobject search, bool scanAndOpen) {
    _VKUSB_SCANSEARCH record{};
    _VKUSB_SCANSEARCH* filter = nullptr;
    if (search != nullptr) {
        jint result = 0;
        switch (buildFilter(env, search, scanAndOpen, record, result)) {
        case Filter::JavaException: return kJavaException;
        case Filter::Refused: return result;
        case Filter::Built: filter = &record; break;
        }
    }
    return scanAndOpen ? VKUSB_ScanAndOpen(option, filter) : VKUSB_Scan(option, filter);
}

// A value read by key (scan-list or device parameter): the value, or null when
// the library answers non-zero or a JNI call raised an exception.
jstring readPara(JNIEnv* env, int (*read)(int, char*, char*), jint where, jstring key) {
    const UtfText keyText(env, key);
    if (keyText.failed()) return nullptr;
    char value[kValueSize] = {};
    if (read(where, keyText.get(), value) != 0) return nullptr;
    return newString(env, value);
}

} // namespace

extern "C" {

JNIEXPORT jstring JNICALL Java_de_varek_VkUsb_GetDLLVersion(JNIEnv* env, jclass) {
    char text[kValueSize] = {};
    VKUSB_GetDLLVersion(text);
    return newString(env, text);
}

JNIEXPORT jstring JNICALL Java_de_varek_VkUsb_GetErrorText(JNIEnv* env, jclass, jint code) {
    char text[kValueSize] = {};
    if (VKUSB_GetErrorText(code, text) != 0) return nullptr;
    return newString(env, text);
}

JNIEXPORT jint JNICALL Java_de_varek_VkUsb_GetLastError(JNIEnv*, jclass, jint handle) {
    int code = 0;
    char text[kValueSize] = {};
    VKUSB_GetLastError(handle, &code, text);
    return code;
}

JNIEXPORT jint JNICALL Java_de_varek_VkUsb_Scan(JNIEnv* env, jclass, jint option, jobject search) {
    return scan(env, option, search, false);
}

JNIEXPORT jint JNICALL Java_de_varek_VkUsb_ScanAndOpen(JNIEnv* env, jclass, jint option, jobject search) {
    return scan(env, option, search, true);
}

JNIEXPORT jstring JNICALL Java_de_varek_VkUsb_GetScanListPara(JNIEnv* env, jclass, jint index, jstring key) {
    return readPara(env, VKUSB_GetScanListPara, index, key);
}

JNIEXPORT jint JNICALL Java_de_varek_VkUsb_GetScanListSize(JNIEnv*, jclass) {
    return VKUSB_GetScanListSize();
}

JNIEXPORT jint JNICALL Java_de_varek_VkUsb_ClearScanList(JNIEnv*, jclass) {
    VKUSB_ClearScanList();
    return 0;
}

JNIEXPORT jint JNICALL Java_de_varek_VkUsb_OpenDevice(JNIEnv*, jclass, jint deviceId) {
    return VKUSB_OpenDevice(static_cast<std::uint32_t>(deviceId));
}

JNIEXPORT jint JNICALL Java_de_varek_VkUsb_CloseDevice(JNIEnv*, jclass, jint handle) {
    return VKUSB_CloseDevice(handle);
}

JNIEXPORT jint JNICALL Java_de_varek_VkUsb_GetDeviceList(JNIEnv*, jclass, jint handle) {
    if (handle < 0) return vkusb::kErrOutOfRange;
    return VKUSB_GetDeviceList(handle);
}

JNIEXPORT jstring JNICALL Java_de_varek_VkUsb_GetDevicePara(JNIEnv* env, jclass, jint handle, jstring key) {
    return readPara(env, VKUSB_GetDevicePara, handle, key);
}

JNIEXPORT jint JNICALL Java_de_varek_VkUsb_SetDevicePara(JNIEnv* env, jclass, jint handle, jstring key,
                                                         jstring value) {
    const UtfText keyText(env, key);
    if (keyText.failed()) return kJavaException;
    const UtfText valueText(env, value);
    if (valueText.failed()) return kJavaException;
    return VKUSB_SetDevicePara(handle, keyText.get(), valueText.get());
}

} // extern "C"
