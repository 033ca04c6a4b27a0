// The test process's Java virtual machine: created on first use with
// -Xcheck:jni and the class path from VK_TEST_CLASSPATH, never destroyed (a
// process can create only one).
#ifndef VKTESTING_TEST_JVM_H
#define VKTESTING_TEST_JVM_H

#include <jni.h>

namespace vktesting {

// The process's JVM; the calling thread is attached.
JavaVM* testJvm();

// The JNIEnv of the calling thread, attaching it when needed.
JNIEnv* testJniEnv();

// Fails the current test when a Java exception is pending (and clears it).
void expectNoJavaException(JNIEnv* env);

} // namespace vktesting

#endif
