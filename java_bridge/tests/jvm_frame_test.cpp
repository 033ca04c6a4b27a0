// The bridge from a real JVM: loading, handles, versions, the init lock, the
// exception builders and unloading. The natives are called as Java's static
// methods, so the JVM binds them by name; VkdmKrnReader's initializer loads
// the library through LD_LIBRARY_PATH as an application would.
#include "bridge_call.h"
#include "java_text.h"
#include "jni_frame.h"
#include "registry.h"

#include <krnsim/simulator.h>
#include <vkdm/vkdm_control.h>
#include <vkkrn.h>
#include <vktcl.h>
#include <vktesting/test_jvm.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <thread>

namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::StartsWith;
using vkbridge::callReader;
using vkbridge::I;
using vkbridge::J;
using vkbridge::Outcome;

constexpr int M = 0x10000000;

std::string staticText(int code) {
    char text[256] = {};
    VKDM_Base::GetErrorText(text, code);
    return text;
}

std::string envText(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

class BridgeJvmTest : public ::testing::Test {
  protected:
    JNIEnv* env = vktesting::testJniEnv();

    void SetUp() override {
        ASSERT_NE(env, nullptr);
        VKDM_CTL_SetVersion(nullptr);
        VKDM_CTL_SetDependencyResult(0, nullptr);
    }
    void TearDown() override {
        VKDM_CTL_SetVersion(nullptr);
        VKDM_CTL_SetDependencyResult(0, nullptr);
    }

    int init() {
        Outcome o = callReader(env, "Init", "()I");
        EXPECT_FALSE(o.thrown) << o.thrown->message;
        return o.value.i;
    }
    // Every failure of this file's natives is a VkdmException whose message ends
    // with the native, a line number and the bridge's version.
    // A handle of no kind (0) takes the text of -106.
    static void expectFrameMessage(const vkbridge::Thrown& t, int handle, int code,
                                   const std::string& function) {
        EXPECT_EQ(t.className, "de.varek.VkdmException");
        EXPECT_EQ(t.code, code);
        EXPECT_THAT(t.message, StartsWith("\nError " + std::to_string(code) + " - " +
                                          staticText(handle == 0 ? -106 : code) + "\n"));
        EXPECT_THAT(t.message, MatchesRegex(".*\\(in Function: " + function +
                                            ", Line: [0-9]+\\)\nnative Library Version: 04\\.07\\.0"));
    }
};

// ---- loading ----------------------------------------------------------------

TEST_F(BridgeJvmTest, FirstHandlesAndTheLoggerNatives) {
    EXPECT_EQ(init(), M + 1);
    EXPECT_EQ(init(), M + 2);
    EXPECT_EQ(vkbridge::callStatic(env, "de/varek/VkdmLoggerInternal", "Init", "(J)I", {J(77)}).value.i, 0);
    jstring text = env->NewStringUTF("t");
    struct Row {
        const char* name;
        const char* signature;
        std::vector<jvalue> args;
    };
    const Row rows[] = {
        {"Destroy", "()V", {}},
        {"Trace", "(ILjava/lang/String;)V", {I(1), vkbridge::L(text)}},
        {"TraceWPara",
         "(ILjava/lang/String;Ljava/lang/String;)V",
         {I(1), vkbridge::L(text), vkbridge::L(nullptr)}},
        {"SetProp1", "(Ljava/lang/String;Ljava/lang/String;)V", {vkbridge::L(nullptr), vkbridge::L(text)}},
        {"SetProp2", "(Ljava/lang/String;I)V", {vkbridge::L(text), I(-1)}}};
    for (const Row& row : rows)
        EXPECT_FALSE(
            vkbridge::callStatic(env, "de/varek/VkdmLoggerInternal", row.name, row.signature, row.args)
                .thrown)
            << row.name;
    env->DeleteLocalRef(text);
    EXPECT_EQ(callReader(env, "Destroy", "(I)I", {I(M + 1)}).value.i, 0);
    const Outcome again = callReader(env, "Destroy", "(I)I", {I(M + 1)});
    EXPECT_EQ(again.value.i, -139);
    EXPECT_FALSE(again.thrown);
}

// Whichever class Java touches first loads the library; JNI_OnLoad then
// initialises the other classes, which ask for the library again.
void expectLoadedThrough(JNIEnv* env, const char* first) {
    jclass cls = env->FindClass(first);
    ASSERT_NE(cls, nullptr) << first;
    env->DeleteLocalRef(cls);
    vktesting::expectNoJavaException(env);
}

TEST_F(BridgeJvmTest, LoadedThroughTheUnitClassFirst) {
    expectLoadedThrough(env, "de/varek/VkdmKrnFunctionUnit");
    EXPECT_EQ(init(), M + 1);
}

TEST_F(BridgeJvmTest, LoadedThroughTheLoggerClassFirst) {
    expectLoadedThrough(env, "de/varek/VkdmLoggerInternal");
    EXPECT_EQ(init(), M + 1);
}

// Natives the Java classes declare that later work exports. Each group shrinks
// as its natives land; a name exported while listed here fails.
const std::set<std::string>& pendingNatives() {
    static const std::set<std::string> names = {
#include "pending_natives.inc"
    };
    return names;
}

TEST_F(BridgeJvmTest, DeclaredNativesAreExportedOrPending) {
    ASSERT_FALSE(callReader(env, "Unlock", "()I").thrown); // loads the library
    void* library = ::dlopen("libnubokrn4j.so", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library, nullptr);
    std::set<std::string> declared;
    for (const char* cls :
         {"de.varek.VkdmKrnReader", "de.varek.VkdmKrnFunctionUnit", "de.varek.VkdmLoggerInternal"}) {
        jstring name = env->NewStringUTF(cls);
        const Outcome o =
            vkbridge::callStatic(env, "vkbridge/NativeNames", "of", "(Ljava/lang/String;)[Ljava/lang/String;",
                                 {vkbridge::L(name)});
        env->DeleteLocalRef(name);
        ASSERT_FALSE(o.thrown);
        auto array = static_cast<jobjectArray>(o.value.l);
        for (jsize i = 0; i < env->GetArrayLength(array); ++i) {
            auto s = static_cast<jstring>(env->GetObjectArrayElement(array, i));
            declared.insert(vkbridge::utf8(env, s));
            env->DeleteLocalRef(s);
        }
        env->DeleteLocalRef(array);
    }
    for (const std::string& name : declared) {
        const bool exported = ::dlsym(library, name.c_str()) != nullptr;
        const bool pending = pendingNatives().count(name) != 0;
        EXPECT_NE(exported, pending) << name
                                     << (exported ? " is exported and still pending"
                                                  : " is neither exported nor pending");
    }
    for (const std::string& name : pendingNatives())
        EXPECT_TRUE(declared.count(name)) << name << " is not declared";
    // Every exported native is declared by the Java classes.
    int exports = 0;
    for (const auto& entry : std::filesystem::directory_iterator(envText("VK_NUBOKRN4J_EXPORTS"))) {
        std::ifstream in(entry.path());
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("Java_", 0) != 0) continue;
            ++exports;
            EXPECT_TRUE(declared.count(line)) << line << " is exported but declared by no Java class";
        }
    }
    EXPECT_GT(exports, 0);
    if (pendingNatives().empty()) {
        // Everything is built: every declared native and the two load functions.
        EXPECT_EQ(declared.size(), 140u);
        EXPECT_EQ(exports, static_cast<int>(declared.size()));
        EXPECT_NE(::dlsym(library, "JNI_OnLoad"), nullptr);
        EXPECT_NE(::dlsym(library, "JNI_OnUnload"), nullptr);
    }
    ::dlclose(library);
}

