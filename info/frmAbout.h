#pragma once
// The about window: the program's title, version and description, and a button that starts
// the system's information tool.
#include "app/Form.h"
#include "platform/Registry.h"

class QLabel;
class QPushButton;

namespace tamblor {

class frmAbout : public Form {
    Q_OBJECT
public:
    explicit frmAbout(Application& app);

    static constexpr const char* SysInfoUnavailable = "System Information Is Unavailable At This Time";

    void cmdOK_Click();
    void cmdSysInfo_Click();
    // Finds the system information tool in the registry and starts it; tells the operator
    // when there is none or it would not start.
    void StartSysInfo();
    // Reads one registry value into KeyVal as text: text values without their terminating
    // zero, 32-bit numbers in hexadecimal. False (and KeyVal empty) when the key or value is
    // missing, larger than 1024 characters or of another type.
    bool GetKeyValue(RegistryRoot KeyRoot, const QString& KeyName, const QString& SubKeyRef, QString& KeyVal);

    // "Version 1.0.0" from the build's version numbers.
    static QString versionText();

protected:
    void Form_Load() override;

private:
    // A path the registry gives: a drive-letter path goes through the drive map, anything
    // else is already native.
    QString nativePath(const QString& path) const;

    QLabel* picIcon;
    QLabel* lblTitle;
    QLabel* lblVersion;
    QLabel* lblDescription;
    QPushButton* cmdOK;
    QPushButton* cmdSysInfo;
};

} // namespace tamblor
