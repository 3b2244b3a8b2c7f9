// The thread rules of the audio layer: roles are per thread, nest, and a breach stops a debug
// build at once.
#include "audio/core/ThreadRole.h"
#include <gtest/gtest.h>
#include <thread>

using namespace tamblor::audio;

TEST(ThreadRole, RolesArePerThreadAndNest)
{
    EXPECT_TRUE(onUiThread());
    EXPECT_EQ(currentThreadRole(), ThreadRole::Unmarked);
    ThreadRole seenInWorker = ThreadRole::Unmarked;
    ThreadRole seenInCallback = ThreadRole::Unmarked;
    ThreadRole seenAfterCallback = ThreadRole::Unmarked;
    bool workerOnUi = true;
    std::thread worker([&] {
        ThreadRoleScope scope(ThreadRole::Worker);
        seenInWorker = currentThreadRole();
        workerOnUi = onUiThread();
        {
            ThreadRoleScope inner(ThreadRole::DeviceCallback); // a stepped backend driven here
            seenInCallback = currentThreadRole();
        }
        seenAfterCallback = currentThreadRole();
    });
    worker.join();
    EXPECT_EQ(seenInWorker, ThreadRole::Worker);
    EXPECT_FALSE(workerOnUi);
    EXPECT_EQ(seenInCallback, ThreadRole::DeviceCallback);
    EXPECT_EQ(seenAfterCallback, ThreadRole::Worker);
    EXPECT_EQ(currentThreadRole(), ThreadRole::Unmarked); // the main thread never took a role
}

#ifndef NDEBUG
TEST(ThreadRoleDeathTest, ABreachStopsADebugBuild)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(std::thread([] { TAMBLOR_ONLY_UI_THREAD(); }).join(), "user-interface thread only");
    EXPECT_DEATH(TAMBLOR_ONLY_WORKER(), "audio worker thread only");
    EXPECT_DEATH(
        {
            ThreadRoleScope callback(ThreadRole::DeviceCallback);
            TAMBLOR_NOT_DEVICE_CALLBACK();
        },
        "must not run in the device callback");
}
#endif
