#include "app/prefs/frmWebServer.h"
#include "app/Application.h"
#include "app/Controls.h"
#include "platform/Failure.h"
#include "web/WebService.h"
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <arpa/inet.h>
#include <stdexcept>

namespace tamblor {

namespace {

bool isAddress(const QString& text)
{
    const QByteArray a = text.trimmed().toLatin1();
    unsigned char buf[16];
    return inet_pton(AF_INET, a.constData(), buf) == 1 || inet_pton(AF_INET6, a.constData(), buf) == 1;
}

} // namespace

frmWebServer::frmWebServer(Application& app, web::WebService& service) : Form(app, WindowName::frmWebServer), service_(service)
{
    using namespace controls;
    setWindowTitle("Web Server");

    fraServer = frame(this, "fraServer", "Server");
    chkEnabled = checkBox(fraServer, "chkEnabled", "Serve the web pages");
    lblAddress = label(fraServer, "lblAddress", "Address:");
    txtAddress = textBox(fraServer, "txtAddress");
    txtAddress->setToolTip("127.0.0.1 serves this machine only; 0.0.0.0 every network (put a TLS proxy in front)");
    lblPort = label(fraServer, "lblPort", "Port:");
    txtPort = textBox(fraServer, "txtPort");
    lblProxy = label(fraServer, "lblProxy", "Trusted proxy:");
    txtProxy = textBox(fraServer, "txtProxy");
    txtProxy->setToolTip("The address of the reverse proxy whose X-Forwarded-For names the client; empty for none");
    chkViewWithoutToken = checkBox(fraServer, "chkViewWithoutToken", "Pages may be viewed without a token");
    lblState = label(fraServer, "lblState");
    lblState->setWordWrap(true);
    cmdApply = button(fraServer, "cmdApply", "Apply");
    auto* server = new QGridLayout(fraServer);
    server->addWidget(chkEnabled, 0, 0, 1, 2);
    server->addWidget(lblAddress, 1, 0);
    server->addWidget(txtAddress, 1, 1);
    server->addWidget(lblPort, 2, 0);
    server->addWidget(txtPort, 2, 1);
    server->addWidget(lblProxy, 3, 0);
    server->addWidget(txtProxy, 3, 1);
    server->addWidget(chkViewWithoutToken, 4, 0, 1, 2);
    server->addWidget(lblState, 5, 0, 1, 2);
    server->addWidget(cmdApply, 6, 1, Qt::AlignRight);

    fraTokens = frame(this, "fraTokens", "Tokens");
    lstTokens = listBox(fraTokens, "lstTokens");
    lstTokens->setMinimumHeight(lstTokens->fontMetrics().height() * 4 + 8);
    lblName = label(fraTokens, "lblName", "Name:");
    txtName = textBox(fraTokens, "txtName");
    lblRole = label(fraTokens, "lblRole", "Role:");
    cboRole = named(new QComboBox(fraTokens), "cboRole");
    cboRole->addItems({"viewer", "operator"});
    lblDays = label(fraTokens, "lblDays", "Valid for days:");
    txtDays = textBox(fraTokens, "txtDays");
    cmdMakeToken = button(fraTokens, "cmdMakeToken", "Make Token");
    cmdRevoke = button(fraTokens, "cmdRevoke", "Revoke");
    lblNewToken = label(fraTokens, "lblNewToken", "New token (shown once):");
    txtNewToken = textBox(fraTokens, "txtNewToken");
    txtNewToken->setReadOnly(true);
    txtNewToken->setMinimumWidth(txtNewToken->fontMetrics().horizontalAdvance(QString(64, '0')) + 12);
    auto* tokens = new QGridLayout(fraTokens);
    tokens->addWidget(lstTokens, 0, 0, 1, 4);
    tokens->addWidget(cmdRevoke, 1, 3, Qt::AlignRight);
    tokens->addWidget(lblName, 2, 0);
    tokens->addWidget(txtName, 2, 1, 1, 3);
    tokens->addWidget(lblRole, 3, 0);
    tokens->addWidget(cboRole, 3, 1);
    tokens->addWidget(lblDays, 3, 2);
    tokens->addWidget(txtDays, 3, 3);
    tokens->addWidget(cmdMakeToken, 4, 3, Qt::AlignRight);
    tokens->addWidget(lblNewToken, 5, 0, 1, 4);
    tokens->addWidget(txtNewToken, 6, 0, 1, 4);

    cmdClose = button(this, "cmdClose", "Close");
    auto* all = new QVBoxLayout(this);
    all->addWidget(fraServer);
    all->addWidget(fraTokens, 1);
    all->addWidget(cmdClose, 0, Qt::AlignRight);

    connect(cmdApply, &QPushButton::clicked, this, &frmWebServer::cmdApply_Click);
    connect(cmdMakeToken, &QPushButton::clicked, this, &frmWebServer::cmdMakeToken_Click);
    connect(cmdRevoke, &QPushButton::clicked, this, &frmWebServer::cmdRevoke_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmWebServer::cmdClose_Click);
    connect(&service_, &web::WebService::runningChanged, this, &frmWebServer::showState);
    connect(&service_.tokens(), &web::TokenStore::changed, this, &frmWebServer::listTokens);
}

void frmWebServer::Form_Load()
{
    show(ProgramSettings(app().drives()).web());
    txtDays->setText(QString::number(DefaultDays));
    listTokens();
    showState();
}

void frmWebServer::show(const WebPreferences& p)
{
    chkEnabled->setChecked(p.enabled);
    txtAddress->setText(p.address);
    txtPort->setText(QString::number(p.port));
    txtProxy->setText(p.trustedProxy);
    chkViewWithoutToken->setChecked(p.viewWithoutToken);
}

void frmWebServer::showState()
{
    if (service_.isRunning())
        lblState->setText(QString("Serving on http://%1:%2/")
                              .arg(txtAddress->text().contains(':') ? "[" + txtAddress->text() + "]" : txtAddress->text())
                              .arg(service_.port()));
    else if (!service_.lastError().isEmpty())
        lblState->setText("Not serving: " + service_.lastError() + ".");
    else
        lblState->setText("Not serving.");
}

std::optional<WebPreferences> frmWebServer::fromBoxes()
{
    WebPreferences p;
    p.enabled = chkEnabled->isChecked();
    p.address = txtAddress->text().trimmed();
    p.trustedProxy = txtProxy->text().trimmed();
    p.viewWithoutToken = chkViewWithoutToken->isChecked();
    bool ok = false;
    p.port = txtPort->text().trimmed().toInt(&ok);
    if (!isAddress(p.address)) {
        lblState->setText(QString("\"%1\" is not an address.").arg(p.address));
        txtAddress->setFocus();
        return std::nullopt;
    }
    if (!ok || p.port < WebPreferences::kPortLowest || p.port > WebPreferences::kPortHighest) {
        lblState->setText("The port is a number from 0 to 65535.");
        txtPort->setFocus();
        return std::nullopt;
    }
    if (!p.trustedProxy.isEmpty() && !isAddress(p.trustedProxy)) {
        lblState->setText(QString("\"%1\" is not an address.").arg(p.trustedProxy));
        txtProxy->setFocus();
        return std::nullopt;
    }
    return p;
}

void frmWebServer::cmdApply_Click()
{
    const auto p = fromBoxes();
    if (!p)
        return;
    try {
        ProgramSettings(app().drives()).setWeb(*p);
    } catch (const Failure& f) {
        lblState->setText("The settings could not be stored: " + f.text() + ".");
        return;
    }
    service_.applySettings();
    showState();
}

void frmWebServer::listTokens()
{
    lstTokens->clear();
    tokens_ = service_.tokens().all();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (const web::TokenRecord& t : tokens_) {
        const QString state = t.revoked ? "revoked" : !t.validAt(now) ? "expired" : "valid";
        lstTokens->addItem(QString("%1 - %2 - until %3 - %4")
                               .arg(t.name, web::roleText(t.role),
                                    QDateTime::fromMSecsSinceEpoch(t.expiresAtMs).toString("yyyy-MM-dd HH:mm"), state));
    }
    cmdRevoke->setEnabled(!tokens_.empty());
}

void frmWebServer::cmdMakeToken_Click()
{
    const QString name = txtName->text().trimmed();
    bool ok = false;
    const int days = txtDays->text().trimmed().toInt(&ok);
    if (name.isEmpty()) {
        lblNewToken->setText("A token needs the name of whom it is for.");
        txtName->setFocus();
        return;
    }
    if (!ok || days < 1 || days > 3650) {
        lblNewToken->setText("A token is valid for 1 to 3650 days.");
        txtDays->setFocus();
        return;
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const web::Role role = cboRole->currentIndex() == 1 ? web::Role::Operator : web::Role::Viewer;
    try {
        const auto made = service_.tokens().make(name, role, now, now + qint64(days) * 24 * 3600 * 1000);
        txtNewToken->setText(QString::fromLatin1(made.token));
        txtNewToken->selectAll();
        lblNewToken->setText(QString("New token for %1 (shown once: copy it now):").arg(name));
        txtName->clear();
    } catch (const Failure& f) {
        lblNewToken->setText("No token was made: " + f.text() + ".");
    } catch (const std::runtime_error& e) {
        lblNewToken->setText(QString("No token was made: %1.").arg(e.what()));
    }
}

void frmWebServer::cmdRevoke_Click()
{
    const int row = lstTokens->currentRow();
    if (row < 0 || row >= int(tokens_.size()))
        return;
    try {
        service_.tokens().revoke(tokens_[size_t(row)].id);
    } catch (const Failure& f) {
        lblNewToken->setText("The token could not be revoked: " + f.text() + ".");
    }
}

void frmWebServer::cmdClose_Click()
{
    close();
}

} // namespace tamblor
