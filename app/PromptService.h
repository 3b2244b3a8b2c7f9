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
    // A chooser of a file to write, offering `offered` (a native path); returns the chosen
    // native path (a file there is to be replaced: the chooser has asked), or empty when
    // cancelled.
    virtual QString saveFileName(QWidget* parent, const QString& title, const QString& offered,
                                 const QString& filter) = 0;
};

class DialogPromptService : public PromptService {
public:
    QMessageBox::StandardButton message(QWidget* parent, const QString& title, const QString& text,
                                        QMessageBox::StandardButtons buttons, QMessageBox::Icon icon) override;
    QString openFileName(QWidget* parent, const QString& title, const QString& folder,
                         const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& title, const QString& offered,
                         const QString& filter) override;
};

// Answers from queues filled by a test; records every question asked.
class ScriptedPromptService : public PromptService {
public:
    struct Asked {
        QString title;
        QString text; // a file chooser's: the name it offered (a save) or its folder
    };
    std::deque<QMessageBox::StandardButton> answers; // empty: the first offered button
    std::deque<QString> fileNames;                   // empty: cancelled
    // Files to write: empty, the offered name is taken; an empty name cancels.
    std::deque<QString> saveNames;
    std::vector<Asked> asked;

    QMessageBox::StandardButton message(QWidget* parent, const QString& title, const QString& text,
                                        QMessageBox::StandardButtons buttons, QMessageBox::Icon icon) override;
    QString openFileName(QWidget* parent, const QString& title, const QString& folder,
                         const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& title, const QString& offered,
                         const QString& filter) override;
};

} // namespace tamblor
