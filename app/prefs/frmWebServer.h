#pragma once
// "Web Server": switches the web pages on and off and says where they are served, sets the
// address and port they listen on, the reverse proxy whose X-Forwarded-For is trusted and
// whether the pages may be viewed without a token (all kept in Tamblor.ini; Apply stores them
// and the server follows at once); makes a token for a person or a script (shown here once, only
// its hash is kept), and lists and revokes the tokens.
#include "app/Form.h"
#include "core/ProgramSettings.h"
#include "web/TokenStore.h"
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tamblor {

namespace web {
class WebService;
}

class frmWebServer : public Form {
    Q_OBJECT
public:
    static constexpr int DefaultDays = 365;

    frmWebServer(Application& app, web::WebService& service);

    void cmdApply_Click();
    void cmdMakeToken_Click();
    void cmdRevoke_Click();
    void cmdClose_Click();

protected:
    void Form_Load() override;

private:
    // The settings as the boxes hold them; nullopt (and the reason shown) when one is wrong.
    std::optional<WebPreferences> fromBoxes();
    void show(const WebPreferences& p);
    void showState();
    void listTokens();

    web::WebService& service_;
    std::vector<web::TokenRecord> tokens_;

    QGroupBox* fraServer;
    QCheckBox* chkEnabled;
    QLabel* lblAddress;
    QLineEdit* txtAddress;
    QLabel* lblPort;
    QLineEdit* txtPort;
    QLabel* lblProxy;
    QLineEdit* txtProxy;
    QCheckBox* chkViewWithoutToken;
    QLabel* lblState;
    QPushButton* cmdApply;

    QGroupBox* fraTokens;
    QListWidget* lstTokens;
    QLabel* lblName;
    QLineEdit* txtName;
    QLabel* lblRole;
    QComboBox* cboRole;
    QLabel* lblDays;
    QLineEdit* txtDays;
    QPushButton* cmdMakeToken;
    QPushButton* cmdRevoke;
    QLabel* lblNewToken;
    QLineEdit* txtNewToken;

    QPushButton* cmdClose;
};

} // namespace tamblor
