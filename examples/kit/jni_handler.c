/*
 * A library of Java event handlers, as a user builds it outside the tree against
 * the installed kit with pkg-config alone:
 *   cc -shared -fPIC -o libkithandler.so jni_handler.c $(pkg-config --cflags --libs vkkrn-jni)
 * Its native registers a Java object's onLine(int, String) method for the
 * protocol lines of a reader.
 */
#include <vkkrn_jni.h>

JNIEXPORT jint JNICALL Java_KitHandler_register(JNIEnv* env, jclass type, jint reader, jobject listener) {
    (void)type;
    JavaVM* vm = NULL;
    if ((*env)->GetJavaVM(env, &vm) != JNI_OK) return -1;
    jclass listenerClass = (*env)->GetObjectClass(env, listener);
    jmethodID method = (*env)->GetMethodID(env, listenerClass, "onLine", "(ILjava/lang/String;)V");
    if (method == NULL) return -1;
    _VKKRN_INTERNAL_EVENT_INIT record = {0};
    record.uiUse = 1; /* request, reply and error lines */
    record.uiFlag = 101;
    record.jvm = vm;
    record.object = (*env)->NewGlobalRef(env, listener);
    record.method = method;
    return VKKRN_AddEventHandlerEx(reader, &record);
}
