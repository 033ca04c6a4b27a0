// The natives of de.varek.VkUsb, called through JNI from a real JVM (with
// -Xcheck:jni) as Java code calls them. The class loads the simulated build
// (first on the library path); "nopnp" keeps the watcher's passes away.
#include <usbsim/usbsim.h>
#include <vktesting/temp_dir.h>
#include <vktesting/test_jvm.h>

#include <gtest/gtest.h>

#include <vkusb/vkusb.h>

#include <atomic>
#include <cstdarg>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using usbsim::Fn;

constexpr int kFilter = VKUSB_SCAN_FILTER;

usbsim::ReaderProfile readerProfile(const std::string& id, const std::string& family = "KRN-SIM") {
    usbsim::ReaderProfile profile;
    profile.vendor = VKUSB_VENDOR_ID;
    profile.product = 2;
    profile.strings = {{1, id}, {3, family}, {5, "ID KRN.SIM200-U"}, {6, "NUBO RCI2"}, {10, "TN-4711"}};
    return profile;
}

struct Thrown {
    std::string type; // "VkPortDriverException", "NoSuchFieldError" or "other"
    std::string message;
    int code = 0;
};

// Calls the natives as Java code does and takes any exception they leave.
class Natives {
  public:
    explicit Natives(JNIEnv* env) : env_(env) {
        type_ = env_->FindClass("de/varek/VkUsb");
        check("FindClass de/varek/VkUsb");
    }

    jint Int(const char* name, const char* signature, ...) {
        jmethodID method = env_->GetStaticMethodID(type_, name, signature);
        check(name);
        va_list args;
        va_start(args, signature);
        const jint result = env_->CallStaticIntMethodV(type_, method, args);
        va_end(args);
        take();
        return result;
    }

    std::optional<std::string> Str(const char* name, const char* signature, ...) {
        jmethodID method = env_->GetStaticMethodID(type_, name, signature);
        check(name);
        va_list args;
        va_start(args, signature);
        auto result = static_cast<jstring>(env_->CallStaticObjectMethodV(type_, method, args));
        va_end(args);
        take();
        if (result == nullptr) return std::nullopt;
        return text(result);
    }

    jint Scan(int option, jobject search) { return Int("Scan", "(ILjava/lang/Object;)I", option, search); }
    jint ScanAndOpen(int option, jobject search) {
        return Int("ScanAndOpen", "(ILjava/lang/Object;)I", option, search);
    }
    jint LastError(int handle) { return Int("GetLastError", "(I)I", handle); }
    std::optional<std::string> ErrorText(int code) {
        return Str("GetErrorText", "(I)Ljava/lang/String;", code);
    }
    std::optional<std::string> DevicePara(int handle, jstring key) {
        return Str("GetDevicePara", "(ILjava/lang/String;)Ljava/lang/String;", handle, key);
    }
    std::optional<std::string> ScanListPara(int index, jstring key) {
        return Str("GetScanListPara", "(ILjava/lang/String;)Ljava/lang/String;", index, key);
    }
    jint SetDevicePara(int handle, jstring key, jstring value) {
        return Int("SetDevicePara", "(ILjava/lang/String;Ljava/lang/String;)I", handle, key, value);
    }

    jstring utf(const char* text) {
        jstring s = env_->NewStringUTF(text);
        check("NewStringUTF");
        return s;
    }
    jstring utf16(const std::u16string& text) {
        jstring s =
            env_->NewString(reinterpret_cast<const jchar*>(text.data()), static_cast<jsize>(text.size()));
        check("NewString");
        return s;
    }

    // A de.varek.VkUsbSearch.
    jobject search(int mask, jstring family, jstring device, jstring id) {
        jclass type = env_->FindClass("de/varek/VkUsbSearch");
        check("FindClass VkUsbSearch");
        jmethodID init =
            env_->GetMethodID(type, "<init>", "(ILjava/lang/String;Ljava/lang/String;Ljava/lang/String;)V");
        check("VkUsbSearch.<init>");
        jobject object = env_->NewObject(type, init, mask, family, device, id);
        check("NewObject VkUsbSearch");
        return object;
    }

    // An object of a test class, made with its no-argument constructor.
    jobject object(const char* className) {
        jclass type = env_->FindClass(className);
        check(className);
        jmethodID init = env_->GetMethodID(type, "<init>", "()V");
        check("<init>");
        jobject result = env_->NewObject(type, init);
        check("NewObject");
        return result;
    }

