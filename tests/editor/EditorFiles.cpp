#include "tests/editor/EditorFiles.h"
#include "audio/widgets/Oscope.h"
#include "browse/FileList.h"
#include <QTimer>
#include <QLayout>

namespace edtest {

QByteArray pattern(int64_t size)
{
    QByteArray b(qsizetype(size), 0);
    for (qsizetype i = 0; i < b.size(); ++i)
        b[i] = char((i * 7 + i / 256) & 0xff);
    return b;
}

} // namespace edtest

void EditorTest::SetUp()
{
    AppTest::SetUp();
    app->windows().registerWindow(tamblor::WindowName::frmEditor, [](tamblor::Application& a) { return new tamblor::frmEditor(a); });
    ASSERT_TRUE(app->start());
    editor = app->windows().show<tamblor::frmEditor>(tamblor::WindowName::frmEditor);
    ASSERT_TRUE(editor);
    // The 25 ms timer starts and stops as the editor says, but its ticks are run by the tests,
    // one by one: a real tick while a test waits for the player (which runs events) would move
    // the locator between the test's own ticks.
    editor->Timer1->blockSignals(true);
}

QString EditorTest::put(const QString& name, const QByteArray& bytes)
{
    const QString path = native("C/Tamblor/" + name);
    writeAllBytes(path, bytes);
    editor->File1->refresh();
    return path;
}

void EditorTest::load(const QString& name)
{
    editor->File1->refresh();
    ASSERT_TRUE(editor->File1->select(name)) << name.toStdString();
    editor->LoadChosenFile();
}

void EditorTest::setColumns(int columns)
{
    editor->Oscope->setFixedWidth(columns);
    editor->layout()->activate();
}
