#pragma once
// The core with its sound library, as a program without windows has them; index records as bytes.
#include "library/SoundLibrary.h"
#include "tests/support/CoreFixture.h"
#include "tests/support/IndexBytes.h"

// The core with its sound library (not started).
class CoreLibraryTest : public CoreTest {
protected:
    void SetUp() override
    {
        CoreTest::SetUp();
        library = std::make_unique<tamblor::SoundLibrary>(*core);
    }
    void TearDown() override
    {
        library.reset();
        CoreTest::TearDown();
    }
    QString indexPath() const { return native("C/Tamblor/Schedule.dat"); }
    QByteArray indexBytes() const { return readAllBytes(indexPath()); }

    std::unique_ptr<tamblor::SoundLibrary> library;
};
