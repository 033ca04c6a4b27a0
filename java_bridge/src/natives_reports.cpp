// ReadReaderInfo and ReadReaderDiagnostic: the core's information and
// diagnostic records as new Java objects, filled row by row (report_rules) and
// completed with the core's printable report.
#include "java_fields.h"
#include "jni_frame.h"
#include "report_rules.h"

#include <de_varek_VkdmKrnReader.h>

using namespace nubokrn4j;

namespace {

// Sets the rows whose group the record has, in order; false with the JVM's
// exception pending (a field the class lacks included).
template <typename Record, typename Group>
bool fillRecord(JNIEnv* env, const JavaObject& target, const Record& record,
                std::span<const RecordRow<Group>> rows) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&record);
    for (const RecordRow<Group>& row : rows) {
        if (!groupSet(record, row.group)) continue;
        const std::uint8_t* at = bytes + row.offset;
        const std::size_t count = static_cast<std::size_t>(row.count);
        jobject object = target.object();
        jclass type = target.type();
        bool stored = false;
        switch (row.value) {
        case RowValue::Flag: stored = setBooleanField(env, object, type, row.field, *at != 0); break;
        case RowValue::Byte: stored = setByteField(env, object, type, row.field, *at); break;
        case RowValue::Bytes: stored = setBytesField(env, object, type, row.field, {at, count}); break;
        case RowValue::PeopleCounter:
            stored = setByteField(
                env, object, type, row.field,
                static_cast<std::uint8_t>(peopleCounterCount(std::span<const std::uint8_t, 6>(at, 6))));
            break;
        case RowValue::FirmwareText:
            stored = setStringField(env, object, type, row.field, boundedText(at, count));
            break;
        }
        if (!stored) return false;
    }
    return true;
}

// The data object of `className`, made before the core is asked; empty after
// an exception (-121 of its own when the JVM raised none).
bool makeObject(NativeFrame& frame, JavaObject& object) {
    if (object.findClass() && object.construct("()V")) return true;
    if (!frame.pending()) frame.fail(kNullArgument, __LINE__);
    return false;
}

} // namespace

JNIEXPORT jobject JNICALL Java_de_varek_VkdmKrnReader_ReadReaderInfo(JNIEnv* env, jclass, jint handle,
                                                                     jboolean read) {
    NativeFrame frame(env, handle, "VkdmKrnReader_ReadReaderInfo");
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return nullptr;
    JavaObject info(env, "de/varek/VkdmKrnReaderInfo");
    if (!makeObject(frame, info)) return nullptr;
    // Without a read, the record of the module's last read (all flags false
    // before the first).
    const VKDM_ReaderInfo* record = read ? module->ReadReaderInfo(1) : module->GetReaderInfo();
    if (record == nullptr) {
        frame.fail(module->GetLastError(), __LINE__);
        return nullptr;
    }
    const VKDM_ReaderInfo copy = *record;
    if (!fillRecord(env, info, copy, infoRows())) return nullptr;
    VkdmKrnReport_ReaderInfo report(module);
    if (!setStringField(env, info.object(), info.type(), "report", report.BuildReport(0xFF))) return nullptr;
    return info.release();
}

JNIEXPORT jobject JNICALL Java_de_varek_VkdmKrnReader_ReadReaderDiagnostic(JNIEnv* env, jclass, jint handle) {
    NativeFrame frame(env, handle, "VkdmKrnReader_ReadReaderDiagnostic");
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return nullptr;
    JavaObject diagnostic(env, "de/varek/VkdmKrnReaderDiagnostic");
    if (!makeObject(frame, diagnostic)) return nullptr;
    const VKDM_ReaderDiagnostic* record = module->ReadReaderDiagnostic(1);
    if (record == nullptr) {
        frame.fail(module->GetLastError(), __LINE__);
        return nullptr;
    }
    const VKDM_ReaderDiagnostic copy = *record;
    if (!fillRecord(env, diagnostic, copy, diagnosticRows())) return nullptr;
    VkdmKrnReport_ReaderDiagnostic report(module);
    if (!setStringField(env, diagnostic.object(), diagnostic.type(), "report", report.BuildReport(0xFF)))
        return nullptr;
    return diagnostic.release();
}
