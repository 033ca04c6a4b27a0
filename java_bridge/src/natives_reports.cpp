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

// The run of both natives: the module, the data object, the core's record
// (`read`; null: the module's last error), its rows, the report.
template <typename Record, typename Report, typename Group, typename Read>
jobject reportObject(JNIEnv* env, jint handle, const char* function, const char* className,
                     std::span<const RecordRow<Group>> rows, Read read) {
    NativeFrame frame(env, handle, function);
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return nullptr;
    JavaObject object(env, className);
    if (!makeObject(frame, object)) return nullptr;
    const Record* record = read(*module);
    if (record == nullptr) {
        frame.fail(module->GetLastError(), __LINE__);
        return nullptr;
    }
    const Record copy = *record;
    if (!fillRecord(env, object, copy, rows)) return nullptr;
    Report report(module);
    if (!setStringField(env, object.object(), object.type(), "report", report.BuildReport(0xFF)))
        return nullptr;
    return object.release();
}

} // namespace

JNIEXPORT jobject JNICALL Java_de_varek_VkdmKrnReader_ReadReaderInfo(JNIEnv* env, jclass, jint handle,
                                                                     jboolean read) {
    // Without a read, the record of the module's last read (all flags false
    // before the first).
    return reportObject<VKDM_ReaderInfo, VkdmKrnReport_ReaderInfo>(
        env, handle, "VkdmKrnReader_ReadReaderInfo", "de/varek/VkdmKrnReaderInfo", infoRows(),
        [read](VKDM_KRNReaderModule_4J& m) { return read ? m.ReadReaderInfo(1) : m.GetReaderInfo(); });
}

JNIEXPORT jobject JNICALL Java_de_varek_VkdmKrnReader_ReadReaderDiagnostic(JNIEnv* env, jclass, jint handle) {
    return reportObject<VKDM_ReaderDiagnostic, VkdmKrnReport_ReaderDiagnostic>(
        env, handle, "VkdmKrnReader_ReadReaderDiagnostic", "de/varek/VkdmKrnReaderDiagnostic",
        diagnosticRows(), [](VKDM_KRNReaderModule_4J& m) { return m.ReadReaderDiagnostic(1); });
}
