#pragma once
// The one way the program replaces a file: write a working file beside the target, flush it to
// the disk, then rename it over the target in one step. Until commit() the target is untouched;
// a failure or a cancel removes the working file, so a reader sees either the old file or the
// complete new one, never a part.
#include "platform/NativeFile.h"
#include <QString>

namespace tamblor {

class SafeReplace {
public:
    // `target` is a native path. The working file is `workingPath` when one is given (it must not
    // exist yet; a numbered copy, for one), else a hidden name of its own in the target's folder.
    explicit SafeReplace(QString target, QString workingPath = {});
    ~SafeReplace();
    SafeReplace(const SafeReplace&) = delete;
    SafeReplace& operator=(const SafeReplace&) = delete;

    // Creates the working file, never over an existing one, and returns it open for writing.
    // A writer that needs the name (a library opening files itself) may close it and reopen
    // workingPath(). Throws Failure.
    NativeFile& create();
    // Takes the working file given to the constructor as it is, complete and closed (a file
    // another writer made: a recorded take), instead of creating one. commit() puts it in the
    // target's place; a failed commit or a discard leaves it where it was, never removed.
    void adopt();
    NativeFile& file() { return file_; }
    const QString& workingPath() const { return working_; }
    const QString& target() const { return target_; }

    // Flushes the working file to the disk and puts it in the target's place in one step (a
    // target that exists is replaced). On failure the working file is removed and the target
    // is as it was. Throws Failure.
    void commit();
    // Removes the working file (cancel, failure); nothing happens after a commit.
    void discard() noexcept;

private:
    QString target_;
    QString working_;
    bool chosenName_;
    bool created_ = false;
    bool adopted_ = false;
    NativeFile file_;
};

} // namespace tamblor
