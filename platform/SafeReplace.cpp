#include "platform/SafeReplace.h"
#include "platform/Failure.h"
#include "platform/FileReleaser.h"
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace tamblor {

namespace {

QString hiddenNameBeside(const QString& target)
{
    const QFileInfo info(target);
    // Short and fixed in length, so a target whose name is at the limit still gets one.
    return info.path() + QStringLiteral("/.tamblor-%1-%2.part")
                             .arg(QCoreApplication::applicationPid())
                             .arg(QRandomGenerator::global()->generate(), 8, 16, QChar('0'));
}

#ifdef _WIN32
void moveIntoPlace(const QString& working, const QString& target)
{
    const std::wstring from = working.toStdWString(), to = target.toStdWString();
    // ReplaceFile keeps the target's attributes and security; a new target is simply moved.
    if (QFileInfo::exists(target)) {
        if (ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
            return;
    }
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw GetLastError() == ERROR_ACCESS_DENIED ? Failure(Failure::PermissionDenied)
                                                    : Failure(Failure::PathFileAccessError);
}
#else
void moveIntoPlace(const QString& working, const QString& target)
{
    // The file being replaced stays open through the rename, so that giving its blocks back
    // happens when the releasing thread closes it, not inside the rename.
    NativeFile old;
    try {
        if (QFileInfo(target).isFile()) // never a pipe, whose opening would wait for a writer
            old = NativeFile::open(target, NativeFile::Mode::Read);
    } catch (const Failure&) {
        // one this program cannot read: nothing to hold
    }
    if (::rename(QFile::encodeName(working).constData(), QFile::encodeName(target).constData()) != 0)
        throw Failure::fromErrno(errno);
    closeInBackground(std::move(old));
    // The new name itself must survive a power loss: flush the folder that holds it.
    const int dir = ::open(QFile::encodeName(QFileInfo(target).path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}
#endif

} // namespace

SafeReplace::SafeReplace(QString target, QString workingPath)
    : target_(std::move(target)), working_(std::move(workingPath)), chosenName_(!working_.isEmpty())
{
}

SafeReplace::~SafeReplace() { discard(); }

NativeFile& SafeReplace::create()
{
    discard();
    for (int attempt = 0;; ++attempt) {
        if (!chosenName_)
            working_ = hiddenNameBeside(target_);
        try {
            file_ = NativeFile::open(working_, NativeFile::Mode::CreateNew);
            created_ = true;
            return file_;
        } catch (const Failure& f) {
            if (chosenName_ || f.number() != Failure::FileAlreadyExists || attempt == 100)
                throw;
        }
    }
}

void SafeReplace::adopt()
{
    discard();
    if (!chosenName_)
        throw Failure(Failure::BadFileMode);
    if (!QFileInfo(working_).isFile())
        throw Failure(Failure::FileNotFound);
    created_ = true;
    adopted_ = true;
}

void SafeReplace::commit()
{
    if (!created_)
        throw Failure(Failure::BadFileMode);
    try {
        if (!file_.isOpen())
            file_ = NativeFile::open(working_, NativeFile::Mode::Update);
        file_.sync();
        file_.close();
        moveIntoPlace(working_, target_);
    } catch (...) {
        discard();
        throw;
    }
    created_ = false;
    adopted_ = false;
}

void SafeReplace::discard() noexcept
{
    file_ = NativeFile();
    if (created_ && !adopted_)
        removeFile(working_);
    created_ = false;
    adopted_ = false;
}

} // namespace tamblor
