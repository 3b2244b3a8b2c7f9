#pragma once
// The few modal questions the program asks go through here: real dialogs in the program,
// scripted answers in tests, so no test ever waits on a modal box.
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <deque>

namespace tamblor {

class PromptService {
public:
    virtual ~PromptService() = default;
    // A message box; returns the button pressed.
    virtual QMessageBox::StandardButton message(QWidget* parent, const QString& title, const QString& text,
                                                QMessageBox::StandardButtons buttons,
                                                QMessageBox::Icon icon = QMessageBox::NoIcon) = 0;
    // A file chooser; returns the chosen native path, or empty when cancelled.
    virtual QString openFileName(QWidget* parent, const QString& title, const QString& folder,
                                 const QString& filter) = 0;
};

class DialogPromptService : public PromptService {
public:
    QMessageBox::StandardButton message(QWidget* parent, const QString& title, const QString& text,
                                        QMessageBox::StandardButtons buttons, QMessageBox::Icon icon) override;
    QString openFileName(QWidget* parent, const QString& title, const QString& folder,
                         const QString& filter) override;
};

// Answers from queues filled by a test; records every question asked.
class ScriptedPromptService : public PromptService {
public:
    struct Asked {
        QString title;
        QString text;
    };
    std::deque<QMessageBox::StandardButton> answers; // empty: the first offered button
    std::deque<QString> fileNames;                   // empty: cancelled
    std::vector<Asked> asked;

    QMessageBox::StandardButton message(QWidget* parent, const QString& title, const QString& text,
                                        QMessageBox::StandardButtons buttons, QMessageBox::Icon icon) override;
    QString openFileName(QWidget* parent, const QString& title, const QString& folder,
                         const QString& filter) override;
};

} // namespace tamblor