    void setField(jobject object, const char* name, jstring value) {
        jclass type = env_->GetObjectClass(object);
        jfieldID field = env_->GetFieldID(type, name, "Ljava/lang/String;");
        check(name);
        env_->SetObjectField(object, field, value);
    }
    void setMask(jobject object, int mask) {
        jclass type = env_->GetObjectClass(object);
        jfieldID field = env_->GetFieldID(type, "mask", "I");
        check("mask");
        env_->SetIntField(object, field, mask);
    }

    // The exception the last native left, if any.
    std::optional<Thrown> thrown;

  private:
    void check(const char* what) {
        if (env_->ExceptionCheck()) {
            env_->ExceptionDescribe();
            env_->ExceptionClear();
            ADD_FAILURE() << "Java exception in " << what;
        }
    }

    std::string text(jstring s) {
        const char* chars = env_->GetStringUTFChars(s, nullptr);
        check("GetStringUTFChars");
        std::string result = chars != nullptr ? chars : "";
        env_->ReleaseStringUTFChars(s, chars);
        env_->DeleteLocalRef(s);
        return result;
    }

    void take() {
        thrown.reset();
        if (!env_->ExceptionCheck()) return;
        jthrowable exception = env_->ExceptionOccurred();
        env_->ExceptionClear();
        Thrown t;
        jclass driver = env_->FindClass("de/varek/VkPortDriverException");
        check("FindClass VkPortDriverException");
        jclass noField = env_->FindClass("java/lang/NoSuchFieldError");
        check("FindClass NoSuchFieldError");
        jclass throwable = env_->FindClass("java/lang/Throwable");
        check("FindClass Throwable");
        if (env_->IsInstanceOf(exception, driver)) {
            t.type = "VkPortDriverException";
            jmethodID getCode = env_->GetMethodID(driver, "getCode", "()I");
            check("getCode");
            t.code = env_->CallIntMethod(exception, getCode);
            check("getCode()");
        } else {
            t.type = env_->IsInstanceOf(exception, noField) ? "NoSuchFieldError" : "other";
        }
        jmethodID getMessage = env_->GetMethodID(throwable, "getMessage", "()Ljava/lang/String;");
        check("getMessage");
        auto message = static_cast<jstring>(env_->CallObjectMethod(exception, getMessage));
        check("getMessage()");
        if (message != nullptr) t.message = text(message);
        thrown = t;
    }

    JNIEnv* env_;
    jclass type_ = nullptr;
};

// Local references of one test (the attached main thread never leaves a native
// frame, so they would pile up).
class LocalFrame {
  public:
    explicit LocalFrame(JNIEnv* env) : env_(env) { env_->PushLocalFrame(512); }
    ~LocalFrame() { env_->PopLocalFrame(nullptr); }
    LocalFrame(const LocalFrame&) = delete;
    LocalFrame& operator=(const LocalFrame&) = delete;

  private:
    JNIEnv* env_;
};

class VkUsbJniTest : public vktesting::TempDirTest {
  protected:
    void SetUp() override {
        vktesting::TempDirTest::SetUp();
        usbsim::reset();
        writeFile("vkusb.conf", "nopnp\n"); // read when the class loads the library
        env_ = vktesting::testJniEnv();
        frame_.emplace(env_);
        java_.emplace(env_);
    }
    void TearDown() override {
        java_.reset();
        frame_.reset();
        vktesting::TempDirTest::TearDown();
    }

    // The message of an over-long filter text, from its pieces.
    std::string expectedMessage(const std::string& function, int line) {
        const std::string text = java().ErrorText(-1151).value_or("?");
        return "\nError -1151 - " + text + "\n(in Function: " + function + ", Line: " + std::to_string(line) +
               ")\nnative VKUSB-Library Version 04.02.07";
    }

    Natives& java() { return *java_; }

    JNIEnv* env_ = nullptr;
    std::optional<LocalFrame> frame_;
    std::optional<Natives> java_;
};

// --- The filter --------------------------------------------------------------------

struct LimitCase {
    bool scanAndOpen;
    int mask;
    std::size_t limit;
    const char* function;
    int line;
};

const LimitCase kLimits[] = {
    {false, 1, 24, "VkUsb_Scan: familyString > 24 chars", 235},
    {false, 2, 24, "VkUsb_Scan: deviceName > 24 chars", 258},
    {false, 4, 15, "VkUsb_Scan: deviceID > 16 chars", 281},
    {true, 1, 24, "VkUsb_ScanAndOpen: familyString > 24 chars", 365},
    {true, 2, 24, "VkUsb_ScanAndOpen: deviceName > 24 chars", 388},
    {true, 4, 15, "VkUsb_ScanAndOpen: deviceID > 16 chars", 411},
};