TEST_F(BridgeJvmTest, AJarWithoutTheApduClassIsRefusedAndTheJvmLives) {
    // The JVM closes a refused library and then names it in its event log from
    // the loader's freed record; a reference of our own keeps the record alive.
    void* held = ::dlopen("libnubokrn4j.so", RTLD_NOW);
    ASSERT_NE(held, nullptr) << ::dlerror();
    jstring jar = env->NewStringUTF(envText("VK_JAVA_JAR").c_str());
    jstring entry = env->NewStringUTF("de/varek/VkdmDlqApdu.class");
    jstring cls = env->NewStringUTF("de.varek.VkdmKrnReader");
    const Outcome o =
        vkbridge::callStatic(env, "vkbridge/LoaderProbe", "initialiseWithout",
                             "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)Ljava/lang/Throwable;",
                             {vkbridge::L(jar), vkbridge::L(entry), vkbridge::L(cls)});
    ASSERT_FALSE(o.thrown) << o.thrown->className << o.thrown->message;
    ASSERT_FALSE(o.isNull) << "the library was accepted";
    jclass error = env->FindClass("java/lang/Error");
    EXPECT_TRUE(env->IsInstanceOf(o.value.l, error));
    env->DeleteLocalRef(error);
    env->DeleteLocalRef(o.value.l);
    for (jstring s : {jar, entry, cls})
        env->DeleteLocalRef(s);
    EXPECT_EQ(vkbridge::callStatic(env, "vkbridge/LoaderProbe", "sum", "(II)I", {I(2), I(3)}).value.i, 5);
    ::dlclose(held);
}

