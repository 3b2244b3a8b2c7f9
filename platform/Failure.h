#pragma once
// The one failure type of the program: a classic run-time error number and its description.
// It is shown to the operator as "number description".
#include <QString>
#include <exception>
#include <string>

namespace tamblor {

class Failure : public std::exception {
public:
    // Well-known numbers used across the program.
    enum Number {
        InvalidCall = 5,
        Overflow = 6,
        OutOfMemory = 7,
        SubscriptOutOfRange = 9,
        BadFileNameOrNumber = 52,
        FileNotFound = 53,
        BadFileMode = 54,
        FileAlreadyOpen = 55,
        DeviceIOError = 57,
        FileAlreadyExists = 58,
        DiskFull = 61,
        InputPastEnd = 62,
        BadRecordNumber = 63,
        BadFileName = 64,
        DeviceUnavailable = 68,
        PermissionDenied = 70,
        DiskNotReady = 71,
        PathFileAccessError = 75,
        PathNotFound = 76,
        InvalidPropertyValue = 380,
        InvalidArrayIndex = 381,
        PrinterError = 482,
    };

    explicit Failure(int number);
    Failure(int number, QString description);

    int number() const { return number_; }
    const QString& description() const { return description_; }
    // "53 File not found"; the play routine and some handlers put two blanks between.
    QString text(const QString& separator = QStringLiteral(" ")) const;
    const char* what() const noexcept override { return what_.c_str(); }

    // The classic description of a number ("Application-defined or object-defined error"
    // for numbers without one of their own).
    static QString describe(int number);
    // Maps a C errno value (ENOENT, ENOSPC, EACCES, ...) onto a failure.
    static Failure fromErrno(int err);

private:
    int number_;
    QString description_;
    std::string what_;
};

} // namespace tamblor
