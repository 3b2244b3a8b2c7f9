#pragma once
// The help window: the operator's guide, read from "c:\Program Files\Tamblor\TamblorHelp.rtf".
#include "app/Form.h"

class QTextBrowser;

namespace tamblor {

class frmHelp : public Form {
    Q_OBJECT
public:
    explicit frmHelp(Application& app);

    static constexpr const char* HelpFile = "c:\\Program Files\\Tamblor\\TamblorHelp.rtf";
    static constexpr const char* HelpMissing =
        "The file TamblorHelp.rtf was not found.  It must be installed in C:\\Program Files\\Tamblor folder";

protected:
    void Form_Load() override;

private:
    // Loads the file into the text box; false when it is missing or unreadable.
    bool loadFile(const QString& dosPath);

    QTextBrowser* RichTextBox1;
};

} // namespace tamblor