TEST_F(BridgeJvmTest, UnloadDeletesTheModulesLeft) {
    ASSERT_FALSE(callReader(env, "Unlock", "()I").thrown); // the JVM's own instance
    // A second instance of the library beside the JVM's: a copy under another name.
    const auto dir = std::filesystem::temp_directory_path() / ("nubokrn4j-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto copy = dir / "libnubokrn4j_copy.so";
    std::filesystem::copy_file(envText("VK_NUBOKRN4J_PATH"), copy,
                               std::filesystem::copy_options::overwrite_existing);
    void* library = ::dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    using OnLoad = jint (*)(JavaVM*, void*);
    using OnUnload = void (*)(JavaVM*, void*);
    using InitNative = jint (*)(JNIEnv*, jclass);
    auto onLoad = reinterpret_cast<OnLoad>(::dlsym(library, "JNI_OnLoad"));
    auto onUnload = reinterpret_cast<OnUnload>(::dlsym(library, "JNI_OnUnload"));
    auto initNative = reinterpret_cast<InitNative>(::dlsym(library, "Java_de_varek_VkdmKrnReader_Init"));
    ASSERT_TRUE(onLoad && onUnload && initNative);
    EXPECT_EQ(onLoad(vktesting::testJvm(), nullptr), 0x00010002);
    const int before = VKDM_CTL_ModuleCount();
    const int handle = initNative(env, nullptr);
    vktesting::expectNoJavaException(env);
    EXPECT_EQ(handle, M + 1);
    EXPECT_EQ(VKDM_CTL_ModuleCount(), before + 1);
    onUnload(vktesting::testJvm(), nullptr);
    EXPECT_EQ(::dlclose(library), 0);
    // The registry's destructor ran at the unload.
    EXPECT_EQ(VKDM_CTL_ModuleCount(), before);
    std::filesystem::remove_all(dir);
}

// ---- Init and versions -------------------------------------------------------

TEST_F(BridgeJvmTest, InitChecksTheCoreVersion) {
    struct Row {
        const char* version;
        bool passes;
    };
    const Row rows[] = {{"4.6.9", false}, {"04.06.99", false}, {"", false},        {"3.99", false},
                        {"4.7.0", true},  {"04.07.0", true},   {"04.07.00", true}, {"5.0.0", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.version);
        VKDM_CTL_SetVersion(row.version);
        const int before = VKDM_CTL_ModuleCount();
        const Outcome o = callReader(env, "Init", "()I");
        if (row.passes) {
            EXPECT_FALSE(o.thrown);
            EXPECT_GT(o.value.i, M);
            EXPECT_EQ(VKDM_CTL_ModuleCount(), before + 1);
            continue;
        }
        EXPECT_EQ(o.value.i, 0);
        ASSERT_TRUE(o.thrown);
        EXPECT_EQ(o.thrown->className, "de.varek.VkdmException");
        EXPECT_EQ(o.thrown->code, -149);
        EXPECT_EQ(o.thrown->message, "\n" + staticText(-149) + "\nVkdmKrnCoreVC60: V" + row.version +
                                         " detected, but at least V04.07.0 expected");
        // The module it made is gone: Java never got its handle.
        EXPECT_EQ(VKDM_CTL_ModuleCount(), before);
    }
}

TEST_F(BridgeJvmTest, VerifyLibVersionFieldByField) {
    const int handle = init();
    struct Row {
        const char* core;
        int major, minor, patch;
        int result;
    };
    const Row rows[] = {
        {"4.7.0", 4, 7, 1, -1},  {"4.7.0", 4, 7, 0, 0},
        {"4.7.0", 4, 6, 99, 0},  {"4.7.0", 3, 99, 99, 0},
        {"4.7.0", 5, 0, 0, -1},  {"4.7.0", 4, 8, -1, -1},
        {"4.7.0", 4, 7, -5, 0},  {"04.07.00", 4, 7, 0, 0},
        {"4", 4, 0, 0, 0},       {"4", 4, 0, 1, -1},
        {"4.x.3", 4, 0, 3, 0},   {"4.7.0.9", 4, 7, 0, 0},
        {"-1.0.0", 0, 0, 0, -1}, {"99999999999.0.0", 2147483647, 0, 0, 0},
    };
    for (const Row& row : rows) {
        VKDM_CTL_SetVersion(row.core);
        const Outcome o = callReader(env, "VerifyLibVersion", "(IIII)I",
                                     {I(handle), I(row.major), I(row.minor), I(row.patch)});
        EXPECT_FALSE(o.thrown);
        EXPECT_EQ(o.value.i, row.result)
            << row.core << " vs " << row.major << "." << row.minor << "." << row.patch;
    }
}

TEST_F(BridgeJvmTest, AFailedDependencyCheckThrowsAndLeavesLiveModulesAlone) {
    const int live = init();
    struct Row {
        int code;
        const char* text;
        std::u16string expected;
    };
    const Row rows[] = {{-134, "libvktcl: not linked\n", u"libvktcl: not linked\n"},
                        // A text that is not UTF-8 reads as ISO 8859-1.
                        {-134, "Bibliothek f\xFCr APDUs fehlt", u"Bibliothek f\u00FCr APDUs fehlt"},
                        {-4001, "reader library", u"reader library"}};
    for (const Row& row : rows) {
        VKDM_CTL_SetDependencyResult(row.code, row.text);
        const int before = VKDM_CTL_ModuleCount();
        const Outcome o = callReader(env, "Init", "()I");
        EXPECT_EQ(o.value.i, 0);
        ASSERT_TRUE(o.thrown);
        EXPECT_EQ(o.thrown->className, "de.varek.VkdmException");
        EXPECT_EQ(o.thrown->code, row.code);
        std::u16string head;
        for (char c : "\n" + staticText(row.code) + "\nnative Library Version: 04.07.0\n\n")
            head.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
        EXPECT_EQ(o.thrown->message16, head + row.expected);
        EXPECT_EQ(VKDM_CTL_ModuleCount(), before);
    }
    VKDM_CTL_SetDependencyResult(0, nullptr);
    EXPECT_FALSE(callReader(env, "GetVkkrnHandle", "(I)I", {I(live)}).thrown);
    EXPECT_GT(init(), live);
}

TEST_F(BridgeJvmTest, VersionTexts) {
    const int handle = init();
    const Outcome version = callReader(env, "GetLibVersion", "(I)Ljava/lang/String;", {I(handle)});
    EXPECT_EQ(version.text, VKDM_Base::GetLibVersion());
    const Outcome lines = callReader(env, "GetDependentLibVersions", "(I)Ljava/lang/String;", {I(handle)});
    EXPECT_EQ(lines.text, VKDM_CTL_FindModule(handle)->GetDependentLibVersions() + "VKDM:  V" +
                              VKDM_Base::GetLibVersion() + " installed\nNUBOKRN4J: V04.07.0 installed\n");
}

TEST_F(BridgeJvmTest, UnlistedHandlesThrow141) {
    const int listed = init();
    struct Row {
        const char* name;
        const char* signature;
        std::vector<jvalue> args;
        bool objectResult;
    };
    for (int handle : {0, listed + 1, 0x20000001, -1}) {
        const Row rows[] = {{"GetLibVersion", "(I)Ljava/lang/String;", {I(handle)}, true},
                            {"VerifyLibVersion", "(IIII)I", {I(handle), I(1), I(0), I(0)}, false},
                            {"GetDependentLibVersions", "(I)Ljava/lang/String;", {I(handle)}, true},
                            {"GetVkkrnHandle", "(I)I", {I(handle)}, false}};
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.name) + " " + std::to_string(handle));
            const Outcome o = callReader(env, row.name, row.signature, row.args);
            ASSERT_TRUE(o.thrown);
            expectFrameMessage(*o.thrown, handle, -141, std::string("VkdmKrnReader_") + row.name);
            if (row.objectResult) {
                EXPECT_TRUE(o.isNull);
            }
        }
    }
}

