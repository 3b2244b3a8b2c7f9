#pragma once
// Which thread runs which code of the audio layer, as asserts instead of comments.
//
// Three kinds of thread touch the audio layer: the user-interface thread (Qt's main thread:
// windows, timers, every public call of a device or player), the device callback (PortAudio's
// thread, or whoever drives the virtual backend: it never blocks, allocates or touches
// widgets), and the workers the layer starts itself (recording writer, file reader, pump).
// The callback and the workers say what they are with a ThreadRoleScope for as long as they
// run; code states its rule with one of the macros below. Debug builds check the rule and stop
// at the first breach; release builds compile the checks away.
#include <cassert>

namespace tamblor::audio {

enum class ThreadRole { Unmarked, DeviceCallback, Worker };

// The role the current thread has declared (Unmarked when none).
ThreadRole currentThreadRole();
// True on the thread the application object lives on (the user-interface thread). True as well
// when no application object exists (a plain tool without an event loop).
bool onUiThread();

// Declares the current thread's role for the lifetime of the scope (nests: the previous role
// is restored).
class ThreadRoleScope {
public:
    explicit ThreadRoleScope(ThreadRole role);
    ~ThreadRoleScope();
    ThreadRoleScope(const ThreadRoleScope&) = delete;
    ThreadRoleScope& operator=(const ThreadRoleScope&) = delete;

private:
    ThreadRole previous_;
};

} // namespace tamblor::audio

// The rules. Each is an assert: it costs nothing in a release build.
#define TAMBLOR_ONLY_UI_THREAD()                                                          \
    assert(::tamblor::audio::onUiThread()                                                 \
           && ::tamblor::audio::currentThreadRole() != ::tamblor::audio::ThreadRole::DeviceCallback \
           && "user-interface thread only")
#define TAMBLOR_ONLY_DEVICE_CALLBACK()                                                   \
    assert(::tamblor::audio::currentThreadRole() == ::tamblor::audio::ThreadRole::DeviceCallback \
           && "device callback only")
#define TAMBLOR_ONLY_WORKER()                                                             \
    assert(::tamblor::audio::currentThreadRole() == ::tamblor::audio::ThreadRole::Worker \
           && "audio worker thread only")
#define TAMBLOR_NOT_DEVICE_CALLBACK()                                                    \
    assert(::tamblor::audio::currentThreadRole() != ::tamblor::audio::ThreadRole::DeviceCallback \
           && "must not run in the device callback")
