#include "app/PromptService.h"
#include <QFileDialog>

namespace tamblor {

QMessageBox::StandardButton DialogPromptService::message(QWidget* parent, const QString& title,
                                                         const QString& text,
                                                         QMessageBox::StandardButtons buttons,
                                                         QMessageBox::Icon icon)
{
    QMessageBox box(icon, title, text, buttons, parent);
    return QMessageBox::StandardButton(box.exec());
}

QString DialogPromptService::openFileName(QWidget* parent, const QString& title, const QString& folder,
                                          const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, title, folder, filter);
}

QString DialogPromptService::saveFileName(QWidget* parent, const QString& title, const QString& offered,
                                          const QString& filter)
{
    return QFileDialog::getSaveFileName(parent, title, offered, filter);
}

QMessageBox::StandardButton ScriptedPromptService::message(QWidget*, const QString& title, const QString& text,
                                                           QMessageBox::StandardButtons buttons,
                                                           QMessageBox::Icon)
{
    asked.push_back({title, text});
    if (!answers.empty()) {
        const auto a = answers.front();
        answers.pop_front();
        return a;
    }
    for (unsigned bit = 1; bit; bit <<= 1) {
        if (buttons & bit)
            return QMessageBox::StandardButton(bit);
    }
    return QMessageBox::Ok;
}

QString ScriptedPromptService::openFileName(QWidget*, const QString& title, const QString& folder,
                                            const QString&)
{
    asked.push_back({title, folder});
    if (fileNames.empty())
        return {};
    QString f = fileNames.front();
    fileNames.pop_front();
    return f;
}

QString ScriptedPromptService::saveFileName(QWidget*, const QString& title, const QString& offered,
                                            const QString&)
{
    asked.push_back({title, offered});
    if (saveNames.empty())
        return offered;
    QString f = saveNames.front();
    saveNames.pop_front();
    return f;
}

} // namespace tamblor
