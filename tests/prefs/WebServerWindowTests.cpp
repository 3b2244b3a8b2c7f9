// "Web Server": the settings stored in Tamblor.ini and followed by the server at once, wrong
// values refused with the reason, a token made and shown once, listed and revoked.
#include "app/Application.h"
#include "app/prefs/frmWebServer.h"
#include "core/ProgramSettings.h"
#include "studio/Studio.h"
#include "tests/support/AppFixture.h"
#include "web/AccessToken.h"
#include "web/WebService.h"
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

using namespace tamblor;

class WebServerWindowTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        studio = std::make_unique<Studio>(*app);
        studio->setTimerRunning(false);
        service = std::make_unique<web::WebService>(*app, *studio);
        app->windows().registerWindow(WindowName::frmWebServer,
                                      [this](Application& a) { return new frmWebServer(a, *service); });
        ASSERT_TRUE(app->start());
        window = qobject_cast<frmWebServer*>(app->windows().show(WindowName::frmWebServer));
        ASSERT_TRUE(window);
    }
    void TearDown() override
    {
        app->windows().destroyAll();
        service.reset();
        studio.reset();
        AppTest::TearDown();
    }
    template <class T> T* child(const char* name) { return window->findChild<T*>(name); }
    void click(const char* name) { child<QPushButton>(name)->click(); }

    std::unique_ptr<Studio> studio;
    std::unique_ptr<web::WebService> service;
    frmWebServer* window = nullptr;
};

TEST_F(WebServerWindowTest, ApplyStoresTheSettingsAndTheServerFollowsAtOnce)
{
    EXPECT_FALSE(child<QCheckBox>("chkEnabled")->isChecked()) << "off until switched on";
    EXPECT_EQ(child<QLineEdit>("txtAddress")->text(), "127.0.0.1");
    EXPECT_EQ(child<QLabel>("lblState")->text(), "Not serving.");

    child<QCheckBox>("chkEnabled")->setChecked(true);
    child<QLineEdit>("txtPort")->setText("70000");
    click("cmdApply");
    EXPECT_EQ(child<QLabel>("lblState")->text(), "The port is a number from 0 to 65535.");
    EXPECT_FALSE(service->isRunning());
    child<QLineEdit>("txtPort")->setText("0");
    child<QLineEdit>("txtProxy")->setText("proxy.example");
    click("cmdApply");
    EXPECT_EQ(child<QLabel>("lblState")->text(), "\"proxy.example\" is not an address.");
    EXPECT_FALSE(ProgramSettings(app->drives()).web().enabled) << "nothing stored";

    child<QLineEdit>("txtProxy")->setText("127.0.0.1");
    child<QCheckBox>("chkViewWithoutToken")->setChecked(true);
    click("cmdApply");
    ASSERT_TRUE(service->isRunning()) << service->lastError().toStdString();
    EXPECT_EQ(child<QLabel>("lblState")->text(), QString("Serving on http://127.0.0.1:%1/").arg(service->port()));
    const WebPreferences stored = ProgramSettings(app->drives()).web();
    EXPECT_TRUE(stored.enabled);
    EXPECT_EQ(stored.port, 0);
    EXPECT_EQ(stored.trustedProxy, "127.0.0.1");
    EXPECT_TRUE(stored.viewWithoutToken);
    EXPECT_TRUE(service->router().settings().viewWithoutToken);

    child<QCheckBox>("chkEnabled")->setChecked(false);
    click("cmdApply");
    EXPECT_FALSE(service->isRunning());
    EXPECT_EQ(child<QLabel>("lblState")->text(), "Not serving.");
}

TEST_F(WebServerWindowTest, ATokenIsShownOnceListedAndRevoked)
{
    click("cmdMakeToken");
    EXPECT_EQ(child<QLabel>("lblNewToken")->text(), "A token needs the name of whom it is for.");
    child<QLineEdit>("txtName")->setText("Studio monitor");
    child<QComboBox>("cboRole")->setCurrentIndex(1);
    child<QLineEdit>("txtDays")->setText("30");
    click("cmdMakeToken");
    const QString token = child<QLineEdit>("txtNewToken")->text();
    EXPECT_TRUE(web::AccessToken::isWellFormed(token.toLatin1())) << token.toStdString();
    EXPECT_TRUE(child<QLineEdit>("txtNewToken")->isReadOnly());
    const auto all = service->tokens().all();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].hash, web::AccessToken::hashOf(token.toLatin1()));
    EXPECT_EQ(all[0].role, web::Role::Operator);
    EXPECT_NEAR(double(all[0].expiresAtMs - all[0].createdAtMs), 30.0 * 24 * 3600 * 1000, 1.0);
    auto* list = child<QListWidget>("lstTokens");
    ASSERT_EQ(list->count(), 1);
    EXPECT_TRUE(list->item(0)->text().startsWith("Studio monitor - operator - until "));
    EXPECT_TRUE(list->item(0)->text().endsWith(" - valid"));

    list->setCurrentRow(0);
    click("cmdRevoke");
    EXPECT_TRUE(service->tokens().all()[0].revoked);
    EXPECT_TRUE(list->item(0)->text().endsWith(" - revoked"));
}
