// Natives of de.varek.VkdmKrnReader that send commands to the reader and wait
// for the answer: the reader authentication, the core's protocols, raw and
// transparent frames, the synchronous SAM command, the baud-rate search and
// BuildProtocol's request frames. Every buffer lives for one call.
#include "java_text.h"
#include "jni_frame.h"
#include "native_calls.h"
#include "request_data.h"

#include <de_varek_VkdmKrnReader.h>
#include <vkkrn.h>
#include <vkkrn_codec/hex.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

using namespace nubokrn4j;

namespace {

constexpr int kFrameSize = 65537;
// A SAM reply of any length the reader's frame can carry, and its closing zero.
constexpr int kSamReplySize = 65538;
constexpr char kStatusId[] = "03 10 00 00 01 00 00";
constexpr char kFailureId[] = "03 10 00 01 04 00 00";
// Data formats of the reader library's frame exports.
constexpr int kFormatHexText = 1;
constexpr int kFormatNeverWrapped = 20;
// The longest input the frame exports take.
constexpr std::size_t kFrameInputLimit = 65537;

std::string hexByte(const char* head, jbyte value, const char* tail) {
    char text[64];
    std::snprintf(text, sizeof text, "%s0x%02X%s", head,
                  static_cast<unsigned>(static_cast<std::uint8_t>(value)), tail);
    return text;
}

// A new byte[] of `count` bytes; null with the JVM's exception pending or
// after -121 was thrown when none could be made.
jbyteArray newBytes(NativeFrame& frame, const void* data, jsize count, int line) {
    JNIEnv* env = frame.env();
    jbyteArray array = env->NewByteArray(count);
    if (frame.pending()) {
        if (array != nullptr) env->DeleteLocalRef(array);
        return nullptr;
    }
    if (array == nullptr) {
        frame.fail(kNullArgument, line);
        return nullptr;
    }
    env->SetByteArrayRegion(array, 0, count, static_cast<const jbyte*>(data));
    if (frame.pending()) {
        env->DeleteLocalRef(array);
        return nullptr;
    }
    return array;
}

// Builds the request frame of `command` with the data given as hex text into
// `frame`, never wrapped in 0xAF: the transparent send wraps it once on an
// authenticated reader and unwraps its reply once. Text the reader library
// refuses (odd, not hex, too long) is handed to it as text, so that the
// refusal, its order after the handle checks and its code (-4051) stay the
// library's; nothing is built then.
int buildRequestFrame(int reader, int address, unsigned char command, std::string& text,
                      unsigned char* frame) {
    const auto* chars = reinterpret_cast<const std::uint8_t*>(text.data());
    // At least one byte: the library refuses a null data pointer.
    std::vector<std::uint8_t> bytes(text.size() / 2 + 1);
    const auto count =
        text.size() <= kFrameInputLimit ? vkkrn::codec::decodeHex({chars, text.size()}, bytes) : std::nullopt;
    if (!count)
        return VKKRN_BuildSendProtocol(reader, address, command,
                                       reinterpret_cast<unsigned char*>(text.data()),
                                       static_cast<int>(text.size()), frame, kFormatHexText);
    return VKKRN_BuildSendProtocol(reader, address, command, bytes.data(), static_cast<int>(*count), frame,
                                   kFormatNeverWrapped);
}

// The core's data memory and ISO table as BuildProtocol reads them.
class ModuleRequestSource final : public RequestSource {
  public:
    explicit ModuleRequestSource(VKDM_KRNReaderModule_4J& module) : module_(module) {}
    int byte(const char* id, std::uint8_t& value) override { return module_.GetData(id, &value); }
    int bytes(const char* id, std::uint8_t* out, int count) override {
        return module_.GetData(id, out, count);
    }
    int isoItem(const std::string& uidText) override {
        return module_.FindTableIndex(0, VKDM_TABLE_ISO, 0x08000002u, uidText);
    }
    int block(int index, int block, std::uint8_t* out, int count) override {
        return module_.GetTableData(index, VKDM_TABLE_ISO, 0x04000002u, block, out, count);
    }

