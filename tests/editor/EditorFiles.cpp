#include "tests/editor/EditorFiles.h"
#include "audio/widgets/Oscope.h"
#include "browse/FileList.h"
#include <QLayout>

namespace edtest {

QByteArray le16(int v)
{
    QByteArray b(2, 0);
    b[0] = char(v & 0xff);
    b[1] = char((v >> 8) & 0xff);
    return b;
}

QByteArray le32(uint32_t v)
{
    QByteArray b(4, 0);
    for (int i = 0; i < 4; ++i)
        b[i] = char((v >> (8 * i)) & 0xff);
    return b;
}

QByteArray wav(int formatTag, int channels, int rate, int bits, const QByteArray& data, int64_t dataSizeField)
{
    const int align = channels * bits / 8;
    QByteArray fmt = le16(formatTag) + le16(channels) + le32(uint32_t(rate)) + le32(uint32_t(rate * align)) +
                     le16(align) + le16(bits);
    QByteArray body = "WAVE";
    body += "fmt " + le32(16) + fmt;
    body += "data" + le32(uint32_t(dataSizeField < 0 ? data.size() : dataSizeField)) + data;
    if (data.size() % 2)
        body += char(0);
    return "RIFF" + le32(uint32_t(body.size())) + body;
}

QByteArray samples16(const std::vector<int16_t>& samples)
{
    QByteArray b;
    b.reserve(int(samples.size() * 2));
    for (int16_t s : samples)
        b += le16(s);
    return b;
}

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
    app->windows().registerWindow("frmEditor", [](tamblor::Application& a) { return new tamblor::frmEditor(a); });
    ASSERT_TRUE(app->start());
    editor = app->windows().show<tamblor::frmEditor>("frmEditor");
    ASSERT_TRUE(editor);
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
