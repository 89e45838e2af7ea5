// The five native methods of quillmere.posewarden.HeadPoseTracker: the library's whole surface.
//
// They share the one tracker context of the process. Java programs call them from more than one
// thread (a UI thread reading the pose while another feeds frames), so one lock serialises them,
// letting callers in by order of arrival so that neither thread starves the other.
// Without a live context (before initTracker, after closeTracker, or after an initTracker that
// failed) every method but initTracker does nothing and updateImage answers false. No C++
// exception and no Java exception raised here reaches the caller.
#include <jni.h>

#include <exception>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>

#include "host/TicketLock.h"
#include "host/TrackerContext.h"

namespace {

struct ContextSlot {
    CTicketLock lock;
    std::unique_ptr<CTrackerContext> context;
    // At process exit another thread may still be inside a method: let it finish, then close the
    // context so that the output files are complete.
    ~ContextSlot() {
        std::lock_guard<CTicketLock> guard(lock);
        context.reset();
    }
};
ContextSlot g_slot;

// Runs body under the lock, keeping any C++ exception on this side of the boundary.
template <typename Body>
void Locked(const char* method, Body body) {
    try {
        std::lock_guard<CTicketLock> guard(g_slot.lock);
        body(g_slot.context);
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

using Context = std::unique_ptr<CTrackerContext>;

}  // namespace

extern "C" {

JNIEXPORT void JNICALL Java_quillmere_posewarden_HeadPoseTracker_initTracker(JNIEnv* env, jobject, jstring configDir) {
    Locked("initTracker", [&](Context& context) {
        context.reset();  // a second initTracker closes the context it replaces
        std::string directory;
        const bool readable = ReadDirectory(env, configDir, directory);
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
    Locked("getHeadPose", [&](Context& context) {
        if (context && pose) FillPose(env, pose, context->GetHeadPose());
    });
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
