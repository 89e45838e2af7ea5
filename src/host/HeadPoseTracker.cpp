// The native methods of quillmere.posewarden.HeadPoseTracker: the library's whole surface.
//
// They share the one tracker context of the process. Java programs call them from more than one
// thread (a UI thread reading the pose while another feeds frames), so one lock serialises them,
// letting callers in by order of arrival so that neither thread starves the other.
// Without a live context (before initTracker, after closeTracker, or after an initTracker that
// failed) every method but initTracker does nothing and updateImage answers false. No C++
// exception and no Java exception raised here reaches the caller.
//
// No JNI function is called while the lock is held: at exit the JVM freezes a thread inside any
// JNI call, and a frozen thread holding the lock would keep the process from ending. At exit the
// context is closed (its output files completed) when the lock comes free within a few seconds;
// otherwise it is left as it is, and the process ends all the same.
#include <jni.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "host/TicketLock.h"
#include "host/TrackerContext.h"

namespace {

struct ContextSlot {
    CTicketLock lock;
    std::unique_ptr<CTrackerContext> context;
    // Set when the process exits: calls from then on do nothing.
    std::atomic<bool> exiting{false};
};
// Never destroyed: threads may still wait for the lock while the process exits.
ContextSlot* const g_slot = new ContextSlot;

// Longest wait at exit for a call in progress to finish.
constexpr std::chrono::seconds kExitWait{3};

struct ExitCleanup {
    ~ExitCleanup() {
        g_slot->exiting = true;
        const auto deadline = std::chrono::steady_clock::now() + kExitWait;
        // New callers turn back now, so the queue drains and the lock comes free.
        while (!g_slot->lock.try_lock()) {
            if (std::chrono::steady_clock::now() >= deadline) {
                std::fputs("Vantorel: exiting during a tracker call; the tracker is left open\n", stderr);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        g_slot->context.reset();
        // The lock is kept: nothing may reach the context's parts while the process's statics go.
    }
};
ExitCleanup g_exitCleanup;

using Context = std::unique_ptr<CTrackerContext>;

// Runs body under the lock, keeping any C++ exception on this side of the boundary.
template <typename Body>
void Locked(const char* method, Body body) {
    if (g_slot->exiting) return;
    try {
        std::lock_guard<CTicketLock> guard(g_slot->lock);
        body(g_slot->context);
    } catch (const std::exception& error) {
        std::cerr << "Vantorel: " << method << " failed: " << error.what() << std::endl;
    } catch (...) {
        std::cerr << "Vantorel: " << method << " failed" << std::endl;
    }
}

void ClearPendingException(JNIEnv* env) {
    if (env->ExceptionCheck()) env->ExceptionClear();
}

// False when the string is null or cannot be read: the caller then treats the directory as one
// whose files do not open.
bool ReadDirectory(JNIEnv* env, jstring configDir, std::string& directory) {
    if (!configDir) return false;
    const char* characters = env->GetStringUTFChars(configDir, nullptr);
    if (!characters) {
        ClearPendingException(env);
        return false;
    }
    directory = characters;
    env->ReleaseStringUTFChars(configDir, characters);
    return true;
}

// Fields the pose's class lacks (or holds under another type, or as static fields) are skipped.
void FillPose(JNIEnv* env, jobject pose, const std::array<double, CTrackerContext::kPoseValueCount>& values) {
    jclass poseClass = env->GetObjectClass(pose);
    if (!poseClass) {
        ClearPendingException(env);
        return;
    }
    for (int k = 0; k < CTrackerContext::kPoseValueCount; ++k) {
        const jfieldID field = env->GetFieldID(poseClass, CTrackerContext::kPoseFieldNames[k], "D");
        if (!field) {
            ClearPendingException(env);  // NoSuchFieldError
            continue;
        }
        env->SetDoubleField(pose, field, values[k]);
    }
    env->DeleteLocalRef(poseClass);
}

}  // namespace

extern "C" {

JNIEXPORT void JNICALL Java_quillmere_posewarden_HeadPoseTracker_initTracker(JNIEnv* env, jobject, jstring configDir) {
    std::string directory;
    bool readable = false;
    try {
        readable = ReadDirectory(env, configDir, directory);
    } catch (...) {
        readable = false;
    }
    Locked("initTracker", [&](Context& context) {
        context.reset();  // a second initTracker closes the context it replaces
        context = std::make_unique<CTrackerContext>(readable ? directory.c_str() : nullptr);
    });
}

JNIEXPORT jboolean JNICALL Java_quillmere_posewarden_HeadPoseTracker_updateImage(JNIEnv*, jobject) {
    bool tracking = false;
    Locked("updateImage", [&](Context& context) {
        if (context) tracking = context->Update();
    });
    return tracking ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT void JNICALL Java_quillmere_posewarden_HeadPoseTracker_getHeadPose(JNIEnv* env, jobject, jobject pose) {
    if (!pose) return;
    std::array<double, CTrackerContext::kPoseValueCount> values{};
    bool live = false;
    Locked("getHeadPose", [&](Context& context) {
        if (!context) return;
        values = context->GetHeadPose();
        live = true;
    });
    if (live) FillPose(env, pose, values);
}

JNIEXPORT jboolean JNICALL Java_quillmere_posewarden_HeadPoseTracker_hasNewFrame(JNIEnv*, jobject) {
    bool fresh = false;
    Locked("hasNewFrame", [&](Context& context) {
        if (context) fresh = context->HasNewFrame();
    });
    return fresh ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT void JNICALL Java_quillmere_posewarden_HeadPoseTracker_reacquireImage(JNIEnv*, jobject) {
    Locked("reacquireImage", [&](Context& context) {
        if (context) context->Reacquire();
    });
}

JNIEXPORT void JNICALL Java_quillmere_posewarden_HeadPoseTracker_closeTracker(JNIEnv*, jobject) {
    Locked("closeTracker", [&](Context& context) { context.reset(); });
}

}  // extern "C"