TEST_F(VkUsbJniTest, EachFilterTextIsAcceptedAtItsLimitAndThrowsOneByteOver) {
    for (const LimitCase& c : kLimits) {
        SCOPED_TRACE(c.function);
        for (const std::size_t length : {c.limit, c.limit + 1}) {
            jstring text = java().utf(std::string(length, '1').c_str());
            jobject search = java().search(c.mask, c.mask == 1 ? text : nullptr, c.mask == 2 ? text : nullptr,
                                           c.mask == 4 ? text : nullptr);
            usbsim::clearCalls();
            const jint result = c.scanAndOpen ? java().ScanAndOpen(VKUSB_SCAN_ALL | kFilter, search)
                                              : java().Scan(VKUSB_SCAN_ALL | kFilter, search);
            if (length == c.limit) {
                EXPECT_FALSE(java().thrown.has_value()) << java().thrown->message;
                EXPECT_EQ(result, -1112) << "scanned an empty bus";
                continue;
            }
            EXPECT_EQ(usbsim::callCount(Fn::GetDeviceList), 0u) << "no scan";
            ASSERT_TRUE(java().thrown.has_value());
            const Thrown thrown = *java().thrown; // the next native call takes a new one
            EXPECT_EQ(thrown.type, "VkPortDriverException");
            EXPECT_EQ(thrown.code, -1151);
            EXPECT_EQ(java().LastError(0), 0) << "as the error text left it";
            EXPECT_EQ(thrown.message, expectedMessage(c.function, c.line));
        }
    }
}

TEST_F(VkUsbJniTest, LengthsCountModifiedUtf8Bytes) {
    const std::u16string twelve(12, u'\u00e4');   // 24 bytes
    const std::u16string thirteen(13, u'\u00e4'); // 26 bytes
    std::u16string supplementary;                 // 5 x 6 bytes
    for (int i = 0; i < 5; ++i)
        supplementary += u"\U0001F600";
    struct {
        std::u16string text;
        bool throws;
    } cases[] = {{twelve, false}, {thirteen, true}, {supplementary, true}};
    for (const auto& c : cases) {
        jobject search = java().search(1, java().utf16(c.text), nullptr, nullptr);
        java().Scan(VKUSB_SCAN_ALL | kFilter, search);
        EXPECT_EQ(java().thrown.has_value(), c.throws) << c.text.size() << " UTF-16 units";
    }
}

TEST_F(VkUsbJniTest, SearchObjects) {
    usbsim::plug(readerProfile("A"));
    // No object: no filter, whatever the option says.
    EXPECT_EQ(java().Scan(VKUSB_SCAN_ALL | kFilter, nullptr), 0);
    EXPECT_EQ(java().Int("GetScanListSize", "()I"), 1);

    // Masks other than 1, 2 and 4 copy no text, however long.
    jstring tooLong = java().utf(std::string(60, 'x').c_str());
    for (const int mask : {0, 3, 6}) {
        java().Scan(VKUSB_SCAN_ALL | kFilter, java().search(mask, tooLong, tooLong, tooLong));
        EXPECT_FALSE(java().thrown.has_value()) << "mask " << mask;
    }

    // Another class with the fields.
    jobject odd = java().object("vkusbtest/OddSearch");
    java().setMask(odd, 2);
    java().setField(odd, "deviceName", java().utf("ID KRN.SIM200-U"));
    EXPECT_EQ(java().Scan(VKUSB_SCAN_ALL | kFilter, odd), 0);
    java().setField(odd, "deviceName", java().utf("ID KRN.OTHER"));
    EXPECT_EQ(java().Scan(VKUSB_SCAN_ALL | kFilter, odd), -1112);

    // No "mask", or one of another type: NoSuchFieldError, no scan.
    for (const char* type : {"vkusbtest/NoMask", "vkusbtest/LongMask"}) {
        usbsim::clearCalls();
        // The native's -1 is lost under the pending exception.
        java().Scan(VKUSB_SCAN_ALL | kFilter, java().object(type));
        ASSERT_TRUE(java().thrown.has_value()) << type;
        EXPECT_EQ(java().thrown->type, "NoSuchFieldError");
        EXPECT_EQ(usbsim::callCount(Fn::GetDeviceList), 0u);
    }

    // The text the mask selects is null.
    usbsim::clearCalls();
    EXPECT_EQ(java().ScanAndOpen(VKUSB_SCAN_ALL | kFilter, java().search(1, nullptr, tooLong, tooLong)),
              -1102);
    EXPECT_FALSE(java().thrown.has_value());
    EXPECT_EQ(usbsim::callCount(Fn::GetDeviceList), 0u);
    EXPECT_EQ(java().LastError(0), -1102);
}

// --- With readers -------------------------------------------------------------------

