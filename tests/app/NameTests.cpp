// What callers and tests depend on is checked by the compiler: a window is opened or found only
// by one of the window names, a settings record only by its name. A bare text or number, which
// would open nothing or write the wrong record, does not compile.
#include "app/Application.h"
#include "app/Form.h"
#include "core/SettingsFile.h"
#include "tests/support/AppFixture.h"
#include <type_traits>

using namespace tamblor;

namespace {

template <class R>
concept OpensWindowsByText = requires(R& r) { r.show("frmSend"); } || requires(R& r) { r.find("frmSend"); } ||
                             requires(R& r) { r.load("frmSend"); } ||
                             requires(R& r) { r.registerWindow("frmSend", typename R::Factory{}); };
static_assert(!OpensWindowsByText<WindowRegistry>);
static_assert(!std::is_constructible_v<WindowName, const char*>);
static_assert(!std::is_constructible_v<WindowName, QString>);
static_assert(!std::is_constructible_v<Form, Application&, const char*>);

template <class S>
concept AddressesRecordsByNumber = requires(S& s) { s.read(3); } || requires(S& s) { s.write(3); } ||
                                   requires(S& s) { s.write(3, int16_t(0)); } || requires(S& s) { s.holds(3); };
static_assert(!AddressesRecordsByNumber<SettingsFile>);

} // namespace

class NameTest : public AppTest {};

// Each named record lies where the file has always kept it: record n at byte 2(n-1).
TEST_F(NameTest, EachSettingsRecordLiesAtItsPlaceInTheFile)
{
    ASSERT_TRUE(app->start());
    const SettingsRecord records[] = {
        SettingsRecord::PlayDevice,  SettingsRecord::RecordDevice,    SettingsRecord::FormatIndex,
        SettingsRecord::DriveIndex,  SettingsRecord::ChannelMode,     SettingsRecord::RecordStartMode,
        SettingsRecord::VoxThreshold, SettingsRecord::StopDelay,      SettingsRecord::RemoteControl,
        SettingsRecord::Reserved,    SettingsRecord::RecordLevel};
    SettingsFile settings(app->drives());
    settings.open();
    for (SettingsRecord r : records)
        settings.write(r, int16_t(0x0101 * int(r)));
    settings.close();
    const QByteArray bytes = readAllBytes(native("C/Tamblor/MyComp.ini"));
    ASSERT_EQ(bytes.size(), 22);
    for (int n = 1; n <= 11; ++n) {
        EXPECT_EQ(bytes[2 * (n - 1)], char(n)) << "record " << n;
        EXPECT_EQ(bytes[2 * (n - 1) + 1], char(n)) << "record " << n;
    }
}

// A window's object name is the name it is opened by.
TEST_F(NameTest, AWindowIsNamedAsItIsOpened)
{
    ASSERT_TRUE(app->start());
    Form* menu = app->windows().find(WindowName::mnuMenu);
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->objectName(), "mnuMenu");
    app->showMessage("6 Overflow");
    Form* message = app->windows().find(WindowName::frmError);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->objectName(), "frmError");
}
