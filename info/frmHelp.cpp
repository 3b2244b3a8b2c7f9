#include "info/frmHelp.h"
#include "app/Application.h"
#include "app/Controls.h"
#include "info/RtfReader.h"
#include <QFile>
#include <QFileInfo>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace tamblor {

namespace {
// Anything larger is no help text.
constexpr qint64 MaxHelpBytes = 64 * 1024 * 1024;
} // namespace

frmHelp::frmHelp(Application& app) : Form(app, WindowName::frmHelp)
{
    setWindowTitle("Pendrel Help");
    RichTextBox1 = controls::named(new QTextBrowser(this), "RichTextBox1");
    RichTextBox1->setReadOnly(true);
    RichTextBox1->setOpenLinks(false);
    RichTextBox1->document()->setDocumentMargin(12);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(RichTextBox1);
    resize(680, 560);
    setMinimumSize(320, 240); // a few lines of the guide stay readable
}

void frmHelp::Form_Load()
{
    if (!loadFile(HelpFile))
        app().showMessage(HelpMissing);
}

bool frmHelp::loadFile(const QString& dosPath)
{
    RichTextBox1->clear();
    const QString path = app().drives().toNative(dosPath);
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxHelpBytes)
        return false;
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    RtfReader::read(data, *RichTextBox1->document());
    RichTextBox1->moveCursor(QTextCursor::Start);
    return true;
}

} // namespace tamblor
