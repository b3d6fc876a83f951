#include "tests/support/vm.h"

#include "hosting/vm.h"
#include "tests/support/log_capture.h"
#include "tests/support/vm_paths.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace testsupport {
namespace {

JavaVM* g_vm = nullptr;
JNIEnv* g_mainEnv = nullptr;

std::mutex g_outputMutex;
std::string g_vmOutput;
std::atomic<int> g_jniProblems{0};

int countProblems(const std::string& text) {
    int count = 0;
    for (const char* marker : {"WARNING in native method", "FATAL ERROR in native method"}) {
        for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1)) {
            ++count;
        }
    }
    return count;
}

// Receives everything the VM prints itself, -Xcheck:jni reports included. It is passed on to
// the stream the VM meant, so CTest sees it as well.
jint JNICALL vmPrint(FILE* stream, const char* format, va_list args) {
    char buffer[4096];
    va_list copy;
    va_copy(copy, args);
    int length = vsnprintf(buffer, sizeof buffer, format, copy);
    va_end(copy);
    if (length < 0) {
        return length;
    }
    std::string text(buffer, std::min<size_t>(static_cast<size_t>(length), sizeof buffer - 1));
    {
        std::lock_guard<std::mutex> lock(g_outputMutex);
        int before = countProblems(g_vmOutput);
        g_vmOutput += text;
        g_jniProblems += countProblems(g_vmOutput) - before;
    }
    fputs(text.c_str(), stream);
    return length;
}

// Every test program runs -Xcheck:jni, and any report of it fails the program.
void startVm() {
    hosting::VmSettings settings;
    settings.classPath = kTestClassesPath;
    settings.options = {"-Xcheck:jni", "-Xss1m"};
    settings.print = vmPrint;
    std::string problem;
    g_mainEnv = hosting::startVm(settings, &g_vm, problem);
    if (g_mainEnv == nullptr || !hosting::loadLibrary(g_mainEnv, kLibraryPath, problem)) {
        fprintf(stderr, "%s\n", problem.c_str());
        abort();
    }
}

// Fails the run when -Xcheck:jni reported anything, naming the tests during which it did.
class JniProblemListener : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override { m_before = g_jniProblems.load(); }
    void OnTestEnd(const ::testing::TestInfo& info) override {
        if (g_jniProblems.load() != m_before) {
            fprintf(stderr, "JNI problem reported during %s.%s\n", info.test_suite_name(), info.name());
        }
    }

private:
    int m_before = 0;
};

class JniProblemCheck : public ::testing::Environment {
public:
    void TearDown() override {
        EXPECT_EQ(0, g_jniProblems.load()) << "-Xcheck:jni reported problems:\n" << vmOutput();
    }
};

}  // namespace

JavaVM* vm() {
    return g_vm;
}
JNIEnv* mainEnv() {
    return g_mainEnv;
}

std::string vmOutput() {
    std::lock_guard<std::mutex> lock(g_outputMutex);
    return g_vmOutput;
}

int jniProblemCount() {
    return g_jniProblems.load();
}

jclass findClass(JNIEnv* env, const char* slashedName) {
    jclass found = env->FindClass(slashedName);
    if (found == nullptr) {
        env->ExceptionDescribe();
        env->ExceptionClear();
        ADD_FAILURE() << "class not found: " << slashedName;
    }
    return found;
}

jstring javaString(JNIEnv* env, const std::string& utf8Text) {
    return env->NewStringUTF(utf8Text.c_str());
}

int vmThreadCount(JNIEnv* env) {
    jclass info = findClass(env, "com/kestra/testsupport/VmInfo");
    jmethodID count = env->GetStaticMethodID(info, "threadCount", "()I");
    jint result = env->CallStaticIntMethod(info, count);
    expectNoPendingException(env);
    env->DeleteLocalRef(info);
    return result;
}

void collectGarbage(JNIEnv* env) {
    jclass info = findClass(env, "com/kestra/testsupport/VmInfo");
    jmethodID collect = env->GetStaticMethodID(info, "collectGarbage", "()V");
    env->CallStaticVoidMethod(info, collect);
    expectNoPendingException(env);
    env->DeleteLocalRef(info);
}

void expectNoPendingException(JNIEnv* env) {
    if (env->ExceptionCheck()) {
        env->ExceptionDescribe();
        env->ExceptionClear();
        ADD_FAILURE() << "a Java exception was pending";
    }
}

}  // namespace testsupport

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    testsupport::installLogCapture();
    testsupport::startVm();
    ::testing::UnitTest::GetInstance()->listeners().Append(new testsupport::JniProblemListener);
    ::testing::AddGlobalTestEnvironment(new testsupport::JniProblemCheck);
    int result = RUN_ALL_TESTS();
    // The VM is never destroyed, so its threads still run while exit() tears down static state;
    // -Xcheck:jni's periodic signal check then reads torn-down records and prints spurious
    // "handler modified" warnings (the longer the teardown, e.g. after a large log, the likelier).
    fflush(nullptr);
    _exit(result);
}
