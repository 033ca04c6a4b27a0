#include "data_jvm_fixture.h"

namespace vkdata {

Fields::Fields(JNIEnv* env, jobject object)
    : env_(env), object_(object), type_(env->GetObjectClass(object)) {}

Fields::~Fields() {
    env_->DeleteLocalRef(type_);
}

jfieldID Fields::id(const char* name, const char* signature) const {
    jfieldID field = env_->GetFieldID(type_, name, signature);
    if (field == nullptr) {
        vkbridge::takeException(env_);
        ADD_FAILURE() << "no field " << name << " " << signature;
    }
    return field;
}

std::uint8_t Fields::byte(const char* name) const {
    jfieldID f = id(name, "B");
    return f != nullptr ? static_cast<std::uint8_t>(env_->GetByteField(object_, f)) : 0;
}

bool Fields::flag(const char* name) const {
    jfieldID f = id(name, "Z");
    return f != nullptr && env_->GetBooleanField(object_, f) != JNI_FALSE;
}

int Fields::number(const char* name) const {
    jfieldID f = id(name, "I");
    return f != nullptr ? env_->GetIntField(object_, f) : 0;
}

std::optional<Bytes> Fields::bytes(const char* name) const {
    jfieldID f = id(name, "[B");
    if (f == nullptr) return std::nullopt;
    Local<jbyteArray> array(env_, static_cast<jbyteArray>(env_->GetObjectField(object_, f)));
    if (array.get() == nullptr) return std::nullopt;
    Bytes out(static_cast<std::size_t>(env_->GetArrayLength(array)));
    if (!out.empty())
        env_->GetByteArrayRegion(array, 0, static_cast<jsize>(out.size()),
                                 reinterpret_cast<jbyte*>(out.data()));
    return out;
}

std::optional<std::string> Fields::text(const char* name) const {
    jfieldID f = id(name, "Ljava/lang/String;");
    if (f == nullptr) return std::nullopt;
    Local<jstring> s(env_, static_cast<jstring>(env_->GetObjectField(object_, f)));
    if (s.get() == nullptr) return std::nullopt;
    return vkbridge::utf8(env_, s);
}

std::u16string Fields::text16(const char* name) const {
    jfieldID f = id(name, "Ljava/lang/String;");
    if (f == nullptr) return {};
    Local<jstring> s(env_, static_cast<jstring>(env_->GetObjectField(object_, f)));
    return vkbridge::utf16(env_, s);
}

Local<jobject> Fields::object(const char* name, const char* signature) const {
    jfieldID f = id(name, signature);
    return {env_, f != nullptr ? env_->GetObjectField(object_, f) : nullptr};
}

void Fields::setObject(const char* name, const char* signature, jobject value) const {
    if (jfieldID f = id(name, signature)) env_->SetObjectField(object_, f, value);
}

void DataJvmTest::SetUp() {
    ASSERT_NE(env, nullptr);
    const Outcome o = call("Init", "()I", {});
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    handle = o.value.i;
    module = VKDM_CTL_FindModule(handle);
    ASSERT_NE(module, nullptr);
    VKDM_CTL_ClearCallLog();
    VKDM_CTL_SetCallLog(1);
}

void DataJvmTest::TearDown() {
    VKDM_CTL_SetCallLog(0);
    VKDM_CTL_ForceResult(nullptr, 0);
    vktesting::expectNoJavaException(env);
}

std::vector<std::string> DataJvmTest::log() const {
    std::vector<std::string> lines;
    char text[512];
    for (int i = 0; i < VKDM_CTL_CallLogCount(); ++i) {
        if (VKDM_CTL_CallLogLine(i, text, sizeof text) == 0) lines.emplace_back(text);
    }
    return lines;
}

std::vector<std::string> DataJvmTest::logOf(const std::string& operation) const {
    std::vector<std::string> lines;
    for (std::string& line : log()) {
        if (line.rfind(operation + "(", 0) == 0) lines.push_back(std::move(line));
    }
    return lines;
}

Local<jbyteArray> DataJvmTest::bytes(const Bytes& values) const {
    jbyteArray a = env->NewByteArray(static_cast<jsize>(values.size()));
    if (!values.empty())
        env->SetByteArrayRegion(a, 0, static_cast<jsize>(values.size()),
                                reinterpret_cast<const jbyte*>(values.data()));
    return {env, a};
}

Local<jbooleanArray> DataJvmTest::booleans(const std::vector<bool>& values) const {
    jbooleanArray a = env->NewBooleanArray(static_cast<jsize>(values.size()));
    for (std::size_t k = 0; k < values.size(); ++k) {
        const jboolean v = values[k] ? JNI_TRUE : JNI_FALSE;
        env->SetBooleanArrayRegion(a, static_cast<jsize>(k), 1, &v);
    }
    return {env, a};
}

Local<jintArray> DataJvmTest::ints(const std::vector<jint>& values) const {
    jintArray a = env->NewIntArray(static_cast<jsize>(values.size()));
    if (!values.empty()) env->SetIntArrayRegion(a, 0, static_cast<jsize>(values.size()), values.data());
    return {env, a};
}

Local<jlongArray> DataJvmTest::longs(const std::vector<jlong>& values) const {
    jlongArray a = env->NewLongArray(static_cast<jsize>(values.size()));
    if (!values.empty()) env->SetLongArrayRegion(a, 0, static_cast<jsize>(values.size()), values.data());
    return {env, a};
}

Bytes DataJvmTest::read(jbyteArray array) const {
    Bytes out(static_cast<std::size_t>(env->GetArrayLength(array)));
    if (!out.empty())
        env->GetByteArrayRegion(array, 0, static_cast<jsize>(out.size()),
                                reinterpret_cast<jbyte*>(out.data()));
    return out;
}

std::vector<bool> DataJvmTest::read(jbooleanArray array) const {
    std::vector<jboolean> raw(static_cast<std::size_t>(env->GetArrayLength(array)));
    if (!raw.empty()) env->GetBooleanArrayRegion(array, 0, static_cast<jsize>(raw.size()), raw.data());
    return std::vector<bool>(raw.begin(), raw.end());
}

std::vector<jint> DataJvmTest::read(jintArray array) const {
    std::vector<jint> out(static_cast<std::size_t>(env->GetArrayLength(array)));
    if (!out.empty()) env->GetIntArrayRegion(array, 0, static_cast<jsize>(out.size()), out.data());
    return out;
}

std::vector<jlong> DataJvmTest::read(jlongArray array) const {
    std::vector<jlong> out(static_cast<std::size_t>(env->GetArrayLength(array)));
    if (!out.empty()) env->GetLongArrayRegion(array, 0, static_cast<jsize>(out.size()), out.data());
    return out;
}

void expectThrown(const Outcome& o, int code, const std::string& function) {
    ASSERT_TRUE(o.thrown) << "nothing thrown, expected " << code << " from " << function;
    EXPECT_EQ(o.thrown->className, "de.varek.VkdmException");
    EXPECT_EQ(o.thrown->code, code);
    EXPECT_THAT(o.thrown->message, ::testing::HasSubstr("(in Function: " + function + ", Line: "));
}

} // namespace vkdata
