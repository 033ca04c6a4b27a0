// The natives of com.kesto.vemlapc.model.readers.kesto.KestoReader: Java types
// in, the bridge's functions, Java types out. A Java array that is null or whose
// elements cannot be had gives the native's answer for "no reader" and reaches
// no reader. A Java allocation that fails leaves its exception pending and the
// native returns at once.
#include "kesto_reader.h"

#include <com_kesto_vemlapc_model_readers_kesto_KestoReader.h>

#include <string>
#include <vector>

namespace {

using vemlasdknative::natives::Bytes;
namespace natives = vemlasdknative::natives;

// The bytes of a Java array, held until the native returns and then released
// without copying back. A null array is `missing`; an array whose elements the
// VM could not hand out is neither missing nor ok, and leaves its exception
// pending.
class Elements {
  public:
    Elements(JNIEnv* env, jbyteArray array) : env_(env), array_(array) {
        if (array == nullptr) return;
        const jsize length = env->GetArrayLength(array);
        elements_ = env->GetByteArrayElements(array, nullptr);
        if (elements_ != nullptr) bytes_.assign(elements_, elements_ + length);
    }
    ~Elements() {
        if (elements_ != nullptr) env_->ReleaseByteArrayElements(array_, elements_, JNI_ABORT);
    }
    Elements(const Elements&) = delete;
    Elements& operator=(const Elements&) = delete;

    bool missing() const { return array_ == nullptr; }
    bool ok() const { return elements_ != nullptr; }
    const Bytes& bytes() const { return bytes_; }

  private:
    JNIEnv* env_;
    jbyteArray array_;
    jbyte* elements_ = nullptr;
    Bytes bytes_;
};

jbyteArray toJava(JNIEnv* env, const Bytes& bytes) {
    const auto size = static_cast<jsize>(bytes.size());
    jbyteArray array = env->NewByteArray(size);
    if (array == nullptr) return nullptr;
    env->SetByteArrayRegion(array, 0, size, reinterpret_cast<const jbyte*>(bytes.data()));
    return array;
}

jstring toJava(JNIEnv* env, const std::string& text) {
    return env->NewStringUTF(text.c_str());
}

// A transfer that takes one Java array.
template <typename Transfer> jbyteArray transfer(JNIEnv* env, jbyteArray tx, Transfer run) {
    Elements elements(env, tx);
    if (elements.missing()) return toJava(env, natives::kFailed);
    if (!elements.ok()) return nullptr;
    return toJava(env, run(elements.bytes()));
}

} // namespace

