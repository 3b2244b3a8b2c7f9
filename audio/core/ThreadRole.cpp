#include "audio/core/ThreadRole.h"
#include <QCoreApplication>
#include <QThread>

namespace tamblor::audio {

namespace {
thread_local ThreadRole role = ThreadRole::Unmarked;
}

ThreadRole currentThreadRole() { return role; }

bool onUiThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

ThreadRoleScope::ThreadRoleScope(ThreadRole newRole) : previous_(role) { role = newRole; }
ThreadRoleScope::~ThreadRoleScope() { role = previous_; }

} // namespace tamblor::audio
