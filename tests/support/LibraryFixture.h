#pragma once
// A program over a fresh root with its sound library (not started), and index records as bytes.
// Header only: it needs the library, which the shared test support does not link.
#include "tests/support/IndexBytes.h"
#include "library/SoundLibrary.h"
#include "tests/support/AppFixture.h"

class LibraryTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        library = std::make_unique<tamblor::SoundLibrary>(*app);
    }
    void TearDown() override
    {
        library.reset();
        AppTest::TearDown();
    }
    QString indexPath() const { return native("C/Tamblor/Schedule.dat"); }
    QByteArray indexBytes() const { return readAllBytes(indexPath()); }

    std::unique_ptr<tamblor::SoundLibrary> library;
};