TEST_F(BridgeJvmTest, ReaderHandleOfAConnectedModuleAndDestroyEndingItsSession) {
    krnsim::Simulator simulator;
    const auto endpoint = simulator.listenTcp();
    const int handle = init();
    VKDM_KRNReaderModule* module = VKDM_CTL_FindModule(handle);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(callReader(env, "GetVkkrnHandle", "(I)I", {I(handle)}).value.i, 0);
    ASSERT_EQ(module->ConnectTCP("127.0.0.1", endpoint.port), 0);
    const Outcome o = callReader(env, "GetVkkrnHandle", "(I)I", {I(handle)});
    EXPECT_FALSE(o.thrown);
    EXPECT_GT(o.value.i, 0);
    EXPECT_EQ(o.value.i, module->GetReaderHnd());
    // A T=CL session of the module, as the APDU natives keep it.
    const int session =
        VKTCL_NewTransponder(module->GetReaderHnd(), module->GetBusAddress(), 0, 0, false, false);
    ASSERT_GT(session, 0);
    static_cast<VKDM_KRNReaderModule_4J*>(module)->m_TclSession = session;
    const int before = VKDM_CTL_ModuleCount();
    // Destroying a connected module deletes its session and disconnects it first.
    EXPECT_EQ(callReader(env, "Destroy", "(I)I", {I(handle)}).value.i, 0);
    EXPECT_EQ(VKDM_CTL_ModuleCount(), before - 1);
    EXPECT_EQ(VKTCL_GetTransponderList(0), -4201);
}

