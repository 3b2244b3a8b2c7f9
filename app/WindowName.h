#pragma once
// The names of the program's windows. The window registry opens and finds a window only by one
// of these, and each is also the window's object name, so a misspelt name fails to compile
// instead of quietly opening nothing. No other name can be made.
#include <QString>

namespace tamblor {

class WindowName {
public:
    static const WindowName mnuMenu;
    static const WindowName frmError;
    static const WindowName frmMyPreferences;
    static const WindowName frmWaveFiles;
    static const WindowName frmDialog1;
    static const WindowName frmSend;
    static const WindowName frmNormalize;
    static const WindowName frmWaveGen;
    static const WindowName frmEditor;
    static const WindowName frmAbout;
    static const WindowName frmHelp;
    static const WindowName frmRecordEvents;
    static const WindowName frmEditEvent;
    static const WindowName frmNotices;
    static const WindowName frmWebServer;
    static const WindowName frmLoggerExport;
    static const WindowName frmLogger;

    constexpr const char* text() const { return text_; }
    QString toString() const { return QString::fromLatin1(text_); }
    friend bool operator==(WindowName a, WindowName b) { return a.toString() == b.toString(); }

private:
    explicit constexpr WindowName(const char* text) : text_(text) {}
    const char* text_;
};

inline constexpr WindowName WindowName::mnuMenu{"mnuMenu"};
inline constexpr WindowName WindowName::frmError{"frmError"};
inline constexpr WindowName WindowName::frmMyPreferences{"frmMyPreferences"};
inline constexpr WindowName WindowName::frmWaveFiles{"frmWaveFiles"};
inline constexpr WindowName WindowName::frmDialog1{"frmDialog1"};
inline constexpr WindowName WindowName::frmSend{"frmSend"};
inline constexpr WindowName WindowName::frmNormalize{"frmNormalize"};
inline constexpr WindowName WindowName::frmWaveGen{"frmWaveGen"};
inline constexpr WindowName WindowName::frmEditor{"frmEditor"};
inline constexpr WindowName WindowName::frmAbout{"frmAbout"};
inline constexpr WindowName WindowName::frmHelp{"frmHelp"};
inline constexpr WindowName WindowName::frmRecordEvents{"frmRecordEvents"};
inline constexpr WindowName WindowName::frmEditEvent{"frmEditEvent"};
inline constexpr WindowName WindowName::frmNotices{"frmNotices"};
inline constexpr WindowName WindowName::frmWebServer{"frmWebServer"};
inline constexpr WindowName WindowName::frmLoggerExport{"frmLoggerExport"};
inline constexpr WindowName WindowName::frmLogger{"frmLogger"};

} // namespace tamblor