  private:
    VKDM_KRNReaderModule_4J& module_;
};

} // namespace

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_ReaderAuthentication(JNIEnv* env, jclass, jint handle,
                                                                        jbyte type, jstring key) {
    NativeFrame frame(env, handle, "VkdmKrnReader_ReaderAuthentication(jbyte, jstring)", kStandardRanges);
    if (!frame.references({key}, __LINE__)) return 0;
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return kNotRegistered;
    std::string text;
    {
        UtfChars chars(env, key);
        if (frame.pending()) return 0;
        if (chars.get() == nullptr) return frame.fail(kNullArgument, __LINE__);
        text = chars.get();
    }
    const int r = module->ReaderAuthentication(static_cast<unsigned char>(type), text.c_str());
    if (r < 0) {
        char name[96];
        // The type prints as the sign-extended byte.
        std::snprintf(name, sizeof name, "VkdmKrnReader_ReaderAuthentication(%u, jstring)",
                      static_cast<unsigned>(static_cast<int>(type)));
        frame.setFunction(name);
    }
    return frame.result(r, __LINE__);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SendProtocol__IB(JNIEnv* env, jclass, jint handle,
                                                                    jbyte command) {
    NativeFrame frame(env, handle, "VkdmKrnReader_SendProtocol(jbyte)", kStandardRanges);
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return kNotRegistered;
    const int r = module->SendProtocol(static_cast<unsigned char>(command));
    if (r < 0) frame.setFunction(hexByte("VkdmKrnReader_SendProtocol(", command, ")"));
    return frame.result(r, __LINE__);
}

JNIEXPORT jstring JNICALL Java_de_varek_VkdmKrnReader_SendProtocol__IBLjava_lang_String_2(JNIEnv* env, jclass,
                                                                                          jint handle,
                                                                                          jbyte command,
                                                                                          jstring data) {
    NativeFrame frame(env, handle, "VkdmKrnReader_SendProtocol(jbyte, jstring)", kStandardRanges);
    if (!frame.references({data}, __LINE__)) return nullptr;
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return nullptr;
    std::vector<unsigned char> send(kFrameSize);
    std::vector<unsigned char> receive(kFrameSize);
    std::vector<unsigned char> response(kFrameSize);
    std::string text;
    {
        UtfChars chars(env, data);
        if (frame.pending()) return nullptr;
        if (chars.get() == nullptr) {
            module->SetData(kFailureId, static_cast<unsigned int>(kNullArgument));
            frame.fail(kNullArgument, __LINE__);
            return nullptr;
        }
        text = chars.get();
    }
    const int reader = module->GetReaderHnd();
    int r = buildRequestFrame(reader, module->GetBusAddress(), static_cast<unsigned char>(command), text,
                              send.data());
    int received = 0;
    if (r >= 0) {
        received = VKKRN_SendTransparent(reader, send.data(), r, receive.data(), kFrameSize, 0, 0);
        r = received;
    }
    int dataLength = 0;
    if (r >= 0) {
        // The transparent send has unwrapped the reply already.
        unsigned char address = 0;
        unsigned char answered = 0;
        r = VKKRN_SplitRecProtocol(reader, receive.data(), received, &address, &answered, response.data(),
                                   &dataLength, kFormatNeverWrapped);
    }
    if (r < 0) {
        module->SetData(kFailureId, static_cast<unsigned int>(r));
        frame.setFunction(hexByte("VkdmKrnReader_SendProtocol(", command, ", \"") + text + "\")");
        frame.result(r, __LINE__);
        return nullptr;
    }
    module->SetData(kStatusId, static_cast<unsigned char>(r));
    const std::size_t count = dataLength > 0 ? static_cast<std::size_t>(dataLength) : 0;
    std::string hex(2 * count + 1, '\0');
    VKDM_ConvHexUCharToHexStr(response.data(), static_cast<int>(count), hex.data());
    jstring result = env->NewStringUTF(hex.c_str());
    if (frame.pending()) return nullptr;
    return result;
}

JNIEXPORT jstring JNICALL Java_de_varek_VkdmKrnReader_SendTransparent(JNIEnv* env, jclass, jint handle,
                                                                      jstring frameText, jboolean calcCrc) {
    NativeFrame frame(env, handle, "VkdmKrnReader_SendTransparent", kStandardRanges);
    if (!frame.references({frameText}, __LINE__)) return nullptr;
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return nullptr;
    std::string asPassed;
    {
        UtfChars chars(env, frameText);
        if (frame.pending()) return nullptr;
        if (chars.get() == nullptr) {
            frame.fail(kNullArgument, __LINE__);
            return nullptr;
        }
        asPassed = chars.get();
    }
    // The reply as hex text: two characters per byte and a closing zero.
    std::vector<char> receive(2 * kFrameSize + 1);
    std::string hex = asPassed;
    const int kept = VKDM_RemNoHexChar(hex.data());
    const int m = VKKRN_SendTransparent(module->GetReaderHnd(), reinterpret_cast<unsigned char*>(hex.data()),
                                        kept, reinterpret_cast<unsigned char*>(receive.data()), kFrameSize,
                                        calcCrc == JNI_TRUE ? 1 : 0, 1);
    if (m >= 1) {
        jstring result = env->NewStringUTF(receive.data());
        if (frame.pending()) return nullptr;
        return result;
    }
    module->SetData(kFailureId, static_cast<unsigned int>(m));
    frame.setFunction("VkdmKrnReader_SendTransparent(\"" + asPassed +
                      (calcCrc == JNI_TRUE ? "\", CalcCrc=true)" : "\", CalcCrc=false)"));
    frame.result(m, __LINE__);
    return nullptr;
}

JNIEXPORT jbyteArray JNICALL Java_de_varek_VkdmKrnReader_SendSAMCommandSync(JNIEnv* env, jclass, jint handle,
                                                                            jint samSlot, jbyteArray data,
                                                                            jint timeout) {
    NativeFrame frame(env, handle, "VkdmKrnReader_SendSAMCommandSync");
    if (!frame.references({data}, __LINE__)) return nullptr;
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return nullptr;
    std::vector<unsigned char> reply(kSamReplySize);
    int replyLength = 0;
    int r = 0;
    {
        ByteElements elements(env, data);
        if (frame.pending()) return nullptr;
        if (elements.get() == nullptr) {
            frame.fail(kNullArgument, __LINE__);
            return nullptr;
        }
        if (elements.length() < 1) {
            frame.fail(kEmptyArray, __LINE__);
            return nullptr;
        }
        r = VKKRN_0xC0_SAMCmd_Sync(module->GetReaderHnd(), module->GetBusAddress(), samSlot, timeout,
                                   reinterpret_cast<unsigned char*>(elements.get()), elements.length(),
                                   reply.data(), &replyLength);
    }
    // A reader status other than 0 is thrown in its "Status" form.
    if (r != 0) {
        frame.fail(r, __LINE__);
        return nullptr;
    }
    if (replyLength < 1) {
        frame.fail(kNoData, __LINE__);
        return nullptr;
    }
    return newBytes(frame, reply.data(), replyLength, __LINE__);
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_FindBaudRate(JNIEnv* env, jclass, jint handle) {
    return askModule(env, handle, "VkdmKrnReader_FindBaudRate", kStandardRanges,
                     [](VKDM_KRNReaderModule_4J* module) {
                         return module->FindBaudRate(nullptr, 300, 3, nullptr, nullptr);
                     });
}

JNIEXPORT jbyteArray JNICALL Java_de_varek_VkdmKrnReader_BuildProtocol(JNIEnv* env, jclass, jint handle,
                                                                       jbyte command) {
    NativeFrame frame(env, handle, "VkdmKrnReader_BuildProtocol");
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return nullptr;
    // Read first, as the request's frame form is chosen before it is built.
    module->GetProtocolFrameSupport();
    ModuleRequestSource source(*module);
    RequestData request = buildRequestData(source, static_cast<std::uint8_t>(command));
    if (request.code < 0) {
        frame.fail(request.code, __LINE__);
        return nullptr;
    }
    // Room for any frame the reader library builds and its closing zero. The
    // frame is never wrapped: Java sends it transparently, which wraps it on an
    // authenticated reader; a wrapped frame would be wrapped twice, and building
    // it would move the channel's cipher on for a frame the reader never sees.
    std::vector<unsigned char> built(kFrameSize + 1);
    const int length = VKKRN_BuildSendProtocol(
        module->GetReaderHnd(), module->GetBusAddress(), static_cast<unsigned char>(command),
        request.bytes.data(), static_cast<int>(request.bytes.size()), built.data(), kFormatNeverWrapped);
    if (length < 0) {
        frame.fail(length, __LINE__);
        return nullptr;
    }
    // The CRC goes; the frame's own form says where its length is.
    if (built[0] == 0x02) {
        const unsigned total = ((static_cast<unsigned>(built[1]) << 8) | built[2]) - 2u;
        built[1] = static_cast<unsigned char>(total >> 8);
        built[2] = static_cast<unsigned char>(total);
    } else {
        built[0] = static_cast<unsigned char>(built[0] - 2);
    }
    return newBytes(frame, built.data(), length - 2, __LINE__);
}