TEST_F(VkUsbJniTest, ScanOpenReadAndClose) {
    usbsim::plug(readerProfile("A"));
    usbsim::plug(readerProfile("B", "KRN-OTHER"));
    EXPECT_EQ(
        java().Scan(VKUSB_SCAN_ALL | kFilter, java().search(1, java().utf("KRN-SIM"), nullptr, nullptr)), 0);
    EXPECT_EQ(java().Int("GetScanListSize", "()I"), 1);
    EXPECT_EQ(
        java().Scan(VKUSB_SCAN_ALL | kFilter, java().search(1, java().utf("KRN-NONE"), nullptr, nullptr)),
        -1112);

    EXPECT_EQ(java().ScanAndOpen(VKUSB_SCAN_FIRST, nullptr), 0);
    const jint handle = java().Int("GetDeviceList", "(I)I", 0);
    EXPECT_GT(handle, 0);
    EXPECT_EQ(java().DevicePara(handle, java().utf("DEVICEHND")), std::to_string(handle));
    EXPECT_EQ(java().ScanListPara(1, java().utf("DEVICE-ID")), "B");
    EXPECT_EQ(java().ScanListPara(2, java().utf("DEVICE-ID")), std::nullopt) << "outside the list";
    EXPECT_EQ(java().SetDevicePara(handle, java().utf("TIMEOUT"), java().utf("250")), 0);
    EXPECT_EQ(java().DevicePara(handle, java().utf("timeout")), "250");
    EXPECT_EQ(java().Int("OpenDevice", "(I)I", 0xA), handle) << "already open";
    EXPECT_EQ(java().Int("CloseDevice", "(I)I", handle), 0);
    EXPECT_EQ(java().Int("CloseDevice", "(I)I", handle), -1123);
    EXPECT_EQ(usbsim::counters().liveHandles, 0);
}

// --- Results and nulls ----------------------------------------------------------------

TEST_F(VkUsbJniTest, ResultsAndNullTexts) {
    EXPECT_EQ(java().Str("GetDLLVersion", "()Ljava/lang/String;"), VKUSB_DLL_VERSION);
    EXPECT_EQ(java().Scan(VKUSB_SCAN_ALL, nullptr), -1112);
    EXPECT_EQ(java().LastError(0), -1112);
    EXPECT_EQ(java().LastError(0), 0) << "reading it cleared it";

    EXPECT_EQ(java().Scan(VKUSB_SCAN_ALL, nullptr), -1112);
    EXPECT_EQ(java().Int("GetDeviceList", "(I)I", -1), -1151);
    EXPECT_EQ(java().LastError(0), -1112) << "the library was not called";

    EXPECT_EQ(java().ErrorText(-1115), std::nullopt) << "a code without text";
    EXPECT_TRUE(java().ErrorText(-1151).has_value());
    EXPECT_EQ(java().Int("ClearScanList", "()I"), 0);

    EXPECT_EQ(java().DevicePara(-1, nullptr), std::nullopt);
    EXPECT_EQ(java().LastError(0), -1102);
    EXPECT_EQ(java().ScanListPara(0, nullptr), std::nullopt);
    EXPECT_EQ(java().SetDevicePara(-1, nullptr, java().utf("1")), -1102);
    EXPECT_EQ(java().SetDevicePara(-1, java().utf("HOTPLUG-SUSPEND"), nullptr), -1102);
    EXPECT_EQ(java().DevicePara(-1, java().utf("HOTPLUG-MODE")), "0");
    EXPECT_FALSE(java().thrown.has_value());
}

TEST_F(VkUsbJniTest, ThreadsThrowingAtOnceGetTheirOwnWholeMessages) {
    std::vector<std::string> expected;
    for (const LimitCase& c : kLimits)
        expected.push_back(expectedMessage(c.function, c.line));
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            JNIEnv* env = vktesting::testJniEnv();
            {
                Natives java(env);
                const LimitCase& c = kLimits[static_cast<std::size_t>(t) % std::size(kLimits)];
                for (int i = 0; i < 30; ++i) {
                    LocalFrame frame(env);
                    jstring text =
                        java.utf(std::string(c.limit + 1 + static_cast<std::size_t>(t), '2').c_str());
                    jobject search = java.search(c.mask, text, text, text);
                    if (c.scanAndOpen)
                        java.ScanAndOpen(VKUSB_SCAN_ALL | kFilter, search);
                    else
                        java.Scan(VKUSB_SCAN_ALL | kFilter, search);
                    if (!java.thrown ||
                        java.thrown->message != expected[static_cast<std::size_t>(t) % expected.size()])
                        ++wrong;
                }
            }
            vktesting::testJvm()->DetachCurrentThread();
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}

} // namespace