extern "C" {

JNIEXPORT jboolean JNICALL Java_com_kesto_vemlapc_model_readers_kesto_KestoReader_connect(JNIEnv*, jobject) {
    return natives::connect() ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT void JNICALL Java_com_kesto_vemlapc_model_readers_kesto_KestoReader_disconnect(JNIEnv*, jobject) {
    natives::disconnect();
}

JNIEXPORT jboolean JNICALL Java_com_kesto_vemlapc_model_readers_kesto_KestoReader_isConnected(JNIEnv*,
                                                                                              jobject) {
    return natives::isConnected() ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jstring JNICALL Java_com_kesto_vemlapc_model_readers_kesto_KestoReader_getName(JNIEnv* env,
                                                                                         jobject) {
    return toJava(env, natives::getName());
}

JNIEXPORT jstring JNICALL Java_com_kesto_vemlapc_model_readers_kesto_KestoReader_checkVersion(JNIEnv* env,
                                                                                              jobject) {
    return toJava(env, natives::checkVersion());
}

JNIEXPORT jstring JNICALL
Java_com_kesto_vemlapc_model_readers_kesto_KestoReader_getFirmwareVersion(JNIEnv* env, jobject) {
    return toJava(env, natives::getFirmwareVersion());
}

JNIEXPORT jbyte JNICALL Java_com_kesto_vemlapc_model_readers_kesto_KestoReader_selectReaderMode(
    JNIEnv* env, jobject, jbyteArray mode) {
    Elements elements(env, mode);
    if (!elements.ok()) return static_cast<jbyte>(natives::kNoModeResult);
    return static_cast<jbyte>(natives::selectReaderMode(elements.bytes()));
}

JNIEXPORT jbyteArray JNICALL
Java_com_kesto_vemlapc_model_readers_kesto_KestoReader_sendReceive(JNIEnv* env, jobject, jbyteArray tx) {
    return transfer(env, tx, [](const Bytes& bytes) { return natives::sendReceive(bytes); });
}

JNIEXPORT jbyteArray JNICALL Java_com_kesto_vemlapc_model_readers_kesto_KestoReader_sendReceive14443a(
    JNIEnv* env, jobject, jbyte frameMode, jbyteArray tx) {
    return transfer(env, tx, [frameMode](const Bytes& bytes) {
        return natives::sendReceive14443a(static_cast<vemlasdknative::byte_t>(frameMode), bytes);
    });
}

JNIEXPORT jbyteArray JNICALL Java_com_kesto_vemlapc_model_readers_kesto_KestoReader_sendReqA(JNIEnv* env,
                                                                                             jobject) {
    return toJava(env, natives::sendReqA());
}

JNIEXPORT jbyteArray JNICALL Java_com_kesto_vemlapc_model_readers_kesto_KestoReader_sendWupA(JNIEnv* env,
                                                                                             jobject) {
    return toJava(env, natives::sendWupA());
}

JNIEXPORT jbyteArray JNICALL Java_com_kesto_vemlapc_model_readers_kesto_KestoReader_sendHltA(JNIEnv* env,
                                                                                             jobject) {
    return toJava(env, natives::sendHltA());
}

JNIEXPORT jbyteArray JNICALL Java_com_kesto_vemlapc_model_readers_kesto_KestoReader_sendRats(JNIEnv* env,
                                                                                             jobject) {
    return toJava(env, natives::sendRats());
}

JNIEXPORT jbyteArray JNICALL Java_com_kesto_vemlapc_model_readers_kesto_KestoReader_sendPps(JNIEnv* env,
                                                                                            jobject) {
    return toJava(env, natives::sendPps());
}

JNIEXPORT jobjectArray JNICALL
Java_com_kesto_vemlapc_model_readers_kesto_KestoReader_antiCollision(JNIEnv* env, jobject, jbyteArray) {
    const std::vector<Bytes> uids = natives::antiCollision();
    jclass bytesClass = env->FindClass("[B");
    if (bytesClass == nullptr) return nullptr;
    jobjectArray out = env->NewObjectArray(static_cast<jsize>(uids.size()), bytesClass, nullptr);
    if (out == nullptr) return nullptr;
    env->DeleteLocalRef(bytesClass);
    for (std::size_t i = 0; i < uids.size(); ++i) {
        jbyteArray uid = toJava(env, uids[i]);
        if (uid == nullptr) return nullptr;
        env->SetObjectArrayElement(out, static_cast<jsize>(i), uid);
        env->DeleteLocalRef(uid);
    }
    return out;
}

JNIEXPORT void JNICALL Java_com_kesto_vemlapc_model_readers_kesto_KestoReader_setAnticollisionAlgo(
    JNIEnv* env, jobject, jbyteArray algo) {
    Elements elements(env, algo);
    if (elements.ok()) natives::setAnticollisionAlgo(elements.bytes());
}

JNIEXPORT jint JNICALL
Java_com_kesto_vemlapc_model_readers_kesto_KestoReader_getMaxTransmitLengthInBytes(JNIEnv*, jobject) {
    return natives::getMaxTransmitLengthInBytes();
}

JNIEXPORT jint JNICALL
Java_com_kesto_vemlapc_model_readers_kesto_KestoReader_getMaxReceiveLengthInBytes(JNIEnv*, jobject) {
    return natives::getMaxReceiveLengthInBytes();
}

JNIEXPORT jint JNICALL
Java_com_kesto_vemlapc_model_readers_kesto_KestoReader_selectTag14443A(JNIEnv* env, jobject, jbyteArray uid) {
    Elements elements(env, uid);
    if (!elements.ok()) return natives::kNoSelectResult;
    return natives::selectTag14443A(elements.bytes());
}

JNIEXPORT jint JNICALL Java_com_kesto_vemlapc_model_readers_kesto_KestoReader_deselectTag14443A(
    JNIEnv* env, jobject, jbyteArray uid) {
    Elements elements(env, uid);
    if (!elements.ok()) return natives::kNoSelectResult;
    return natives::deselectTag14443A(elements.bytes());
}

} // extern "C"