// ---- the init lock -----------------------------------------------------------

int callOnThread(const char* name) {
    JNIEnv* env = vktesting::testJniEnv();
    const int r = callReader(env, name, "()I").value.i;
    vktesting::testJvm()->DetachCurrentThread();
    return r;
}

TEST_F(BridgeJvmTest, LockOnOneThreadUnlockOnAnother) {
    EXPECT_EQ(callReader(env, "Lock", "()I").value.i, 1);
    std::thread([] { EXPECT_EQ(callOnThread("Unlock"), 0); }).join();
    std::thread([] { EXPECT_EQ(callOnThread("Lock"), 1); }).join();
    EXPECT_EQ(callReader(env, "Unlock", "()I").value.i, 0);
}

TEST_F(BridgeJvmTest, UnlockWhenFreeIsHarmless) {
    EXPECT_EQ(callReader(env, "Unlock", "()I").value.i, 0);
    EXPECT_EQ(callReader(env, "Unlock", "()I").value.i, 0);
    EXPECT_EQ(callReader(env, "Lock", "()I").value.i, 1);
    EXPECT_EQ(callReader(env, "Unlock", "()I").value.i, 0);
}

TEST_F(BridgeJvmTest, LockWaitsWhileHeld) {
    EXPECT_EQ(callReader(env, "Lock", "()I").value.i, 1);
    std::atomic<bool> taken{false};
    std::thread waiter([&] {
        EXPECT_EQ(callOnThread("Lock"), 1);
        taken = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(taken.load());
    EXPECT_EQ(callReader(env, "Unlock", "()I").value.i, 0);
    waiter.join();
    EXPECT_TRUE(taken.load());
    EXPECT_EQ(callReader(env, "Unlock", "()I").value.i, 0);
}

// ---- the exception builders, on this program's own copy of the frame -----------

TEST_F(BridgeJvmTest, ExceptionBuildersByHandleKindAndCode) {
    const int module = g_VkdmReaderManager.CreateReaderModule(3);
    const int unit =
        g_VkdmFunctionUnitManager.CreateModule(g_VkdmReaderManager.SearchReaderModule(module), 11);
    enum Source { NoKind, Module, Unit, Static };
    struct HandleRow {
        int handle;
        Source source;
    };
    const HandleRow handles[] = {
        {0, NoKind}, {module, Module}, {unit, Unit}, {module + 9, Static}, {unit + 9, Static}};
    struct CodeRow {
        int code;
        const char* cls; // standard choice; null: nothing thrown
    };
    const CodeRow codes[] = {
        {-1, "VkdmException"},
        {-99, "VkdmException"},
        {-100, "VkdmException"},
        {-999, "VkdmException"},
        {-1000, "VkPortDriverException"},
        {-1099, "VkPortDriverException"},
        {-1100, "VkPortDriverException"},
        {-1199, "VkPortDriverException"},
        {-1200, "VkPortDriverException"},
        {-1299, "VkPortDriverException"},
        {-1300, "VkdmException"},
        {-4000, "VkdmException"},
        {-4001, "VkReaderDriverException"},
        {-4099, "VkReaderDriverException"},
        {-4100, "VkdmException"},
        {0, nullptr},
        {0x84, nullptr},
    };
    auto expectedText = [&](Source source, int code) {
        char text[256] = {};
        switch (source) {
        case NoKind: VKDM_Base::GetErrorText(text, -106); break;
        case Module: g_VkdmReaderManager.SearchReaderModule(module)->GetErrorText(text, code); break;
        case Unit: g_VkdmFunctionUnitManager.SearchModule(unit)->GetErrorText(text, code); break;
        case Static: VKDM_Base::GetErrorText(text, code); break;
        }
        return nubokrn4j::toModifiedUtf8(text);
    };
    for (const HandleRow& h : handles) {
        for (const CodeRow& c : codes) {
            SCOPED_TRACE(std::to_string(h.handle) + " " + std::to_string(c.code));
            nubokrn4j::throwByRange(env, h.handle, c.code, nubokrn4j::kStandardRanges, "Fn(0x01, \"x\")",
                                    321);
            const auto thrown = vkbridge::takeException(env);
            if (c.cls == nullptr) {
                EXPECT_FALSE(thrown);
                continue;
            }
            ASSERT_TRUE(thrown);
            EXPECT_EQ(thrown->className, std::string("de.varek.") + c.cls);
            EXPECT_EQ(thrown->code, c.code);
            EXPECT_EQ(thrown->message,
                      "\nError " + std::to_string(c.code) + " - " + expectedText(h.source, c.code) +
                          "\n(in Function: Fn(0x01, \"x\"), Line: 321)\nnative Library Version: 04.07.0");
        }
    }
    // A status through VkdmException: the status text of the low byte.
    nubokrn4j::ExecuteVkdmException(env, module, 0x184, "F", 9);
    const auto status = vkbridge::takeException(env);
    ASSERT_TRUE(status);
    char text[256] = {};
    g_VkdmReaderManager.SearchReaderModule(module)->GetStatusText(text, 0x84);
    EXPECT_EQ(status->message, "\nStatus 0x184 - " + nubokrn4j::toModifiedUtf8(text) +
                                   "\n(in Function: F, Line: 9)\nnative Library Version: 04.07.0");
    EXPECT_EQ(status->code, 0x184);
    // The two other builders take their class whatever the code.
    nubokrn4j::ExecutePortDriverException(env, 0, -4001, "F", 1);
    EXPECT_EQ(vkbridge::takeException(env)->className, "de.varek.VkPortDriverException");
    nubokrn4j::ExecuteReaderDriverException(env, 0, -1200, "F", 1);
    EXPECT_EQ(vkbridge::takeException(env)->className, "de.varek.VkReaderDriverException");
    g_VkdmFunctionUnitManager.DeleteModule(unit);
    g_VkdmReaderManager.DeleteReaderModule(module);
}

TEST_F(BridgeJvmTest, AUnitWhoseModuleIsGoneThrows141WithItsHandle) {
    const int module = g_VkdmReaderManager.CreateReaderModule(3);
    const int unit =
        g_VkdmFunctionUnitManager.CreateModule(g_VkdmReaderManager.SearchReaderModule(module), 10);
    nubokrn4j::NativeFrame frame(env, unit, "VkdmKrnFunctionUnit_GetFUType");
    EXPECT_NE(frame.unitOnLiveModule(__LINE__), nullptr);
    EXPECT_FALSE(vkbridge::takeException(env));
    ASSERT_EQ(g_VkdmReaderManager.DeleteReaderModule(module), 0);
    EXPECT_EQ(frame.unitOnLiveModule(__LINE__), nullptr);
    const auto thrown = vkbridge::takeException(env);
    ASSERT_TRUE(thrown);
    EXPECT_EQ(thrown->code, -141);
    char text[256] = {};
    g_VkdmFunctionUnitManager.SearchModule(unit)->GetErrorText(text, -141);
    EXPECT_THAT(thrown->message, StartsWith("\nError -141 - " + nubokrn4j::toModifiedUtf8(text) +
                                            "\n(in Function: VkdmKrnFunctionUnit_GetFUType, Line: "));
    g_VkdmFunctionUnitManager.DeleteModule(unit);
}

TEST_F(BridgeJvmTest, GermanReaderTextsKeepTheirUmlauts) {
    const int module = g_VkdmReaderManager.CreateReaderModule(3);
    ASSERT_EQ(VKKRN_SetReaderPara(0, "LANGUAGE", "7"), 0);
    nubokrn4j::throwByRange(env, module, -4003, nubokrn4j::kStandardRanges, "F", 1);
    VKKRN_SetReaderPara(0, "LANGUAGE", "9");
    const auto thrown = vkbridge::takeException(env);
    ASSERT_TRUE(thrown);
    EXPECT_EQ(thrown->className, "de.varek.VkReaderDriverException");
    EXPECT_NE(thrown->message16.find(u"Nicht gen\u00FCgend Programmspeicher"), std::u16string::npos);
    g_VkdmReaderManager.DeleteReaderModule(module);
}

TEST_F(BridgeJvmTest, APendingExceptionIsNeverReplaced) {
    jclass runtime = env->FindClass("java/lang/IllegalStateException");
    env->ThrowNew(runtime, "first");
    env->DeleteLocalRef(runtime);
    EXPECT_EQ(nubokrn4j::ExecuteVkdmException(env, 0, -121, "F", 1), JNI_ERR);
    EXPECT_EQ(nubokrn4j::throwByRange(env, 0, -4001, nubokrn4j::kStandardRanges, "F", 1), JNI_ERR);
    const auto thrown = vkbridge::takeException(env);
    ASSERT_TRUE(thrown);
    EXPECT_EQ(thrown->className, "java.lang.IllegalStateException");
    EXPECT_EQ(thrown->message, "first");
}

// ---- test support ------------------------------------------------------------

TEST_F(BridgeJvmTest, RecordersTakeTheCallbacksTheBridgeCaches) {
    struct Row {
        const char* listenerClass;
        const char* method;
        const char* signature;
        std::vector<jvalue> args;
        const char* recorded;
    };
    jbyteArray bytes = env->NewByteArray(2);
    const jbyte data[2] = {0x01, static_cast<jbyte>(0xA2)};
    env->SetByteArrayRegion(bytes, 0, 2, data);
    jstring text = env->NewStringUTF("port 1");
    const Row rows[] = {
        {"vkbridge/RecordingReader",
         "onVkdmNewTag",
         "(IB)V",
         {I(1), vkbridge::B(static_cast<jbyte>(0xB0))},
         "onVkdmNewTag(1, 0xB0) on main"},
        {"vkbridge/RecordingReader",
         "onVkdmNewNotification",
         "(IB)V",
         {I(0), vkbridge::B(0x22)},
         "onVkdmNewNotification(0, 0x22) on main"},
        {"vkbridge/RecordingReader",
         "onVkdmNewSAMResponse",
         "(I[B)V",
         {I(-4082), vkbridge::L(bytes)},
         "onVkdmNewSAMResponse(-4082, [01A2]) on main"},
        {"vkbridge/RecordingReader",
         "onVkKrnEvent",
         "(ILjava/lang/String;)V",
         {I(2), vkbridge::L(text)},
         "onVkKrnEvent(2, port 1) on main"},
        {"vkbridge/RecordingReader",
         "onVkKrnEvent",
         "(I[B)V",
         {I(4), vkbridge::L(nullptr)},
         "onVkKrnEvent(4, null) on main"},
        {"vkbridge/RecordingApdu",
         "onVkdmApduResponse",
         "(I[B)V",
         {I(0), vkbridge::L(nullptr)},
         "onVkdmApduResponse(0, null) on main"},
        {"vkbridge/RecordingQueue",
         "onVkdmQueueResponse",
         "(IB[B)V",
         {I(0), vkbridge::B(0x22), vkbridge::L(bytes)},
         "onVkdmQueueResponse(0, 0x22, [01A2]) on main"},
    };
    for (const Row& row : rows) {
        jobject listener = vkbridge::newObject(env, row.listenerClass);
        ASSERT_NE(listener, nullptr) << row.listenerClass;
        jclass type = env->GetObjectClass(listener);
        jmethodID method = env->GetMethodID(type, row.method, row.signature);
        ASSERT_NE(method, nullptr) << row.method;
        env->CallVoidMethodA(listener, method, row.args.data());
        vktesting::expectNoJavaException(env);
        EXPECT_THAT(vkbridge::recordedCalls(env, listener, 1, 1000), ::testing::ElementsAre(row.recorded));
        env->DeleteLocalRef(type);
        env->DeleteLocalRef(listener);
    }
    env->DeleteLocalRef(text);
    env->DeleteLocalRef(bytes);
}

// ---- holders -----------------------------------------------------------------

TEST_F(BridgeJvmTest, HoldersGiveBackWhatTheyTook) {
    jintArray ints = env->NewIntArray(3);
    {
        nubokrn4j::IntElements elements(env, ints);
        ASSERT_NE(elements.get(), nullptr);
        EXPECT_EQ(elements.length(), 3);
        elements.get()[1] = 42; // mode 0 copies it back
    }
    jint back[3] = {};
    env->GetIntArrayRegion(ints, 0, 3, back);
    EXPECT_EQ(back[1], 42);
    {
        nubokrn4j::ByteElements none(env, nullptr);
        EXPECT_EQ(none.get(), nullptr);
    }
    jstring text = env->NewStringUTF("Gr\xC3\xBC\xC3\x9F");
    {
        nubokrn4j::UtfChars chars(env, text);
        EXPECT_STREQ(chars.get(), "Gr\xC3\xBC\xC3\x9F");
        nubokrn4j::UtfChars none(env, nullptr);
        EXPECT_EQ(none.get(), nullptr);
    }
    {
        nubokrn4j::LocalFrame frame(env, 200);
        ASSERT_TRUE(frame);
        for (int i = 0; i < 150; ++i)
            env->NewStringUTF("local"); // popped with the frame
    }
    env->DeleteLocalRef(text);
    env->DeleteLocalRef(ints);
    vktesting::expectNoJavaException(env);
}

} // namespace
